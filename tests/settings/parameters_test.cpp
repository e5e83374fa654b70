#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/parameter_checks.hpp"
#include "settings/parameters.hpp"

namespace {

using zelt::parameter_store;

// Expects `f` to throw exactly the exception type E with message `what`.
template <class E, class F>
void expect_failure(F f, const std::string& what) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << what;
    } catch (const E& e) {
        EXPECT_EQ(e.what(), what);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "wrong exception kind: " << e.what();
    }
}

TEST(Defaults, TableHasEveryKeyOnceWithItsValue) {
    const auto& table = zelt::default_parameter_table();
    // The program's 78 keys, then the keys of later capabilities, each block
    // in the order it was added.
    const std::vector<std::pair<std::string, std::string>> added_keys = {
        {"data.mmcif-block", ""}, {"model.ensemble", "merge"}, {"model.hetero-groups", "keep"},
        {"model.b-factor", "b"}, {"model.plddt-threshold", "70"}, {"model.error", "auto"},
        {"report.summary", "true"}, {"report.summary.tolerance", "2.0"}, {"output.json", "true"},
        {"output.map-coefficients", "true"},
        {"optimizer.translation", "evolutionary"}, {"optimizer.translation.resolution", "auto"},
        {"optimizer.translation.peaks", "3"}, {"optimizer.orientation", "scan"},
        {"optimizer.orientation.spacing", "auto"}, {"optimizer.translation.candidates", "20"},
        {"threads", "0"}, {"output.log", "true"}};
    ASSERT_EQ(table.size(), 78u + added_keys.size());
    std::set<std::string> keys;
    for (const auto& [k, v] : table) EXPECT_TRUE(keys.insert(k).second) << "duplicate " << k;
    EXPECT_EQ(std::string(table.front().first), "version");
    EXPECT_EQ(std::string(table[77].first), "packing.clash.atoms");
    for (std::size_t i = 0; i < added_keys.size(); ++i) {
        EXPECT_EQ(table[78 + i].first, added_keys[i].first);
        EXPECT_EQ(table[78 + i].second, added_keys[i].second);
    }

    const parameter_store d = zelt::make_default_store();
    EXPECT_EQ(d.size(), table.size());
    // A sample of the defaults across the whole table, written out independently.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"version", "16.07.1"}, {"output.level", "all"}, {"output.prefix", "zelt"},
        {"report.evolution", "progress"}, {"cell.source", ""}, {"model.source", "-"},
        {"data.source", "-"}, {"resolution.low", "80.0"}, {"resolution.high", "3.0"},
        {"attempts", "20"}, {"copies", "1"}, {"optimizer.global", "evolutionary"},
        {"target.sigma-weighting", "false"}, {"evolution.generations", "50"},
        {"evolution.population", "300"}, {"evolution.selection.rate.starting", "0.4"},
        {"evolution.selection.rate.ending", "0.01"},
        {"evolution.mutation.translation.minimum.z", "0.0"},
        {"evolution.mutation.translation.range.y", "1.0"},
        {"evolution.mutation.babinet.B.max", "400.0"}, {"simplex.tolerance", "0.000001"},
        {"random.seed", "0"}, {"packing.clash.distance", "3.4"}, {"packing.clash.atoms", "c-alpha"}};
    for (const auto& [k, v] : expected) EXPECT_EQ(d.text(k), v) << k;
    // Every default of a numeric kind reads without failure.
    EXPECT_DOUBLE_EQ(d.real("simplex.tolerance"), 1e-6);
    EXPECT_EQ(d.unsigned_integer("random.seed"), 0u);
    EXPECT_EQ(&zelt::default_store(), &zelt::default_store());
}

TEST(Store, BooleansAreTrueOnlyForTheExactWord) {
    parameter_store s;
    const std::vector<std::pair<std::string, bool>> cases = {
        {"true", true}, {"True", false}, {"TRUE", false}, {"1", false},
        {"", false},    {" true", false}, {"false", false}, {"yes", false}};
    for (const auto& [value, expected] : cases) {
        s.set("k", value);
        EXPECT_EQ(s.boolean("k"), expected) << '"' << value << '"';
    }
}

