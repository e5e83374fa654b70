#include "settings/parameters.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <stdexcept>

#include "common/errors.hpp"
#include "search/rotation_grid.hpp"
#include "settings/parameter_checks.hpp"

namespace zelt {

namespace {

const char* const missing_key = "invalid unordered_map<K, T> key";

// White space as the C library sees it in the classic locale.
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads blanks, a sign and the longest run of decimal digits; the magnitude is
// accumulated up to `limit` (anything above it only sets `overflow`).
struct decimal_prefix {
    bool negative = false;
    bool overflow = false;
    std::uint64_t magnitude = 0;
};

bool read_decimal_prefix(const std::string& text, std::uint64_t limit, decimal_prefix& out) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        out.negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !is_digit(text[i])) return false;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        if (out.overflow) continue;
        const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
        if (out.magnitude > (limit - digit) / 10) {
            out.overflow = true;
        } else {
            out.magnitude = out.magnitude * 10 + digit;
        }
    }
    return true;
}

locale_t classic_c_locale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

int parse_integer(const std::string& text) {
    decimal_prefix p;
    constexpr std::uint64_t negative_limit = 2147483648ULL;  // |INT_MIN|
    if (!read_decimal_prefix(text, negative_limit, p)) throw std::invalid_argument("invalid stoi argument");
    if (p.overflow || (!p.negative && p.magnitude > 2147483647ULL))
        throw std::out_of_range("stoi argument out of range");
    const std::int64_t value = p.negative ? -static_cast<std::int64_t>(p.magnitude)
                                          : static_cast<std::int64_t>(p.magnitude);
    return static_cast<int>(value);
}

std::uint32_t parse_unsigned(const std::string& text) {
    decimal_prefix p;
    if (!read_decimal_prefix(text, 4294967295ULL, p)) throw std::invalid_argument("invalid stoul argument");
    if (p.overflow) throw std::out_of_range("stoul argument out of range");
    // As the C conversion does, a minus sign negates in unsigned arithmetic.
    const std::uint32_t m = static_cast<std::uint32_t>(p.magnitude);
    return p.negative ? static_cast<std::uint32_t>(0u - m) : m;
}

double parse_real(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const int saved = errno;
    errno = 0;
    const double value = strtod_l(begin, &end, classic_c_locale());
    const int error = errno;
    errno = saved;
    if (end == begin) throw std::invalid_argument("invalid stod argument");
    if (error == ERANGE) throw std::out_of_range("stod argument out of range");
    return value;
}

namespace {

// True when only blanks follow position `at`.
bool blank_from(const std::string& text, std::size_t at) {
    for (; at < text.size(); ++at)
        if (!is_blank(text[at])) return false;
    return true;
}

// Blanks, a sign and decimal digits, then nothing but blanks.
bool is_whole_integer(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t digits = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    return i > digits && blank_from(text, i);
}

bool is_whole_real(const std::string& text) {
    char* end = nullptr;
    const int saved = errno;
    strtod_l(text.c_str(), &end, classic_c_locale());
    errno = saved;
    return end != text.c_str() && blank_from(text, static_cast<std::size_t>(end - text.c_str()));
}

// A run parameter read as a number: the whole value must be one (2junk,
// 2.9 or 1e99 as an integer are refused rather than read as 2, 2 and 1);
// a failure names the key and the value after the conversion's own message.
template <class Parse>
auto parameter_number(const std::string& key, const std::string& value, bool whole, const char* kind,
                      Parse parse) {
    const std::string setting = ": " + key + "=" + value;
    if (!whole) throw std::invalid_argument(std::string("invalid ") + kind + " argument" + setting);
    try {
        return parse(value);
    } catch (const std::out_of_range& e) {
        throw std::out_of_range(e.what() + setting);
    }
}

}  // namespace

parameter_store::parameter_store() : values_(8) { values_.max_load_factor(1.0f); }

const std::string& parameter_store::text(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end()) throw std::out_of_range(missing_key);
    return it->second;
}

bool parameter_store::boolean(const std::string& key) const { return text(key) == "true"; }

int parameter_store::integer(const std::string& key) const {
    const std::string& value = text(key);
    return parameter_number(key, value, is_whole_integer(value), "stoi", parse_integer);
}

std::uint32_t parameter_store::unsigned_integer(const std::string& key) const {
    const std::string& value = text(key);
    return parameter_number(key, value, is_whole_integer(value), "stoul", parse_unsigned);
}

