#include "transform/structure_factors.hpp"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <numbers>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>

#include "transform/fc_simd.hpp"
#include "crystal/axis_permutation.hpp"
#include "transform/table_lookup.hpp"

namespace zelt {

using table_lookup::nearest_lookup;
using table_lookup::trilinear_lookup;

fc_reflections::fc_reflections(const reflection_set& reflections) {
    const std::size_t n = reflections.size();
    hkl.resize(3 * n);
    static_fc.resize(n);
    s2.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const reflection& r = reflections[i];
        hkl[3 * i] = r.h;
        hkl[3 * i + 1] = r.k;
        hkl[3 * i + 2] = r.l;
        static_fc[i] = {r.static_re, r.static_im};
        s2[i] = r.s2;
    }
    build_columns();
}

void fc_reflections::build_columns() {
    const std::size_t padded = padded_size();
    columns.assign(3 * padded, 0);
    for (std::size_t i = 0; i < size(); ++i)
        for (std::size_t a = 0; a < 3; ++a) columns[a * padded + i] = hkl[3 * i + a];
}

std::size_t fc_reflections::padded_size() const {
    const std::size_t p = fc_simd::padding;
    return (size() + p - 1) / p * p;
}

const unit_cell& candidate_cell(const fc_model& model, int cell) {
    if (!model.cells || !model.transforms)
        throw std::logic_error("structure factors requested without cells or model transforms");
    if (cell < 0 || static_cast<std::size_t>(cell) >= model.cells->size())
        throw std::logic_error("candidate refers to cell " + std::to_string(cell) +
                               " outside the cell list");
    return (*model.cells)[static_cast<std::size_t>(cell)];
}

int permutation_code(const fc_model& model, int cell) {
    int code = 0;
    if (model.codes && cell >= 0 && static_cast<std::size_t>(cell) < model.codes->size())
        code = (*model.codes)[static_cast<std::size_t>(cell)];
    if (code < 0 || code > 2)
        throw std::logic_error("invalid axis-permutation code " + std::to_string(code));
    return code;
}

const molecular_transform& placement_transform(const fc_model& model, const copy_placement& p) {
    const molecular_transform* t = model.transforms ? model.transforms->get(p.model) : nullptr;
    if (!t) throw std::logic_error("no transform prepared for model " + std::to_string(p.model));
    return *t;
}

void append_operator_terms(const unit_cell& cell, const copy_placement& p,
                           const molecular_transform& t, std::vector<operator_term>& out) {
    const mat3 q =
        mul(cell.fractionalisation, mul(rotation_matrix(p.orientation), t.box.orthogonalisation));
    for (const symmetry_operator& op : cell.group().operators) {
        const mat3 sr = op.rotation();
        operator_term term;
        term.m = transpose(mul(sr, q));
        term.v = (mul(sr, p.translation) + op.translation()).xyz;
        out.push_back(term);
    }
}

namespace {

constexpr double two_pi = 2.0 * std::numbers::pi;

struct copy_terms {
    const transform_table* table;
    std::size_t first;
    std::size_t count;
};

// Matrices of every copy of a candidate, computed once per call. The lists
// keep their capacity between calls, so a setup that is reused for candidate
// after candidate allocates only while it grows to the largest candidate.
struct candidate_setup {
    std::vector<operator_term> terms;
    std::vector<copy_terms> copies;
    int code = 0;
    // The same in the single-precision form of the vector loop.
    std::vector<fc_simd::term> vector_terms;
    std::vector<fc_simd::copy> vector_copies;
};

// The vector loop reads h, k and l unpermuted: the permutation moves into
// the columns of the matrix and of the phase vector (h'_j = h_((p+j) mod 3)).
// Whole cycles of the phase vector are dropped first, so that the
// single-precision phase of a large index keeps its fraction.
fc_simd::term vector_term(const operator_term& t, int p) {
    fc_simd::term v;
    for (int j = 0; j < 3; ++j) {
        const int a = (p + j) % 3;
        for (int i = 0; i < 3; ++i) v.m[3 * i + a] = static_cast<float>(t.m[3 * i + j]);
        v.v[a] = static_cast<float>(t.v[j] - std::nearbyint(t.v[j]));
    }
    return v;
}

// The vector loop addresses table entries with 32-bit offsets.
bool fits_vector_loop(const candidate_setup& setup) {
    for (const copy_terms& c : setup.copies)
        if (c.table->entries.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / 2 - 4))
            return false;
    return true;
}

