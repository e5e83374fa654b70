// Worker threads and the log file through the binary.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

#include "run/attempt_progress.hpp"
#include "common/test_support.hpp"

using namespace zelt_test;

namespace {

const std::string run_files_mtz = shell_quote(example("beta_blip.mtz").string());
const std::string beta = shell_quote(example("beta.pdb").string());
const std::string quick = "-e 5 -n 2 -g 3 -p 40 ";
// For the tests of files and progress lines, which need runs but no search
// worth the name: no local refinement, which takes most of a short run.
const std::string bare = "-e 5 -n 2 -g 1 -p 10 -P optimizer.local=none ";

std::string without_time(const std::string& out) {
    return std::regex_replace(out, std::regex("Total elapsed time: [0-9.e+-]+ sec"), "");
}

// The record without what depends on the machine: timings and thread count.
nlohmann::json comparable_record(const std::filesystem::path& file) {
    nlohmann::json r = nlohmann::json::parse(read_file(file));
    r.erase("timings");
    r.erase("threads");
    r.erase("command_line");
    r["parameters"].erase("threads");
    for (auto& step : r["copy_steps"]) step.erase("seconds");
    return r;
}

}  // namespace

TEST(RunFiles, OneThreadGivesTheSameResultsAsAll) {
    temp_dir all_dir, one_dir;
    const run_result all = run_zelt(quick + "-o run " + run_files_mtz + " " + beta, all_dir.path().string());
    const run_result one = run_zelt(quick + "-o run -P threads=1 " + run_files_mtz + " " + beta, one_dir.path().string());
    ASSERT_EQ(all.status, 0) << all.err;
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(without_time(all.out), without_time(one.out));
    for (const char* file : {"run.1.pdb", "run.2.pdb", "run.best.mtz"})
        EXPECT_EQ(read_file(all_dir / file), read_file(one_dir / file)) << file;
    EXPECT_EQ(comparable_record(all_dir / "run.json"), comparable_record(one_dir / "run.json"));
    EXPECT_EQ(nlohmann::json::parse(read_file(one_dir / "run.json"))["threads"], 1);
    temp_dir dir;

    const run_result bad = run_zelt("-P threads=-2 " + run_files_mtz + " " + beta, dir.path().string());
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, zelt_binary() + ": Value out of range: threads must be 0 (all cores) or a positive number "
                                       "(is -2).\nExiting...\n");
}

TEST(RunFiles, LogFileHoldsStandardOutput) {
    temp_dir dir;
    const run_result run = run_zelt(bare + "-o logged " + run_files_mtz + " " + beta, dir.path().string());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir / "logged.log"), run.out);
    // No log without files: coordinates on standard output, no coordinate
    // files, or the key.
    for (const std::string off : {"-o -", "-w 0 -o none", "-o key -P output.log=false"}) {
        const run_result r = run_zelt(bare + off + " " + run_files_mtz + " " + beta, dir.path().string());
        EXPECT_EQ(r.status, 0) << off << r.err;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().extension() == ".log") {
            EXPECT_EQ(entry.path().filename(), "logged.log");
        }
    const run_result unwritable = run_zelt(bare + "-o missing/folder/x " + run_files_mtz + " " + beta, dir.path().string());
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err, zelt_binary() + ": An I/O error has occurred: the output folder missing/folder "
                                              "does not exist (output.prefix=missing/folder/x)\nExiting...\n");
}

TEST(RunFiles, ProgressLinesOnStandardErrorWithVerbosityTwo) {
    temp_dir dir;
    const run_result quiet = run_zelt(bare + "-w 0 " + run_files_mtz + " " + beta, dir.path().string());
    EXPECT_EQ(quiet.err, "");  // standard error is no terminal here
    const run_result verbose = run_zelt(bare + "-v 2 -w 0 " + run_files_mtz + " " + beta, dir.path().string());
    ASSERT_EQ(verbose.status, 0) << verbose.err;
    EXPECT_TRUE(std::regex_match(verbose.err, std::regex("Attempt 1 of 2 done: 1 left, about [0-9]+ s to go\n"
                                                         "Attempt 2 of 2 done: 0 left\n")))
        << verbose.err;
    EXPECT_EQ(verbose.out.find("done:"), std::string::npos);
    EXPECT_EQ(zelt::attempt_progress::duration_text(65.4), "1 min 5 s");
    EXPECT_EQ(zelt::attempt_progress::duration_text(7385), "2 h 3 min");
    EXPECT_EQ(zelt::attempt_progress::duration_text(12.2), "12 s");
}
