#pragma once
// The machine-readable record of a run, PREFIX.json.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"
#include "model/atom.hpp"
#include "report/run_log.hpp"
#include "search/translation_resolution.hpp"
#include "report/verdict.hpp"
#include "settings/parameters.hpp"

namespace zelt {

// What the record reads of a run: its settings, inputs and attempts.
struct recorded_run {
    const parameter_store& params;               // the effective store
    const std::vector<std::string>& command_line;
    const std::vector<unit_cell>& cells;          // crystal cell, then related cells
    const reflection_set& reflections;
    const model_list& models;
    std::uint64_t seed = 0;
    std::chrono::steady_clock::time_point start;
    const run_log& log;
    const std::vector<model_fft_limits>& fft_limits;    // the fft search's limits of each model
    const std::string& data_label;                      // MTZ column or mmCIF item read, or empty
    const std::vector<position>& model_centres;         // the models' Cartesian centres
};

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
nlohmann::json run_record(const recorded_run& state, const run_outcome& outcome);

// Writes the record, indented, atomically; throws io_error "unable to write
// the file NAME" on failure.
void write_run_record(const std::string& file_name, const recorded_run& state, const run_outcome& outcome);

}  // namespace zelt
