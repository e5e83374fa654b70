#pragma once
// Search-model transforms sampled on the reciprocal lattice of an artificial
// P1 box, and the calculated structure factors of a candidate read from them.
#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"
#include "io/atom.hpp"
#include "search/solution.hpp"

namespace zelt {

using complex_f = std::complex<float>;

// The sampled transform of one model: entries for h in [-h_max, h_max],
// k in [-k_max, k_max] and l in [-1, l_max]; the rest of reciprocal space
// follows from Friedel's law.
struct transform_table {
    std::array<float, 3> origin{};                   // index of element (0,0,0)
    std::array<float, 3> step{1.0f, 1.0f, 1.0f};
    std::array<float, 3> inverse_step{1.0f, 1.0f, 1.0f};
    std::int32_t n_h = 0, n_k = 0, n_l = 0;
    std::vector<complex_f> entries;                  // all (0,0) at creation

    transform_table() = default;
    transform_table(int h_max, int k_max, int l_max);

    bool contains(int h, int k, int l) const;
    std::size_t index(int h, int k, int l) const;    // caller checks contains()
    complex_f& at(int h, int k, int l) { return entries[index(h, k, l)]; }
    const complex_f& at(int h, int k, int l) const { return entries[index(h, k, l)]; }

    // Value at a (fractional) point of the box's reciprocal lattice. Points
    // with q3 < 0 are read at -q and conjugated. Points whose corners fall
    // outside the table read as zero.
    complex_f trilinear(float q1, float q2, float q3) const;
    complex_f nearest(float q1, float q2, float q3) const;
};

// A model's transform: the P1 box it was sampled in and the table.
class molecular_transform {
public:
    molecular_transform(const unit_cell& box_cell, transform_table t)
        : box(box_cell), table(std::move(t)) {}
    unit_cell box;
    transform_table table;
};

// Box edges of a model: the Cartesian extents of its atoms, each at least
// 10 A, times scale.
vec3 transform_box_edges(const model& m, double scale);

// The P1 box a model's transform is sampled in, the index limits of its
// table (the first index beyond d_min along each axis) and the resolution
// d_t of the density grid (the smallest of the three limits' spacings).
struct transform_box {
    unit_cell cell;
    int h_max = 0, k_max = 0, l_max = 0;
    double d_t = 0.0;
};
// Throws std::runtime_error when d_min or scale is not a positive number,
// range_refusal when an edge holds more than 100000 spacings of d_min.
transform_box model_transform_box(const model& m, double d_min, double scale);

// The largest box volume, in cells of d_min^3, whose transform is computed:
// 2^22, a box of about 480 A edges at 3 A (a model of 240 A at the default
// transform.scale). Its density grid (about 27 points per cell at the default
// sampling) takes about 1 GB; atoms far apart would otherwise ask for
// terabytes.
inline constexpr double max_transform_cells = 4194304.0;

// Refuses (range_refusal) the model read from `name` when its transform box
// holds more than 100000 spacings of d_min along an edge or more than
// `max_transform_cells` cells of d_min^3, naming the file and the box's
// edges; called when the models are read, before any search.
void check_transform_box(const model& m, double d_min, double scale, const std::string& name);

// Samples the transform of a model (centred on its own origin) to d_min.
std::unique_ptr<molecular_transform> build_molecular_transform(const model& m, double d_min,
                                                               double scale, double sampling);

// One slot per search model, empty or holding the model's transform.
class transform_store {
public:
    // Start of a model step: one slot per model; releases the slots before
    // `first`, builds the empty ones in [first, first + count).
    void prepare_step(const model_list& models, int first, int count, double d_min,
                      double scale, double sampling);
    // Builds the missing transforms of a solution's models, enlarging the
    // store when a model index lies beyond it.
    void prepare_solution(const solution& s, const model_list& models, double d_min,
                          double scale, double sampling);

