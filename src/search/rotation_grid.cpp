#include "search/rotation_grid.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <stdexcept>

namespace zelt {

namespace {

constexpr double pi = 3.141592653589793;

quaternion multiply(const quaternion& a, const quaternion& b) {
    // (x, y, z, w) order: vector part first.
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
            a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3],
            a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

double trace(const mat3& m) { return m[0] + m[4] + m[8]; }

double angle_of(const mat3& m) { return std::acos(std::clamp((trace(m) - 1.0) / 2.0, -1.0, 1.0)); }

// One sign for q and -q: the first component of magnitude above 1e-9 positive.
quaternion canonical(quaternion q) {
    for (double c : q) {
        if (std::fabs(c) <= 1e-9) continue;
        if (c < 0)
            for (double& x : q) x = -x;
        break;
    }
    return q;
}

std::array<std::int64_t, 4> key_of(const quaternion& q) {
    const quaternion c = canonical(q);
    std::array<std::int64_t, 4> k{};
    for (int i = 0; i < 4; ++i) k[i] = std::llround(c[i] * 1e6);
    return k;
}

// The grid's points, untuned and unreduced, in a fixed order.
std::vector<quaternion> full_grid(int n) {
    std::vector<double> t(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) t[i] = std::tan(-pi / 4 + (i + 0.5) * (pi / 2) / n);
    std::vector<quaternion> out;
    out.reserve(static_cast<std::size_t>(4) * n * n * n);
    for (int f = 0; f < 4; ++f)
        for (double x : t)
            for (double y : t)
                for (double z : t) {
                    const std::array<double, 3> u{x, y, z};
                    quaternion q{};
                    for (int i = 0, j = 0; i < 4; ++i) q[i] = i == f ? 1.0 : u[j++];
                    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
                    for (double& c : q) c /= norm;
                    out.push_back(q);
                }
    return out;
}

}  // namespace

int rotation_grid_steps(double spacing) {
    if (!(spacing > 0.0)) throw std::invalid_argument("rotation grid spacing must be positive");
    return static_cast<int>(std::ceil(pi / spacing - 1e-9));
}

double rotation_grid_points(double spacing) {
    const double n = std::ceil(pi / spacing - 1e-9);
    return 4.0 * n * n * n;
}

double rotation_grid_covering(double spacing) {
    return std::sqrt(3.0) / 2.0 * pi / rotation_grid_steps(spacing);
}

double rotation_distance(const mat3& a, const mat3& b) { return angle_of(mul(transpose(a), b)); }

quaternion rotation_quaternion(const mat3& r) {
    // The largest of the four squared components decides which formula is
    // well conditioned.
    const double t = trace(r);
    quaternion q{};
    if (t > r[0] && t > r[4] && t > r[8]) {
        const double s = 2.0 * std::sqrt(1.0 + t);
        q = {(r[7] - r[5]) / s, (r[2] - r[6]) / s, (r[3] - r[1]) / s, s / 4};
    } else if (r[0] >= r[4] && r[0] >= r[8]) {
        const double s = 2.0 * std::sqrt(std::max(1e-300, 1.0 + r[0] - r[4] - r[8]));
        q = {s / 4, (r[1] + r[3]) / s, (r[2] + r[6]) / s, (r[7] - r[5]) / s};
    } else if (r[4] >= r[8]) {
        const double s = 2.0 * std::sqrt(std::max(1e-300, 1.0 + r[4] - r[0] - r[8]));
        q = {(r[1] + r[3]) / s, s / 4, (r[5] + r[7]) / s, (r[2] - r[6]) / s};
    } else {
        const double s = 2.0 * std::sqrt(std::max(1e-300, 1.0 + r[8] - r[0] - r[4]));
        q = {(r[2] + r[6]) / s, (r[5] + r[7]) / s, s / 4, (r[3] - r[1]) / s};
    }
    if (q[3] < 0)
        for (double& c : q) c = -c;
    return q;
}

std::vector<quaternion> rotation_grid(double spacing, const quaternion& turn, const std::vector<mat3>& symmetry) {
    const int n = rotation_grid_steps(spacing);
    const double margin = 2.0 * rotation_grid_covering(spacing) + 1e-9;
    std::vector<quaternion> symmetry_q;
    for (const mat3& s : symmetry)
        if (angle_of(s) > 1e-6) symmetry_q.push_back(rotation_quaternion(s));
    std::vector<quaternion> kept;
    std::map<std::array<std::int64_t, 4>, bool> seen;
    for (const quaternion& g0 : full_grid(n)) {
        const quaternion g = multiply(g0, turn);
        const double w = 2.0 * std::acos(std::min(1.0, std::fabs(g[3])));
        bool keep = true, duplicate = false;
        for (const quaternion& s : symmetry_q) {
            const quaternion sg = multiply(s, g);
            const double ws = 2.0 * std::acos(std::min(1.0, std::fabs(sg[3])));
            if (w > ws + margin) {
                keep = false;
                break;
            }
            if (seen.count(key_of(sg)) != 0) duplicate = true;
        }
        if (!keep || duplicate) continue;
        seen[key_of(g)] = true;
        kept.push_back(canonical(g));
    }
    return kept;
}

}  // namespace zelt