TEST(Store, SetInsertsThenReplacesAndCountTellsPresence) {
    parameter_store s;
    EXPECT_EQ(s.count("a.b"), 0u);
    s.set("a.b", "1");
    s.set("a.b", "2");
    EXPECT_EQ(s.count("a.b"), 1u);
    EXPECT_EQ(s.count("A.b"), 0u);  // keys are case sensitive
    EXPECT_EQ(s.text("a.b"), "2");
    EXPECT_EQ(s.size(), 1u);
}

TEST(Store, MissingKeyFailsInEveryGetter) {
    const parameter_store s;
    const std::string msg = "invalid unordered_map<K, T> key";
    expect_failure<std::out_of_range>([&] { (void)s.text("nope"); }, msg);
    expect_failure<std::out_of_range>([&] { (void)s.boolean("nope"); }, msg);
    expect_failure<std::out_of_range>([&] { (void)s.integer("nope"); }, msg);
    expect_failure<std::out_of_range>([&] { (void)s.unsigned_integer("nope"); }, msg);
    expect_failure<std::out_of_range>([&] { (void)s.real("nope"); }, msg);
}

TEST(NumberParsing, IntegersReadTheLongestPrefix) {
    const std::vector<std::pair<std::string, int>> ok = {
        {"20abc", 20}, {" -3", -3}, {"\t\n+7", 7}, {"007", 7}, {"12.9", 12}, {"0x10", 0},
        {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}, {"5 generations", 5},
        {"00000000000000000000042", 42}};
    for (const auto& [text, value] : ok) EXPECT_EQ(zelt::parse_integer(text), value) << text;

    for (const std::string bad : {"abc", "", " ", "-", "+-1", "- 1", ".5", "\v"})
        expect_failure<std::invalid_argument>([&] { (void)zelt::parse_integer(bad); },
                                              "invalid stoi argument");
    for (const std::string big : {"2147483648", "-2147483649", "99999999999999999999999", "4294967296x"})
        expect_failure<std::out_of_range>([&] { (void)zelt::parse_integer(big); },
                                          "stoi argument out of range");
}

TEST(NumberParsing, UnsignedIsThirtyTwoBits) {
    EXPECT_EQ(zelt::parse_unsigned("4294967295"), 4294967295u);
    EXPECT_EQ(zelt::parse_unsigned(" 12345seed"), 12345u);
    EXPECT_EQ(zelt::parse_unsigned("+1"), 1u);
    EXPECT_EQ(zelt::parse_unsigned("-1"), 4294967295u);  // the C conversion negates modulo 2^32
    expect_failure<std::out_of_range>([] { (void)zelt::parse_unsigned("4294967296"); },
                                      "stoul argument out of range");
    expect_failure<std::out_of_range>([] { (void)zelt::parse_unsigned("18446744073709551616"); },
                                      "stoul argument out of range");
    expect_failure<std::invalid_argument>([] { (void)zelt::parse_unsigned("seed"); },
                                          "invalid stoul argument");
}

TEST(NumberParsing, RealsFollowTheCConventions) {
    const std::vector<std::pair<std::string, double>> ok = {
        {"3.0 A", 3.0}, {"  -2.5e1x", -25.0}, {"+.5", 0.5}, {"1e3", 1000.0},
        {"7.", 7.0},    {"0.000001", 1e-6}, {"2,5", 2.0}, {"80", 80.0}, {"0x10", 16.0}};
    for (const auto& [text, value] : ok) EXPECT_DOUBLE_EQ(zelt::parse_real(text), value) << text;
    EXPECT_TRUE(std::isinf(zelt::parse_real("inf")));
    EXPECT_TRUE(std::isnan(zelt::parse_real("nan")));

    for (const std::string bad : {"abc", "", "e5", ".", "-", " , 1"})
        expect_failure<std::invalid_argument>([&] { (void)zelt::parse_real(bad); }, "invalid stod argument");
    for (const std::string big : {"1e400", "-1e999", "1e-400"})
        expect_failure<std::out_of_range>([&] { (void)zelt::parse_real(big); }, "stod argument out of range");
}

