#include "settings/parameter_checks.hpp"

#include <algorithm>
#include <map>
#include <numeric>

namespace zelt {

std::size_t edit_distance(const std::string& x, const std::string& y) {
    std::vector<std::size_t> row(y.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= x.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

std::string unknown_key_message(const std::string& key, const parameter_store& known) {
    std::string nearest;
    std::size_t best = std::max<std::size_t>(2, key.size() / 3) + 1;
    // Walked in key order, so that ties give the same suggestion every time.
    const std::map<std::string, std::string> sorted(known.begin(), known.end());
    for (const auto& entry : sorted) {
        const std::size_t d = edit_distance(key, entry.first);
        if (d < best) {
            best = d;
            nearest = entry.first;
        }
    }
    std::string message = "unknown run parameter '" + key + "'";
    if (!nearest.empty()) message += " (did you mean '" + nearest + "'?)";
    return message;
}

std::vector<std::string> boolean_warnings(const parameter_store& defaults, const parameter_store& overrides) {
    std::vector<std::string> lines;
    const std::map<std::string, std::string> sorted(overrides.begin(), overrides.end());
    for (const auto& [key, value] : sorted) {
        if (defaults.count(key) == 0 || value == "true" || value == "false") continue;
        const std::string& standard = defaults.text(key);
        if (standard == "true" || standard == "false")
            lines.push_back("Warning: " + key + "=" + value +
                            " is neither \"true\" nor \"false\"; it is read as false");
    }
    return lines;
}

}  // namespace zelt
