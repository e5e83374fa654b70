#include "score/packing.hpp"

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

}  // namespace

bool is_c_alpha(const atom& a) {
    return a.element == 6 && a.line.size() >= 16 && a.line.compare(12, 4, " CA ") == 0;
}

int count_clashes(const model_list& groups, const std::vector<unit_cell>& cells, bool all_atoms,
                  double clash_distance, const solution& s) {
    const unit_cell& cell = cells.at(static_cast<std::size_t>(s.cell));
    const std::vector<symmetry_operator>& ops = cell.group().operators;
    const std::size_t n = ops.size();
    const double d2 = clash_distance * clash_distance;
    const mat3& o = cell.orthogonalisation;

    std::vector<vec3> atoms;  // selected atoms as stored (fractional, unreduced)
    // The members of a merged ensemble stand in one place; only the first
    // member counts, or they would clash with each other's images.
    for (const model& g : groups)
        for (const atom& a : g)
            if (a.member == 0 && (all_atoms || is_c_alpha(a))) atoms.push_back({a.x, a.y, a.z});
    if (atoms.empty() || n == 0) return 0;

    // Image of atom a under operator s at entry a*n + s, reduced into the cell.
    std::vector<vec3> images(atoms.size() * n);
    for (std::size_t a = 0; a < atoms.size(); ++a)
        for (std::size_t k = 0; k < n; ++k) {
            const vec3 y = ops[k].apply(atoms[a]);
            images[a * n + k] = {reduce(y[0]), reduce(y[1]), reduce(y[2])};
        }

    // |f_k . v| <= |f_k| |v| for the rows f_k of the fractionalisation matrix,
    // so a fractional difference beyond |f_k| d on any axis cannot be a contact.
    // The bound is slackened a little so that it never decides a borderline pair.
    const mat3 f = inverse(o);
    vec3 reach{};
    for (int k = 0; k < 3; ++k)
        reach[k] = std::sqrt(f[3 * k] * f[3 * k] + f[3 * k + 1] * f[3 * k + 1] +
                             f[3 * k + 2] * f[3 * k + 2]) *
                       std::fabs(clash_distance) * (1.0 + 1e-9) + 1e-12;

    int count = 0;
    const std::size_t entries = images.size();
    for (std::size_t a = 0; a < atoms.size(); ++a) {
        const std::size_t i = a * n;
        const vec3 p = images[i];
        for (std::size_t j = i + 1; j < entries; ++j) {
            const vec3& q = images[j];
            vec3 d;
            bool far = false;
            for (int k = 0; k < 3; ++k) {
                // Minimum image, in [-0.5, 0.5).
                d[k] = std::fmod(q[k] - p[k] + 99.5, 1.0) - 0.5;
                if (std::fabs(d[k]) > reach[k]) {
                    far = true;
                    break;
                }
            }
            if (far) continue;
            const vec3 c = mul(o, d);
            if (dot(c, c) >= d2) continue;
            if (j % n != 0) {
                ++count;
            } else {
                // The other atom itself: a contact within the asymmetric unit
                // is not a clash; only its meeting through a lattice
                // translation is.
                const vec3 direct = mul(o, sub(atoms[j / n], atoms[a]));
                if (dot(direct, direct) > d2) ++count;
            }
        }
    }
    return count;
}

}  // namespace zelt
