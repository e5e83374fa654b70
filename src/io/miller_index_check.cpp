#include "io/miller_index_check.hpp"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace zelt {

namespace {

bool is_whole(double v) { return std::isfinite(v) && v == std::nearbyint(v); }

}  // namespace

void miller_index_tally::check(double h, double k, double l) {
    if (is_whole(h) && is_whole(k) && is_whole(l)) return;
    if (count_++ == 0) {
        std::ostringstream text;
        text << h << ' ' << k << ' ' << l;
        first_ = text.str();
    }
}

void miller_index_tally::refuse_any(const std::string& name) const {
    if (count_ == 0) return;
    throw std::runtime_error(name + ": " + std::to_string(count_) +
                             (count_ == 1 ? " reflection" : " reflections") +
                             " with a Miller index that is not a whole number (the first: " + first_ + ")");
}

}  // namespace zelt
