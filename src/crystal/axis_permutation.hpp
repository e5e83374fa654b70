#pragma once
// The cells of a point-group search may have their axes permuted. A cell
// with permutation code p (0, 1 or 2) has the axes (a_p, a_p+1, a_p+2),
// counted cyclically, so a reflection with indices (h_0, h_1, h_2) in the
// crystal's axes has the indices (h_p, h_p+1, h_p+2) in that cell's axes.
#include <array>

namespace zelt {

// The three indices of `hkl` (anything indexable by 0, 1, 2) in the axes of
// a cell with permutation code `code`, converted to T.
template <class T, class Indices>
constexpr std::array<T, 3> permuted_indices(const Indices& hkl, int code) {
    return {static_cast<T>(hkl[code]), static_cast<T>(hkl[(code + 1) % 3]),
            static_cast<T>(hkl[(code + 2) % 3])};
}

}  // namespace zelt
