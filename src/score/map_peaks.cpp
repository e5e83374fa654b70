#include "score/map_peaks.hpp"

#include <algorithm>
#include <cmath>

namespace zelt {

namespace {

bool lower_peak(const grid_peak& a, const grid_peak& b) { return a.value > b.value; }

bool is_local_maximum(const grid_view& g, int i, int j, int k) {
    const float v = g.at(i, j, k);
    const int ri = g.n[0] > 1 ? 1 : 0, rj = g.n[1] > 1 ? 1 : 0, rk = g.n[2] > 1 ? 1 : 0;
    for (int dk = -rk; dk <= rk; ++dk)
        for (int dj = -rj; dj <= rj; ++dj)
            for (int di = -ri; di <= ri; ++di)
                if ((di || dj || dk) && g.at(i + di, j + dj, k + dk) > v) return false;
    return true;
}

}  // namespace

double wrap_unit_cell(double x) {
    const double r = x - std::floor(x);
    return r >= 1.0 ? 0.0 : r;
}

void highest_maxima(const grid_view& g, std::size_t keep, std::vector<grid_peak>& heap) {
    heap.clear();
    std::size_t idx = 0;
    for (int k = 0; k < g.n[2]; ++k)
        for (int j = 0; j < g.n[1]; ++j)
            for (int i = 0; i < g.n[0]; ++i, ++idx) {
                const float v = g.v[idx];
                if (heap.size() == keep && !(v > heap.front().value)) continue;
                if (!is_local_maximum(g, i, j, k)) continue;
                if (heap.size() == keep) {
                    std::pop_heap(heap.begin(), heap.end(), lower_peak);
                    heap.pop_back();
                }
                heap.push_back({v, idx});
                std::push_heap(heap.begin(), heap.end(), lower_peak);
            }
}

translation_peak refine_peak(const grid_view& g, std::size_t idx, const std::array<bool, 3>& unsearched,
                             const fractional& fixed) {
    const std::array<int, 3> p{static_cast<int>(idx % g.n[0]),
                               static_cast<int>(idx / g.n[0] % g.n[1]),
                               static_cast<int>(idx / g.n[0] / g.n[1])};
    const double v0 = g.at(p[0], p[1], p[2]);
    translation_peak out{fixed, v0};
    for (int a = 0; a < 3; ++a) {
        if (unsearched[a]) continue;
        double delta = 0.0;
        if (g.n[a] >= 3) {
            std::array<int, 3> lo = p, hi = p;
            --lo[a];
            ++hi[a];
            const double vm = g.at(lo[0], lo[1], lo[2]), vp = g.at(hi[0], hi[1], hi[2]);
            const double curve = vm - 2.0 * v0 + vp;
            if (curve < 0.0) delta = std::clamp((vm - vp) / (2.0 * curve), -0.5, 0.5);
            out.value += 0.25 * delta * (vp - vm);
        }
        out.translation[a] = wrap_unit_cell((p[a] + delta) / g.n[a]);
    }
    return out;
}

bool equivalent_peaks(const translation_peak& a, const translation_peak& b, const std::vector<fractional>& shifts,
                      const std::array<int, 3>& n, const std::array<bool, 3>& constant) {
    for (const fractional& t : shifts) {
        bool same = true;
        for (int i = 0; i < 3 && same; ++i) {
            if (constant[i]) continue;
            double d = wrap_unit_cell(a.translation[i] - b.translation[i] - t[i]);
            d = std::min(d, 1.0 - d);
            same = d <= (n[i] > 1 ? 1.0 / n[i] : 0.0) + 1e-9;
        }
        if (same) return true;
    }
    return false;
}

}  // namespace zelt
