#include "score/packing.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace zelt {

namespace {

// Remainder modulo 1 in [0, 1).
double reduce(double x) {
    double r = std::fmod(x, 1.0);
    if (r < 0.0) r += 1.0;
    return r;
}

// The selected atoms as stored (fractional, unreduced) with the copy each
// belongs to.
struct selection {
    std::vector<fractional> sites;
    std::vector<int> copy;
};

selection select_atoms(const placed_model_list& groups, const std::vector<int>& copy_of, bool all_atoms) {
    selection out;
    // The members of a merged ensemble stand in one place; only the first
    // member counts, or they would clash with each other's images.
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const int copy = g < copy_of.size() ? copy_of[g] : -1 - static_cast<int>(g);
        for (const placed_atom& a : groups[g])
            if (a.member == 0 && (all_atoms || is_c_alpha(a))) {
                out.sites.push_back(a.site);
                out.copy.push_back(copy);
            }
    }
    return out;
}

// The images of the selected atoms filed by grid cell: cells at least as
// wide as the fractional reach of the clash distance on each axis, so that
// every contact lies in the same or a neighbouring cell (across the cell
// faces too).
class image_grid {
public:
    image_grid(const std::vector<fractional>& images, const vec3& reach) {
        for (int k = 0; k < 3; ++k) {
            const double across = std::floor(1.0 / reach[k]);  // NaN for an undefined distance
            n_[k] = across >= 1.0 ? static_cast<int>(std::min(across, 1048576.0)) : 1;
        }
        // A tiny clash distance in a large cell would ask for more cells than
        // images; wider cells are still correct.
        const double limit = 8.0 * static_cast<double>(images.size()) + 64.0;
        while (static_cast<double>(n_[0]) * n_[1] * n_[2] > limit) {
            int& widest = *std::max_element(n_.begin(), n_.end());
            widest = std::max(1, widest / 2);
        }
        const std::size_t cells = static_cast<std::size_t>(n_[0]) * n_[1] * n_[2];
        start_.assign(cells + 1, 0);
        std::vector<std::size_t> cell_of(images.size());
        for (std::size_t j = 0; j < images.size(); ++j) {
            cell_of[j] = index(cell_coordinates(images[j]));
            ++start_[cell_of[j] + 1];
        }
        for (std::size_t c = 0; c < cells; ++c) start_[c + 1] += start_[c];
        entries_.resize(images.size());
        std::vector<std::size_t> next(start_.begin(), start_.end() - 1);
        for (std::size_t j = 0; j < images.size(); ++j) entries_[next[cell_of[j]]++] = j;
    }

    // Calls f(j) for every image in the cell of p and its neighbours, each
    // image once.
    template <class F>
    void for_neighbours(const fractional& p, F&& f) const {
        const std::array<int, 3> c = cell_coordinates(p);
        // The distinct neighbouring cells along each axis (fewer than three
        // when the grid has fewer than three cells across).
        std::array<std::array<int, 3>, 3> axis{};
        std::array<int, 3> count{};
        for (int k = 0; k < 3; ++k)
            for (int o = -1; o <= 1; ++o) {
                const int v = ((c[k] + o) % n_[k] + n_[k]) % n_[k];
                if (std::find(axis[k].begin(), axis[k].begin() + count[k], v) == axis[k].begin() + count[k])
                    axis[k][count[k]++] = v;
            }
        for (int i = 0; i < count[0]; ++i)
            for (int j = 0; j < count[1]; ++j)
                for (int l = 0; l < count[2]; ++l) {
                    const std::size_t cell = index({axis[0][i], axis[1][j], axis[2][l]});
                    for (std::size_t e = start_[cell]; e < start_[cell + 1]; ++e) f(entries_[e]);
                }
    }

private:
    std::array<int, 3> cell_coordinates(const fractional& p) const {
        std::array<int, 3> c{};
        for (int k = 0; k < 3; ++k) c[k] = std::min(n_[k] - 1, static_cast<int>(p[k] * n_[k]));
        return c;
    }
    std::size_t index(const std::array<int, 3>& c) const {
        return (static_cast<std::size_t>(c[0]) * n_[1] + c[1]) * n_[2] + c[2];
    }

    std::array<int, 3> n_{1, 1, 1};
    std::vector<std::size_t> start_;    // first entry of each cell, then the end
    std::vector<std::size_t> entries_;  // image numbers, cell by cell
};

// |f_k . v| <= |f_k| |v| for the rows f_k of the fractionalisation matrix,
// so a fractional difference beyond |f_k| d on any axis cannot be a contact.
// The bound is slackened a little so that it never decides a borderline pair.
vec3 fractional_reach(const mat3& f, double clash_distance) {
    vec3 reach{};
    for (int k = 0; k < 3; ++k)
        reach[k] = std::sqrt(f[3 * k] * f[3 * k] + f[3 * k + 1] * f[3 * k + 1] + f[3 * k + 2] * f[3 * k + 2]) *
                       std::fabs(clash_distance) * (1.0 + 1e-9) + 1e-12;
    return reach;
}

}  // namespace

bool is_c_alpha(const placed_atom& a) {
    return a.element == 6 && a.line.size() >= 16 && a.line.compare(12, 4, " CA ") == 0;
}

int count_clashes(const placed_model_list& groups, const std::vector<unit_cell>& cells, bool all_atoms,
                  double clash_distance, const solution& s, const std::vector<int>& copy_of) {
    const unit_cell& cell = cells.at(static_cast<std::size_t>(s.cell));
    const std::vector<symmetry_operator>& ops = cell.group().operators;
    const std::size_t n = ops.size();
    const double d2 = clash_distance * clash_distance;

    const selection atoms = select_atoms(groups, copy_of, all_atoms);
    if (atoms.sites.empty() || n == 0) return 0;

    // Image of atom a under operator s at entry a*n + s, reduced into the cell.
    std::vector<fractional> images(atoms.sites.size() * n);
    for (std::size_t a = 0; a < atoms.sites.size(); ++a)
        for (std::size_t k = 0; k < n; ++k) {
            const fractional y = ops[k].apply(atoms.sites[a]);
            images[a * n + k] = {reduce(y[0]), reduce(y[1]), reduce(y[2])};
        }
    const vec3 reach = fractional_reach(inverse(cell.orthogonalisation), clash_distance);
    const image_grid grid(images, reach);

    int count = 0;
    for (std::size_t a = 0; a < atoms.sites.size(); ++a) {
        const std::size_t i = a * n;
        const fractional p = images[i];
        grid.for_neighbours(p, [&](std::size_t j) {
            if (j <= i) return;
            const fractional& q = images[j];
            fractional d;
            for (int k = 0; k < 3; ++k) {
                // Minimum image, in [-0.5, 0.5).
                d[k] = std::fmod(q[k] - p[k] + 99.5, 1.0) - 0.5;
                if (std::fabs(d[k]) > reach[k]) return;
            }
            if (squared_length(cell.to_orthogonal(d)) >= d2) return;
            const std::size_t b = j / n;
            if (j % n != 0 || atoms.copy[a] != atoms.copy[b]) {
                ++count;
                return;
            }
            // Two atoms of one copy: their contact within the copy is not a
            // clash; only their meeting through a lattice translation is.
            if (squared_length(cell.to_orthogonal(atoms.sites[b] - atoms.sites[a])) > d2) ++count;
        });
    }
    return count;
}

}  // namespace zelt
