#include "search/random.hpp"

#include <numbers>
#include <cmath>
#include <limits>

namespace zelt {

namespace {
constexpr double two_pi = 2.0 * std::numbers::pi;
constexpr double two_to_64 = 18446744073709551616.0;
}  // namespace

random_source::random_source(std::uint64_t seed) : engine_(seed) {}

double random_source::to_unit(std::uint64_t bits) {
    const double u = static_cast<double>(bits) / two_to_64;
    // Conversion rounds to nearest: the top 2^10 outputs would give 1.0.
    return u < 1.0 ? u : std::nextafter(1.0, 0.0);
}

double random_source::uniform() { return to_unit(engine_()); }

double random_source::uniform(double a, double b) { return a + (b - a) * uniform(); }

double random_source::normal() {
    if (has_kept_) {
        has_kept_ = false;
        return kept_;
    }
    double x1, x2, rho;
    do {
        x1 = 2.0 * uniform() - 1.0;
        x2 = 2.0 * uniform() - 1.0;
        rho = x1 * x1 + x2 * x2;
        // rho == 0 would give log(0) / 0; it is drawn again like rho >= 1.
    } while (rho >= 1.0 || rho == 0.0);
    const double f = std::sqrt(-2.0 * std::log(rho) / rho);
    kept_ = f * x2;
    has_kept_ = true;
    return f * x1;
}

quaternion random_source::random_rotation() {
    const double u1 = uniform();
    const double u2 = uniform();
    const double u3 = uniform();
    const double a = std::sqrt(1.0 - u1);
    const double b = std::sqrt(u1);
    const double t1 = two_pi * u2;
    const double t2 = two_pi * u3;
    return {a * std::sin(t1), a * std::cos(t1), b * std::sin(t2), b * std::cos(t2)};
}

int random_source::random_integer(int base, int count) {
    return base + static_cast<int>(count * uniform());
}

}  // namespace zelt
