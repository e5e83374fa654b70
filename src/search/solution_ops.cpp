#include "search/solution_ops.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace zelt {

quaternion quaternion_from_matrix(const mat3& r) {
    const double r11 = r[0], r12 = r[1], r13 = r[2];
    const double r21 = r[3], r22 = r[4], r23 = r[5];
    const double r31 = r[6], r32 = r[7], r33 = r[8];
    quaternion q{};
    if (r33 + (r11 + r22) >= 0.0) {
        const double t = std::sqrt(r11 + r22 + r33 + 1.0);
        const double h = 0.5 / t;
        q = {(r32 - r23) * h, (r13 - r31) * h, (r21 - r12) * h, t / 2.0};
        return q;
    }
    double d = r33 > r22 ? r33 : r22;
    if (!(r11 < d)) d = r11;
    if (r11 == d) {
        const double t = std::sqrt(r11 - (r33 + r22) + 1.0);
        const double h = 0.5 / t;
        q = {t / 2.0, (r21 + r12) * h, (r31 + r13) * h, (r32 - r23) * h};
    } else if (r22 != d) {
        const double t = std::sqrt(r33 - (r11 + r22) + 1.0);
        const double h = 0.5 / t;
        q = {(r31 + r13) * h, (r32 + r23) * h, t / 2.0, (r21 - r12) * h};
    } else {
        const double t = std::sqrt(r22 - (r33 + r11) + 1.0);
        const double h = 0.5 / t;
        q = {(r21 + r12) * h, t / 2.0, (r32 + r23) * h, (r13 - r31) * h};
    }
    return q;
}

quaternion hamilton_product(const quaternion& a, const quaternion& b) {
    const double xs = a[0], ys = a[1], zs = a[2], ws = a[3];
    const double x = b[0], y = b[1], z = b[2], w = b[3];
    return {ws * x + xs * w + ys * z - zs * y, ws * y + ys * w + zs * x - xs * z,
            ws * z + zs * w + xs * y - ys * x, ws * w - xs * x - ys * y - zs * z};
}

quaternion normalised(const quaternion& q) {
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(n > 0.0)) return {0.0, 0.0, 0.0, 1.0};
    return {q[0] / n, q[1] / n, q[2] / n, q[3] / n};
}

double wrap_unit(double x) {
    double r = std::fmod(x, 1.0);
    if (r < 0.0) r += 1.0;
    return r < 1.0 ? r : 0.0;
}

std::vector<double> to_parameters(const solution& s, bool orientation, bool position) {
    std::vector<double> p;
    p.reserve(s.placements.size() * 7 + 2);
    for (const copy_placement& c : s.placements) {
        if (orientation) p.insert(p.end(), c.orientation.begin(), c.orientation.end());
        if (position) p.insert(p.end(), c.translation.begin(), c.translation.end());
    }
    p.push_back(s.k * 0.1);
    p.push_back(s.b * 0.0001);
    return p;
}

namespace {

void apply_parameters(solution& s, const std::vector<double>& p, bool orientation, bool position,
                      bool reduce) {
    const std::size_t per = (orientation ? 4 : 0) + (position ? 3 : 0);
    if (p.size() != s.placements.size() * per + 2)
        throw std::invalid_argument("parameter vector of length " + std::to_string(p.size()) +
                                    " does not match the solution");
    std::size_t i = 0;
    for (copy_placement& c : s.placements) {
        if (orientation) {
            c.orientation = normalised({p[i], p[i + 1], p[i + 2], p[i + 3]});
            i += 4;
        }
        if (position) {
            for (int a = 0; a < 3; ++a) c.translation[a] = reduce ? std::fmod(p[i + a], 1.0) : p[i + a];
            i += 3;
        }
    }
    s.k = static_cast<float>(10.0 * p[i]);
    s.b = static_cast<float>(10000.0 * p[i + 1]);
}

}  // namespace

solution from_parameters(const solution& base, const std::vector<double>& p, bool orientation,
                         bool position) {
    solution s = base;
    apply_parameters(s, p, orientation, position, true);
    return s;
}

void write_back_parameters(solution& s, const std::vector<double>& p, bool orientation,
                           bool position) {
    apply_parameters(s, p, orientation, position, false);
}

