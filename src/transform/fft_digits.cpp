// The digits of an FFT length: its factorisation into the passes' radices,
// and the in-place digit-reversal reordering that ends a transform: the
// square digits q_s..q_1 (read in the passes' order and in reverse) by
// pairwise swaps, then the square-free middle digit P = p_1..p_t by
// following the cycles of its permutation.
//
// Plain loops over the lines, compiled once per instruction set (Highway's
// targets); the best one the processor supports is chosen at run time.
#include "transform/fft.hpp"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "transform/fft_digits.cpp"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace zelt {
namespace HWY_NAMESPACE {
namespace {

using offset_pair = std::pair<std::ptrdiff_t, std::ptrdiff_t>;

// Storage the reordering reuses from call to call, one per thread.
struct reorder_workspace {
    std::vector<offset_pair> pairs;      // the digit reversal's swaps
    std::vector<char> done;              // square-free middle values already moved
    std::vector<std::ptrdiff_t> cycle;   // offsets of one cycle of those values
};

reorder_workspace& thread_reorder_workspace() {
    thread_local reorder_workspace w;
    return w;
}

// Number of entries of a factor list terminated by 0.
int listed(const int* list) {
    int len = 0;
    while (len < fft_nest && list[len] != 0) ++len;
    return len;
}

// The element offsets (position times stride s) of the pairs p < q of one
// line that the digit reversal of the permutation list exchanges. The list
// is a palindrome of radices, so the reversal is an involution: each pair
// is swapped once. The digits form a loop nest as deep as the list, run here
// as an odometer that keeps the reversed position q up to date.
void reversal_pairs(int n, const int* permutation, int len, std::ptrdiff_t s,
                    std::vector<offset_pair>& pairs) {
    std::ptrdiff_t weight[fft_nest];
    weight[len - 1] = 1;
    for (int i = len - 2; i >= 0; --i) weight[i] = weight[i + 1] * permutation[i + 1];
    int digit[fft_nest] = {};
    std::ptrdiff_t q = 0;
    pairs.clear();
    for (std::ptrdiff_t p = 0; p < n; ++p) {
        if (p < q) pairs.emplace_back(p * s, q * s);
        for (int i = len - 1; i >= 0; --i) {
            const std::ptrdiff_t wr = weight[len - 1 - i];
            if (++digit[i] < permutation[i]) {
                q += wr;
                break;
            }
            q -= static_cast<std::ptrdiff_t>(permutation[i] - 1) * wr;
            digit[i] = 0;
        }
    }
}

// Swaps every pair in every line. The pairs are disjoint, so they may be
// swapped in any order: one block of lines at a time keeps the work inside
// the cache.
void swap_pairs(const std::vector<offset_pair>& pairs, int n, const fft_lines& lines, float* re,
                float* im) {
    const std::ptrdiff_t s = lines.stride;
    const std::ptrdiff_t line_jump = static_cast<std::ptrdiff_t>(n) * s;
    for (std::ptrdiff_t base = 0; base < lines.total; base += line_jump)
        for (const auto& [op, oq] : pairs) {
            float* rp = re + base + op;
            float* rq = re + base + oq;
            float* ip = im + base + op;
            float* iq = im + base + oq;
            for (std::ptrdiff_t a = 0; a < s; ++a) {
                std::swap(rp[a], rq[a]);
                std::swap(ip[a], iq[a]);
            }
        }
}

// Where the square-free middle value m, read with its digits p_1..p_t in the
// order of the passes, belongs: the same digits taken in reverse order.
int square_free_target(int m, const int* square_free, int t) {
    int place[fft_nest];
    for (int i = t - 1; i >= 0; --i) {
        place[i] = m % square_free[i];
        m /= square_free[i];
    }
    int result = 0;
    int w = 1;
    for (int i = 0; i < t; ++i) {
        result += place[i] * w;
        w *= square_free[i];
    }
    return result;
}

// new[target(m)] = old[m] along one cycle, given as element offsets: carries
// each value one step along the cycle, for every block of outer digits (of
// `outer` elements, the middle digit's `mid` elements apart), a short run of
// neighbouring elements at a time.
void rotate_cycle(const std::vector<std::ptrdiff_t>& cycle, std::ptrdiff_t mid,
                  std::ptrdiff_t outer, std::ptrdiff_t total, float* re, float* im) {
    constexpr std::ptrdiff_t run = 256;
    float cr[run], ci[run];
    for (std::ptrdiff_t ob = 0; ob < total; ob += outer)
        for (std::ptrdiff_t c = ob; c < ob + mid; c += run) {
            const std::ptrdiff_t len = std::min(run, ob + mid - c);
            float* r0 = re + c + cycle[0];
            float* i0 = im + c + cycle[0];
            for (std::ptrdiff_t e = 0; e < len; ++e) {
                cr[e] = r0[e];
                ci[e] = i0[e];
            }
            for (std::size_t i = 1; i < cycle.size(); ++i) {
                float* ri = re + c + cycle[i];
                float* ii = im + c + cycle[i];
                for (std::ptrdiff_t e = 0; e < len; ++e) {
                    std::swap(cr[e], ri[e]);
                    std::swap(ci[e], ii[e]);
                }
            }
            for (std::ptrdiff_t e = 0; e < len; ++e) {
                r0[e] = cr[e];
                i0[e] = ci[e];
            }
        }
}

// The square-free middle digit, with its digits p_1..p_t in the order of the
// passes, must be read with them reversed: follow the cycles of that
// permutation, moving all lines and all outer digits together.
void reorder_square_free(const int* square_free, int square_product, const fft_lines& lines,
                         float* re, float* im, reorder_workspace& ws) {
    const int t = listed(square_free);
    if (t < 2) return;
    int P = 1;
    for (int i = 0; i < t; ++i) P *= square_free[i];
    const std::ptrdiff_t mid = static_cast<std::ptrdiff_t>(square_product) * lines.stride;
    const std::ptrdiff_t outer = static_cast<std::ptrdiff_t>(P) * mid;
    ws.done.assign(static_cast<std::size_t>(P), 0);
    for (int m0 = 0; m0 < P; ++m0) {
        if (ws.done[m0]) continue;
        ws.cycle.clear();
        int m = m0;
        do {
            ws.done[m] = 1;
            ws.cycle.push_back(m * mid);
            m = square_free_target(m, square_free, t);
        } while (m != m0);
        if (ws.cycle.size() >= 2) rotate_cycle(ws.cycle, mid, outer, lines.total, re, im);
    }
}

}  // namespace

// The square digits by pairwise swaps, then the square-free middle by cycles.
void reorder_target(int n, const int* permutation, const int* square_free, int square_product,
                    const fft_lines& lines, float* re, float* im) {
    reorder_workspace& ws = thread_reorder_workspace();
    const int len = listed(permutation);
    if (len >= 2) {
        reversal_pairs(n, permutation, len, lines.stride, ws.pairs);
        swap_pairs(ws.pairs, n, lines, re, im);
    }
    reorder_square_free(square_free, square_product, lines, re, im, ws);
}

}  // namespace HWY_NAMESPACE
}  // namespace zelt
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace zelt {

HWY_EXPORT(reorder_target);

fft_factors fft_factorize(int n) {
    fft_factors out;
    int squares[fft_nest];
    int singles[fft_nest];
    int ns = 0, nt = 0;
    int m = n;
    int k = 2;
    while (m > 1) {
        if (k > fft_max_prime) throw std::runtime_error("FFT: largest factor exceeds max_prime");
        if (m % k != 0) {
            ++k;
            continue;
        }
        const bool square = (m / k) % k == 0;
        if (2 * ns + nt + (square ? 2 : 1) > fft_nest)
            throw std::runtime_error("FFT: factor count exceeds nest");
        m /= k;
        if (square) {
            m /= k;
            squares[ns++] = k;
            out.square_product *= k;
        } else {
            singles[nt++] = k;
        }
    }

    int len = 0;
    for (int i = ns - 1; i >= 0; --i) out.symmetric[len++] = squares[i];
    for (int i = 0; i < nt; ++i) out.symmetric[len++] = singles[i];
    for (int i = 0; i < ns; ++i) out.symmetric[len++] = squares[i];

    int plen = 0;
    for (int i = ns - 1; i >= 0; --i) out.permutation[plen++] = squares[i];
    if (nt >= 1) out.permutation[plen++] = n / (out.square_product * out.square_product);
    for (int i = 0; i < ns; ++i) out.permutation[plen++] = squares[i];

    if (nt >= 2)
        for (int i = 0; i < nt; ++i) out.square_free[i] = singles[i];

    // Runs of 2 become passes of 8 with a trailing 4 or 2; merged positions
    // before the end of a run become 1 (no work).
    int c = 1;
    for (int i = 0; i < len; ++i) {
        out.passes[i] = out.symmetric[i];
        if (out.symmetric[i] != 2) continue;
        out.passes[i] = 1;
        c *= 2;
        if (c == 8 || out.symmetric[i + 1] != 2) {
            out.passes[i] = c;
            c = 1;
        }
    }
    return out;
}


void fft_reorder(int n, const int* permutation, const int* square_free, int square_product,
                 const fft_lines& lines, float* re, float* im) {
    HWY_DYNAMIC_DISPATCH(reorder_target)(n, permutation, square_free, square_product, lines, re, im);
}

int fft_friendly_size(int n) {
    long long c = n < 2 ? 2 : (n % 2 == 0 ? n : static_cast<long long>(n) + 1);
    for (int tries = 0; tries < 100 && c <= INT_MAX; ++tries, c += 2) {
        long long m = c;
        for (int f : {2, 3, 4, 5, 6, 7})
            while (m % f == 0) m /= f;
        if (m == 1) return static_cast<int>(c);
    }
    return 0;
}

}  // namespace zelt
#endif  // HWY_ONCE
