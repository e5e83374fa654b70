#include "transform/transform_table.hpp"

#include "transform/table_lookup.hpp"

namespace zelt {

transform_table::transform_table(int h_max, int k_max, int l_max)
    : origin{static_cast<float>(-h_max), static_cast<float>(-k_max), -1.0f},
      n_h(2 * h_max + 1),
      n_k(2 * k_max + 1),
      n_l(l_max + 2),
      entries(static_cast<std::size_t>(n_h) * static_cast<std::size_t>(n_k) *
              static_cast<std::size_t>(n_l)) {}

bool transform_table::contains(int h, int k, int l) const {
    const int i = h - static_cast<int>(origin[0]);
    const int j = k - static_cast<int>(origin[1]);
    const int m = l - static_cast<int>(origin[2]);
    return i >= 0 && i < n_h && j >= 0 && j < n_k && m >= 0 && m < n_l;
}

std::size_t transform_table::index(int h, int k, int l) const {
    const std::size_t i = static_cast<std::size_t>(h - static_cast<int>(origin[0]));
    const std::size_t j = static_cast<std::size_t>(k - static_cast<int>(origin[1]));
    const std::size_t m = static_cast<std::size_t>(l - static_cast<int>(origin[2]));
    return i + static_cast<std::size_t>(n_h) * (j + static_cast<std::size_t>(n_k) * m);
}

complex_f transform_table::trilinear(float q1, float q2, float q3) const {
    return table_lookup::trilinear_lookup(*this, q1, q2, q3);
}

complex_f transform_table::nearest(float q1, float q2, float q3) const {
    return table_lookup::nearest_lookup(*this, q1, q2, q3);
}

}  // namespace zelt