namespace {

const fractional& start_of(const std::vector<fractional>& starts, int model) {
    if (model < 0 || static_cast<std::size_t>(model) >= starts.size())
        throw std::out_of_range("model index " + std::to_string(model) + " has no start position");
    return starts[model];
}

void normalise_simple(solution& s, const std::vector<fractional>& starts, const std::array<bool, 3>& fixed) {
    const copy_placement& first = s.placements.front();
    const fractional& first_start = start_of(starts, first.model);
    fractional shift{0.0, 0.0, 0.0};
    for (int a = 0; a < 3; ++a)
        if (fixed[a]) shift[a] = first.translation[a] - first_start[a];
    for (copy_placement& c : s.placements) {
        c.orientation = normalised(c.orientation);
        const fractional& start = start_of(starts, c.model);
        for (int a = 0; a < 3; ++a)
            c.translation[a] = wrap_unit(c.translation[a] - shift[a]) + std::floor(start[a]);
    }
}

void normalise_full(solution& s, const unit_cell& cell, const std::vector<fractional>& starts,
                    const std::array<bool, 3>& fixed, bool static_present) {
    const space_group& group = cell.group();
    fractional shift{0.0, 0.0, 0.0};
    for (int a = 0; a < 3; ++a) {
        if (!fixed[a]) continue;
        if (group.free_axes[a]) {
            double lowest = s.placements.front().translation[a];
            for (const copy_placement& c : s.placements) lowest = std::min(lowest, c.translation[a]);
            shift[a] = lowest;
        } else {
            const copy_placement& first = s.placements.front();
            shift[a] = first.translation[a] - start_of(starts, first.model)[a];
        }
    }
    for (copy_placement& c : s.placements) {
        c.orientation = normalised(c.orientation);
        c.translation = c.translation - shift;
    }

    // Origin choice: fixed at 0 by a static structure, otherwise chosen by
    // the first copy and kept for the rest.
    std::vector<fractional> origins;
    if (static_present || group.origin_shifts.empty()) origins.push_back({0.0, 0.0, 0.0});
    else origins = group.origin_shifts;

    for (copy_placement& c : s.placements) {
        double best = std::numeric_limits<double>::infinity();
        std::size_t best_origin = 0, best_op = 0;
        fractional best_p = c.translation;
        for (std::size_t o = 0; o < origins.size(); ++o) {
            const fractional moved = c.translation - origins[o];
            for (std::size_t k = 0; k < group.operators.size(); ++k) {
                fractional p = group.operators[k].apply(moved);
                for (double& x : p) x = wrap_unit(x);
                const double d = squared_length(cell.to_orthogonal(p));
                if (d < best) {
                    best = d;
                    best_origin = o;
                    best_op = k;
                    best_p = p;
                }
            }
        }
        if (group.operators.empty()) continue;
        const mat3 rs = mul(mul(cell.orthogonalisation, group.operators[best_op].rotation()),
                            cell.fractionalisation);
        const quaternion qs = quaternion_from_matrix(rs);
        c.orientation = normalised(hamilton_product(qs, c.orientation));
        c.translation = best_p;
        const fractional chosen = origins[best_origin];
        origins.assign(1, chosen);
    }
}

}  // namespace

void normalise_solution(solution& s, const std::vector<unit_cell>& cells,
                        const std::vector<fractional>& start_positions,
                        const std::array<bool, 3>& fixed_axes, bool static_present,
                        bool simple_mode) {
    if (s.placements.empty()) return;
    if (simple_mode) {
        normalise_simple(s, start_positions, fixed_axes);
        return;
    }
    if (s.cell < 0 || static_cast<std::size_t>(s.cell) >= cells.size())
        throw std::out_of_range("cell index " + std::to_string(s.cell) + " is not in the list of cells");
    normalise_full(s, cells[s.cell], start_positions, fixed_axes, static_present);
}

solution starting_solution(int cell, int model, int placements, const std::vector<fractional>& centres, bool babinet) {
    solution s;
    s.cell = cell;
    s.k = babinet ? 0.8f : 0.0f;
    s.b = 200.0f;
    for (int i = 0; i < placements; ++i) {
        copy_placement c;
        c.model = c.reported_model = model + i;
        c.translation = centres.at(model + i);
        s.placements.push_back(c);
    }
    return s;
}

}  // namespace zelt
