#pragma once
// A value that was read correctly but lies outside the range the program can
// work with (a population of 0, a transform box too large to tabulate, an
// atom far outside its cell). It has a failure kind of its own so that the
// user is told the value is out of range rather than unreadable.
#include <stdexcept>
#include <string>

namespace zelt {

class range_refusal : public std::runtime_error {
public:
    explicit range_refusal(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace zelt
