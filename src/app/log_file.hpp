#pragma once
// PREFIX.log: a copy of everything the run prints on standard output.
#include <fstream>
#include <memory>
#include <streambuf>
#include <string>

#include "app/parameters.hpp"

namespace zelt {

// The name of the log file the effective settings ask for: PREFIX.log, or
// empty when there is none (output.log false, coordinates on standard output
// with the prefix "-", or no files written with output.level "none").
std::string log_file_name(const parameter_store& effective);

// While it lives, and once started, std::cout writes to the console and to
// the log file alike.
class log_file_copy {
public:
    log_file_copy() = default;
    ~log_file_copy();
    log_file_copy(const log_file_copy&) = delete;
    log_file_copy& operator=(const log_file_copy&) = delete;

    // Opens (replacing) the file NAME and starts copying; throws io_error
    // "unable to write the file NAME" when it cannot be opened.
    void start(const std::string& name);

private:
    std::ofstream file_;
    std::unique_ptr<std::streambuf> tee_;
    std::streambuf* console_ = nullptr;
};

}  // namespace zelt
