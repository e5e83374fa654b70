#include "io/mtz_writer.hpp"

// The MTZ writer of gemmi is compiled here, using the C library's snprintf.
#define USE_STD_SNPRINTF
#define GEMMI_WRITE_IMPLEMENTATION
#include <gemmi/mtz.hpp>
#include <gemmi/symmetry.hpp>

#include <stdexcept>

#include "crystal/geometry.hpp"
#include "io/atomic_file.hpp"

namespace zelt {

namespace {

// The rows of the columns, one after the other, as gemmi takes them.
std::vector<float> row_major(const std::vector<mtz_column>& columns) {
    const std::size_t rows = columns.empty() ? 0 : columns.front().values.size();
    std::vector<float> data;
    data.reserve(rows * columns.size());
    for (std::size_t i = 0; i < rows; ++i)
        for (const mtz_column& c : columns) data.push_back(c.values.at(i));
    return data;
}

}  // namespace

void write_mtz(const std::string& file_name, const unit_cell& cell, const std::string& title,
               const std::vector<mtz_column>& columns) {
    const std::vector<float> data = row_major(columns);
    write_file_atomically(file_name, [&](const std::string& temporary) {
        gemmi::Mtz mtz(true);
        mtz.spacegroup = gemmi::find_spacegroup_by_number(cell.group().number);
        if (!mtz.spacegroup) throw std::runtime_error("space group unknown to the MTZ writer");
        mtz.title = title;
        mtz.add_dataset("zelt");
        mtz.set_cell_for_all(gemmi::UnitCell(cell.a, cell.b, cell.c, cell.alpha * radians_to_degrees,
                                             cell.beta * radians_to_degrees, cell.gamma * radians_to_degrees));
        for (std::size_t i = 3; i < columns.size(); ++i)
            mtz.add_column(columns[i].label, columns[i].type, -1, -1, false);
        mtz.set_data(data.data(), data.size());
        mtz.write_to_file(temporary);
    });
}

}  // namespace zelt
