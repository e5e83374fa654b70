#pragma once
// The program's two failure kinds of its own, each printed with the message
// exactly as given.
//
// range_refusal: a value that was read correctly but lies outside the range
// the program can work with (a population of 0, a transform box too large to
// tabulate, an atom far outside its cell), so that the user is told the value
// is out of range rather than unreadable.
//
// io_error: a file that cannot be opened, read or written.
#include <ios>
#include <stdexcept>
#include <string>

namespace zelt {

class range_refusal : public std::runtime_error {
public:
    explicit range_refusal(const std::string& message) : std::runtime_error(message) {}
};

class io_error : public std::ios_base::failure {
public:
    explicit io_error(const std::string& message)
        : std::ios_base::failure(message), message_(message) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

}  // namespace zelt
