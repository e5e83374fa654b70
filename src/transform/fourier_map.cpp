#include "transform/fourier_map.hpp"

#include <numbers>
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "common/errors.hpp"
#include "transform/fft.hpp"
#include "transform/scattering.hpp"

namespace zelt {

namespace {

constexpr double pi = std::numbers::pi;

// Grid points along an edge of `length` A: the integer part of
// length * sampling / d_min + 0.5, raised to the next FFT-friendly size.
int grid_size(double length, double sampling, double d_min, const char* axis) {
    const double raw = length * sampling / d_min + 0.5;
    if (!(raw >= 0.0) || raw > 1.0e6)
        throw std::runtime_error(std::string("fourier_map: cannot size the grid along ") + axis +
                                 " (edge " + std::to_string(length) + " A, sampling " +
                                 std::to_string(sampling) + ", d_min " + std::to_string(d_min) + ")");
    const int n = static_cast<int>(raw);
    const int size = fft_friendly_size(n);
    if (size == 0)
        throw std::runtime_error(std::string("fourier_map: no FFT-friendly grid size for ") +
                                 std::to_string(n) + " points along " + axis);
    return size;
}

// Non-negative remainder, for grid indices of positions outside the cell.
inline long long wrap(long long i, long long n) {
    const long long r = i % n;
    return r < 0 ? r + n : r;
}

}  // namespace

fourier_map::fourier_map(const unit_cell& cell, double sampling, double d_max, double d_min)
    : cell_(cell), d_max_(d_max), d_min_(d_min), sampling_(sampling) {
    nx_ = grid_size(cell.a, sampling, d_min, "a");
    ny_ = grid_size(cell.b, sampling, d_min, "b");
    nz_ = grid_size(cell.c, sampling, d_min, "c");

    const double half = sampling / 2.0;
    const double m = std::max(0.1, (half - 1.0) * half);
    b_add_ = 7.0 * d_min * d_min / m - 10.0;
    if (b_add_ < 0.0) b_add_ = 0.0;

    const std::size_t nx = static_cast<std::size_t>(nx_), ny = static_cast<std::size_t>(ny_),
                      nz = static_cast<std::size_t>(nz_);
    const std::size_t limit = std::numeric_limits<std::ptrdiff_t>::max() / sizeof(float);
    if (nx * ny > limit / nz) throw std::bad_alloc();
    const std::size_t total = nx * ny * nz;
    scale_ = cell.volume / static_cast<double>(total);
    re_.assign(total, 0.0f);
    im_.assign(total, 0.0f);
    transformed_ = false;
}

std::size_t fourier_map::index(int i, int j, int k) const {
    return static_cast<std::size_t>(wrap(i, nx_)) +
           static_cast<std::size_t>(nx_) *
               (static_cast<std::size_t>(wrap(j, ny_)) +
                static_cast<std::size_t>(ny_) * static_cast<std::size_t>(wrap(k, nz_)));
}

// rho(r) = sum A_i exp(-E_i r^2), the exact transform of q f(s) exp(-(B + B_add) s^2).
fourier_map::blob fourier_map::atom_blob(double occupancy, double b, int element) const {
    const scattering_row& row = scattering_row_for(element);
    blob g{};
    for (int i = 0; i < 5; ++i) {
        const double a = i < 4 ? row[2 * i] : row[8];
        double w = (i < 4 ? row[2 * i + 1] : 0.0) + b + b_add_;
        if (!(w >= min_width)) w = min_width;  // also catches a B that is not a number
        g.amplitude[i] = occupancy * a * std::pow(4.0 * pi / w, 1.5);
        g.exponent[i] = 4.0 * pi * pi / w;
    }
    return g;
}

double fourier_map::density(const blob& g, double r2) {
    double rho = 0.0;
    for (int i = 0; i < 5; ++i) rho += g.amplitude[i] * std::exp(-g.exponent[i] * r2);
    return rho;
}

double fourier_map::cutoff(const blob& g) {
    double rho0 = 0.0;
    for (double a : g.amplitude) rho0 += a;
    if (!(rho0 > 0.0)) return 0.0;
    double r = 0.1;
    // Every width is at least min_width, so the ratio reaches 200 well within
    // the bound; the bound only guards against coefficients that never let it.
    for (int step = 0; step < 100000; ++step) {
        const double rho = density(g, r * r);
        if (rho <= 0.0 || rho0 / rho >= 200.0) break;
        r += 0.1;
    }
    return r;
}

double fourier_map::cutoff_radius(double occupancy, double b, int element) const {
    if (!(occupancy >= 0.00001)) return 0.0;
    return cutoff(atom_blob(occupancy, b, element));
}

void fourier_map::add_atom(const fractional& frac, double occupancy, double b, int element) {
    if (transformed_) {
        std::fill(re_.begin(), re_.end(), 0.0f);
        std::fill(im_.begin(), im_.end(), 0.0f);
        transformed_ = false;
    }
    if (!(occupancy >= 0.00001)) return;
    for (double x : frac)
        if (!(std::fabs(x) <= 1.0e6))
            throw range_refusal("atom position out of range in fourier_map");

    const blob g = atom_blob(occupancy, b, element);
    const double rc = cutoff(g);
    if (rc <= 0.0) return;
    const double rc2 = rc * rc;

    const mat3& fm = cell_.fractionalisation;
    const mat3& om = cell_.orthogonalisation;
    const int n[3] = {nx_, ny_, nz_};
    // Half-extent of the painted box in grid units. The fractional vector
    // (rc, rc, rc) can fall short of the sphere in oblique cells, so the box
    // is widened where needed to the sphere's own extent, rc |row of F|.
    double e[3];
    const vec3 diag = mul(fm, vec3{rc, rc, rc});
    for (int ax = 0; ax < 3; ++ax) {
        const double row = std::sqrt(fm[3 * ax] * fm[3 * ax] + fm[3 * ax + 1] * fm[3 * ax + 1] +
                                     fm[3 * ax + 2] * fm[3 * ax + 2]);
        e[ax] = std::max(std::fabs(diag[ax]), rc * row) * n[ax];
    }

    for (const symmetry_operator& op : cell_.group().operators) {
        const fractional xs = op.apply(frac);
        const position c = cell_.to_orthogonal(xs);
        long long lo[3], hi[3];
        for (int ax = 0; ax < 3; ++ax) {
            const double gc = xs[ax] * n[ax];
            lo[ax] = static_cast<long long>(std::floor(gc - e[ax] + 0.5));
            hi[ax] = static_cast<long long>(std::floor(gc + e[ax] + 0.5));
        }
        for (long long i = lo[0]; i <= hi[0]; ++i) {
            const double fi = static_cast<double>(i) / nx_;
            const vec3 pi_row = {om[0] * fi - c[0], om[3] * fi - c[1], om[6] * fi - c[2]};
            const std::size_t ii = static_cast<std::size_t>(wrap(i, nx_));
            for (long long j = lo[1]; j <= hi[1]; ++j) {
                const double fj = static_cast<double>(j) / ny_;
                const vec3 pj = {pi_row[0] + om[1] * fj, pi_row[1] + om[4] * fj, pi_row[2] + om[7] * fj};
                const std::size_t row =
                    ii + static_cast<std::size_t>(nx_) * static_cast<std::size_t>(wrap(j, ny_));
                for (long long k = lo[2]; k <= hi[2]; ++k) {
                    const double fk = static_cast<double>(k) / nz_;
                    const double dx = pj[0] + om[2] * fk;
                    const double dy = pj[1] + om[5] * fk;
                    const double dz = pj[2] + om[8] * fk;
                    const double d2 = dx * dx + dy * dy + dz * dz;
                    if (d2 > rc2) continue;
                    const std::size_t idx =
                        row + static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_) *
                                  static_cast<std::size_t>(wrap(k, nz_));
                    re_[idx] += static_cast<float>(density(g, d2));
                }
            }
        }
    }
}

void fourier_map::transform() {
    fft_3d(re_.data(), im_.data(), nx_, ny_, nz_);
    transformed_ = true;
}

std::complex<float> fourier_map::structure_factor(int h, int k, int l) const {
    return structure_factor(h, k, l, cell_.d_spacing(h, k, l));
}

std::complex<float> fourier_map::structure_factor(int h, int k, int l, double d) const {
    if (!(d >= d_min_ && d <= d_max_))
        throw std::invalid_argument("reflection out of resolution range in fourier_map");
    const std::size_t idx = index(h, k, l);
    const double s = 0.5 / d;
    const float factor = static_cast<float>(std::exp(b_add_ * s * s) * scale_);
    return {re_[idx] * factor, -im_[idx] * factor};
}

}  // namespace zelt
