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

int mtz_table::column(const std::string& label) const {
    for (std::size_t i = 0; i < labels.size(); ++i)
        if (labels[i] == label) return static_cast<int>(i);
    return -1;
}

void write_mtz(const std::string& file_name, const unit_cell& cell, const std::string& title,
               const mtz_table& table) {
    if (table.columns() < 3 || table.types.size() != table.columns() || table.data.size() % table.columns() != 0)
        throw std::logic_error("an MTZ table needs H, K and L and whole rows");
    const gemmi::SpaceGroup* group = gemmi::find_spacegroup_by_number(cell.group().number);
    if (!group) throw std::runtime_error("space group unknown to the MTZ writer");
    write_file_atomically(file_name, [&](const std::string& temporary) {
        gemmi::Mtz mtz(true);
        mtz.spacegroup = group;
        mtz.title = title;
        mtz.add_dataset("zelt");
        mtz.set_cell_for_all(gemmi::UnitCell(cell.a, cell.b, cell.c, cell.alpha * radians_to_degrees,
                                             cell.beta * radians_to_degrees, cell.gamma * radians_to_degrees));
        for (std::size_t c = 3; c < table.columns(); ++c)
            mtz.add_column(table.labels[c], table.types[c], -1, -1, false);
        mtz.set_data(table.data.data(), table.data.size());
        mtz.sort();
        mtz.write_to_file(temporary);
    });
}

}  // namespace zelt
