#include "run/fft_search_limits.hpp"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>

#include "crystal/geometry.hpp"
#include "model/model_error.hpp"
#include "run/run_state.hpp"

namespace zelt {

namespace {

double rms_radius(const model& m) {
    double sum = 0.0;
    for (const atom& a : m) sum += squared_length(a.site);
    return m.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(m.size()));
}

// The atoms of one molecule of a model: an ensemble's members are
// alternatives for one molecule, so their mean size counts, not their sum.
template <class Site>
std::size_t molecule_atoms(const std::vector<basic_atom<Site>>& m) {
    return m.size() / static_cast<std::size_t>(member_count(m));
}

// The atoms expected to be known in the asymmetric unit: the search models
// (each model in an assembly, else the largest) times the copies, plus the
// fixed structure.
std::size_t known_atoms(const run_state& state) {
    const parameter_store& p = state.params;
    std::size_t largest = 0, sum = 0, fixed = 0;
    for (const model& m : state.models) {
        largest = std::max(largest, molecule_atoms(m));
        sum += molecule_atoms(m);
    }
    for (const placed_model& m : state.static_list) fixed += molecule_atoms(m);
    const std::size_t copies = static_cast<std::size_t>(std::max(1, p.integer("copies")));
    return (p.boolean("assembly") ? sum : largest) * copies + fixed;
}

// What a search model shows of its accuracy: model.error, or, when auto, the
// error it shows itself (an ensemble's spread, a predicted model's pLDDT);
// and its members.
model_accuracy search_model_accuracy(const parameter_store& p, const model& m) {
    model_accuracy accuracy;
    accuracy.members = member_count(m);
    if (p.text("model.error") != "auto") {
        accuracy.error = p.real("model.error");
        return accuracy;
    }
    accuracy.error = ensemble_spread_error(m);
    if (p.text("model.b-factor") == "plddt") accuracy.error = std::max(accuracy.error, error_from_plddt_b(m));
    return accuracy;
}

// "model error 1.2 A, " (or "model error 1.6 A in each of 3 members, ") when
// the rule allowed for an error, else nothing.
std::string model_error_words(model_accuracy accuracy) {
    if (!(accuracy.error > 0.0)) return {};
    std::ostringstream out;
    out << std::fixed << std::setprecision(1) << "model error " << accuracy.error << " A";
    if (accuracy.members > 1) out << " in each of " << accuracy.members << " members";
    out << ", ";
    return out.str();
}

// One model's limits: its own scattering fraction and accuracy set the
// translation search's resolution, its radius and that resolution the scan's
// grid spacing.
model_fft_limits limits_for_model(const run_state& state, const model& m, std::size_t known) {
    const parameter_store& p = state.params;
    const double data_limit = p.real("resolution.high");
    const unit_cell& cell = state.cells.front();
    const double fraction = expected_fraction(molecule_atoms(m), known, cell.volume,
                                              static_cast<int>(cell.group().operators.size()));
    const model_accuracy accuracy = search_model_accuracy(p, m);
    model_fft_limits limits;
    limits.resolution = p.text("optimizer.translation.resolution") == "auto"
                            ? choose_translation_resolution(state.reflections, data_limit, fraction, accuracy)
                            : given_translation_resolution(state.reflections,
                                                           p.real("optimizer.translation.resolution"), data_limit,
                                                           fraction, accuracy);
    limits.scan_spacing = p.text("optimizer.orientation.spacing") == "auto"
                              ? automatic_scan_spacing(rms_radius(m), std::max(limits.resolution.d_min, data_limit))
                              : p.real("optimizer.orientation.spacing") / radians_to_degrees;
    return limits;
}

// The settings report's words on one model's translation-search limit.
std::string translation_words(const parameter_store& p, const resolution_choice& c) {
    std::ostringstream out;
    out << std::fixed << std::setprecision(1) << "fft to " << c.d_min << " Angstroms";
    if (c.automatic)
        out << " (auto: " << c.reflections << " reflections, model " << std::setprecision(0) << 100.0 * c.fraction
            << "% of the asymmetric unit, " << model_error_words(c.accuracy) << "expected signal "
            << std::setprecision(1) << c.signal << ")";
    out << ", " << p.text("optimizer.translation.peaks") << " peaks rescored, "
        << p.text("optimizer.translation.candidates") << " candidates refined";
    return out.str();
}

}  // namespace

void choose_fft_search_limits(run_state& state) {
    state.scan_spacing_automatic = state.params.text("optimizer.orientation.spacing") == "auto";
    const std::size_t known = known_atoms(state);
    state.fft_limits.clear();
    for (const model& m : state.models) state.fft_limits.push_back(limits_for_model(state, m, known));
}

std::string fft_settings_text(const run_state& state) {
    const parameter_store& p = state.params;
    const std::size_t models = state.fft_limits.size();
    std::ostringstream out;
    for (std::size_t i = 0; i < models; ++i) {
        out << "Translation search";
        if (models > 1) out << " for model " << i + 1;
        out << ": " << translation_words(p, state.fft_limits[i].resolution) << '\n';
    }
    out << "Orientation search: " << p.text("optimizer.orientation");
    if (p.text("optimizer.orientation") == "scan") {
        out << ", grid spacing " << std::fixed << std::setprecision(1);
        for (std::size_t i = 0; i < models; ++i) {
            out << (i == 0 ? "" : ", ") << state.fft_limits[i].scan_spacing * radians_to_degrees;
            if (models > 1) out << " (model " << i + 1 << ")";
        }
        out << " degrees" << (state.scan_spacing_automatic ? " (auto)" : "");
    }
    out << '\n';
    return out.str();
}

}  // namespace zelt
