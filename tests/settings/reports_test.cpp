#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "settings/parameters.hpp"
#include "settings/reports.hpp"

namespace {

using zelt::parameter_store;

std::string summary_of(const std::vector<std::pair<std::string, std::string>>& overrides) {
    parameter_store o;
    for (const auto& [k, v] : overrides) o.set(k, v);
    parameter_store e = zelt::make_effective_store(zelt::make_default_store(), o);
    zelt::derive(e, o);
    std::ostringstream s;
    zelt::print_options_summary(s, e);
    return s.str();
}

TEST(Reports, SummaryFollowsTheSettings) {
    EXPECT_EQ(summary_of({{"optimize.position", "false"}, {"resolution.high", "2.500"},
                          {"output.prefix", "-"}, {"random.seed", "77"}}),
              "Optimizing: orientation\n"
              "Resolution range: 80.0 - 2.500 Angstroms\n"
              "Copies of molecule to find: 1\n"
              "Number of attempts (per copy): 20\n"
              "Number of generations: 50\n"
              "Population size: 300\n"
              "Random number seed: 77\n"
              "Prefix for output coordinate file name: none (stdout)\n"
              "\n");
    // Generations 0: the derivation switches the global search off and the
    // evolution lines go.
    EXPECT_EQ(summary_of({{"evolution.generations", "0"}}),
              "Optimizing: orientation position\n"
              "Resolution range: 80.0 - 3.0 Angstroms\n"
              "Copies of molecule to find: 1\n"
              "Number of attempts (per copy): 1\n"
              "Random number seed: 0\n"
              "Prefix for output coordinate file name: zelt\n"
              "\n");
    const std::string all = summary_of({{"optimize.orientation", "false"}, {"optimize.model", "true"},
                                        {"optimize.assembly", "true"}, {"assembly", "true"},
                                        {"optimize.spacegroup", "true"}, {"optimize.copies", "true"},
                                        {"copies", "3"}});
    EXPECT_EQ(all.substr(0, all.find("Copies")),
              "Optimizing: position model assembly space-group multiple-copies\n"
              "The set of search models will be treated as an assembly.\n"
              "Resolution range: 80.0 - 3.0 Angstroms\n");
    EXPECT_NE(all.find("Number of generations: 400\nPopulation size: 600\n"), std::string::npos);
    EXPECT_NE(all.find("Copies of molecule to find: 3\n"), std::string::npos);
}

TEST(Reports, ProgressDotsOnOneLine) {
    std::ostringstream s;
    zelt::progress_report report(s, 5);
    std::vector<std::string> seen;
    for (int g = 1; g <= 5; ++g) {
        report(g);
        seen.push_back(s.str());
    }
    EXPECT_EQ(seen[0], "Global search .");
    EXPECT_EQ(seen[3], "Global search ....");
    EXPECT_EQ(seen[4], "Global search ..... completed\n");

    std::ostringstream one;
    zelt::progress_report single(one, 1);
    single(1);
    EXPECT_EQ(one.str(), "Global search . completed\n");
}

}  // namespace
