#pragma once
// Input/output failure whose message is printed exactly as given.
#include <ios>
#include <string>

namespace zelt {

class io_error : public std::ios_base::failure {
public:
    explicit io_error(const std::string& message)
        : std::ios_base::failure(message), message_(message) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

}  // namespace zelt