    std::size_t size() const { return slots_.size(); }
    // The transform of model i, or nullptr when its slot is empty or absent.
    const molecular_transform* get(int i) const;
    void set(int i, std::unique_ptr<molecular_transform> t);   // enlarges as needed
    void clear() { slots_.clear(); }

private:
    std::vector<std::unique_ptr<molecular_transform>> slots_;
};

enum class lookup_mode { trilinear, nearest };

// Per-reflection inputs of the calculated structure factors, contiguous and
// in reflection-set order.
struct fc_reflections {
    std::vector<float> hkl;            // h, k, l of each reflection
    std::vector<complex_f> static_fc;  // fixed-structure contribution
    std::vector<float> s2;             // (sin theta / lambda)^2
    // The indices again as three columns (all h, then all k, then all l),
    // each padded with zeros to padded_size() values, for the vector loop.
    std::vector<float> columns;

    fc_reflections() = default;
    explicit fc_reflections(const reflection_set& reflections);
    std::size_t size() const { return s2.size(); }
    std::size_t padded_size() const;
    // Fills `columns` from `hkl`: the constructor does, and so must whoever
    // fills a list by hand before the vector loop reads it.
    void build_columns();
};

// Everything the calculation reads besides the reflections; all of it must
// stay unchanged while candidates are evaluated.
struct fc_model {
    const std::vector<unit_cell>* cells = nullptr;
    const std::vector<int>* codes = nullptr;          // axis permutation per cell
    const transform_store* transforms = nullptr;
};

// One symmetry copy of one placed model: the model's table is read at
// q = m * h' and the value gets the phase 2 pi h'.v, where h' are the
// reflection's indices in the order of the cell's permutation code.
struct operator_term {
    std::array<double, 9> m;
    std::array<double, 3> v;
};

// Cell `cell` of the model; throws std::logic_error when the model lacks
// cells or transforms, or the index lies outside the cell list.
const unit_cell& candidate_cell(const fc_model& model, int cell);
// Axis-permutation code (0, 1, 2) of cell `cell`: 0 when the model lists no
// codes for it; throws std::logic_error for any other value.
int permutation_code(const fc_model& model, int cell);
// The transform of a placement's model; throws std::logic_error when none is prepared.
const molecular_transform& placement_transform(const fc_model& model, const copy_placement& p);
// Appends one term per symmetry operator of the cell's group, in operator
// order, for placement p of the model whose transform is t.
void append_operator_terms(const unit_cell& cell, const copy_placement& p,
                           const molecular_transform& t, std::vector<operator_term>& out);

// Calculated structure factors of a candidate, one per reflection, with the
// bulk-solvent (Babinet) correction applied. Serial: runs on the calling
// thread only (safe to call concurrently); its working matrices are kept per
// thread, so once warmed up it allocates nothing when `out` already holds one
// value per reflection. Parallel: spreads the reflections
// over the worker threads and always interpolates trilinearly. Both resize
// `out`. Throws std::logic_error for a placement whose model has no transform
// or a cell index outside the cell list.
void calculate_fc(const fc_reflections& refl, const fc_model& model, const solution& s,
                  lookup_mode mode, std::vector<complex_f>& out);
void calculate_fc_parallel(const fc_reflections& refl, const fc_model& model, const solution& s,
                           std::vector<complex_f>& out);

// Which loop computes the structure factors: `vector` uses the processor's
// vector units (the instruction set chosen at run time), `scalar` is the
// plain reference loop. The choice holds for the whole process; it starts as
// `vector` unless the environment variable ZELT_SIMD is "0", "off", "false"
// or "scalar". The two agree to single-precision rounding, not bit for bit,
// and the vector loop's last bits may differ between instruction sets.
enum class fc_kernel { scalar, vector };
fc_kernel current_fc_kernel();
void set_fc_kernel(fc_kernel k);
// The same choice for one call.
void calculate_fc(const fc_reflections& refl, const fc_model& model, const solution& s,
                  lookup_mode mode, std::vector<complex_f>& out, fc_kernel kernel);
void calculate_fc_parallel(const fc_reflections& refl, const fc_model& model, const solution& s,
                           std::vector<complex_f>& out, fc_kernel kernel);
// Name of the instruction set of the vector loop on this processor.
std::string fc_vector_target();

}  // namespace zelt