TEST(EffectiveStore, UnknownKeysNameTheNearestKnownKey) {
    const parameter_store defaults = zelt::make_default_store();
    EXPECT_EQ(zelt::edit_distance("attempts", "Attempts"), 1u);
    EXPECT_EQ(zelt::edit_distance("kitten", "sitting"), 3u);
    EXPECT_EQ(zelt::edit_distance("", "copies"), 6u);
    EXPECT_EQ(zelt::unknown_key_message("attempt", defaults), "unknown run parameter 'attempt' (did you mean 'attempts'?)");
    EXPECT_EQ(zelt::unknown_key_message("output.prefix ", defaults),
              "unknown run parameter 'output.prefix ' (did you mean 'output.prefix'?)");
    EXPECT_EQ(zelt::unknown_key_message("evolution.populaton", defaults),
              "unknown run parameter 'evolution.populaton' (did you mean 'evolution.population'?)");
    EXPECT_EQ(zelt::unknown_key_message("colour", defaults), "unknown run parameter 'colour'");
}

TEST(EffectiveStore, OverridesReplaceDefaultsAndUnknownKeysFail) {
    const parameter_store defaults = zelt::make_default_store();
    parameter_store overrides;
    overrides.set("attempts", "5");
    overrides.set("output.prefix", "run1");
    const parameter_store e = zelt::make_effective_store(defaults, overrides);
    EXPECT_EQ(e.size(), zelt::default_parameter_table().size());
    EXPECT_EQ(e.text("attempts"), "5");
    EXPECT_EQ(e.text("output.prefix"), "run1");
    EXPECT_EQ(e.text("copies"), "1");
    EXPECT_EQ(defaults.text("attempts"), "20");  // the defaults are not touched

    for (const std::string bad : {"Attempts", "attempt", "", "output.prefix "}) {
        parameter_store o;
        o.set("copies", "2");
        o.set(bad, "1");
        expect_failure<std::out_of_range>([&] { (void)zelt::make_effective_store(defaults, o); },
                                          zelt::unknown_key_message(bad, defaults));
    }
}

// One derivation case: overrides in, then expected texts or a failure message.
struct derive_case {
    std::string name;
    std::vector<std::pair<std::string, std::string>> overrides;
    std::vector<std::pair<std::string, std::string>> expected;
    std::string failure;  // empty: must succeed
};

parameter_store overrides_of(const derive_case& c) {
    parameter_store o;
    for (const auto& [k, v] : c.overrides) o.set(k, v);
    return o;
}

