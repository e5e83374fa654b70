#pragma once
// What a refinement program wants besides the amplitudes used in the search:
// the sigma of each amplitude and the free-R flag, read back from the data
// file for the reflections of the run.
#include <string>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"
#include "io/file_format.hpp"

namespace zelt {

// The MTZ labels taken for free-R flags (a column of type I), in order.
inline constexpr const char* free_flag_labels[] = {"FreeR_flag", "FREE", "R-free-flags"};

struct reflection_extras {
    std::vector<float> sigma_f;    // per reflection (NaN: none); empty when the data have no sigmas
    std::vector<float> free_flag;  // per reflection (NaN: none); empty when the data have no flags
    std::string free_label;        // the column or item the flags came from
};

// Reads the data file (as the run read it), as amplitudes with their sigmas (sigmas of
// intensities converted as the search converts them), and its free-R flags
// from an MTZ column named as above or the mmCIF items `pdbx_r_free_flag` or
// `status`; matches them to `reflections` by Miller index. Sigmas that are
// all 0 or all 1 (files without a sigma column) count as none.
reflection_extras read_reflection_extras(const reflection_set& reflections, const unit_cell& cell, double low,
                                         double high, const input_file& file, const std::string& column,
                                         const std::string& mmcif_block);

}  // namespace zelt
