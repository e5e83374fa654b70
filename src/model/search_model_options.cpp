#include "model/search_model_options.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>

#include "common/numbers.hpp"

namespace zelt {

namespace {

// Residue identity of an atom line: name, chain, number, insertion code.
std::string residue_key(const atom& a) { return a.line.size() >= 27 ? a.line.substr(17, 10) : a.line; }

std::string residue_name(const atom& a) {
    std::string name = a.line.size() >= 20 ? a.line.substr(17, 3) : std::string();
    name.erase(0, name.find_first_not_of(' '));
    return name;
}

bool is_water(const atom& a) {
    const std::string n = residue_name(a);
    return n == "HOH" || n == "WAT" || n == "DOD" || n == "H2O" || n == "D2O";
}

bool is_hetero(const atom& a) { return a.line.compare(0, 6, "HETATM") == 0; }

// Runs of consecutive atoms of one residue: [begin, end) index pairs.
std::vector<std::pair<std::size_t, std::size_t>> residue_runs(const model& m) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t i = 0; i < m.size(); ++i) {
        if (i == 0 || m[i].member != m[i - 1].member || residue_key(m[i]) != residue_key(m[i - 1]))
            runs.push_back({i, i});
        runs.back().second = i + 1;
    }
    return runs;
}

int chosen_member(const std::string& value, int members, const std::string& name) {
    if (value == "merge") return 0;
    if (value == "first") return 1;
    const int n = small_positive_number(value);
    if (n < 1)
        throw std::runtime_error("model.ensemble must be merge, first or a member number (is " + value + ")");
    if (n > members)
        throw std::runtime_error("search model " + name + " has " + std::to_string(members) +
                                 " ensemble member(s); model.ensemble asks for member " + value);
    return n;
}

void keep_member(model& m, int member) {
    std::erase_if(m, [&](const atom& a) { return a.member != member - 1; });
    for (atom& a : m) a.member = 0;
}

void count_hetero(const model& m, search_model_note& note) {
    for (const auto& [begin, end] : residue_runs(m)) {
        const atom& a = m[begin];
        if (a.member != 0) continue;
        if (is_water(a)) ++note.waters;
        else if (is_hetero(a)) ++note.hetero_groups;
    }
}

void drop_hetero(model& m, const std::string& mode, search_model_note& note) {
    if (mode == "keep") return;
    if (mode != "drop-water" && mode != "drop-all")
        throw std::runtime_error("model.hetero-groups must be keep, drop-water or drop-all (is " + mode + ")");
    note.water_dropped = true;
    note.hetero_dropped = mode == "drop-all";
    std::erase_if(m, [&](const atom& a) { return is_water(a) || (note.hetero_dropped && is_hetero(a)); });
}

bool b_within_plddt_range(const model& m) {
    return std::all_of(m.begin(), m.end(), [](const atom& a) { return a.b >= 0 && a.b <= 100; });
}

void set_b(atom& a, double b) {
    a.b = b;
    if (a.line.size() < 66) return;
    char field[32];
    std::snprintf(field, sizeof field, "%6.2f", std::min(b, 999.99));
    a.line.replace(60, 6, field, 6);
}

// Drops residues whose mean pLDDT is below the threshold, converts the rest.
void apply_plddt(model& m, double threshold, search_model_note& note) {
    note.plddt = true;
    model kept;
    for (const auto& [begin, end] : residue_runs(m)) {
        double sum = 0;
        for (std::size_t i = begin; i < end; ++i) sum += m[i].b;
        const bool first_member = m[begin].member == 0;
        note.residues += first_member;
        if (sum / static_cast<double>(end - begin) < threshold) {
            note.residues_dropped += first_member;
            continue;
        }
        for (std::size_t i = begin; i < end; ++i) kept.push_back(std::move(m[i]));
    }
    for (atom& a : kept) set_b(a, plddt_to_b(a.b));
    m = std::move(kept);
}

}  // namespace

bool names_structure_predictor(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : {"alphafold", "predicted", "prediction", "esmfold", "colabfold", "rosettafold"})
        if (lower.find(word) != std::string::npos) return true;
    return false;
}

double plddt_to_b(double plddt) {
    const double rmsd = 1.5 * std::exp(4.0 * (0.7 - plddt / 100.0));
    return 8.0 * std::numbers::pi * std::numbers::pi / 3.0 * rmsd * rmsd;
}

search_model_note prepare_search_model(model& m, const search_model_options& options,
                                       bool predicted_header, const std::string& name) {
    search_model_note note;
    note.members = member_count(m);
    note.member_used = chosen_member(options.ensemble, note.members, name);
    if (note.member_used > 0) keep_member(m, note.member_used);
    const auto refuse_if_empty = [&](const std::string& reason) {
        if (m.empty()) throw std::runtime_error("no atoms in search model " + name + ": " + reason);
    };
    refuse_if_empty("it holds no atom records (ATOM or HETATM lines, or _atom_site rows)");
    count_hetero(m, note);
    drop_hetero(m, options.hetero, note);
    refuse_if_empty("all its atoms are waters or hetero groups, dropped as model.hetero-groups=" +
                    options.hetero + " asks");
    if (options.b_factor == "plddt") {
        apply_plddt(m, options.plddt_threshold, note);
        char threshold[32];
        std::snprintf(threshold, sizeof threshold, "%g", options.plddt_threshold);
        refuse_if_empty(std::string("every residue has a mean pLDDT below the threshold ") + threshold);
    } else if (options.b_factor == "b") {
        note.looks_predicted = predicted_header && b_within_plddt_range(m);
    } else {
        throw std::runtime_error("model.b-factor must be b or plddt (is " + options.b_factor + ")");
    }
    return note;
}

std::vector<std::string> describe(const search_model_note& note, double plddt_threshold) {
    std::vector<std::string> lines;
    const std::string members = std::to_string(note.members);
    if (note.members > 1 && note.member_used == 0)
        lines.push_back("  ensemble of " + members + " members merged into one model");
    if (note.member_used > 0 && note.members > 1)
        lines.push_back("  member " + std::to_string(note.member_used) + " of an ensemble of " + members + " used");
    if (note.waters > 0 || note.hetero_groups > 0) {
        std::string line = "  " + std::to_string(note.waters) + " water(s), " +
                           std::to_string(note.hetero_groups) + " other hetero group(s)";
        if (note.hetero_dropped) line += ": all dropped";
        else if (note.water_dropped) line += ": waters dropped";
        lines.push_back(line);
    }
    if (note.plddt) {
        char threshold[32];
        std::snprintf(threshold, sizeof threshold, "%g", plddt_threshold);
        lines.push_back("  B factors from pLDDT; " + std::to_string(note.residues_dropped) + " of " +
                        std::to_string(note.residues) + " residues with pLDDT below " + threshold +
                        " dropped");
    }
    if (note.looks_predicted)
        lines.push_back("  this looks like a predicted model whose B column holds pLDDT: "
                        "-P model.b-factor=plddt converts it (see README)");
    return lines;
}

}  // namespace zelt
