#pragma once
// Miller indices are whole numbers. A reflection file that stores them as
// reals (MTZ) or as text can hold 0.5 or NaN; such an index would be
// truncated where it is used and written back as it is, so the readers
// count them and refuse the file.
#include <cstddef>
#include <string>

namespace zelt {

class miller_index_tally {
public:
    // Counts the reflection when one of its indices is not a finite whole number.
    void check(double h, double k, double l);
    // Fails with std::runtime_error "NAME: N reflection(s) with a Miller index
    // that is not a whole number (the first: h k l)" when any was counted.
    void refuse_any(const std::string& name) const;

private:
    std::size_t count_ = 0;
    std::string first_;
};

}  // namespace zelt
