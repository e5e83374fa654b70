#pragma once
#include <optional>

namespace zelt {

// The cells the attempts of a copy step search. A cell step offers its cells
// (the cell list tried together, from `first`) until a copy is placed: later
// copies, and in an assembly search later models, stay in the cell of the
// placed copies. A model step that starts afresh releases that cell again.
class searched_cells {
public:
    void open_cell_step(int first) {
        first_ = first;
        fixed_.reset();
    }
    void release() { fixed_.reset(); }
    void fix(int cell) { fixed_ = cell; }

    int first() const { return first_; }
    bool fixed() const { return fixed_.has_value(); }
    // The cell of the placed copies, else the cell step's first cell.
    int current() const { return fixed_.value_or(first_); }
    // How many cells from `current()` the search may choose among.
    int count(int cells_per_step) const { return fixed() ? 1 : cells_per_step; }

private:
    int first_ = 0;
    std::optional<int> fixed_;
};

}  // namespace zelt
