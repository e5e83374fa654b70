#pragma once
// Everything a run owns between its preparation and the end of its searches.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"
#include "io/file_format.hpp"
#include "model/atom.hpp"
#include "report/run_log.hpp"
#include "search/translation_resolution.hpp"
#include "settings/parameters.hpp"

namespace zelt {

struct run_state {
    parameter_store params;               // the effective store
    std::vector<std::string> command_line;  // the words the program was started with
    bool report_inputs = true;            // report.inputs
    bool report_steps = true;             // report.steps
    std::vector<unit_cell> cells;         // crystal cell, then related cells
    std::vector<int> codes;               // axis-permutation code per cell
    reflection_set reflections;           // weights and s^2 already set
    input_file data_file;                 // the reflection file as read, kept for the map's extra columns
    std::string data_label;               // MTZ column or mmCIF item read (empty for other formats)
    model_list models;                    // search models, centred on their origin
    std::vector<position> model_centres;  // their Cartesian centres
    placed_model_list static_list;        // fixed structure, placed in the first cell
    std::vector<fractional> static_centres;  // centre of each static list
    std::vector<int> static_copies;       // copy number of each static list (segments of a copy share one)
    std::size_t base_static_count = 0;    // static lists loaded from files
    std::uint64_t seed = 0;               // seed of the run's random generator
    std::chrono::steady_clock::time_point start;
    run_log log;                          // attempts kept for the run summary
    // fft translation search, for each search model: the global search's
    // resolution limit (given or chosen) and the orientation scan's grid
    // spacing.
    std::vector<model_fft_limits> fft_limits;
    bool scan_spacing_automatic = false;
};

}  // namespace zelt
