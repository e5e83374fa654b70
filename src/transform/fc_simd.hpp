#pragma once
// The structure-factor loop of a candidate on the vector units of the
// processor it runs on: several reflections side by side in the lanes of one
// register, the instruction set chosen at run time. Each lane's arithmetic
// depends only on its own reflection, so a reflection's value does not depend
// on how the range is split over threads or blocks; it may differ in the last
// bits between instruction sets, and from the scalar loop (single-precision
// index and phase products, polynomial sine and cosine).
#include <complex>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zelt::fc_simd {

// One symmetry copy of one placed model, in single precision, with the axis
// permutation of the cell folded into the columns: the table point is
// q = m * (h, k, l) (row-major) and the phase in cycles is v . (h, k, l),
// with v reduced to [-0.5, 0.5] (whole cycles do not change the phase of an
// integral index).
struct term {
    float m[9];
    float v[3];
};

// A placed model: its table and the run of terms (one per operator).
struct copy {
    const float* entries;   // interleaved (re, im) of transform_table::entries
    std::int32_t n[3];
    float origin[3];
    float inverse_step[3];
    std::size_t first;
    std::size_t count;
};

// What one call reads. h, k, l are columns of the reflection indices that may
// be read up to the next multiple of `padding` beyond the last reflection;
// the loop works on them as single-precision values (exact up to 2^24).
struct job {
    const std::int32_t* h = nullptr;
    const std::int32_t* k = nullptr;
    const std::int32_t* l = nullptr;
    const std::complex<float>* static_fc = nullptr;
    const term* terms = nullptr;
    const copy* copies = nullptr;
    std::size_t n_copies = 0;
    bool trilinear = true;
    // Bulk-solvent factor 1 - k exp(-B s2) applied to each sum when `babinet`.
    const float* s2 = nullptr;
    float k_sol = 0.0f;
    float b_sol = 0.0f;
    bool babinet = false;
};

// Index columns are padded to a multiple of this many reflections, and
// ranges handed to run() should start at such a multiple.
constexpr std::size_t padding = 64;

// out[i] = static_fc[i] + sum over copies and operators, times the
// bulk-solvent factor when asked, for i in [begin, end). Writes nothing
// outside the range.
void run(const job& j, std::size_t begin, std::size_t end, std::complex<float>* out);

// Name of the instruction set run() uses now.
std::string target_name();

}  // namespace zelt::fc_simd
