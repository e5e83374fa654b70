#pragma once
// Miller indices are whole numbers, kept as 32-bit integers. A reflection
// file that stores them as reals (MTZ) or as text can hold 0.5, NaN or a
// value beyond the integer range; such an index has no integer to become, so
// the readers count them and refuse the file.
#include <cstddef>
#include <optional>
#include <string>

#include "crystal/reflection.hpp"

namespace zelt {

class miller_index_tally {
public:
    // The indices as integers when each is a finite whole number that a
    // std::int32_t holds; otherwise counts the reflection and returns nothing.
    std::optional<miller_indices> whole(double h, double k, double l);
    // Fails with std::runtime_error "NAME: N reflection(s) with a Miller index
    // that is not a whole number (the first: h k l)" when any was counted, or
    // with "... with a Miller index beyond the range of a 32-bit integer ..."
    // when every one counted was whole but too large.
    void refuse_any(const std::string& name) const;

private:
    struct fault {
        std::size_t count = 0;
        std::string first;
        void add(double h, double k, double l);
    };
    fault fractional_;
    fault too_large_;
};

}  // namespace zelt