void prepare_vector_terms(candidate_setup& setup) {
    setup.vector_terms.clear();
    setup.vector_copies.clear();
    for (const operator_term& t : setup.terms) setup.vector_terms.push_back(vector_term(t, setup.code));
    for (const copy_terms& c : setup.copies) {
        const transform_table& t = *c.table;
        fc_simd::copy v{reinterpret_cast<const float*>(t.entries.data()),
                        {t.n_h, t.n_k, t.n_l},
                        {t.origin[0], t.origin[1], t.origin[2]},
                        {t.inverse_step[0], t.inverse_step[1], t.inverse_step[2]},
                        c.first,
                        c.count};
        setup.vector_copies.push_back(v);
    }
}

// The job of one candidate; the bulk-solvent factor goes into the loop
// unless k_sol is 0 (factor exactly 1).
fc_simd::job vector_job(const fc_reflections& refl, const candidate_setup& setup, const solution& s,
                        bool trilinear) {
    fc_simd::job j;
    const std::size_t padded = refl.padded_size();
    j.h = refl.columns.data();
    j.k = j.h + padded;
    j.l = j.k + padded;
    j.static_fc = refl.static_fc.data();
    j.terms = setup.vector_terms.data();
    j.copies = setup.vector_copies.data();
    j.n_copies = setup.vector_copies.size();
    j.trilinear = trilinear;
    j.s2 = refl.s2.data();
    j.k_sol = s.k;
    j.b_sol = s.b;
    j.babinet = s.k != 0.0f;
    return j;
}

// The vector loop reads the index columns; a list filled by hand must have
// built them.
const fc_reflections& checked_columns(const fc_reflections& refl) {
    if (refl.columns.size() != 3 * refl.padded_size())
        throw std::logic_error("reflection list without its index columns");
    return refl;
}

void prepare_candidate(const fc_model& model, const solution& s, candidate_setup& setup) {
    setup.terms.clear();
    setup.copies.clear();
    const unit_cell& cell = candidate_cell(model, s.cell);
    setup.code = permutation_code(model, s.cell);
    const std::size_t n_ops = cell.group().operators.size();
    setup.terms.reserve(n_ops * s.placements.size());
    setup.copies.reserve(s.placements.size());
    for (const copy_placement& p : s.placements) {
        const molecular_transform& t = placement_transform(model, p);
        copy_terms c{&t.table, setup.terms.size(), n_ops};
        append_operator_terms(cell, p, t, setup.terms);
        setup.copies.push_back(c);
    }
}

template <lookup_mode Mode>
inline complex_f reflection_fc(const candidate_setup& setup, const std::int32_t* hkl, complex_f start) {
    const int p = setup.code;
    const auto [h0, h1, h2] = permuted_indices<double>(hkl, p);
    float re = start.real(), im = start.imag();
    for (const copy_terms& c : setup.copies) {
        float sr = 0.0f, si = 0.0f;
        const operator_term* term = setup.terms.data() + c.first;
        for (std::size_t s = 0; s < c.count; ++s, ++term) {
            const std::array<double, 9>& m = term->m;
            const float q1 = static_cast<float>(m[0] * h0 + m[1] * h1 + m[2] * h2);
            const float q2 = static_cast<float>(m[3] * h0 + m[4] * h1 + m[5] * h2);
            const float q3 = static_cast<float>(m[6] * h0 + m[7] * h1 + m[8] * h2);
            const complex_f g = Mode == lookup_mode::trilinear ? trilinear_lookup(*c.table, q1, q2, q3)
                                                               : nearest_lookup(*c.table, q1, q2, q3);
            const float phi = static_cast<float>(
                two_pi * (h0 * term->v[0] + h1 * term->v[1] + h2 * term->v[2]));
            const float cs = std::cos(phi), sn = std::sin(phi);
            sr += g.real() * cs - g.imag() * sn;
            si += g.real() * sn + g.imag() * cs;
        }
        re += sr;
        im += si;
    }
    return {re, im};
}

void apply_babinet(const fc_reflections& refl, const solution& s, std::vector<complex_f>& out) {
    if (s.k == 0.0f) return;   // the factor is exactly 1
    const float k = s.k, b = s.b;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float g = 1.0f - k * std::exp(-(refl.s2[i] * b));
        out[i] = {out[i].real() * g, out[i].imag() * g};
    }
}

