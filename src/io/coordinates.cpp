#include "io/coordinates.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "io/element.hpp"
#include "io/io_error.hpp"
#include "io/reflection_files.hpp"
#include "io/text_input.hpp"

namespace zelt {

namespace {

// Columns first..last (1-based, inclusive), cut at the end of the line.
std::string columns(const std::string& line, std::size_t first, std::size_t last) {
    if (line.size() < first) return {};
    return line.substr(first - 1, last - first + 1);
}

bool is_finite_atom(const atom& a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z) &&
           std::isfinite(a.occupancy) && std::isfinite(a.b);
}

bool is_atom_record(const std::string& line) {
    return line.compare(0, 6, "ATOM  ") == 0 || line.compare(0, 6, "HETATM") == 0;
}

// Identity of a list file for cycle detection: the same file reached by
// another spelling of its name (./a, ../x/a, a link) is still the same file.
std::string file_identity(const std::string& name) {
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(std::filesystem::path(name), ec);
    if (ec) return std::filesystem::absolute(name, ec).lexically_normal().string();
    return p.string();
}

void load_models_from(const std::string& source, model_list& list,
                      std::vector<std::string>& open_lists) {
    if (!source.empty() && source.front() == '@') {
        const std::string name = source.substr(1);
        std::ifstream in;
        open_input_file(in, name);
        const std::string id = file_identity(name);
        for (const auto& open : open_lists)
            if (open == id)
                throw std::runtime_error("the model list file " + name +
                                         " names itself, directly or through other list files");
        open_lists.push_back(id);
        std::string word;
        while (in >> word) load_models_from(word, list, open_lists);
        if (in.bad()) throw io_error("error reading the file " + name);
        open_lists.pop_back();
        return;
    }
    if (source.empty() || source == "-") {
        list.push_back(read_atoms(std::cin, "standard input"));
        return;
    }
    list.push_back(load_model_file(source));
}

}  // namespace

model read_atoms(std::istream& in, const std::string& source) {
    model atoms;
    std::string line;
    for (std::size_t number = 1; read_line(in, line); ++number) {
        if (!is_atom_record(line) || line.size() < 53) continue;
        atom a;
        a.x = field_to_double(columns(line, 31, 38));
        a.y = field_to_double(columns(line, 39, 46));
        a.z = field_to_double(columns(line, 47, 54));
        a.occupancy = line.size() >= 59 ? field_to_double(columns(line, 55, 60)) : 1.0;
        a.b = line.size() >= 65 ? field_to_double(columns(line, 61, 66)) : 0.0;
        // "nan" and "inf" read as numbers, but no atom can stand there.
        if (!is_finite_atom(a))
            throw std::runtime_error("non-finite coordinate, occupancy or B-factor in " + source +
                                     ", line " + std::to_string(number));
        a.element = element_number(line);
        a.line = std::move(line);
        atoms.push_back(std::move(a));
        line.clear();
    }
    if (in.bad()) throw io_error("error reading coordinates");
    return atoms;
}

model load_model_file(const std::string& name) {
    std::ifstream in;
    open_input_file(in, name);
    return read_atoms(in, name);
}

void load_models(const std::string& source, model_list& list) {
    std::vector<std::string> open_lists;
    load_models_from(source, list, open_lists);
}

}  // namespace zelt
