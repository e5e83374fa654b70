#pragma once
// Map coefficients of a placed structure as an MTZ file, for model building.
#include <complex>
#include <string>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"

namespace zelt {

// One row per reflection, ready for an MTZ file: indices in the axes of the
// solution's cell, and the coefficients.
struct map_coefficient_row {
    float h = 0, k = 0, l = 0;
    float fobs = 0;              // FP
    float fcalc = 0, phi = 0;    // FC (scaled to FP), PHIC (degrees)
    float fwt = 0, phwt = 0;     // 2Fo - Fc with the calculated phase
    float delfwt = 0, phdelwt = 0;  // Fo - Fc with the calculated phase
};

// Scales the calculated amplitudes onto the observed ones as the R-factor
// does (k = sum Fo / sum |Fc|) and forms the coefficients. A negative
// difference amplitude is written positive with its phase turned by 180
// degrees. `code` permutes the indices into the axes of the cell (the
// calculated values were read at the permuted indices).
std::vector<map_coefficient_row> map_coefficients(const reflection_set& reflections,
                                                  const std::vector<std::complex<float>>& fc,
                                                  int code);

// Writes the rows with the cell and space group as PREFIX.best.mtz (columns
// H K L FP FC PHIC FWT PHWT DELFWT PHDELWT), atomically; throws io_error
// "unable to write the file NAME" on failure.
void write_map_coefficients(const std::string& file_name, const reflection_set& reflections,
                            const std::vector<std::complex<float>>& fc, const unit_cell& cell,
                            int code);

}  // namespace zelt
