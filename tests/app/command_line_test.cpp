#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "settings/parameters.hpp"
#include "common/test_support.hpp"
#include "common/errors.hpp"

namespace {

using zelt::command_action;
using zelt::option_scanner;
using zelt::parameter_store;

// argv built from a list of words, the program name first.
struct arguments {
    explicit arguments(std::vector<std::string> words) : words_(std::move(words)) {
        words_.insert(words_.begin(), "zelt");
        for (const std::string& w : words_) pointers_.push_back(w.c_str());
    }
    int argc() const { return static_cast<int>(pointers_.size()); }
    const char* const* argv() const { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<const char*> pointers_;
};

// The option letters and values the scanner returns, written "g=0", "R", "?".
std::vector<std::string> scan_all(const std::vector<std::string>& words, int* index = nullptr) {
    arguments a(words);
    option_scanner s(a.argc(), a.argv());
    std::vector<std::string> got;
    for (int c; (c = s.next()) != option_scanner::end_of_options;) {
        std::string item(1, static_cast<char>(c));
        if (c == 'g' || c == 'n' || c == 'P' || c == 'o' || c == 'v' || c == 'h') item += "=" + s.value();
        got.push_back(item);
    }
    if (index) *index = s.index();
    return got;
}

TEST(OptionScanner, TableOfArgumentLists) {
    struct scan_case {
        std::vector<std::string> words;
        std::vector<std::string> options;
        int index;  // first positional argument
    };
    const std::vector<scan_case> cases = {
        {{"-g0"}, {"g=0"}, 2},
        {{"-g", "0"}, {"g=0"}, 3},
        {{"-RS"}, {"R", "S"}, 2},
        {{"-RSg", "7", "x.mtz"}, {"R", "S", "g=7"}, 3},
        {{"-Rg7n2"}, {"R", "g=7n2"}, 2},
        {{"/g0", "/RS"}, {"g=0", "R", "S"}, 3},
        {{"-n"}, {"?"}, 2},                       // value missing
        {{"-x", "-R"}, {"?", "R"}, 3},             // unknown letter
        {{"-Rx", "-T"}, {"R", "?", "T"}, 3},       // rest of the cluster dropped
        {{"-:"}, {"?"}, 2},
        {{"-R", "--", "-T"}, {"R"}, 3},            // "--" ends the options and is consumed
        {{"-R", "-", "-T"}, {"R"}, 3},
        {{"a.mtz", "-R"}, {}, 1},                  // options stop at the first positional argument
        {{"-P", "a=b=c", "m.pdb"}, {"P=a=b=c"}, 3},
        {{"-o", "-v"}, {"o=-v"}, 3},               // a value may look like an option
        {{"-h", ""}, {"h="}, 3},
        {{"--help"}, {"?"}, 2},
        {{"/", "x"}, {}, 1},                        // the root folder is a path
        {{"/tmp/data.mtz", "-R"}, {}, 1},           // absolute file names stay positional
        {{}, {}, 1},
    };
    for (const scan_case& c : cases) {
        std::string label;
        for (const auto& w : c.words) label += "[" + w + "]";
        SCOPED_TRACE(label);
        int index = 0;
        EXPECT_EQ(scan_all(c.words, &index), c.options);
        EXPECT_EQ(index, c.index);
    }
}

TEST(ValueChecks, IntegerAndNumberTexts) {
    for (const std::string ok : {"", "0", "12", " 12", "-3", "+4", "\t5", "007", "4294967296"})
        EXPECT_TRUE(zelt::is_integer_text(ok)) << '"' << ok << '"';
    for (const std::string bad : {"5a", "1.0", " ", "-", "1 ", "1e3", "0x1", "+-2", "a"})
        EXPECT_FALSE(zelt::is_integer_text(bad)) << '"' << bad << '"';
    for (const std::string ok : {"", "3", "3.0", " 2.5", "-1e-2", ".5", "7.", "inf", "1e999", "0x1p3"})
        EXPECT_TRUE(zelt::is_number_text(ok)) << '"' << ok << '"';
    for (const std::string bad : {"3A", "3.0 ", "2,5", "abc", ".", "1e", " "})
        EXPECT_FALSE(zelt::is_number_text(bad)) << '"' << bad << '"';
}

struct parse_outcome {
    command_action action = command_action::run;
    parameter_store overrides;
};

parse_outcome parse(const std::vector<std::string>& words) {
    arguments a(words);
    parse_outcome r;
    r.action = zelt::parse_command_line(a.argc(), a.argv(), r.overrides);
    return r;
}

TEST(CommandLine, OptionsWriteTheirKeys) {
    using kv = std::vector<std::pair<std::string, std::string>>;
    struct option_case {
        std::vector<std::string> words;
        kv expected;
        std::vector<std::string> absent;
    };
    const std::vector<option_case> cases = {
        {{"-A", "x"}, {{"assembly", "true"}, {"optimize.assembly", "true"}, {"optimize.model", "false"}}, {}},
        {{"-a", "x"}, {{"assembly", "true"}, {"optimize.assembly", "false"}, {"optimize.model", "false"}}, {}},
        {{"-C", "x"}, {{"pointgroupsearch", "true"}, {"optimize.spacegroup", "true"}}, {}},
        {{"-c", "x"}, {{"pointgroupsearch", "true"}, {"optimize.spacegroup", "false"}}, {}},
        {{"-e", " 42", "x"}, {{"random.seed", " 42"}}, {}},
        {{"-e4294967296", "x"}, {{"random.seed", "4294967296"}}, {}},
        {{"-g0", "x"}, {{"evolution.generations", "0"}}, {}},
        {{"-h", "2.50", "-l", "40", "x"}, {{"resolution.high", "2.50"}, {"resolution.low", "40"}}, {}},
        {{"-M", "3", "x"}, {{"copies", "3"}, {"optimize.copies", "true"}}, {}},
        {{"-m", "2", "x"}, {{"copies", "2"}, {"optimize.copies", "false"}}, {}},
        {{"-M", "3", "-m", "2", "x"}, {{"copies", "2"}, {"optimize.copies", "false"}}, {}},
        {{"-n5", "-p", "+40", "x"}, {{"attempts", "5"}, {"evolution.population", "+40"}}, {}},
        {{"-o", "-", "x"}, {{"output.prefix", "-"}}, {}},
        {{"-P", "simplex.size=0.1=2", "x"}, {{"simplex.size", "0.1=2"}}, {}},
        {{"-P", "=x", "x"}, {{"", "x"}}, {}},
        {{"-R", "x"}, {{"optimize.orientation", "true"}, {"optimize.position", "false"}}, {}},
        {{"-T", "x"}, {{"optimize.orientation", "false"}, {"optimize.position", "true"}}, {}},
        {{"-RT", "x"}, {{"optimize.orientation", "false"}, {"optimize.position", "true"}}, {}},
        {{"-S", "x"}, {{"optimize.model", "true"}, {"assembly", "false"}, {"optimize.assembly", "false"}}, {}},
        {{"-AS", "x"}, {{"optimize.model", "true"}, {"assembly", "false"}, {"optimize.assembly", "false"}}, {}},
        {{"-s", "a.pdb", "-s", "b.pdb", "x"}, {{"structure.source", "a.pdb b.pdb"}}, {}},
        {{"-w0", "x"}, {{"output.level", "none"}}, {}},
        {{"-w", "-4", "x"}, {{"output.level", "none"}}, {}},
        {{"-w1", "x"}, {{"output.level", "best"}}, {}},
        {{"-w", "7", "x"}, {{"output.level", "all"}}, {}},
        {{"-Z", "IMEAN", "x"}, {{"data.mtz-column", "IMEAN"}}, {}},
        {{"-v0", "x"},
         {{"report.header", "false"}, {"report.inputs", "false"}, {"report.options", "false"},
          {"report.steps", "false"}, {"report.evolution", "none"}, {"report.local", "false"},
          {"report.stats", "none"}, {"report.solution", "false"}, {"report.time.total", "false"},
          {"report.summary", "false"}},
         {}},
        {{"-v", "1", "x"},
         {{"report.header", "true"}, {"report.evolution", "progress"}, {"report.stats", "none"},
          {"report.time.total", "true"}, {"report.summary", "true"}},
         {}},
        {{"-v2", "x"}, {{"report.steps", "true"}, {"report.evolution", "generations"}}, {}},
        {{"x"}, {{"cell.source", "x"}, {"model.source", "-"}, {"data.source", "x"}}, {"structure.source"}},
        {{"c.mtz", "m.pdb"}, {{"cell.source", "c.mtz"}, {"model.source", "m.pdb"}, {"data.source", "c.mtz"}}, {}},
        {{"c.cell", "@list", "r.hkl"},
         {{"cell.source", "c.cell"}, {"model.source", "@list"}, {"data.source", "r.hkl"}}, {}},
        {{"-P", "cell.source=z", "-P", "model.source=q", "x"}, {{"cell.source", "x"}, {"model.source", "-"}}, {}},
    };
    for (const option_case& c : cases) {
        std::string label;
        for (const auto& w : c.words) label += "[" + w + "]";
        SCOPED_TRACE(label);
        const parse_outcome r = parse(c.words);
        EXPECT_EQ(r.action, command_action::run);
        for (const auto& [k, v] : c.expected) {
            ASSERT_EQ(r.overrides.count(k), 1u) << k;
            EXPECT_EQ(r.overrides.text(k), v) << k;
        }
        for (const auto& k : c.absent) EXPECT_EQ(r.overrides.count(k), 0u) << k;
    }
}

TEST(CommandLine, EmptyStructureSourceStartsTheListAfresh) {
    const parse_outcome r = parse({"-P", "structure.source=a", "-s", "b.pdb", "x"});
    EXPECT_EQ(r.overrides.text("structure.source"), "a b.pdb");
}

TEST(CommandLine, UsageAndVersionActions) {
    EXPECT_EQ(parse({}).action, command_action::usage);
    EXPECT_EQ(parse({"-R"}).action, command_action::usage);
    EXPECT_EQ(parse({"a", "b", "c", "d"}).action, command_action::usage);
    EXPECT_EQ(parse({"-V", "-x", "-g", "bad"}).action, command_action::version);
    EXPECT_EQ(parse({"-R", "--", "-V"}).action, command_action::run);  // -V is a positional here
}

TEST(CommandLine, FailingOptionKeepsEarlierOnes) {
    arguments a({"-n", "4", "-g", "x", "-p", "9", "file"});
    parameter_store o;
    EXPECT_THROW(zelt::parse_command_line(a.argc(), a.argv(), o), std::runtime_error);
    EXPECT_EQ(o.text("attempts"), "4");
    EXPECT_EQ(o.count("evolution.generations"), 0u);
    EXPECT_EQ(o.count("evolution.population"), 0u);
}

TEST(ConfigurationFile, WordsAreDefinitionsInFileOrder) {
    zelt_test::temp_dir t;
    zelt_test::write_file(t / "run.cfg",
                          "attempts=3 copies=2\n\n\n\tresolution.high=2.5\r\n"
                          "output.prefix=a=b\nattempts=4\n");
    arguments a({"-n", "9", "-F", (t / "run.cfg").string(), "-g", "7"});
    parameter_store o;
    EXPECT_EQ(zelt::parse_command_line(a.argc(), a.argv(), o), command_action::run);
    EXPECT_EQ(o.text("attempts"), "4");  // the file's later word wins over -n before it
    EXPECT_EQ(o.text("copies"), "2");
    EXPECT_EQ(o.text("resolution.high"), "2.5");
    EXPECT_EQ(o.text("output.prefix"), "a=b");
    EXPECT_EQ(o.text("evolution.generations"), "7");
    EXPECT_EQ(o.count("cell.source"), 0u);  // -F without positional arguments
    EXPECT_EQ(o.size(), 5u);
}

TEST(ConfigurationFile, FailuresNameTheWordOrTheFile) {
    zelt_test::temp_dir t;
    zelt_test::write_file(t / "blank.cfg", "attempts = 3\n");
    parameter_store o;
    try {
        zelt::read_configuration_file((t / "blank.cfg").string(), o);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Incorrect parameter definition in configuration file: attempts");
    }
    const std::string missing = (t / "missing.cfg").string();
    try {
        zelt::read_configuration_file(missing, o);
        ADD_FAILURE();
    } catch (const std::ios_base::failure& e) {
        EXPECT_EQ(e.what(), "unable to open the file " + missing + ": iostream stream error");
    }
    // An empty file defines nothing and is fine.
    zelt_test::write_file(t / "empty.cfg", "");
    parameter_store empty;
    zelt::read_configuration_file((t / "empty.cfg").string(), empty);
    EXPECT_EQ(empty.size(), 0u);
}

}  // namespace
