// `zelt --help` and `zelt -P help` through the binary: every option letter and
// every key of the parameter store with its default and a meaning.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/command_line.hpp"
#include "app/parameter_help.hpp"
#include "settings/parameter_descriptions.hpp"
#include "settings/parameters.hpp"
#include "common/test_support.hpp"

using namespace zelt_test;

TEST(Help, ListsEveryKeyOfTheStoreWithDefaultAndMeaning) {
    const run_result help = run_zelt("--help");
    ASSERT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(run_zelt("-P help").out, help.out);
    EXPECT_EQ(run_zelt("-n 3 -P help x.mtz").out, help.out);

    std::set<std::string> listed;
    const std::regex row(R"re(  (\S+) = "([^"]*)" +(\S.*))re");
    std::istringstream in(help.out);
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_match(line, m, row)) {
            listed.insert(m[1]);
            EXPECT_EQ(m[2], zelt::default_store().text(m[1])) << line;
            EXPECT_NE(m[3], "(no description)") << line;
        }
    std::set<std::string> stored;
    for (const auto& [key, value] : zelt::default_store()) stored.insert(key);
    EXPECT_EQ(listed, stored);
    // No description outlives its key.
    for (const std::string& key : stored) EXPECT_NE(zelt::describe_parameter(key), nullptr) << key;

    // Every option letter the scanner knows is explained (-b and -t are
    // refused as not implemented).
    for (const char* p = zelt::option_letters; *p; ++p) {
        if (*p == ':' || *p == 'b' || *p == 't') continue;
        EXPECT_TRUE(std::regex_search(help.out, std::regex(std::string("\n  (-.( [A-Z])? / )?-") + *p + "[ \n]"))) << *p;
    }
}

TEST(Help, UsageWithoutArgumentsIsUnchanged) {
    const run_result usage = run_zelt("");
    EXPECT_EQ(usage.status, 1);
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.err.rfind("Usage: zelt [options] sca-file pdb-file\n", 0), 0u);
    EXPECT_EQ(usage.err.find("--help"), std::string::npos);
}

// The run record's schema types every parameter as the program reads it.
TEST(Help, SchemaTypesEveryParameterByItsKind) {
    const auto schema = nlohmann::json::parse(read_file(source_dir() / "schema" / "run-record.schema.json"));
    const auto& properties = schema["properties"]["parameters"]["properties"];
    std::set<std::string> typed;
    for (const auto& [key, value] : properties.items()) typed.insert(key);
    std::set<std::string> stored;
    for (const auto& [key, value] : zelt::default_store()) stored.insert(key);
    EXPECT_EQ(typed, stored);
    for (const std::string& key : stored) {
        const char* expected = "string";
        switch (zelt::parameter_kind_of(key)) {
            case zelt::parameter_kind::boolean: expected = "boolean"; break;
            case zelt::parameter_kind::integer: expected = "integer"; break;
            case zelt::parameter_kind::real: expected = "number"; break;
            case zelt::parameter_kind::text: break;
        }
        // A number that may also be given as "auto" is typed as either.
        if (zelt::default_store().text(key) == "auto")
            EXPECT_EQ(properties[key]["type"], nlohmann::json({expected, "string"})) << key;
        else
            EXPECT_EQ(properties[key]["type"], expected) << key;
    }
}
