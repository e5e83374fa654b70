#include "app/process_entry.hpp"

#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <streambuf>
#include <stdexcept>
#include <string>

#include <tbb/global_control.h>

#include "app/command_line.hpp"
#include "app/parameter_help.hpp"
#include "common/errors.hpp"
#include "parallel/process_group.hpp"
#include "run/log_file.hpp"
#include "run/run_preparation.hpp"
#include "run/run_summary.hpp"
#include "run/search_loops.hpp"
#include "settings/parameters.hpp"
#include "settings/reports.hpp"

namespace zelt {

namespace {

int fail(const std::string& program, const std::string& text) {
    std::cout.flush();
    std::cerr << program << text << "\nExiting...\n" << std::flush;
    return 1;
}

// Runs `body`; returns the failure message of whatever it throws (after the
// program's name), or nothing when it succeeds.
template <class Body>
std::optional<std::string> failure_of(Body&& body) {
    try {
        body();
        return std::nullopt;
    } catch (const std::ios_base::failure& e) {
        return std::string(": An I/O error has occurred: ") + e.what();
    } catch (const range_refusal& e) {
        return std::string(": Value out of range: ") + e.what();
    } catch (const std::invalid_argument& e) {
        return std::string(": Error parsing numeric value from input: ") + e.what();
    } catch (const std::bad_alloc&) {
        return std::string(": Out of memory.");
    } catch (const std::exception& e) {
        return std::string(": Error: ") + e.what();
    } catch (const char* text) {
        return std::string(": Error: ") + (text != nullptr ? text : "");
    } catch (const std::string& text) {
        return ": Error: " + text;
    } catch (...) {
        return std::string(": An error has occurred.");
    }
}

// Standard output of the ranks other than 0: everything is discarded.
class discarding_buffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Ranks other than 0 print nothing on standard output while it lives.
class quiet_other_ranks {
public:
    quiet_other_ranks() : console_(std::cout.rdbuf()) {
        if (process_rank() != 0) std::cout.rdbuf(&discard_);
    }
    ~quiet_other_ranks() { std::cout.rdbuf(console_); }
    quiet_other_ranks(const quiet_other_ranks&) = delete;
    quiet_other_ranks& operator=(const quiet_other_ranks&) = delete;

private:
    discarding_buffer discard_;
    std::streambuf* console_;
};

// Every rank searches with rank 0's seed (drawn from the system when the run
// names none), so that all of them share one random stream.
void share_seed(run_state& state) {
    std::string seed = std::to_string(state.seed);
    broadcast_text(seed, 0);
    state.seed = std::stoull(seed);
    if (process_count() > 1) state.params.set("random.seed", seed);
}

// Reports (and coordinates with the prefix "-") that could not be written,
// to a full disk or a closed pipe, make a failed run, not a silent one.
void throw_if_output_lost() {
    std::cout.flush();
    if (!std::cout) throw io_error("unable to write to standard output");
}

int check_standard_output(const std::string& program) {
    const auto lost = failure_of(throw_if_output_lost);
    return lost ? fail(program, *lost) : 0;
}

// The log (process 0 only; the file itself is opened once the run is
// prepared) and the limit on worker threads, both set before anything is
// printed or computed. Settings that fail here fail
// again, with the same message, when the run is prepared.
void start_log_and_threads(const parameter_store& overrides, log_file_copy& log,
                           std::optional<tbb::global_control>& thread_limit) {
    const parameter_store effective = make_effective_store(default_store(), overrides);
    const int threads = effective.integer("threads");
    if (threads < 0)
        throw range_refusal("threads must be 0 (all cores) or a positive number (is " + effective.text("threads") +
                            ").");
    if (threads > 0) thread_limit.emplace(tbb::global_control::max_allowed_parallelism, threads);
    const std::string name = log_file_name(effective);
    if (!name.empty() && process_rank() == 0) log.start(name);
}

}  // namespace

int process_entry(int argc, char** argv) {
    // All console output goes through the standard streams.
    std::ios_base::sync_with_stdio(false);
    const std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "zelt";
    process_group_session group(argc, argv);
    const quiet_other_ranks quiet;

    // Command line and preparation: every rank reads the inputs. All ranks
    // agree whether one failed; the lowest failing rank reports its failure
    // as a single process would, and every rank ends with status 1.
    command_action action = command_action::run;
    run_state state;
    log_file_copy log;
    std::optional<tbb::global_control> thread_limit;
    const auto prepared = failure_of([&] {
        default_store();  // built before the command line is read
        parameter_store overrides;
        action = parse_command_line(argc, argv, overrides);
        if (action == command_action::run) {
            start_log_and_threads(overrides, log, thread_limit);
            state = prepare_run(overrides, std::cout);
            state.command_line.assign(argv, argv + argc);
        }
    });
    const int culprit = lowest_failing_rank(prepared.has_value());
    if (culprit >= 0) return culprit == process_rank() ? fail(program, *prepared) : 1;
    if (action == command_action::usage) {
        if (process_rank() == 0) print_usage(std::cerr);
        return 1;
    }
    if (action == command_action::help) {
        if (process_rank() == 0) print_help(std::cout);
        return 0;
    }
    if (action == command_action::version) {
        print_banner(std::cout);
        return check_standard_output(program);
    }
    share_seed(state);
    // The search: a rank that fails here ends the whole run, since the others
    // would wait for its attempts forever.
    const auto searched = failure_of([&] {
        log.open();
        run_search(state);
        throw_if_output_lost();
    });
    if (!searched) return 0;
    fail(program, *searched);
    if (process_count() > 1) abort_processes(1);
    return 1;
}

}  // namespace zelt
