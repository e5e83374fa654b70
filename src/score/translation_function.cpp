#include "score/translation_function.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "crystal/axis_permutation.hpp"
#include "crystal/resolution_shells.hpp"
#include "score/map_peaks.hpp"
#include "transform/fft.hpp"

namespace zelt {

// Operators of a cell's group that share one rotation S (integer matrix on
// fractional coordinates): they read the model's table at the same point.
struct translation_function::rotation_class {
    std::array<int, 9> s{};
    std::vector<int> ops;
};

struct translation_function::cell_setup {
    std::array<int, 3> grid{1, 1, 1};
    std::vector<rotation_class> rotations;
    // Per map reflection i and rotation class r (at i * classes + r), with h
    // the reflection's indices permuted into the cell's axes: the sum over
    // the class's operators of e(2 pi i h.t) and the map index S^T h. They
    // depend on the cell alone, so they are computed once, not per map.
    std::vector<complex_f> phase_sums;
    std::vector<std::array<int, 3>> class_index;
    std::vector<fractional> centring;   // translations of the operators without rotation
    std::vector<fractional> origins;    // centring vectors plus the permitted origin shifts
    std::array<bool, 3> free_axes{};
};

namespace {

constexpr double two_pi = 2.0 * std::numbers::pi;

}  // namespace

struct translation_function::workspace {
    solution others;
    std::vector<complex_f> fp;
    std::vector<operator_term> terms;
    std::vector<complex_f> g;
    std::vector<std::array<int, 3>> index;
    std::vector<float> re, im;   // Fourier coefficients
    std::vector<float> zr, zi;   // lines of the half-length transform along a
    std::vector<float> tc, ts;   // its twiddle factors
    std::vector<float> map;
    std::array<int, 3> size{1, 1, 1};
    fractional fixed{0.0, 0.0, 0.0};
    std::array<bool, 3> unsearched{};
    std::vector<grid_peak> heap;
    std::vector<translation_peak> found;
};

namespace {

// Grid edge for an axis: about 3 points per d along it, a size the FFT takes.
int grid_points(double edge, double d) {
    const double want = std::ceil(3.0 * edge / d);
    const int n = fft_friendly_size(static_cast<int>(std::clamp(want, 1.0, 1.0e6)));
    if (n <= 0) throw std::runtime_error("no FFT size for the translation-function grid");
    return n;
}

std::array<int, 9> integer_rotation(const symmetry_operator& op) {
    const mat3 r = op.rotation();
    std::array<int, 9> s{};
    for (int i = 0; i < 9; ++i) s[static_cast<std::size_t>(i)] = static_cast<int>(std::lround(r[i]));
    return s;
}

std::vector<translation_function::rotation_class> rotation_classes(const space_group& g) {
    std::vector<translation_function::rotation_class> out;
    for (std::size_t i = 0; i < g.operators.size(); ++i) {
        const std::array<int, 9> s = integer_rotation(g.operators[i]);
        auto it = std::find_if(out.begin(), out.end(), [&](const auto& c) { return c.s == s; });
        if (it == out.end()) {
            out.emplace_back();
            out.back().s = s;
            it = out.end() - 1;
        }
        it->ops.push_back(static_cast<int>(i));
    }
    return out;
}

// The per-reflection terms of the cell setup (see cell_setup) for the
// reflections `hkl` (three per reflection) read in axis permutation `code`.
void add_reflection_terms(translation_function::cell_setup& c, const unit_cell& cell,
                          const std::vector<std::int32_t>& hkl, int code) {
    const space_group& g = cell.group();
    const std::size_t count = hkl.size() / 3;
    c.phase_sums.reserve(count * c.rotations.size());
    c.class_index.reserve(count * c.rotations.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::array<double, 3> h = permuted_indices<double>(&hkl[3 * i], code);
        for (const auto& cls : c.rotations) {
            float pr = 0.0f, pi = 0.0f;
            for (int op : cls.ops) {
                const fractional v = g.operators[static_cast<std::size_t>(op)].translation();
                const float phi = static_cast<float>(two_pi * (h[0] * v[0] + h[1] * v[1] + h[2] * v[2]));
                pr += std::cos(phi);
                pi += std::sin(phi);
            }
            c.phase_sums.emplace_back(pr, pi);
            std::array<int, 3> j{};
            for (std::size_t a = 0; a < 3; ++a)
                j[a] = static_cast<int>(std::lround(cls.s[a] * h[0] + cls.s[3 + a] * h[1] + cls.s[6 + a] * h[2]));
            c.class_index.push_back(j);
        }
    }
}

std::shared_ptr<const translation_function::cell_setup> make_cell_setup(const unit_cell& cell, double d,
                                                                         const std::vector<std::int32_t>& hkl,
                                                                         int code) {
    auto c = std::make_shared<translation_function::cell_setup>();
    c->grid = {grid_points(cell.a, d), grid_points(cell.b, d), grid_points(cell.c, d)};
    const space_group& g = cell.group();
    c->rotations = rotation_classes(g);
    for (int op : c->rotations.front().ops)   // the identity's class comes first
        c->centring.push_back(g.operators[static_cast<std::size_t>(op)].translation());
    for (const fractional& o : g.origin_shifts)
        for (const fractional& t : c->centring) c->origins.push_back(o + t);
    c->free_axes = g.free_axes;
    add_reflection_terms(*c, cell, hkl, code);
    return c;
}

// Factor of |Fc|^2 of each reflection in the target: w (Io / <Io> - 1) / <Io>
// over sum w, with <Io> the weighted mean intensity of the reflection's
// resolution shell (shells of equal count, about 200 reflections each, at
// most 20): the covariance of normalised observed and calculated intensities,
// so that every resolution range counts alike.
std::vector<double> target_weights(const std::vector<double>& io, const std::vector<double>& w,
                                   const std::vector<float>& s2) {
    const resolution_shells shells = equal_count_shells(s2, 200, 20);
    double w_total = 0.0;
    for (double x : w) w_total += x;
    std::vector<double> out(io.size(), 0.0);
    for (std::size_t k = 0; k < shells.count(); ++k) {
        const std::size_t lo = shells.start[k], hi = shells.start[k + 1];
        double ws = 0.0, wi = 0.0;
        for (std::size_t j = lo; j < hi; ++j) {
            ws += w[shells.order[j]];
            wi += w[shells.order[j]] * io[shells.order[j]];
        }
        const double mean = ws > 0.0 ? wi / ws : 0.0;
        if (!(mean > 0.0)) continue;
        for (std::size_t j = lo; j < hi; ++j) {
            const std::size_t i = shells.order[j];
            out[i] = w[i] * (io[i] / mean - 1.0) / mean / w_total;
        }
    }
    return out;
}

}  // namespace

translation_function::translation_function(std::shared_ptr<const scorer_data> data, double d_min)
    : data_(std::move(data)) {
    if (!(d_min >= 0.0) || !std::isfinite(d_min))
        throw std::runtime_error("the translation-function resolution must not be negative");
    const fc_reflections& all = data_->reflections;
    const double s2_limit = d_min > 0.0 ? 1.0 / (4.0 * d_min * d_min) * (1.0 + 1e-6) : 1e300;
    std::vector<double> io, w;
    double s2_max = 0.0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!(all.s2[i] <= s2_limit)) continue;
        refl_.hkl.insert(refl_.hkl.end(), &all.hkl[3 * i], &all.hkl[3 * i] + 3);
        refl_.static_fc.push_back(all.static_fc[i]);
        refl_.s2.push_back(all.s2[i]);
        io.push_back(double(data_->observed[i]) * data_->observed[i]);
        w.push_back(data_->weights[i]);
        s2_max = std::max(s2_max, static_cast<double>(all.s2[i]));
        if (all.static_fc[i] != complex_f(0.0f, 0.0f)) has_static_ = true;
    }
    refl_.build_columns();
    weight_ = target_weights(io, w, refl_.s2);
    const double d = d_min > 0.0 ? d_min : (s2_max > 0.0 ? 0.5 / std::sqrt(s2_max) : 1e9);
    const std::vector<unit_cell>& cells = *data_->model().cells;
    for (std::size_t k = 0; k < cells.size(); ++k)
        cells_.push_back(
            make_cell_setup(cells[k], d, refl_.hkl, permutation_code(data_->model(), static_cast<int>(k))));
}

