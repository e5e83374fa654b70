#include "report/run_record.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>

#include <tbb/global_control.h>

#include "crystal/geometry.hpp"
#include "io/atomic_file.hpp"
#include "settings/parameter_descriptions.hpp"

namespace zelt {

namespace {

using nlohmann::json;

// A parameter's value as the program reads it: booleans, integers and reals
// as JSON values of their kind; text, and numbers that do not parse, as text.
json typed_value(const std::string& key, const std::string& value) {
    try {
        switch (parameter_kind_of(key)) {
            case parameter_kind::boolean: return value == "true";
            case parameter_kind::integer:
                // The seed is 64 bits wide once drawn from the system.
                if (key == "random.seed") return std::stoull(value);
                return parse_integer(value);
            case parameter_kind::real: {
                const double v = parse_real(value);
                return std::isfinite(v) ? json(v) : json(value);
            }
            case parameter_kind::text: break;
        }
    } catch (const std::exception&) {
    }
    return value;
}

json parameters_json(const parameter_store& p) {
    json out = json::object();
    for (const auto& [key, value] : std::map<std::string, std::string>(p.begin(), p.end()))
        out[key] = typed_value(key, value);
    return out;
}

json placement_json(const copy_placement& p) {
    const mat3 m = rotation_matrix(p.orientation);
    const vec3 e = euler_angles(p.orientation);
    return {{"model", p.reported_model + 1},
            {"rotation", {{m[0], m[1], m[2]}, {m[3], m[4], m[5]}, {m[6], m[7], m[8]}}},
            {"euler", {e[0] * radians_to_degrees, e[1] * radians_to_degrees, e[2] * radians_to_degrees}},
            {"translation", {p.translation[0], p.translation[1], p.translation[2]}}};
}

// Translation Z and score Z, where the search computed them.
void add_z_scores(json& j, const std::optional<double>& tfz, const std::optional<double>& score_z) {
    if (tfz) j["tfz"] = *tfz;
    if (score_z) j["score_z"] = *score_z;
}

json attempt_json(const attempt_entry& a, const recorded_run& state) {
    json placements = json::array();
    for (const copy_placement& p : a.s.placements) placements.push_back(placement_json(p));
    json j = {{"attempt", a.attempt},
            {"cc", a.cc},
            {"r", a.r},
            {"clashes", a.clashes},
            {"group", a.group + 1},
            {"space_group", state.cells.at(static_cast<std::size_t>(a.s.cell)).group().number},
            {"babinet", {{"k", a.s.k}, {"B", a.s.b}}},
            {"placements", placements}};
    add_z_scores(j, a.tfz, a.score_z);
    return j;
}

json distinct_json(const distinct_placement& p, std::size_t row) {
    json j = {{"group", row + 1},
            {"cc", p.cc},
            {"r", p.r},
            {"clashes", p.clashes},
            {"space_group", p.space_group},
            {"found", p.attempts.size()},
            {"attempts", p.attempts},
            {"best_attempt", p.best_attempt},
            {"contrast", p.contrast ? json(*p.contrast) : json(nullptr)}};
    add_z_scores(j, p.tfz, p.score_z);
    return j;
}

json verdict_json(const verdict& v) { return {{"status", verdict_word(v.level)}, {"reason", v.reason}}; }

json step_json(const copy_step_record& step, const recorded_run& state) {
    json attempts = json::array(), placements = json::array();
    for (const attempt_entry& a : step.attempts) attempts.push_back(attempt_json(a, state));
    for (std::size_t i = 0; i < step.placements.size(); ++i) placements.push_back(distinct_json(step.placements[i], i));
    return {{"label", step.label},
            {"cell", step.cell + 1},
            {"model", step.model + 1},
            {"copy", step.copy + 1},
            {"fixed_origin", step.origin_fixed},
            {"attempts", attempts},
            {"placements", placements},
            {"best_attempt", step.best_attempt},
            {"verdict", verdict_json(step.judgement)},
            {"seconds", step.seconds}};
}

json inputs_json(const recorded_run& state) {
    const parameter_store& p = state.params;
    json sizes = json::array();
    for (const model& m : state.models) sizes.push_back(m.size());
    std::istringstream words(p.text("structure.source"));
    json fixed = json::array();
    for (std::string w; words >> w;) fixed.push_back(w);
    json centres = json::array();
    for (const position& c : state.model_centres) centres.push_back({c[0], c[1], c[2]});
    return {{"cell", p.text("cell.source")},
            {"data", p.text("data.source")},
            {"data_column", state.data_label.empty() ? json(nullptr) : json(state.data_label)},
            {"models", p.text("model.source")},
            {"model_atoms", sizes},
            {"model_centres", centres},
            {"fixed_structure", fixed}};
}

// The requested resolution range, and the range the reflections used span.
json reflections_json(const recorded_run& state) {
    const parameter_store& p = state.params;
    double low = 0.0, high = std::numeric_limits<double>::infinity();
    for (const reflection& r : state.reflections) {
        const double d = state.cells.front().d_spacing(r.h, r.k, r.l);
        low = std::max(low, d);
        high = std::min(high, d);
    }
    return {{"resolution_low", p.real("resolution.low")},
            {"resolution_high", p.real("resolution.high")},
            {"data_resolution_low", low},
            {"data_resolution_high", high},
            {"count", state.reflections.size()}};
}

json crystal_json(const recorded_run& state) {
    const unit_cell& c = state.cells.front();
    const space_group& g = c.group();
    return {{"cell", {{"a", c.a}, {"b", c.b}, {"c", c.c}, {"alpha", c.alpha * radians_to_degrees},
                      {"beta", c.beta * radians_to_degrees}, {"gamma", c.gamma * radians_to_degrees}}},
            {"space_group", {{"number", g.number}, {"symbol", g.symbol},
                             {"name", g.names.empty() ? g.symbol : g.names.front()}}}};
}

json best_json(const recorded_run& state, const run_outcome& o) {
    if (o.chain.empty()) return nullptr;
    const copy_step_record& last = state.log.steps[o.chain.back()];
    json steps = json::array();
    for (std::size_t i : o.chain) steps.push_back(i + 1);
    json best = {{"copy_steps", steps}, {"attempt", last.best_attempt}};
    for (const attempt_entry& a : last.attempts)
        if (a.attempt == last.best_attempt)
            best.update({{"cc", a.cc}, {"r", a.r}, {"clashes", a.clashes}, {"group", a.group + 1},
                         {"babinet", {{"k", a.s.k}, {"B", a.s.b}}}});
    best["coordinates"] = o.coordinates.empty() ? json(nullptr) : json(o.coordinates);
    best["map_coefficients"] = o.map_coefficients.empty() ? json(nullptr) : json(o.map_coefficients);
    return best;
}

// One search model's fft limits: the resolution (given or chosen, with the
// rule's figures) and the scan's grid spacing.
json model_limits_json(const model_fft_limits& limits, bool scan) {
    const resolution_choice& c = limits.resolution;
    return {{"resolution", c.d_min},
            {"resolution_rule", c.automatic ? "auto" : "given"},
            {"reflections", c.reflections},
            {"model_fraction", c.fraction},
            {"model_error", c.accuracy.error},
            {"ensemble_members", c.accuracy.members},
            {"expected_signal", c.signal},
            {"scan_spacing", scan ? json(limits.scan_spacing * radians_to_degrees) : json(nullptr)}};
}

// The fft translation search's settings in force: the first search model's
// limits, then every model's under "by_model".
json translation_search_json(const recorded_run& state) {
    const parameter_store& p = state.params;
    const bool scan = p.text("optimizer.orientation") == "scan";
    json record = state.fft_limits.empty() ? json::object() : model_limits_json(state.fft_limits.front(), scan);
    record["peaks"] = p.integer("optimizer.translation.peaks");
    record["candidates"] = p.integer("optimizer.translation.candidates");
    record["orientation_search"] = p.text("optimizer.orientation");
    record["by_model"] = json::array();
    for (const model_fft_limits& limits : state.fft_limits) record["by_model"].push_back(model_limits_json(limits, scan));
    return record;
}

}  // namespace

json run_record(const recorded_run& state, const run_outcome& outcome) {
    const parameter_store& p = state.params;
    json steps = json::array(), step_seconds = json::array();
    for (const copy_step_record& s : state.log.steps) {
        steps.push_back(step_json(s, state));
        step_seconds.push_back(s.seconds);
    }
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - state.start).count();
    json record = {{"program", "zelt"},
            {"version", p.text("version")},
            {"command_line", state.command_line},
            {"parameters", parameters_json(p)},
            {"seed", state.seed},
            {"threads", tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism)},
            {"inputs", inputs_json(state)},
            {"crystal", crystal_json(state)},
            {"reflections", reflections_json(state)},
            {"copy_steps", steps},
            {"best", best_json(state, outcome)},
            {"verdict", verdict_json(outcome.judgement)},
            {"timings", {{"total_seconds", total}, {"copy_steps_seconds", step_seconds}}}};
    if (p.text("optimizer.translation") == "fft") record["translation_search"] = translation_search_json(state);
    return record;
}

void write_run_record(const std::string& file_name, const recorded_run& state, const run_outcome& outcome) {
    // File names are bytes, not necessarily UTF-8: a byte that is not valid
    // UTF-8 is written as U+FFFD rather than failing the run at its end.
    const std::string text =
        run_record(state, outcome).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    write_file_atomically(file_name, [&](const std::string& temporary) {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) throw std::runtime_error("write failed");
    });
}

}  // namespace zelt
