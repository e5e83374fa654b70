#pragma once
// The machine-readable record of a run, PREFIX.json.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/run_state.hpp"
#include "report/verdict.hpp"

namespace zelt {

// What the end of the run decided.
struct run_outcome {
    std::vector<std::size_t> chain;   // copy steps (into the run log) of the best solution
    verdict judgement;
    std::string coordinates;          // file holding the best solution, or empty
    std::string map_coefficients;     // MTZ file written, or empty
};

// The record: program, command line, effective parameters and seed, inputs,
// crystal and reflections, every attempt's solution per copy step with its
// distinct placement, the placements and verdicts, the best solution and the
// timings.
nlohmann::json run_record(const run_state& state, const run_outcome& outcome);

// Writes the record, indented, atomically; throws io_error "unable to write
// the file NAME" on failure.
void write_run_record(const std::string& file_name, const run_state& state, const run_outcome& outcome);

}  // namespace zelt
