// Mixed-radix in-place FFT: decimation-in-frequency passes with dedicated
// kernels for radices 2, 3, 4, 5 and 8 and a general kernel for odd radices
// up to 19, followed by an in-place digit-reversal reordering (the
// factorisation of a length and the reordering are in fft_digits.cpp).
//
// Each pass works on every line of the line set at once: twiddle offsets are
// the outer loop, so each twiddle factor is computed once per pass and then
// applied to all lines (and all blocks of the line) that need it.
#include "transform/fft.hpp"

#include <numbers>
#include <algorithm>
#include <cstddef>
#include <cmath>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__GNUC__) && !defined(__clang__)
#define ZELT_IVDEP _Pragma("GCC ivdep")
#elif defined(__clang__)
#define ZELT_IVDEP _Pragma("clang loop vectorize(assume_safety)")
#else
#define ZELT_IVDEP
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "transform/fft.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

// The passes are plain loops over the lines of a pass,
// written for the compiler's vectoriser; they are compiled once per
// instruction set (Highway's targets) and the best one the processor
// supports is chosen at run time.
HWY_BEFORE_NAMESPACE();
namespace zelt {
namespace HWY_NAMESPACE {

namespace {

constexpr double two_pi = 2.0 * std::numbers::pi;

// Exact constants of the dedicated kernels, in single precision.
constexpr float sin60 = 0.866025403784438646763723170753f;   // sqrt(3)/2
constexpr float rt2_2 = 0.707106781186547524400844362105f;   // sqrt(2)/2
constexpr float c72 = 0.309016994374947424102293417183f;     // cos(2 pi/5)
constexpr float s72 = 0.951056516295153572116439333379f;     // sin(2 pi/5)
constexpr float c144 = -0.809016994374947424102293417183f;   // cos(4 pi/5)
constexpr float s144 = 0.587785252292473129168705954639f;    // sin(4 pi/5)

// Powers r = 0..f-1 of the twiddle exp(-i theta) of one offset, stored as
// cos(r theta) and sin(r theta); the factor applied is (c - i s).
struct twiddle {
    float c[fft_max_prime];
    float s[fft_max_prime];
};

// Fills powers 2..f-1 from the first one: double angle, then product rule.
inline void twiddle_powers(twiddle& w, int f) {
    w.c[0] = 1.0f;
    w.s[0] = 0.0f;
    if (f > 2) {
        w.c[2] = w.c[1] * w.c[1] - w.s[1] * w.s[1];
        w.s[2] = 2.0f * w.c[1] * w.s[1];
    }
    for (int r = 3; r < f; ++r) {
        w.c[r] = w.c[r - 1] * w.c[1] - w.s[r - 1] * w.s[1];
        w.s[r] = w.s[r - 1] * w.c[1] + w.c[r - 1] * w.s[1];
    }
}

// Stores (xr + i xi) * w^r, or the plain value when the offset needs no twiddle.
template <bool TW>
inline void store(float* re, float* im, std::ptrdiff_t k, float xr, float xi, const twiddle& w,
                  int r) {
    if constexpr (TW) {
        re[k] = xr * w.c[r] + xi * w.s[r];
        im[k] = xi * w.c[r] - xr * w.s[r];
    } else {
        (void)w;
        (void)r;
        re[k] = xr;
        im[k] = xi;
    }
}

// Storage an FFT reuses from call to call, one per thread: it grows to the
// largest size seen, so that a transform of a size done before allocates
// nothing.
struct workspace {
    std::vector<float> twiddles;         // one pass's table of twiddle powers
    std::vector<float> batch;            // x lines side by side
};

workspace& thread_workspace() {
    thread_local workspace w;
    return w;
}

// At least `size` elements of a workspace buffer; the contents are left as
// they were.
template <class T>
T* at_least(std::vector<T>& buffer, std::size_t size) {
    if (buffer.size() < size) buffer.resize(size);
    return buffer.data();
}

// The twiddle powers r = 0..f-1 of every offset j = 1..span-1 of one pass:
// the cosines at j * 2f + r, the sines f further on. Offsets j and span - j
// are computed together: with theta' = 2 pi / f - theta their twiddles come
// from one cosine and sine.
const float* twiddle_table(int f, std::ptrdiff_t span) {
    float* table = at_least(thread_workspace().twiddles, static_cast<std::size_t>(span) * f * 2);
    const float cf = static_cast<float>(std::cos(two_pi / f));
    const float sf = static_cast<float>(std::sin(two_pi / f));
    auto keep = [&](std::ptrdiff_t j, const twiddle& w) {
        float* t = table + j * f * 2;
        for (int r = 0; r < f; ++r) {
            t[r] = w.c[r];
            t[f + r] = w.s[r];
        }
    };
    twiddle w;
    twiddle_powers(w, 1);
    for (std::ptrdiff_t j = 1; 2 * j <= span; ++j) {
        const float angle = static_cast<float>(two_pi * static_cast<double>(j) /
                                               static_cast<double>(f * span));
        const float c1 = std::cos(angle);
        const float s1 = std::sin(angle);
        w.c[1] = c1;
        w.s[1] = s1;
        twiddle_powers(w, f);
        keep(j, w);
        if (2 * j != span) {
            w.c[1] = cf * c1 + sf * s1;
            w.s[1] = sf * c1 - cf * s1;
            twiddle_powers(w, f);
            keep(span - j, w);
        }
    }
    return table;
}

// Runs `kernel` over every group of one pass. The twiddle factors of all
// offsets j are computed once per pass (twiddle_table). The array is then
// walked in chunks of whole blocks that stay in the cache, with the offsets
// outermost inside a chunk, the blocks of every line next and the lines
// that share a stride offset innermost.
template <class Kernel>
void pass_loop(int f, std::ptrdiff_t span, const fft_lines& lines, const Kernel& kernel) {
    const std::ptrdiff_t s = lines.stride;
    const std::ptrdiff_t total = lines.total;
    const std::ptrdiff_t inc = span * s;   // distance of the f points of a group
    const std::ptrdiff_t jump = inc * f;   // distance of successive blocks
    const float* table = twiddle_table(f, span);

    // Neighbouring lines (a) touch disjoint points, since inc >= s: the
    // innermost loop carries no dependence and may be vectorised.
    auto run = [&](std::ptrdiff_t from, std::ptrdiff_t to, const twiddle& tw, auto with_twiddle) {
        for (std::ptrdiff_t blk = from; blk < to; blk += jump) {
            ZELT_IVDEP
            for (std::ptrdiff_t a = 0; a < s; ++a) kernel(with_twiddle, blk + a, inc, tw);
        }
    };
    constexpr std::ptrdiff_t cached = std::ptrdiff_t{1} << 14;  // elements per chunk
    const std::ptrdiff_t chunk = std::max(jump, cached / jump * jump);
    twiddle one, w;
    twiddle_powers(one, 1);
    for (std::ptrdiff_t c0 = 0; c0 < total; c0 += chunk) {
        const std::ptrdiff_t c1 = std::min(total, c0 + chunk);
        run(c0, c1, one, std::false_type{});
        for (std::ptrdiff_t j = 1; j < span; ++j) {
            const float* t = table + j * f * 2;
            for (int r = 0; r < f; ++r) {
                w.c[r] = t[r];
                w.s[r] = t[f + r];
            }
            run(c0 + j * s, c1, w, std::true_type{});
        }
    }
}

struct radix2 {
    float* re;
    float* im;
    template <class TW>
    void operator()(TW, std::ptrdiff_t k0, std::ptrdiff_t inc, const twiddle& w) const {
        const std::ptrdiff_t k1 = k0 + inc;
        const float ar = re[k0], ai = im[k0], br = re[k1], bi = im[k1];
        re[k0] = ar + br;
        im[k0] = ai + bi;
        store<TW::value>(re, im, k1, ar - br, ai - bi, w, 1);
    }
};

struct radix3 {
    float* re;
    float* im;
    template <class TW>
    void operator()(TW, std::ptrdiff_t k0, std::ptrdiff_t inc, const twiddle& w) const {
        const std::ptrdiff_t k1 = k0 + inc, k2 = k1 + inc;
        const float tr = re[k1] + re[k2], ti = im[k1] + im[k2];
        const float ar = re[k0] - 0.5f * tr, ai = im[k0] - 0.5f * ti;
        const float br = sin60 * (re[k1] - re[k2]), bi = sin60 * (im[k1] - im[k2]);
        re[k0] += tr;
        im[k0] += ti;
        // X1 = A - iB, X2 = A + iB
        store<TW::value>(re, im, k1, ar + bi, ai - br, w, 1);
        store<TW::value>(re, im, k2, ar - bi, ai + br, w, 2);
    }
};

// Outputs are stored in the order of two radix-2 passes (bit-reversed), so
// that the reordering sees the digits of the unmerged factor list.
struct radix4 {
    float* re;
    float* im;
    template <class TW>
    void operator()(TW, std::ptrdiff_t k0, std::ptrdiff_t inc, const twiddle& w) const {
        const std::ptrdiff_t k1 = k0 + inc, k2 = k1 + inc, k3 = k2 + inc;
        const float s02r = re[k0] + re[k2], s02i = im[k0] + im[k2];
        const float d02r = re[k0] - re[k2], d02i = im[k0] - im[k2];
        const float s13r = re[k1] + re[k3], s13i = im[k1] + im[k3];
        const float d13r = re[k1] - re[k3], d13i = im[k1] - im[k3];
        re[k0] = s02r + s13r;
        im[k0] = s02i + s13i;
        store<TW::value>(re, im, k1, s02r - s13r, s02i - s13i, w, 2);  // X2
        store<TW::value>(re, im, k2, d02r + d13i, d02i - d13r, w, 1);  // X1
        store<TW::value>(re, im, k3, d02r - d13i, d02i + d13r, w, 3);  // X3
    }
};

struct radix5 {
    float* re;
    float* im;
    template <class TW>
    void operator()(TW, std::ptrdiff_t k0, std::ptrdiff_t inc, const twiddle& w) const {
        const std::ptrdiff_t k1 = k0 + inc, k2 = k1 + inc, k3 = k2 + inc, k4 = k3 + inc;
        const float x0r = re[k0], x0i = im[k0];
        const float p1r = re[k1] + re[k4], p1i = im[k1] + im[k4];
        const float m1r = re[k1] - re[k4], m1i = im[k1] - im[k4];
        const float p2r = re[k2] + re[k3], p2i = im[k2] + im[k3];
        const float m2r = re[k2] - re[k3], m2i = im[k2] - im[k3];
        const float a1r = x0r + c72 * p1r + c144 * p2r, a1i = x0i + c72 * p1i + c144 * p2i;
        const float b1r = s72 * m1r + s144 * m2r, b1i = s72 * m1i + s144 * m2i;
        const float a2r = x0r + c144 * p1r + c72 * p2r, a2i = x0i + c144 * p1i + c72 * p2i;
        const float b2r = s144 * m1r - s72 * m2r, b2i = s144 * m1i - s72 * m2i;
        re[k0] = x0r + p1r + p2r;
        im[k0] = x0i + p1i + p2i;
        store<TW::value>(re, im, k1, a1r + b1i, a1i - b1r, w, 1);
        store<TW::value>(re, im, k2, a2r + b2i, a2i - b2r, w, 2);
        store<TW::value>(re, im, k3, a2r - b2i, a2i + b2r, w, 3);
        store<TW::value>(re, im, k4, a1r - b1i, a1i + b1r, w, 4);
    }
};

// Outputs in the order of three radix-2 passes: group g receives X of the
// bit-reversed g.
struct radix8 {
    float* re;
    float* im;
    template <class TW>
    void operator()(TW, std::ptrdiff_t k0, std::ptrdiff_t inc, const twiddle& w) const {
        std::ptrdiff_t k[8];
        for (int r = 0; r < 8; ++r) k[r] = k0 + r * inc;
        // Four-point transforms of the even and the odd points.
        const float s04r = re[k[0]] + re[k[4]], s04i = im[k[0]] + im[k[4]];
        const float d04r = re[k[0]] - re[k[4]], d04i = im[k[0]] - im[k[4]];
        const float s26r = re[k[2]] + re[k[6]], s26i = im[k[2]] + im[k[6]];
        const float d26r = re[k[2]] - re[k[6]], d26i = im[k[2]] - im[k[6]];
        const float e0r = s04r + s26r, e0i = s04i + s26i;
        const float e2r = s04r - s26r, e2i = s04i - s26i;
        const float e1r = d04r + d26i, e1i = d04i - d26r;
        const float e3r = d04r - d26i, e3i = d04i + d26r;
        const float s15r = re[k[1]] + re[k[5]], s15i = im[k[1]] + im[k[5]];
        const float d15r = re[k[1]] - re[k[5]], d15i = im[k[1]] - im[k[5]];
        const float s37r = re[k[3]] + re[k[7]], s37i = im[k[3]] + im[k[7]];
        const float d37r = re[k[3]] - re[k[7]], d37i = im[k[3]] - im[k[7]];
        const float o0r = s15r + s37r, o0i = s15i + s37i;
        const float o2r = s15r - s37r, o2i = s15i - s37i;
        const float o1r = d15r + d37i, o1i = d15i - d37r;
        const float o3r = d15r - d37i, o3i = d15i + d37r;
        // W8^k O_k
        const float q1r = rt2_2 * (o1r + o1i), q1i = rt2_2 * (o1i - o1r);
        const float q2r = o2i, q2i = -o2r;
        const float q3r = rt2_2 * (o3i - o3r), q3i = -rt2_2 * (o3r + o3i);
        re[k[0]] = e0r + o0r;
        im[k[0]] = e0i + o0i;
        store<TW::value>(re, im, k[1], e0r - o0r, e0i - o0i, w, 4);  // X4
        store<TW::value>(re, im, k[2], e2r + q2r, e2i + q2i, w, 2);  // X2
        store<TW::value>(re, im, k[3], e2r - q2r, e2i - q2i, w, 6);  // X6
        store<TW::value>(re, im, k[4], e1r + q1r, e1i + q1i, w, 1);  // X1
        store<TW::value>(re, im, k[5], e1r - q1r, e1i - q1i, w, 5);  // X5
        store<TW::value>(re, im, k[6], e3r + q3r, e3i + q3i, w, 3);  // X3
        store<TW::value>(re, im, k[7], e3r - q3r, e3i - q3i, w, 7);  // X7
    }
};

// Any odd radix up to max_prime, from a table of cos and sin of 2 pi k / f.
// F > 0 fixes the radix at compile time (the same arithmetic, with loops the
// compiler can unroll, so that the lines of a pass run in vector registers);
// F = 0 takes it at run time.
template <int F>
struct radix_odd {
    float* re;
    float* im;
    int f;
    float tc[fft_max_prime];
    float ts[fft_max_prime];

