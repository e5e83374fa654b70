#include "io/miller_index_check.hpp"

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace zelt {

namespace {

bool is_whole(double v) { return std::isfinite(v) && v == std::nearbyint(v); }

// For a whole v: whether the conversion to std::int32_t is defined and exact.
bool fits(double v) {
    return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

std::string refusal(const std::string& name, std::size_t count, const std::string& what, const std::string& first) {
    return name + ": " + std::to_string(count) + (count == 1 ? " reflection" : " reflections") +
           " with a Miller index " + what + " (the first: " + first + ")";
}

}  // namespace

void miller_index_tally::fault::add(double h, double k, double l) {
    if (count++ > 0) return;
    std::ostringstream text;
    text << h << ' ' << k << ' ' << l;
    first = text.str();
}

std::optional<miller_indices> miller_index_tally::whole(double h, double k, double l) {
    if (!is_whole(h) || !is_whole(k) || !is_whole(l)) {
        fractional_.add(h, k, l);
        return std::nullopt;
    }
    if (!fits(h) || !fits(k) || !fits(l)) {
        too_large_.add(h, k, l);
        return std::nullopt;
    }
    return miller_indices{static_cast<std::int32_t>(h), static_cast<std::int32_t>(k), static_cast<std::int32_t>(l)};
}

void miller_index_tally::refuse_any(const std::string& name) const {
    if (fractional_.count > 0)
        throw std::runtime_error(refusal(name, fractional_.count, "that is not a whole number", fractional_.first));
    if (too_large_.count > 0)
        throw std::runtime_error(
            refusal(name, too_large_.count, "beyond the range of a 32-bit integer", too_large_.first));
}

}  // namespace zelt
