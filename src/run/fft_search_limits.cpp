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
    for (const atom& a : m) sum += a.x * a.x + a.y * a.y + a.z * a.z;
    return m.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(m.size()));
}

int ensemble_members(const model& m) {
    int members = 1;
    for (const atom& a : m) members = std::max(members, a.member + 1);
    return members;
}

// The atoms of one molecule of a model: an ensemble's members are
// alternatives for one molecule, so their mean size counts, not their sum.
std::size_t molecule_atoms(const model& m) {
    return m.size() / static_cast<std::size_t>(ensemble_members(m));
}

// The expected scattering fraction of the smallest search model.
double search_fraction(const run_state& state) {
    const parameter_store& p = state.params;
    std::size_t smallest = molecule_atoms(state.models.front()), largest = 0, sum = 0, fixed = 0;
    for (const model& m : state.models) {
        const std::size_t atoms = molecule_atoms(m);
        smallest = std::min(smallest, atoms);
        largest = std::max(largest, atoms);
        sum += atoms;
    }
    for (const model& m : state.static_list) fixed += molecule_atoms(m);
    const std::size_t copies = static_cast<std::size_t>(std::max(1, p.integer("copies")));
    const std::size_t known = (p.boolean("assembly") ? sum : largest) * copies + fixed;
    const unit_cell& cell = state.cells.front();
    return expected_fraction(smallest, known, cell.volume, static_cast<int>(cell.group().operators.size()));
}

// What the search models show of their accuracy: model.error, or, when
// auto, the largest error any model shows itself (an ensemble's spread, a
// predicted model's pLDDT); and the members of the largest ensemble.
model_accuracy search_model_accuracy(const run_state& state) {
    const parameter_store& p = state.params;
    const bool given = p.text("model.error") != "auto", plddt = p.text("model.b-factor") == "plddt";
    model_accuracy accuracy;
    if (given) accuracy.error = p.real("model.error");
    for (const model& m : state.models) {
        accuracy.members = std::max(accuracy.members, ensemble_members(m));
        if (given) continue;
        accuracy.error = std::max(accuracy.error, ensemble_spread_error(m));
        if (plddt) accuracy.error = std::max(accuracy.error, error_from_plddt_b(m));
    }
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

}  // namespace

void choose_fft_search_limits(run_state& state) {
    const parameter_store& p = state.params;
    const double data_limit = p.real("resolution.high");
    resolution_choice& choice = state.translation_resolution;
    const double fraction = search_fraction(state);
    const model_accuracy accuracy = search_model_accuracy(state);
    choice = p.text("optimizer.translation.resolution") == "auto"
                 ? choose_translation_resolution(state.reflections, data_limit, fraction, accuracy)
                 : given_translation_resolution(state.reflections, p.real("optimizer.translation.resolution"),
                                                data_limit, fraction, accuracy);
    state.scan_spacing_automatic = p.text("optimizer.orientation.spacing") == "auto";
    if (!state.scan_spacing_automatic) {
        state.scan_spacing = p.real("optimizer.orientation.spacing") / radians_to_degrees;
        return;
    }
    double radius = 0.0;
    for (const model& m : state.models) radius = std::max(radius, rms_radius(m));
    state.scan_spacing = automatic_scan_spacing(radius, std::max(choice.d_min, data_limit));
}

std::string fft_settings_text(const run_state& state) {
    const parameter_store& p = state.params;
    const resolution_choice& c = state.translation_resolution;
    std::ostringstream out;
    out << std::fixed << std::setprecision(1) << "Translation search: fft to " << c.d_min << " Angstroms";
    if (c.automatic)
        out << " (auto: " << c.reflections << " reflections, model " << std::setprecision(0) << 100.0 * c.fraction
            << "% of the asymmetric unit, " << model_error_words(c.accuracy) << "expected signal " << std::setprecision(1) << c.signal << ")";
    out << ", " << p.text("optimizer.translation.peaks") << " peaks rescored, "
        << p.text("optimizer.translation.candidates") << " candidates refined\n";
    out << "Orientation search: " << p.text("optimizer.orientation");
    if (p.text("optimizer.orientation") == "scan")
        out << ", grid spacing " << state.scan_spacing * radians_to_degrees << " degrees"
            << (state.scan_spacing_automatic ? " (auto)" : "");
    out << '\n';
    return out.str();
}

}  // namespace zelt