    radix_odd(float* re_, float* im_, int f_) : re(re_), im(im_), f(F > 0 ? F : f_) {
        for (int k = 0; k < f; ++k) {
            tc[k] = static_cast<float>(std::cos(two_pi * k / f));
            ts[k] = static_cast<float>(std::sin(two_pi * k / f));
        }
    }

    template <class TW>
    void operator()(TW, std::ptrdiff_t k0, std::ptrdiff_t inc, const twiddle& w) const {
        const int n = F > 0 ? F : f;
        const int h = (n - 1) / 2;
        float pr[fft_max_prime / 2 + 1], pi[fft_max_prime / 2 + 1];
        float mr[fft_max_prime / 2 + 1], mi[fft_max_prime / 2 + 1];
        const float x0r = re[k0], x0i = im[k0];
        float sr = x0r, si = x0i;
        for (int r = 1; r <= h; ++r) {
            const std::ptrdiff_t ka = k0 + r * inc, kb = k0 + (n - r) * inc;
            pr[r] = re[ka] + re[kb];
            pi[r] = im[ka] + im[kb];
            mr[r] = re[ka] - re[kb];
            mi[r] = im[ka] - im[kb];
            sr += pr[r];
            si += pi[r];
        }
        for (int q = 1; q <= h; ++q) {
            float ar = x0r, ai = x0i, br = 0.0f, bi = 0.0f;
            int idx = 0;
            for (int r = 1; r <= h; ++r) {
                idx += q;
                if (idx >= n) idx -= n;
                ar += tc[idx] * pr[r];
                ai += tc[idx] * pi[r];
                br += ts[idx] * mr[r];
                bi += ts[idx] * mi[r];
            }
            store<TW::value>(re, im, k0 + q * inc, ar + bi, ai - br, w, q);
            store<TW::value>(re, im, k0 + (n - q) * inc, ar - bi, ai + br, w, n - q);
        }
        re[k0] = sr;
        im[k0] = si;
    }
};

[[noreturn]] void bad_factor(int f) {
    throw std::runtime_error("FFT: Bad factor (" + std::to_string(f) + ") in ComplexFTKernalDriver");
}

}  // namespace

void run_passes_target(int n, const int* passes, const fft_lines& lines, float* re, float* im) {
    std::ptrdiff_t span = n;
    for (int i = 0; passes[i] != 0; ++i) {
        const int f = passes[i];
        if (f < 1 || f > fft_max_prime || span % f != 0 || (f % 2 == 0 && f != 2 && f != 4 && f != 8))
            bad_factor(f);
        span /= f;
        switch (f) {
        case 1: break;
        case 2: pass_loop(2, span, lines, radix2{re, im}); break;
        case 3: pass_loop(3, span, lines, radix3{re, im}); break;
        case 4: pass_loop(4, span, lines, radix4{re, im}); break;
        case 5: pass_loop(5, span, lines, radix5{re, im}); break;
        case 8: pass_loop(8, span, lines, radix8{re, im}); break;
        case 7: pass_loop(7, span, lines, radix_odd<7>(re, im, 7)); break;
        default: pass_loop(f, span, lines, radix_odd<0>(re, im, f)); break;
        }
    }
}

void transform_lines_target(const fft_lines& lines, float* re, float* im) {
    if (lines.n <= 1) return;
    if (lines.stride < 1 || lines.total % (static_cast<std::ptrdiff_t>(lines.n) * lines.stride) != 0)
        throw std::invalid_argument("FFT: line set does not tile the array");
    const fft_factors f = fft_factorize(lines.n);
    run_passes_target(lines.n, f.passes.data(), lines, re, im);
    fft_reorder(lines.n, f.permutation.data(), f.square_free.data(), f.square_product, lines, re, im);
}

// The lines along x are contiguous, so a pass over them has only one line
// per stride offset and nothing for the vector units. They are therefore
// transformed a batch at a time: the batch's lines are copied side by side
// into a small buffer (point i of line b at i * batch + b), transformed there
// as one line set with stride `batch`, and copied back.
void x_lines(float* re, float* im, int nx, std::ptrdiff_t lines) {
    constexpr std::ptrdiff_t batch = 32;
    const fft_factors f = fft_factorize(nx);
    float* br = at_least(thread_workspace().batch, 2 * static_cast<std::size_t>(nx) * batch);
    float* bi = br + static_cast<std::ptrdiff_t>(nx) * batch;
    for (std::ptrdiff_t first = 0; first < lines; first += batch) {
        const std::ptrdiff_t m = std::min(batch, lines - first);
        const fft_lines set{nx, m, nx * m};
        for (std::ptrdiff_t b = 0; b < m; ++b) {
            const float* r = re + (first + b) * nx;
            const float* q = im + (first + b) * nx;
            for (std::ptrdiff_t i = 0; i < nx; ++i) {
                br[i * m + b] = r[i];
                bi[i * m + b] = q[i];
            }
        }
        run_passes_target(nx, f.passes.data(), set, br, bi);
        fft_reorder(nx, f.permutation.data(), f.square_free.data(), f.square_product, set, br, bi);
        for (std::ptrdiff_t b = 0; b < m; ++b) {
            float* r = re + (first + b) * nx;
            float* q = im + (first + b) * nx;
            for (std::ptrdiff_t i = 0; i < nx; ++i) {
                r[i] = br[i * m + b];
                q[i] = bi[i * m + b];
            }
        }
    }
}

void fft_3d_target(float* re, float* im, int nx, int ny, int nz) {
    if (nx < 1 || ny < 1 || nz < 1) return;
    const std::ptrdiff_t total = static_cast<std::ptrdiff_t>(nx) * ny * nz;
    if (nx > 1) x_lines(re, im, nx, total / nx);
    transform_lines_target({ny, nx, total}, re, im);
    transform_lines_target({nz, static_cast<std::ptrdiff_t>(nx) * ny, total}, re, im);
}

}  // namespace HWY_NAMESPACE
}  // namespace zelt
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace zelt {

HWY_EXPORT(run_passes_target);
HWY_EXPORT(transform_lines_target);
HWY_EXPORT(fft_3d_target);

void ComplexFTKernalDriver(int n, const int* passes, const fft_lines& lines, float* re, float* im) {
    HWY_DYNAMIC_DISPATCH(run_passes_target)(n, passes, lines, re, im);
}

void fft_transform_lines(const fft_lines& lines, float* re, float* im) {
    HWY_DYNAMIC_DISPATCH(transform_lines_target)(lines, re, im);
}

void fft_3d(float* re, float* im, int nx, int ny, int nz) {
    HWY_DYNAMIC_DISPATCH(fft_3d_target)(re, im, nx, ny, nz);
}

}  // namespace zelt
#endif  // HWY_ONCE
