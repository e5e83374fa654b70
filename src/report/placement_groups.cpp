#include "report/placement_groups.hpp"

#include <cmath>
#include <optional>

namespace zelt {

namespace {

bool is_c_alpha_line(const atom& a) { return a.line.size() >= 16 && a.line.compare(12, 4, " CA ") == 0; }

// Indices of the atoms a comparison uses.
std::vector<std::size_t> chosen_atoms(const model& m, std::size_t max_sites) {
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < m.size(); ++i)
        if (is_c_alpha_line(m[i])) chosen.push_back(i);
    if (chosen.size() < 3) {
        chosen.clear();
        for (std::size_t i = 0; i < m.size(); ++i) chosen.push_back(i);
    }
    if (max_sites == 0 || chosen.size() <= max_sites) return chosen;
    std::vector<std::size_t> thinned;
    for (std::size_t k = 0; k < max_sites; ++k) thinned.push_back(chosen[k * chosen.size() / max_sites]);
    return thinned;
}

// The origin offset shared by every copy: a permitted shift, and along a free
// axis a continuous shift fixed by the first copy matched.
struct origin_choice {
    fractional shift{};
    std::array<bool, 3> free{};
    std::optional<fractional> free_shift;
};

// RMS distance (Angstroms) between the sites of `a` and the image of `b`
// under the operator and origin, with the best lattice translation; sets the
// free shift when it is still open and the copies match.
double copy_distance(const compared_copy& a, const compared_copy& b, const symmetry_operator& op,
                     const unit_cell& cell, origin_choice& origin, double tolerance) {
    const std::size_t n = a.sites.size();
    std::vector<fractional> d(n);
    fractional mean{};
    for (std::size_t i = 0; i < n; ++i) {
        d[i] = a.sites[i] - (op.apply(b.sites[i]) + origin.shift);
        mean = mean + d[i];
    }
    fractional offset{};
    fractional free_part = origin.free_shift.value_or(fractional{});
    for (int x = 0; x < 3; ++x) {
        const double m = mean[x] / static_cast<double>(n);
        if (origin.free[x] && !origin.free_shift) free_part[x] = m;
        offset[x] = origin.free[x] ? free_part[x] + std::round(m - free_part[x]) : std::round(m);
    }
    double sum = 0.0;
    for (const fractional& di : d) {
        sum += squared_length(cell.to_orthogonal(di - offset));
    }
    const double rms = std::sqrt(sum / static_cast<double>(n));
    if (rms < tolerance && !origin.free_shift) origin.free_shift = free_part;
    return rms;
}

// Matches every copy of `b` to an unused copy of `a` (first fit; copies
// that coincide within the tolerance are the same copy).
bool copies_match(const compared_placement& a, const compared_placement& b, const unit_cell& cell,
                  origin_choice origin, double tolerance) {
    std::vector<bool> used(a.copies.size(), false);
    for (const compared_copy& cb : b.copies) {
        bool found = false;
        for (std::size_t j = 0; j < a.copies.size() && !found; ++j) {
            const compared_copy& ca = a.copies[j];
            if (used[j] || ca.model != cb.model || ca.segment != cb.segment ||
                ca.sites.size() != cb.sites.size() || ca.sites.empty())
                continue;
            for (const symmetry_operator& op : cell.group().operators) {
                if (copy_distance(ca, cb, op, cell, origin, tolerance) < tolerance) {
                    used[j] = found = true;
                    break;
                }
            }
        }
        if (!found) return false;
    }
    return true;
}

}  // namespace

compared_placement comparison_sites(const solution& s, const model_list& models,
                                    const std::vector<unit_cell>& cells, std::size_t max_sites) {
    const unit_cell& cell = cells.at(static_cast<std::size_t>(s.cell));
    compared_placement out;
    out.cell = s.cell;
    for (const copy_placement& p : s.placements) {
        const model& m = models.at(static_cast<std::size_t>(p.model));
        const mat3 r = rotation_matrix(p.orientation);
        const position t = cell.to_orthogonal(p.translation);
        compared_copy c;
        c.model = p.reported_model;
        c.segment = p.segment;
        for (std::size_t i : chosen_atoms(m, max_sites))
            c.sites.push_back(cell.to_fractional(mul(r, m[i].site) + t));
        out.copies.push_back(std::move(c));
    }
    return out;
}

bool same_placement(const compared_placement& a, const compared_placement& b,
                    const std::vector<unit_cell>& cells, double tolerance, bool origin_fixed) {
    if (a.cell != b.cell || a.copies.size() != b.copies.size()) return false;
    const unit_cell& cell = cells.at(static_cast<std::size_t>(a.cell));
    const space_group& group = cell.group();
    if (origin_fixed) return copies_match(a, b, cell, origin_choice{}, tolerance);
    for (const fractional& shift : group.origin_shifts) {
        origin_choice origin;
        origin.shift = shift;
        origin.free = group.free_axes;
        if (copies_match(a, b, cell, origin, tolerance)) return true;
    }
    return false;
}

std::vector<int> group_placements(const std::vector<compared_placement>& placements,
                                  const std::vector<unit_cell>& cells, double tolerance,
                                  bool origin_fixed) {
    std::vector<int> group(placements.size(), -1);
    std::vector<std::size_t> leaders;
    for (std::size_t i = 0; i < placements.size(); ++i) {
        for (std::size_t g = 0; g < leaders.size() && group[i] < 0; ++g)
            if (same_placement(placements[leaders[g]], placements[i], cells, tolerance, origin_fixed))
                group[i] = static_cast<int>(g);
        if (group[i] < 0) {
            group[i] = static_cast<int>(leaders.size());
            leaders.push_back(i);
        }
    }
    return group;
}

}  // namespace zelt