double parameter_store::real(const std::string& key) const {
    const std::string& value = text(key);
    return parameter_number(key, value, is_whole_real(value), "stod", parse_real);
}

void parameter_store::set(const std::string& key, const std::string& value) { values_[key] = value; }

std::size_t parameter_store::count(const std::string& key) const { return values_.count(key); }

const std::vector<std::pair<const char*, const char*>>& default_parameter_table() {
    static const std::vector<std::pair<const char*, const char*>> table = {
        {"version", "16.07.1"},
        {"output.level", "all"},
        {"output.prefix", "zelt"},
        {"output.reassign-chain-ids", "true"},
        {"report.stats", "none"},
        {"report.header", "true"},
        {"report.inputs", "true"},
        {"report.options", "true"},
        {"report.steps", "true"},
        {"report.time.total", "true"},
        {"report.evolution", "progress"},
        {"report.local", "true"},
        {"report.solution", "true"},
        {"report.solution.normalized", "true"},
        {"cell.source", ""},
        {"model.source", "-"},
        {"data.source", "-"},
        {"data.mtz-column", ""},
        {"structure.source", ""},
        {"resolution.low", "80.0"},
        {"resolution.high", "3.0"},
        {"transform.scale", "2.0"},
        {"transform.fft.sampling", "3.0"},
        {"attempts", "20"},
        {"copies", "1"},
        {"pointgroupsearch", "false"},
        {"assembly", "false"},
        {"optimizer.global", "evolutionary"},
        {"optimizer.local", "simplex"},
        {"optimizer.goal", "maximum"},
        {"optimize.orientation", "true"},
        {"optimize.position", "true"},
        {"optimize.model", "false"},
        {"optimize.spacegroup", "false"},
        {"optimize.copies", "false"},
        {"optimize.assembly", "false"},
        {"optimize.babinet", "true"},
        {"optimize.local-segments", "true"},
        {"target.type", "ccf"},
        {"target.global.interpolate-fc", "true"},
        {"target.sigma-weighting", "false"},
        {"evolution.generations", "50"},
        {"evolution.population", "300"},
        {"evolution.selection.rate.starting", "0.4"},
        {"evolution.selection.rate.ending", "0.01"},
        {"evolution.mutation.crossover.rate", "0.6"},
        {"evolution.mutation.interpolation.rate", "0.6"},
        {"evolution.mutation.rotation.rate", "0.5"},
        {"evolution.mutation.rotation.size", "0.05"},
        {"evolution.mutation.rotation.type", "gaussian"},
        {"evolution.mutation.rotation.notrans.rate", "0.9"},
        {"evolution.mutation.rotation.notrans.size", "0.3"},
        {"evolution.mutation.translation.rate", "0.7"},
        {"evolution.mutation.translation.size", "0.2"},
        {"evolution.mutation.translation.type", "gaussian"},
        {"evolution.mutation.translation.minimum.x", "0.0"},
        {"evolution.mutation.translation.minimum.y", "0.0"},
        {"evolution.mutation.translation.minimum.z", "0.0"},
        {"evolution.mutation.translation.range.x", "1.0"},
        {"evolution.mutation.translation.range.y", "1.0"},
        {"evolution.mutation.translation.range.z", "1.0"},
        {"evolution.mutation.modelswap.rate", "0.25"},
        {"evolution.mutation.cellswap.rate", "0.25"},
        {"evolution.mutation.babinet.rate", "0.1"},
        {"evolution.mutation.babinet.k.size", "0.1"},
        {"evolution.mutation.babinet.B.size", "20.0"},
        {"evolution.mutation.babinet.k.starting", "0.8"},
        {"evolution.mutation.babinet.k.min", "0.2"},
        {"evolution.mutation.babinet.k.max", "1.5"},
        {"evolution.mutation.babinet.B.starting", "200.0"},
        {"evolution.mutation.babinet.B.min", "100.0"},
        {"evolution.mutation.babinet.B.max", "400.0"},
        {"simplex.tolerance", "0.000001"},
        {"simplex.size", "0.05"},
        {"random.seed", "0"},
        {"packing.clash.type", "interatomic"},
        {"packing.clash.distance", "3.4"},
        {"packing.clash.atoms", "c-alpha"},
        // Input formats, ensembles and predicted models.
        {"data.mmcif-block", ""},
        {"model.ensemble", "merge"},
        {"model.hetero-groups", "keep"},
        {"model.b-factor", "b"},
        {"model.plddt-threshold", "70"},
        {"model.error", "auto"},
        // The end of the run: summary of distinct placements with a verdict,
        // the run record and the map coefficients of the best solution.
        {"report.summary", "true"},
        {"report.summary.tolerance", "2.0"},
        {"output.json", "true"},
        {"output.map-coefficients", "true"},
        // Translation search: the evolutionary six-dimensional search, or
        // orientations only with every candidate placed by the fast
        // translation function (its own resolution limit and peaks rescored).
        {"optimizer.translation", "evolutionary"},
        {"optimizer.translation.resolution", "auto"},
        {"optimizer.translation.peaks", "3"},
        // The fft mode's orientations: evolved, or every point of a rotation
        // grid ("auto" spacing from the model's size and the resolution); the
        // best distinct placements found are each refined before the
        // attempt's solution is chosen.
        {"optimizer.orientation", "scan"},
        {"optimizer.orientation.spacing", "auto"},
        {"optimizer.translation.candidates", "20"},
        // Worker threads of each process (0: all cores) and the log file.
        {"threads", "0"},
        {"output.log", "true"},
    };
    return table;
}

