#pragma once
// The calculated structure factors of a candidate, read from its models'
// transforms under every symmetry operator of its cell.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crystal/reflection.hpp"
#include "crystal/unit_cell.hpp"
#include "model/solution.hpp"
#include "transform/transform_store.hpp"

namespace zelt {

enum class lookup_mode { trilinear, nearest };

// Per-reflection inputs of the calculated structure factors, contiguous and
// in reflection-set order.
struct fc_reflections {
    std::vector<std::int32_t> hkl;     // h, k, l of each reflection
    std::vector<complex_f> static_fc;  // fixed-structure contribution
    std::vector<float> s2;             // (sin theta / lambda)^2
    // The indices again as three columns (all h, then all k, then all l),
    // each padded with zeros to padded_size() values, for the vector loop.
    std::vector<std::int32_t> columns;

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