std::array<int, 3> translation_function::grid_size(int cell) const {
    return cells_.at(static_cast<std::size_t>(cell))->grid;
}

std::array<bool, 3> translation_function::unsearched_axes(const solution& s,
                                                          std::array<bool, 3> fixed_axes) const {
    const cell_setup& c = *cells_.at(static_cast<std::size_t>(s.cell));
    const bool alone = !has_static_ && s.placements.size() == 1;
    for (int a = 0; a < 3; ++a) fixed_axes[a] = fixed_axes[a] || (alone && c.free_axes[a]);
    return fixed_axes;
}

namespace {

// Everything the accumulation of one reflection reads.
struct map_inputs {
    const translation_function::cell_setup* cell;
    const transform_table* table;
    const operator_term* terms;
    int code;
    std::array<int, 3> size;
    std::array<bool, 3> unsearched;
    fractional fixed;
};

// Fourier coefficients of the map. The FFT has the negative exponent, so
// coefficient j goes to point p = -j. Full: every point stored and the real
// part of the transform taken. Half: only points with p_a <= n_a / 2 are
// stored, holding the Hermitian part (A_p + conj A_-p) / 2 of the full grid,
// whose transform is real and the same as the real part of the full one.
struct coefficient_grid {
    float* re;
    float* im;
    std::array<int, 3> n;
    int width;   // stored points along a
    bool half;