parameter_store make_default_store() {
    parameter_store store;
    for (const auto& [key, value] : default_parameter_table()) store.set(key, value);
    return store;
}

const parameter_store& default_store() {
    static const parameter_store store = make_default_store();
    return store;
}

parameter_store make_effective_store(const parameter_store& defaults, const parameter_store& overrides) {
    parameter_store effective = defaults;
    for (const auto& [key, value] : overrides) {
        if (effective.count(key) == 0) throw std::out_of_range(unknown_key_message(key, defaults));
        effective.set(key, value);
    }
    return effective;
}

namespace {

void check_rate(const parameter_store& p, const std::string& key) {
    const double rate = p.real(key);
    if (!(rate >= 0.0 && rate <= 1.0))
        throw range_refusal("selection rate " + key + " must lie between 0 and 1 (is " +
                                 p.text(key) + ").");
}

}  // namespace

void check_counts(const parameter_store& p) {
    const int attempts = p.integer("attempts");
    if (attempts < 1)
        throw range_refusal("the number of attempts (-n) must be at least 1 (is " + p.text("attempts") + ").");
    const int generations = p.integer("evolution.generations");
    if (generations < 0)
        throw range_refusal("the number of generations (-g) must not be negative (is " +
                            p.text("evolution.generations") + ").");
    const int population = p.integer("evolution.population");
    if (population < 1)
        throw range_refusal("the population size (-p) must be at least 1 (is " +
                            p.text("evolution.population") + ").");
}

namespace {

// The orientation search of the fft mode and the scan's grid spacing; a
// grid of more than max_scan_orientations (in P1) is refused.
void check_orientation_search(const parameter_store& p) {
    const std::string& search = p.text("optimizer.orientation");
    if (search != "evolutionary" && search != "scan")
        throw std::runtime_error("optimizer.orientation must be \"evolutionary\" or \"scan\" (is \"" + search +
                                 "\").");
    const std::string& spacing = p.text("optimizer.orientation.spacing");
    if (spacing == "auto") return;
    const double degrees = p.real("optimizer.orientation.spacing");
    if (!(degrees > 0.0 && std::isfinite(degrees)) ||
        rotation_grid_points(degrees / radians_to_degrees) > max_scan_orientations)
        throw range_refusal("optimizer.orientation.spacing must be a positive angle in degrees giving at most " +
                            std::to_string(static_cast<long>(max_scan_orientations)) +
                            " orientations, or auto (is " + spacing + ").");
}

}  // namespace

