#include "app/translation_resolution.hpp"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>

#include "app/run_state.hpp"
#include "crystal/geometry.hpp"

namespace zelt {

double expected_fraction(std::size_t model_atoms, std::size_t known_atoms, double cell_volume,
                         int operators) {
    const double expected = cell_volume / (std::max(operators, 1) * protein_volume_per_atom);
    const double total = std::max(expected, static_cast<double>(known_atoms));
    if (!(total > 0.0)) return 1.0;
    return std::min(1.0, static_cast<double>(model_atoms) / total);
}

namespace {

std::size_t reflections_to_limit(const reflection_set& reflections, double d) {
    const double s2_max = 1.0 / (4.0 * d * d);
    return static_cast<std::size_t>(std::count_if(reflections.begin(), reflections.end(),
                                                  [&](const reflection& r) { return r.s2 <= s2_max; }));
}

}  // namespace

resolution_choice choose_translation_resolution(const reflection_set& reflections, double data_d_min,
                                                double fraction, double signal_goal) {
    resolution_choice c;
    c.automatic = true;
    c.fraction = fraction;
    std::vector<double> limits;
    for (double d = auto_resolution_coarsest; d > data_d_min + 1e-9; d -= auto_resolution_step)
        limits.push_back(d);
    limits.push_back(data_d_min);
    for (double d : limits) {
        c.d_min = d;
        c.reflections = reflections_to_limit(reflections, d);
        c.signal = fraction * std::sqrt(static_cast<double>(c.reflections));
        if (c.signal >= signal_goal) break;
    }
    return c;
}

double automatic_scan_spacing(double radius, double d_min) {
    const double lowest = 1.0 / radians_to_degrees, highest = 20.0 / radians_to_degrees;
    if (!(radius > 0.0)) return highest;
    return std::clamp(d_min / (2.0 * radius), lowest, highest);
}

namespace {

double rms_radius(const model& m) {
    double sum = 0.0;
    for (const atom& a : m) sum += a.x * a.x + a.y * a.y + a.z * a.z;
    return m.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(m.size()));
}

// The expected scattering fraction of the smallest search model.
double search_fraction(const run_state& state) {
    const parameter_store& p = state.params;
    std::size_t smallest = state.models.front().size(), largest = 0, sum = 0, fixed = 0;
    for (const model& m : state.models) {
        smallest = std::min(smallest, m.size());
        largest = std::max(largest, m.size());
        sum += m.size();
    }
    for (const model& m : state.static_list) fixed += m.size();
    const std::size_t copies = static_cast<std::size_t>(std::max(1, p.integer("copies")));
    const std::size_t known = (p.boolean("assembly") ? sum : largest) * copies + fixed;
    const unit_cell& cell = state.cells.front();
    return expected_fraction(smallest, known, cell.volume, static_cast<int>(cell.group().operators.size()));
}

}  // namespace

void choose_fft_search_limits(run_state& state) {
    const parameter_store& p = state.params;
    const double data_limit = p.real("resolution.high");
    resolution_choice& choice = state.translation_resolution;
    if (p.text("optimizer.translation.resolution") == "auto") {
        choice = choose_translation_resolution(state.reflections, data_limit, search_fraction(state));
    } else {
        choice = resolution_choice{};
        choice.d_min = p.real("optimizer.translation.resolution");
        choice.fraction = search_fraction(state);
        const double limit = std::max(choice.d_min, data_limit);
        const double s2_max = 1.0 / (4.0 * limit * limit);
        for (const reflection& r : state.reflections) choice.reflections += r.s2 <= s2_max ? 1 : 0;
        choice.signal = choice.fraction * std::sqrt(static_cast<double>(choice.reflections));
    }
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
            << "% of the asymmetric unit, expected signal " << std::setprecision(1) << c.signal << ")";
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
