#pragma once
// The run's random generator: one 64-bit Mersenne Twister seeded once per run,
// with uniform and normal deviates, random rotations and random integers.
// Everything here is drawn on the thread that runs the search loop only.
#include <cstdint>
#include <random>

#include "model/solution.hpp"

namespace zelt {

class random_source {
public:
    explicit random_source(std::uint64_t seed);

    // Uniform deviate in [0, 1): next engine output / 2^64.
    double uniform();
    // Uniform deviate in [a, b): a + (b - a) * uniform().
    double uniform(double a, double b);
    // Standard normal deviate by the Marsaglia polar method; every second call
    // returns the value kept from the previous pair without drawing.
    double normal();
    // Uniform random rotation from three deviates u1, u2, u3 (in that order):
    // (sqrt(1-u1) sin 2pi u2, sqrt(1-u1) cos 2pi u2, sqrt(u1) sin 2pi u3, sqrt(u1) cos 2pi u3).
    quaternion random_rotation();
    // base + integer part of (count * uniform()): an integer in [base, base + count - 1].
    int random_integer(int base, int count);

    std::mt19937_64& engine() { return engine_; }

    // Maps one engine output to [0, 1). Outputs within 2^10 of 2^64 would
    // round to exactly 1.0 in double precision; they give the largest double
    // below 1 instead, so the half-open range always holds.
    static double to_unit(std::uint64_t bits);

private:
    std::mt19937_64 engine_;
    bool has_kept_ = false;
    double kept_ = 0.0;
};

}  // namespace zelt