void check_translation_mode(const parameter_store& p) {
    if (p.text("model.error") != "auto") {
        const double e = p.real("model.error");
        if (!(e >= 0.0 && e <= 10.0))
            throw range_refusal("model.error must be an RMS error of 0 to 10 Angstroms or auto (is " +
                                p.text("model.error") + ").");
    }
    const std::string& mode = p.text("optimizer.translation");
    if (mode == "evolutionary") return;
    if (mode != "fft")
        throw std::runtime_error("optimizer.translation must be \"evolutionary\" or \"fft\" (is \"" + mode +
                                 "\").");
    if (p.boolean("optimize.copies") || p.boolean("optimize.assembly"))
        throw std::runtime_error(
            "the fft translation search places one copy at a time: it cannot be combined with -M or -A.");
    if (p.text("optimizer.translation.resolution") != "auto") {
        const double d = p.real("optimizer.translation.resolution");
        if (!(d > 0.0 && std::isfinite(d)))
            throw range_refusal(
                "optimizer.translation.resolution must be a positive resolution in Angstroms or auto (is " +
                p.text("optimizer.translation.resolution") + ").");
    }
    if (p.integer("optimizer.translation.peaks") < 1)
        throw range_refusal("optimizer.translation.peaks must be at least 1 (is " +
                                 p.text("optimizer.translation.peaks") + ").");
    if (p.integer("optimizer.translation.candidates") < 1)
        throw range_refusal("optimizer.translation.candidates must be at least 1 (is " +
                            p.text("optimizer.translation.candidates") + ").");
    check_orientation_search(p);
}

void check_babinet_bounds(const parameter_store& p) {
    for (const char* name : {"k", "B"}) {
        const std::string low = std::string("evolution.mutation.babinet.") + name + ".min";
        const std::string high = std::string("evolution.mutation.babinet.") + name + ".max";
        if (!(p.real(low) <= p.real(high)))
            throw range_refusal(low + " must not exceed " + high + " (is " + p.text(low) + " against " +
                                p.text(high) + ").");
    }
    const std::string b_min = "evolution.mutation.babinet.B.min";
    if (!(p.real(b_min) >= 0.0))
        throw range_refusal(b_min + " must not be negative (is " + p.text(b_min) + ").");
}

void derive(parameter_store& p, const parameter_store& overrides) {
    check_counts(p);
    auto given = [&](const char* key) { return overrides.count(key) != 0; };

    if (p.text("optimizer.global") == "evolutionary" && p.integer("evolution.generations") == 0)
        p.set("optimizer.global", "none");
    const bool local_only = p.text("optimizer.global") == "none";
    if (local_only && !given("attempts")) p.set("attempts", "1");

    if (p.boolean("optimize.spacegroup")) {
        if (local_only)
            throw std::runtime_error("space group search (-C) and local search (-g0) cannot be combined.");
        if (!p.text("structure.source").empty())
            throw std::runtime_error("partial structure (-s) is incompatible with space group search (-C).");
        if (!given("evolution.generations")) p.set("evolution.generations", "80");
        if (!given("evolution.population")) p.set("evolution.population", "600");
    }

    if (p.boolean("optimize.assembly") || p.boolean("optimize.copies")) {
        if (local_only)
            throw std::runtime_error("multi-copy search (-M or -A) is incompatible with local search (-g0).");
        if (!given("evolution.generations")) p.set("evolution.generations", "400");
    }

    if (p.boolean("optimize.model") && local_only)
        throw std::runtime_error("model selection during search (-S) is incompatible with local search (-g0).");

    if (!given("output.reassign-chain-ids") && !p.boolean("assembly") && p.integer("copies") == 1)
        p.set("output.reassign-chain-ids", "false");

    const std::string& target = p.text("target.type");
    if (target == "ccf") p.set("optimizer.goal", "maximum");
    else if (target == "rfactor") p.set("optimizer.goal", "minimum");

    if (p.text("optimize.orientation") != "true") {
        p.set("evolution.mutation.rotation.type", "none");
        p.set("evolution.mutation.rotation.rate", "0.0");
    }
    if (p.text("optimize.position") != "true") {
        p.set("evolution.mutation.translation.type", "none");
        p.set("evolution.mutation.translation.rate", "0.0");
        p.set("evolution.mutation.translation.range.x", "0.0");
        p.set("evolution.mutation.translation.range.y", "0.0");
        p.set("evolution.mutation.translation.range.z", "0.0");
    }

    // Each candidate of the fft translation search costs a translation
    // function, but needs far fewer of them: it searches orientations only.
    check_translation_mode(p);
    if (p.text("optimizer.translation") == "fft" && !local_only) {
        if (!given("evolution.generations")) p.set("evolution.generations", "20");
        if (!given("evolution.population")) p.set("evolution.population", "150");
        if (!given("attempts")) p.set("attempts", "10");
    }

    // A selection rate is the fraction of a generation that survives; outside
    // [0, 1] the evolutionary search would keep no or more than all candidates.
    check_rate(p, "evolution.selection.rate.starting");
    check_rate(p, "evolution.selection.rate.ending");
}

}  // namespace zelt
