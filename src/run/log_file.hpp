#pragma once
// PREFIX.log: a copy of everything the run prints on standard output.
#include <fstream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>

#include "settings/parameters.hpp"

namespace zelt {

// The name of the log file the effective settings ask for: PREFIX.log, or
// empty when there is none (output.log false, coordinates on standard output
// with the prefix "-", or no files written with output.level "none").
std::string log_file_name(const parameter_store& effective);

// While it lives, and once started, std::cout writes to the console and to
// the log alike: first to memory, then, once the run has been prepared, to
// the file with what was kept in memory at its start. A run that fails
// before that leaves no log file.
class log_file_copy {
public:
    log_file_copy() = default;
    ~log_file_copy();
    log_file_copy(const log_file_copy&) = delete;
    log_file_copy& operator=(const log_file_copy&) = delete;

    // Starts copying into memory, for the file NAME.
    void start(const std::string& name);
    // Opens (replacing) the file, writes what was kept and copies on into
    // it; throws io_error "unable to write the file NAME" when it cannot be
    // opened. Does nothing when not started.
    void open();

private:
    std::string name_;
    std::stringbuf kept_;
    std::ofstream file_;
    std::unique_ptr<std::streambuf> tee_;
    std::streambuf* console_ = nullptr;
};

}  // namespace zelt
