#pragma once
// Map coefficients of a placed structure as an MTZ file, for model building
// and refinement: sigmaA-weighted 2mFo-DFc and mFo-DFc coefficients with the
// calculated phases, the observed data with their sigmas and free-R flags,
// in the space group's standard asymmetric unit, sorted.
#include <complex>
#include <string>
#include <vector>

#include "report/sigma_a.hpp"
#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"
#include "io/mtz_writer.hpp"
#include "io/reflection_extras.hpp"

namespace zelt {

// The columns and rows of the file (H K L first), and the sigmaA estimate
// they were weighted with.
struct map_coefficient_table : mtz_table {
    sigma_a_shells shells;
};

// Forms the coefficients. |Fc| is scaled onto Fo in resolution shells (FC);
// sigmaA, D and the figure of merit m (FOM) come from sigma_a.hpp; FWT/PHWT
// is 2mFo-DFc for acentric and mFo for centric reflections, DELFWT/PHDELWT is
// mFo-DFc, both with the calculated phase (a negative amplitude is written
// positive with the phase turned by 180 degrees). `code` permutes the indices
// into the axes of `cell` (the calculated values were read at the permuted
// indices); each row is then moved to the standard asymmetric unit of the
// cell's space group, its phases following, and the rows are sorted by
// index. SIGFP and FreeR_flag come from `extras` when the data have them.
map_coefficient_table map_coefficients(const reflection_set& reflections, const std::vector<std::complex<float>>& fc,
                                       const unit_cell& cell, int code, const reflection_extras& extras);

// Writes the table with the cell and space group, atomically; throws
// io_error "unable to write the file NAME" on failure.
void write_map_coefficients(const std::string& file_name, const map_coefficient_table& table,
                            const unit_cell& cell);

}  // namespace zelt
