#pragma once
// Small numbers written in run-parameter values.
#include <string>

namespace zelt {

// A whole number above zero written with one to six digits (a member or
// block number); 0 for any other text.
inline int small_positive_number(const std::string& text) {
    if (text.empty() || text.size() > 6) return 0;
    for (char c : text)
        if (c < '0' || c > '9') return 0;
    return std::stoi(text);
}

}  // namespace zelt