TEST(Derivation, TableOfCases) {
    const std::string g0_spacegroup = "space group search (-C) and local search (-g0) cannot be combined.";
    const std::string multi = "multi-copy search (-M or -A) is incompatible with local search (-g0).";
    const std::string model_sel = "model selection during search (-S) is incompatible with local search (-g0).";
    const std::string partial = "partial structure (-s) is incompatible with space group search (-C).";
    const std::vector<derive_case> cases = {
        {"defaults", {},
         {{"optimizer.global", "evolutionary"}, {"attempts", "20"}, {"evolution.generations", "50"},
          {"evolution.population", "300"}, {"output.reassign-chain-ids", "false"},
          {"optimizer.goal", "maximum"}, {"evolution.mutation.rotation.type", "gaussian"},
          {"evolution.mutation.translation.range.x", "1.0"}},
         ""},
        {"g0 means one local attempt", {{"evolution.generations", "0"}},
         {{"optimizer.global", "none"}, {"attempts", "1"}}, ""},
        {"g0 written with blanks", {{"evolution.generations", " 0 "}},
         {{"optimizer.global", "none"}, {"attempts", "1"}}, ""},
        // A number must be the whole value: " 0gen" is not read as 0.
        {"g0 followed by letters", {{"evolution.generations", " 0gen"}}, {},
         "invalid stoi argument: evolution.generations= 0gen"},
        {"g0 keeps given attempts", {{"evolution.generations", "0"}, {"attempts", "5"}},
         {{"optimizer.global", "none"}, {"attempts", "5"}}, ""},
        {"other global optimizer is left alone", {{"optimizer.global", "anneal"}, {"evolution.generations", "0"}},
         {{"optimizer.global", "anneal"}, {"attempts", "20"}}, ""},
        {"global none given directly", {{"optimizer.global", "none"}},
         {{"attempts", "1"}, {"evolution.generations", "50"}}, ""},
        {"C alone", {{"optimize.spacegroup", "true"}},
         {{"evolution.generations", "80"}, {"evolution.population", "600"}}, ""},
        {"C with M2", {{"optimize.spacegroup", "true"}, {"copies", "2"}, {"optimize.copies", "true"}},
         {{"evolution.generations", "400"}, {"evolution.population", "600"},
          {"output.reassign-chain-ids", "true"}}, ""},
        {"C with g30", {{"optimize.spacegroup", "true"}, {"evolution.generations", "30"}},
         {{"evolution.generations", "30"}, {"evolution.population", "600"}}, ""},
        {"C with p50", {{"optimize.spacegroup", "true"}, {"evolution.population", "50"}},
         {{"evolution.generations", "80"}, {"evolution.population", "50"}}, ""},
        {"A gives 400 generations", {{"optimize.assembly", "true"}, {"assembly", "true"}},
         {{"evolution.generations", "400"}, {"output.reassign-chain-ids", "true"}}, ""},
        {"C with g0", {{"optimize.spacegroup", "true"}, {"evolution.generations", "0"}}, {}, g0_spacegroup},
        {"C with s", {{"optimize.spacegroup", "true"}, {"structure.source", "fixed.pdb"}}, {}, partial},
        {"M with g0", {{"optimize.copies", "true"}, {"copies", "2"}, {"evolution.generations", "0"}}, {}, multi},
        {"A with g0", {{"optimize.assembly", "true"}, {"evolution.generations", "0"}}, {}, multi},
        {"S with g0", {{"optimize.model", "true"}, {"evolution.generations", "0"}}, {}, model_sel},
        {"S with evolution", {{"optimize.model", "true"}}, {{"optimizer.global", "evolutionary"}}, ""},
        {"m2 keeps chain reassignment", {{"copies", "2"}}, {{"output.reassign-chain-ids", "true"}}, ""},
        {"user chain setting wins", {{"output.reassign-chain-ids", "true"}},
         {{"output.reassign-chain-ids", "true"}}, ""},
        {"rfactor minimises", {{"target.type", "rfactor"}}, {{"optimizer.goal", "minimum"}}, ""},
        {"ccf overrides a given goal", {{"target.type", "ccf"}, {"optimizer.goal", "minimum"}},
         {{"optimizer.goal", "maximum"}}, ""},
        {"other target leaves goal", {{"target.type", "Rfactor"}, {"optimizer.goal", "minimum"}},
         {{"optimizer.goal", "minimum"}}, ""},
        {"T switches rotation mutation off",
         {{"optimize.orientation", "false"}, {"evolution.mutation.rotation.rate", "0.7"}},
         {{"evolution.mutation.rotation.type", "none"}, {"evolution.mutation.rotation.rate", "0.0"},
          {"evolution.mutation.translation.rate", "0.7"}}, ""},
        {"orientation True is not true", {{"optimize.orientation", "True"}},
         {{"evolution.mutation.rotation.type", "none"}}, ""},
        {"R switches translation off", {{"optimize.position", "false"}},
         {{"evolution.mutation.translation.type", "none"}, {"evolution.mutation.translation.rate", "0.0"},
          {"evolution.mutation.translation.range.x", "0.0"}, {"evolution.mutation.translation.range.y", "0.0"},
          {"evolution.mutation.translation.range.z", "0.0"}, {"evolution.mutation.rotation.rate", "0.5"}}, ""},
        {"starting rate above one", {{"evolution.selection.rate.starting", "1.5"}}, {},
         "selection rate evolution.selection.rate.starting must lie between 0 and 1 (is 1.5)."},
        {"ending rate negative", {{"evolution.selection.rate.ending", "-0.1"}}, {},
         "selection rate evolution.selection.rate.ending must lie between 0 and 1 (is -0.1)."},
        {"rate not a number", {{"evolution.selection.rate.ending", "nan"}}, {},
         "selection rate evolution.selection.rate.ending must lie between 0 and 1 (is nan)."},
        {"rates at the bounds", {{"evolution.selection.rate.starting", "1"}, {"evolution.selection.rate.ending", "0"}},
         {{"evolution.selection.rate.starting", "1"}}, ""},
    };
    for (const derive_case& c : cases) {
        SCOPED_TRACE(c.name);
        const parameter_store o = overrides_of(c);
        parameter_store e = zelt::make_effective_store(zelt::make_default_store(), o);
        if (c.failure.empty()) {
            ASSERT_NO_THROW(zelt::derive(e, o));
            for (const auto& [k, v] : c.expected) EXPECT_EQ(e.text(k), v) << k;
        } else {
            try {
                zelt::derive(e, o);
                ADD_FAILURE() << "no failure";
            } catch (const std::exception& err) {
                EXPECT_EQ(err.what(), c.failure);
            }
        }
    }
}