    // j mod n for the map's indices, which lie within a few grid lengths
    // of zero: cheaper than a division.
    static int wrap(int j, int n) {
        while (j < 0) j += n;
        while (j >= n) j -= n;
        return j;
    }
    void put(int p0, int p1, int p2, std::complex<double> c) const {
        if (p0 >= width) return;
        const std::size_t off = static_cast<std::size_t>(p0) +
                                static_cast<std::size_t>(width) *
                                    (static_cast<std::size_t>(p1) + static_cast<std::size_t>(n[1]) * p2);
        re[off] += static_cast<float>(c.real());
        im[off] += static_cast<float>(c.imag());
    }
    void add(const std::array<int, 3>& j, std::complex<double> c) const {
        const int m0 = wrap(-j[0], n[0]), m1 = wrap(-j[1], n[1]), m2 = wrap(-j[2], n[2]);
        if (!half) return put(m0, m1, m2, c);
        put(m0, m1, m2, 0.5 * c);
        put(wrap(j[0], n[0]), wrap(j[1], n[1]), wrap(j[2], n[2]), 0.5 * std::conj(c));
    }
};

// G of every rotation class for reflection `i` with indices h (permuted),
// and the map index S^T h of its t-dependence; unsearched axes are folded
// into G's phase.
void rotation_terms(const map_inputs& in, std::size_t i, const std::array<double, 3>& h, complex_f* g,
                    std::array<int, 3>* index) {
    const auto& classes = in.cell->rotations;
    const std::size_t base = i * classes.size();
    for (std::size_t r = 0; r < classes.size(); ++r) {
        const std::array<double, 9>& m = in.terms[classes[r].ops.front()].m;
        const complex_f value = in.table->trilinear(
            static_cast<float>(m[0] * h[0] + m[1] * h[1] + m[2] * h[2]),
            static_cast<float>(m[3] * h[0] + m[4] * h[1] + m[5] * h[2]),
            static_cast<float>(m[6] * h[0] + m[7] * h[1] + m[8] * h[2]));
        const std::array<int, 3>& j = in.cell->class_index[base + r];
        double fold = 0.0;
        for (std::size_t a = 0; a < 3; ++a) {
            index[r][a] = in.unsearched[a] ? 0 : j[a];
            if (in.unsearched[a]) fold += j[a] * in.fixed[a];
        }
        const complex_f shift(static_cast<float>(std::cos(two_pi * fold)),
                              static_cast<float>(std::sin(two_pi * fold)));
        g[r] = value * in.cell->phase_sums[base + r] * shift;
    }
}

// Adds one reflection's Fourier coefficients of c |Fp + sum_r G_r e(S_r^T h . t)|^2;
// returns its constant part, which the caller adds at the origin.
double add_reflection(const map_inputs& in, std::size_t i, const std::int32_t* hkl, complex_f fp, double c,
                      complex_f* g, std::array<int, 3>* index, const coefficient_grid& grid) {
    const std::array<double, 3> h = permuted_indices<double>(hkl, in.code);
    rotation_terms(in, i, h, g, index);
    const std::size_t n = in.cell->rotations.size();
    const std::complex<double> f(fp.real(), fp.imag());
    double constant = std::norm(f);
    for (std::size_t r = 0; r < n; ++r) {
        const std::complex<double> gr(g[r].real(), g[r].imag());
        constant += std::norm(gr);
        grid.add(index[r], 2.0 * c * std::conj(f) * gr);
        for (std::size_t q = r + 1; q < n; ++q) {
            const std::array<int, 3> j{index[r][0] - index[q][0], index[r][1] - index[q][1],
                                       index[r][2] - index[q][2]};
            const std::complex<double> gq(g[q].real(), g[q].imag());
            grid.add(j, 2.0 * c * gr * std::conj(gq));
        }
    }
    return c * constant;
}

void full_to_real_map(const std::array<int, 3>& n, std::vector<float>& re, std::vector<float>& im,
                      std::vector<float>& map) {
    fft_3d(re.data(), im.data(), n[0], n[1], n[2]);
    map.swap(re);
}

// The real map of Hermitian coefficients stored for p_a in [0, n_a / 2]:
// transforms along b and c, then each line along a (Hermitian, length N =
// 2M) by one complex transform of length M: with X_{k+M} = conj X_{M-k},
// Z_k = (X_k + X_{k+M}) + i e^{-2 pi i k / N} (X_k - X_{k+M}) transforms to
// z_m = x_{2m} + i x_{2m+1}.
void half_to_real_map(const std::array<int, 3>& n, std::vector<float>& re, std::vector<float>& im,
                      std::vector<float>& zr, std::vector<float>& zi, std::vector<float>& tc,
                      std::vector<float>& ts, std::vector<float>& map) {
    const int m = n[0] / 2, width = m + 1;
    const std::ptrdiff_t lines = static_cast<std::ptrdiff_t>(n[1]) * n[2];
    fft_transform_lines({n[1], width, width * lines}, re.data(), im.data());
    fft_transform_lines({n[2], static_cast<std::ptrdiff_t>(width) * n[1], width * lines}, re.data(),
                        im.data());
    zr.resize(static_cast<std::size_t>(m * lines));
    zi.resize(static_cast<std::size_t>(m * lines));
    tc.resize(static_cast<std::size_t>(m));
    ts.resize(static_cast<std::size_t>(m));
    for (int k = 0; k < m; ++k) {
        tc[k] = static_cast<float>(std::cos(-two_pi * k / n[0]));
        ts[k] = static_cast<float>(std::sin(-two_pi * k / n[0]));
    }
    for (std::ptrdiff_t line = 0; line < lines; ++line) {
        const float* xr = re.data() + width * line;
        const float* xi = im.data() + width * line;
        float* yr = zr.data() + m * line;
        float* yi = zi.data() + m * line;
        for (int k = 0; k < m; ++k) {
            const float br = xr[m - k], bi = -xi[m - k];   // X_{k+M}
            const float dr = xr[k] - br, di = xi[k] - bi;
            yr[k] = xr[k] + br - (ts[k] * dr + tc[k] * di);
            yi[k] = xi[k] + bi + (tc[k] * dr - ts[k] * di);
        }
    }
    fft_transform_lines({m, 1, m * lines}, zr.data(), zi.data());
    map.resize(static_cast<std::size_t>(n[0] * lines));
    for (std::size_t i = 0; i < zr.size(); ++i) {
        map[2 * i] = zr[i];
        map[2 * i + 1] = zi[i];
    }
}

}  // namespace

