#pragma once
// Small helpers shared by the text-format readers.
#include <filesystem>
#include <fstream>
#include <istream>
#include <stdexcept>
#include <string>

#include "common/errors.hpp"

namespace zelt {

// Opens NAME for reading (binary mode keeps every byte; line ends are
// handled by read_line). A folder is not a readable file.
inline void open_input_file(std::ifstream& in, const std::string& name) {
    std::error_code ec;
    if (!std::filesystem::is_directory(name, ec)) in.open(name, std::ios::binary);
    if (!in.is_open()) throw io_error("unable to open the file " + name);
}

// One whole line, of any length, without its line feed and without a
// carriage return standing before it. False at the end of the stream.
inline bool read_line(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// Runs `parse` on line `number` of file `name`; a number it cannot read
// fails as before, with " in NAME, line N" after the conversion's message.
template <class Parse>
auto on_line(const std::string& name, std::size_t number, Parse parse) {
    try {
        return parse();
    } catch (const std::invalid_argument& e) {
        throw std::invalid_argument(std::string(e.what()) + " in " + name + ", line " + std::to_string(number));
    } catch (const std::out_of_range& e) {
        throw std::out_of_range(std::string(e.what()) + " in " + name + ", line " + std::to_string(number));
    }
}

// Skips one whole line.
inline void skip_line(std::istream& in) {
    std::string discard;
    std::getline(in, discard);
}

}  // namespace zelt