TEST(Derivation, WrittenKeysStillCountAsNotGiven) {
    // Space-group search and multi-copy search both apply: 400 wins over 80.
    parameter_store o;
    o.set("optimize.spacegroup", "true");
    o.set("optimize.assembly", "true");
    parameter_store e = zelt::make_effective_store(zelt::make_default_store(), o);
    zelt::derive(e, o);
    EXPECT_EQ(e.text("evolution.generations"), "400");
    EXPECT_EQ(o.count("evolution.generations"), 0u);
}

// The fft translation search has its own attempts, population and
// generations unless the user gave them; a local-only run stays local.
TEST(Derivation, TranslationSearchDefaults) {
    struct row {
        std::vector<std::pair<std::string, std::string>> given;
        std::string attempts, population, generations, global;
    };
    const std::vector<row> rows = {
        {{{"optimizer.translation", "fft"}}, "10", "150", "20", "evolutionary"},
        {{{"optimizer.translation", "fft"}, {"attempts", "3"}, {"evolution.population", "7"}}, "3", "7", "20",
         "evolutionary"},
        {{{"optimizer.translation", "fft"}, {"optimize.spacegroup", "true"}}, "10", "150", "20", "evolutionary"},
        {{{"optimizer.translation", "fft"}, {"evolution.generations", "0"}}, "1", "300", "0", "none"},
        {{{"optimizer.translation", "evolutionary"}}, "20", "300", "50", "evolutionary"},
    };
    for (const row& r : rows) {
        parameter_store o;
        for (const auto& [k, v] : r.given) o.set(k, v);
        parameter_store e = zelt::make_effective_store(zelt::make_default_store(), o);
        zelt::derive(e, o);
        EXPECT_EQ(e.text("attempts"), r.attempts);
        EXPECT_EQ(e.text("evolution.population"), r.population);
        EXPECT_EQ(e.text("evolution.generations"), r.generations);
        EXPECT_EQ(e.text("optimizer.global"), r.global);
    }
}

TEST(Derivation, MalformedNumbersFailWithTheirKind) {
    parameter_store o;
    o.set("evolution.generations", "many");
    parameter_store e = zelt::make_effective_store(zelt::make_default_store(), o);
    expect_failure<std::invalid_argument>([&] { zelt::derive(e, o); },
                                          "invalid stoi argument: evolution.generations=many");

    parameter_store o2;
    o2.set("copies", "3000000000");
    parameter_store e2 = zelt::make_effective_store(zelt::make_default_store(), o2);
    expect_failure<std::out_of_range>([&] { zelt::derive(e2, o2); },
                                      "stoi argument out of range: copies=3000000000");
}

}  // namespace