// Fp of every reflection: the static contribution plus the placements other
// than `which`, without the Babinet factor (it multiplies the whole sum).
void translation_function::fixed_part(const solution& s, int which, workspace& w) const {
    w.others.cell = s.cell;
    w.others.k = 0.0f;
    w.others.b = 0.0f;
    w.others.placements.clear();
    for (std::size_t i = 0; i < s.placements.size(); ++i)
        if (i != static_cast<std::size_t>(which)) w.others.placements.push_back(s.placements[i]);
    calculate_fc(refl_, data_->model(), w.others, lookup_mode::trilinear, w.fp);
}

void translation_function::fill_map(const solution& s, int which, std::array<bool, 3> fixed_axes,
                                    workspace& w) const {
    if (which < 0 || static_cast<std::size_t>(which) >= s.placements.size())
        throw std::logic_error("placement " + std::to_string(which) + " is not part of the candidate");
    const fc_model& model = data_->model();
    const unit_cell& cell = candidate_cell(model, s.cell);
    const cell_setup& setup = *cells_.at(static_cast<std::size_t>(s.cell));
    const copy_placement& searched = s.placements[static_cast<std::size_t>(which)];
    fixed_part(s, which, w);

    copy_placement at_origin = searched;
    at_origin.translation = {0.0, 0.0, 0.0};
    w.terms.clear();
    append_operator_terms(cell, at_origin, placement_transform(model, searched), w.terms);

    w.unsearched = unsearched_axes(s, fixed_axes);
    for (int a = 0; a < 3; ++a) {
        w.size[a] = w.unsearched[a] ? 1 : setup.grid[a];
        w.fixed[a] = wrap_unit_cell(searched.translation[a]);
    }
    const bool half = w.size[0] >= 2;
    const int width = half ? w.size[0] / 2 + 1 : w.size[0];
    const std::size_t points = static_cast<std::size_t>(width) * w.size[1] * w.size[2];
    w.re.assign(points, 0.0f);
    w.im.assign(points, 0.0f);
    const coefficient_grid grid{w.re.data(), w.im.data(), w.size, width, half};
    w.g.resize(setup.rotations.size());
    w.index.resize(setup.rotations.size());

    const map_inputs in{&setup, &placement_transform(model, searched).table, w.terms.data(),
                        permutation_code(model, s.cell), w.size, w.unsearched, w.fixed};
    double constant = 0.0;
    for (std::size_t i = 0; i < refl_.size(); ++i) {
        const float babinet = s.k == 0.0f ? 1.0f : 1.0f - s.k * std::exp(-(refl_.s2[i] * s.b));
        const double c = weight_[i] * static_cast<double>(babinet) * static_cast<double>(babinet);
        if (c == 0.0) continue;
        constant += add_reflection(in, i, &refl_.hkl[3 * i], w.fp[i], c, w.g.data(), w.index.data(), grid);
    }
    w.re[0] += static_cast<float>(constant);
    if (half)
        half_to_real_map(w.size, w.re, w.im, w.zr, w.zi, w.tc, w.ts, w.map);
    else
        full_to_real_map(w.size, w.re, w.im, w.map);
}

