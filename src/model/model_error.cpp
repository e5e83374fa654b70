#include "model/model_error.hpp"

#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace zelt {

namespace {

// The C-alpha atoms of each member, keyed by residue position (chain,
// number and insertion code of the record, not the residue's name: the
// members of an ensemble of homologs, numbered to a common alignment,
// differ in their residues at the same position).
std::vector<std::map<std::string, const atom*>> member_c_alphas(const model& m) {
    std::vector<std::map<std::string, const atom*>> members;
    for (const atom& a : m) {
        if (a.line.size() < 27 || a.line.compare(12, 4, " CA ") != 0) continue;
        if (static_cast<std::size_t>(a.member) >= members.size()) members.resize(a.member + 1);
        members[a.member].emplace(a.line.substr(21, 6), &a);
    }
    return members;
}

}  // namespace

double ensemble_spread_error(const model& m) {
    const auto members = member_c_alphas(m);
    double sum = 0.0;
    std::size_t pairs = 0;
    for (std::size_t i = 0; i < members.size(); ++i)
        for (std::size_t j = i + 1; j < members.size(); ++j) {
            double msd = 0.0;
            std::size_t shared = 0;
            for (const auto& [residue, a] : members[i]) {
                const auto other = members[j].find(residue);
                if (other == members[j].end()) continue;
                const atom& b = *other->second;
                msd += squared_length(a->site - b.site);
                ++shared;
            }
            if (shared < 3) continue;
            sum += msd / static_cast<double>(shared);
            ++pairs;
        }
    return pairs == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(pairs) / 2.0);
}

double error_from_plddt_b(const model& m) {
    if (m.empty()) return 0.0;
    double sum = 0.0;
    for (const atom& a : m) sum += 3.0 * a.b / (8.0 * std::numbers::pi * std::numbers::pi);
    return std::sqrt(sum / static_cast<double>(m.size()));
}

}  // namespace zelt
