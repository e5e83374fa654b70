#include "app/process_entry.hpp"

#include <exception>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>

#include "app/command_line.hpp"
#include "app/parameters.hpp"
#include "app/reports.hpp"
#include "app/run_driver.hpp"
#include "app/run_summary.hpp"
#include "crystal/refusal.hpp"

namespace zelt {

namespace {

int fail(const std::string& program, const std::string& text) {
    std::cout.flush();
    std::cerr << program << text << "\nExiting...\n" << std::flush;
    return 1;
}

}  // namespace

int process_entry(int argc, char** argv) {
    // All console output goes through the standard streams.
    std::ios_base::sync_with_stdio(false);
    const std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "zelt";
    try {
        default_store();  // built before the command line is read
        parameter_store overrides;
        switch (parse_command_line(argc, argv, overrides)) {
        case command_action::usage:
            print_usage(std::cerr);
            return 1;
        case command_action::version:
            print_banner(std::cout);
            return 0;
        case command_action::run: break;
        }
        remember_command_line(argc, argv);
        run_driver(overrides);
        std::cout.flush();
        return 0;
    } catch (const std::ios_base::failure& e) {
        return fail(program, std::string(": An I/O error has occurred: ") + e.what());
    } catch (const range_refusal& e) {
        return fail(program, std::string(": Value out of range: ") + e.what());
    } catch (const std::invalid_argument& e) {
        return fail(program, std::string(": Error parsing numeric value from input: ") + e.what());
    } catch (const std::bad_alloc&) {
        return fail(program, ": Out of memory.");
    } catch (const std::exception& e) {
        return fail(program, std::string(": Error: ") + e.what());
    } catch (const char* text) {
        return fail(program, std::string(": Error: ") + (text != nullptr ? text : ""));
    } catch (const std::string& text) {
        return fail(program, ": Error: " + text);
    } catch (...) {
        return fail(program, ": An error has occurred.");
    }
}

}  // namespace zelt