void translation_function::map(const solution& s, int which, std::array<bool, 3> fixed_axes,
                               translation_map& out) const {
    thread_local workspace w;
    fill_map(s, which, fixed_axes, w);
    out.size = w.size;
    out.fixed = w.fixed;
    out.values = w.map;
}

std::vector<translation_peak> translation_function::peaks(const solution& s, int which, int count,
                                                          std::array<bool, 3> fixed_axes) const {
    thread_local workspace w;
    fill_map(s, which, fixed_axes, w);
    if (count <= 0) return {};
    const cell_setup& setup = *cells_[static_cast<std::size_t>(s.cell)];
    const bool alone = !has_static_ && s.placements.size() == 1;
    const std::vector<fractional>& shifts = alone ? setup.origins : setup.centring;
    std::array<bool, 3> constant{};
    for (int a = 0; a < 3; ++a) constant[a] = alone && setup.free_axes[a];
    const grid_view g{w.map.data(), w.size};
    highest_maxima(g, static_cast<std::size_t>(count) * (shifts.size() + 1), w.heap);

    w.found.clear();
    for (const grid_peak& p : w.heap) w.found.push_back(refine_peak(g, p.index, w.unsearched, w.fixed));
    std::stable_sort(w.found.begin(), w.found.end(),
                     [](const translation_peak& a, const translation_peak& b) { return a.value > b.value; });
    std::vector<translation_peak> out;
    out.reserve(static_cast<std::size_t>(count));
    for (const translation_peak& t : w.found) {
        const bool seen = std::any_of(out.begin(), out.end(), [&](const translation_peak& f) {
            return equivalent_peaks(t, f, shifts, w.size, constant);
        });
        if (!seen) out.push_back(t);
        if (out.size() == static_cast<std::size_t>(count)) break;
    }
    return out;
}

}  // namespace zelt