template <lookup_mode Mode>
void serial_fc(const fc_reflections& refl, const candidate_setup& setup,
               std::vector<complex_f>& out) {
    const std::size_t n = refl.size();
    for (std::size_t i = 0; i < n; ++i)
        out[i] = reflection_fc<Mode>(setup, &refl.hkl[3 * i], refl.static_fc[i]);
}

}  // namespace

namespace {

fc_kernel kernel_from_environment() {
    const char* v = std::getenv("ZELT_SIMD");
    if (!v) return fc_kernel::vector;
    const std::string text(v);
    return text == "0" || text == "off" || text == "false" || text == "scalar" ? fc_kernel::scalar
                                                                               : fc_kernel::vector;
}

std::atomic<fc_kernel>& kernel_choice() {
    static std::atomic<fc_kernel> choice{kernel_from_environment()};
    return choice;
}

}  // namespace

fc_kernel current_fc_kernel() { return kernel_choice().load(std::memory_order_relaxed); }

void set_fc_kernel(fc_kernel k) { kernel_choice().store(k, std::memory_order_relaxed); }

std::string fc_vector_target() { return fc_simd::target_name(); }

void calculate_fc(const fc_reflections& refl, const fc_model& model, const solution& s,
                  lookup_mode mode, std::vector<complex_f>& out) {
    calculate_fc(refl, model, s, mode, out, current_fc_kernel());
}

void calculate_fc_parallel(const fc_reflections& refl, const fc_model& model, const solution& s,
                           std::vector<complex_f>& out) {
    calculate_fc_parallel(refl, model, s, out, current_fc_kernel());
}

void calculate_fc(const fc_reflections& refl, const fc_model& model, const solution& s,
                  lookup_mode mode, std::vector<complex_f>& out, fc_kernel kernel) {
    // One setup per thread, reused from call to call: the serial calculation
    // is the objective of the global search, called for every candidate from
    // every worker thread, and must not allocate once warmed up. Nothing
    // between filling the setup and the end of the loop can run another task
    // on this thread, so no other call can overwrite it meanwhile.
    thread_local candidate_setup setup;
    prepare_candidate(model, s, setup);
    out.resize(refl.size());
    if (kernel == fc_kernel::vector && fits_vector_loop(setup)) {
        prepare_vector_terms(setup);
        const fc_reflections& r = checked_columns(refl);
        fc_simd::run(vector_job(r, setup, s, mode == lookup_mode::trilinear), 0, r.size(), out.data());
        return;
    }
    if (mode == lookup_mode::trilinear)
        serial_fc<lookup_mode::trilinear>(refl, setup, out);
    else
        serial_fc<lookup_mode::nearest>(refl, setup, out);
    apply_babinet(refl, s, out);
}

void calculate_fc_parallel(const fc_reflections& refl, const fc_model& model, const solution& s,
                           std::vector<complex_f>& out, fc_kernel kernel) {
    // A setup of its own: while this thread waits for the loop below it may
    // run other tasks (a serial calculation among them), which must not
    // touch the matrices the loop is reading.
    candidate_setup setup;
    prepare_candidate(model, s, setup);
    const std::size_t n = refl.size();
    out.resize(n);
    if (kernel == fc_kernel::vector && n > 0 && fits_vector_loop(setup)) {
        prepare_vector_terms(setup);
        const fc_reflections& r = checked_columns(refl);
        const fc_simd::job j = vector_job(r, setup, s, true);
        // Blocks start at multiples of the padding, as the vector loop wants.
        const std::size_t blocks = (n + fc_simd::padding - 1) / fc_simd::padding;
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, blocks),
                          [&](const tbb::blocked_range<std::size_t>& range) {
                              const std::size_t b = range.begin() * fc_simd::padding;
                              const std::size_t e = std::min(n, range.end() * fc_simd::padding);
                              fc_simd::run(j, b, e, out.data());
                          });
        return;
    }
    if (n == 1) {
        serial_fc<lookup_mode::trilinear>(refl, setup, out);
    } else if (n > 1) {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n),
                          [&](const tbb::blocked_range<std::size_t>& range) {
                              for (std::size_t i = range.begin(); i != range.end(); ++i)
                                  out[i] = reflection_fc<lookup_mode::trilinear>(
                                      setup, &refl.hkl[3 * i], refl.static_fc[i]);
                          });
    }
    apply_babinet(refl, s, out);
}

}  // namespace zelt
