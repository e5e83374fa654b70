#pragma once
// What a run may do to a search model as it is read: keep one member of an
// ensemble, drop waters or all hetero groups, read the B column of a
// predicted model as pLDDT (converted to B, low-confidence residues dropped).
#include <string>
#include <vector>

#include "model/atom.hpp"

namespace zelt {

struct search_model_options {
    std::string ensemble = "merge";  // "merge", "first" or a member number from 1
    std::string hetero = "keep";     // "keep", "drop-water" or "drop-all"
    std::string b_factor = "b";      // "b" or "plddt"
    double plddt_threshold = 70.0;   // residues below it are dropped (plddt only)
};

// What was found and done, for the reading message.
struct search_model_note {
    int members = 1;            // ensemble members in the file
    int member_used = 0;        // the member kept (from 1), 0 when merged
    int waters = 0;             // water molecules (first member)
    int hetero_groups = 0;      // other hetero groups (first member)
    bool hetero_dropped = false, water_dropped = false;
    bool plddt = false;         // B column read as pLDDT
    int residues = 0;           // residues before trimming (first member)
    int residues_dropped = 0;   // residues below the pLDDT threshold
    bool looks_predicted = false;
};

// Whether a header line, title or software name marks a predicted model:
// it names a structure predictor or calls the model predicted (case is
// ignored). Both coordinate readers ask this of the same words.
bool names_structure_predictor(const std::string& text);

// B factor (Angstrom^2) of a pLDDT value: rmsd = 1.5 exp(4 (0.7 - pLDDT/100)),
// B = 8 pi^2 / 3 rmsd^2.
double plddt_to_b(double plddt);

// Applies the options to `m` (read from NAME). `predicted_header`: the
// file's header names a structure predictor. Fails with a runtime_error for
// an option value it does not know or a member the file does not have.
search_model_note prepare_search_model(model& m, const search_model_options& options,
                                       bool predicted_header, const std::string& name);

// The lines (each indented, without line break) that report the note.
std::vector<std::string> describe(const search_model_note& note, double plddt_threshold);

}  // namespace zelt
