#pragma once
// Writing reflection data as an MTZ file (gemmi's writer).
#include <string>
#include <vector>

#include "crystal/unit_cell.hpp"

namespace zelt {

// One column of an MTZ file: its label, its CCP4 type letter (H index,
// F amplitude, P phase, Q sigma, W weight, I integer) and one value per row.
struct mtz_column {
    std::string label;
    char type = 'F';
    std::vector<float> values;
};

// Writes the columns (the first three being H, K and L, all of one length)
// with the cell and its space group as one data set, atomically; throws
// io_error "unable to write the file NAME" on failure.
void write_mtz(const std::string& file_name, const unit_cell& cell, const std::string& title,
               const std::vector<mtz_column>& columns);

}  // namespace zelt
