#pragma once
// Writing reflection data as an MTZ file (gemmi's writer).
#include <string>
#include <vector>

#include "crystal/unit_cell.hpp"

namespace zelt {

// Reflection data for an MTZ file: the column labels and their CCP4 type
// letters (H index, F amplitude, P phase, Q sigma, W weight, I integer), H, K
// and L first, and the values row after row.
struct mtz_table {
    std::vector<std::string> labels;
    std::vector<char> types;
    std::vector<float> data;

    std::size_t columns() const { return labels.size(); }
    std::size_t rows() const { return labels.empty() ? 0 : data.size() / labels.size(); }
    int column(const std::string& label) const;   // -1 when absent
};

// Writes the table with the cell and its space group as one data set, the
// rows sorted by index, atomically; throws io_error "unable to write the
// file NAME" on failure.
void write_mtz(const std::string& file_name, const unit_cell& cell, const std::string& title,
               const mtz_table& table);

}  // namespace zelt
