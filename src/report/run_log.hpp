#pragma once
// What a run keeps of its attempts for the summary, the verdict and the run
// record: every attempt's solution and scores, per copy step.
#include <array>
#include <chrono>
#include <complex>
#include <optional>
#include <string>
#include <vector>

#include "report/verdict.hpp"
#include "model/solution.hpp"

namespace zelt {

struct attempt_entry {
    int attempt = 0;        // from 1
    solution s;             // as reported (normalised when configured)
    double cc = 0.0, r = 0.0;
    double score = 0.0;     // the objective (first score)
    int clashes = -1;
    int group = -1;         // index of its distinct placement in the step's table
    // fft mode: translation Z and score Z of the solution.
    std::optional<double> tfz, score_z;
};

struct copy_step_record {
    int cell = 0, model = 0, copy = 0;              // loop indices, from 0
    int cell_step = 0, model_step = 0, copy_step = 0;  // positions in the result tables
    std::string label;                              // "Model 2, Copy 1"; empty for a single step
    std::array<bool, 3> numbered{};                 // cell, model, copy numbers in file names
    bool origin_fixed = false;                      // a fixed structure defines the origin
    std::vector<attempt_entry> attempts;
    std::vector<distinct_placement> placements;     // best first
    verdict judgement;
    int best_attempt = 0;                           // 0: no solution
    std::vector<std::complex<float>> best_fc;       // whole structure, reflection order
    double seconds = 0.0;
    std::chrono::steady_clock::time_point started;
};

struct run_log {
    std::vector<copy_step_record> steps;
};

}  // namespace zelt
