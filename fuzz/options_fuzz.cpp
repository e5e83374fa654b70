// Fuzz target: the option scanner and the handling of each option. The
// input is the argument list, arguments separated by NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "settings/parameters.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> words = zelt_fuzz::split(data, size, '\0');
    std::vector<const char*> argv{"zelt"};
    for (const std::string& w : words) argv.push_back(w.c_str());
    argv.push_back(nullptr);
    zelt::parameter_store overrides;
    try {
        zelt::parse_command_line(static_cast<int>(argv.size() - 1), argv.data(), overrides);
    } catch (const std::exception&) {
    }
    return 0;
}
