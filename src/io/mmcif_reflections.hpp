#pragma once
// Reflections from mmCIF structure-factor files (the PDB's "-sf.cif"), read
// with gemmi: cell and space group from the file, one data column chosen by
// rules in the spirit of the MTZ column rules.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"

namespace zelt {

struct mmcif_cell {
    std::array<double, 6> constants{};  // a, b, c (Angstrom), alpha, beta, gamma (degrees)
    int space_group = 0;                // 0 when the file names none
};

// What a read of mmCIF reflections found besides the reflections.
struct mmcif_reflection_report {
    std::string block;         // the data block read
    std::string label;         // the data item used, without "_refln."
    std::size_t non_finite = 0;  // values that are not finite numbers, left out
    bool intensities = false;    // the values are intensities, still to be converted
};

// The cell and space group of the chosen data block. `block` is empty for
// the first block with reflections, or a block name or its number (from 1)
// among the blocks with reflections.
mmcif_cell read_mmcif_cell(std::string_view bytes, const std::string& name, const std::string& block);

// The reflections of the chosen block inside high < d < low in `cell`, as
// amplitudes or intensities (as `report` says). `column` names a data item (with or without "_refln."), or is
// empty for the default choice: F_meas_au, F_meas, pdbx_F_plus/minus,
// intensity_meas, pdbx_I_plus/minus (a Friedel pair averaged). Missing,
// negative and non-finite values are left out; non-finite ones are counted.
reflection_set read_mmcif_reflections(std::string_view bytes, const std::string& name,
                                      const unit_cell& cell, double low, double high,
                                      const std::string& column, const std::string& block,
                                      mmcif_reflection_report& report);

}  // namespace zelt

namespace zelt {

// The free-R flags of the chosen block, one per row that has one, keyed by
// its Miller index: `pdbx_r_free_flag` as written, else `status` with "f"
// (free set) as 0 and "o" (working set) as 1, as the MTZ FreeR_flag column
// numbers them. `label` receives the item read; empty when there is none.
std::vector<std::pair<std::array<int, 3>, float>> read_mmcif_free_flags(std::string_view bytes, const std::string& name,
                                                                        const std::string& block, std::string& label);

}  // namespace zelt
