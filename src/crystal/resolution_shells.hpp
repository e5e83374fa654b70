#pragma once
// Resolution shells of equal count: the binning that the translation
// function's intensity normalisation, the map coefficients' scaling of FC
// and the sigmaA estimate share.
#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

namespace zelt {

struct resolution_shells {
    // Reflection indices in order of s^2, ties in their given order.
    std::vector<std::size_t> order;
    // Shell k holds order[start[k]] .. order[start[k + 1] - 1]; shell 0 is
    // the lowest resolution.
    std::vector<std::size_t> start;

    std::size_t count() const { return start.empty() ? 0 : start.size() - 1; }

    // The shell of each reflection, by reflection index.
    std::vector<int> shell_of_each() const {
        std::vector<int> shell(order.size());
        for (std::size_t k = 0; k < count(); ++k)
            for (std::size_t j = start[k]; j < start[k + 1]; ++j) shell[order[j]] = static_cast<int>(k);
        return shell;
    }
};

// About `per_shell` reflections a shell, at least 1 and at most `max_shells`
// shells, of as equal counts as the division allows: shell k holds the ranks
// from n k / shells up to n (k + 1) / shells. No shells for no reflections.
template <class T>
resolution_shells equal_count_shells(const std::vector<T>& s2, std::size_t per_shell, std::size_t max_shells) {
    resolution_shells out;
    const std::size_t n = s2.size();
    if (n == 0) return out;
    out.order.resize(n);
    std::iota(out.order.begin(), out.order.end(), std::size_t{0});
    std::stable_sort(out.order.begin(), out.order.end(), [&](std::size_t a, std::size_t b) { return s2[a] < s2[b]; });
    const std::size_t shells = std::clamp<std::size_t>(n / std::max<std::size_t>(per_shell, 1), 1, max_shells);
    for (std::size_t k = 0; k <= shells; ++k) out.start.push_back(n * k / shells);
    return out;
}

}  // namespace zelt
