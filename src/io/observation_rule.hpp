#pragma once
// The acceptance rule of observed values, shared by every reflection reader
// (MTZ, scalepack, plain text): an amplitude or intensity and its sigma are
// used only when both are finite single-precision numbers. Format marks of a
// missing value (NaN in MTZ files) are the readers' own business and come
// first. A reader drops a
// reflection that breaks the rule and counts it, so that the run can say how
// many were left out instead of scoring NaN.
#include <cstddef>
#include <string>
#include <vector>

#include "crystal/reflection.hpp"

namespace zelt {

// What the caller of a reflection reader asks for and learns back.
struct reflection_reading {
    // In: MTZ intensities are converted to amplitudes with their sigmas only
    // when the target is sigma-weighted; otherwise with sigma 0.
    bool sigma_weighting = false;
    // In: the mmCIF data block to read (empty: the first with reflections).
    std::string mmcif_block;
    // Out: reflections dropped by the acceptance rule (and scalepack pairs in
    // which neither Friedel half was measured).
    std::size_t dropped = 0;
    // Out: the mmCIF data block read (empty for other formats).
    std::string mmcif_data_block;
    // Out (MTZ): values below zero in the resolution range, left out; whether
    // the column holds intensities; whether the reader chose the column
    // itself; the file's amplitude and intensity columns, "LABEL (TYPE)".
    std::size_t negative = 0;
    bool intensities = false;
    bool automatic_choice = false;
    std::vector<std::string> data_columns;
};

// True when a value lies strictly inside the single-precision range. The
// largest float itself counts as overflow, as MTZ files use it.
bool is_finite_float(double value);

// The rule itself: value and sigma both finite.
bool is_acceptable_observation(double value, double sigma);

// Converts intensities to amplitudes. Without sigma weighting the amplitudes
// are those of the intensities alone, as when no sigma is read.
void intensities_to_amplitudes(reflection_set& set, const reflection_reading* reading);

// Appends r to `set` when it passes the rule, else counts it in `dropped`.
void keep_acceptable(reflection_set& set, const reflection& r, std::size_t& dropped);

}  // namespace zelt
