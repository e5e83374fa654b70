#include "io/coordinates.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "common/errors.hpp"
#include "model/anisou.hpp"
#include "io/file_format.hpp"
#include "io/mmcif_models.hpp"
#include "io/reflection_files.hpp"
#include "io/text_input.hpp"
#include "model/element.hpp"
#include "model/search_model_options.hpp"

namespace zelt {

namespace {

// Columns first..last (1-based, inclusive), cut at the end of the line.
std::string columns(const std::string& line, std::size_t first, std::size_t last) {
    if (line.size() < first) return {};
    return line.substr(first - 1, last - first + 1);
}

bool is_finite_atom(const atom& a) {
    return std::isfinite(a.site[0]) && std::isfinite(a.site[1]) && std::isfinite(a.site[2]) &&
           std::isfinite(a.occupancy) && std::isfinite(a.b);
}

bool is_atom_record(const std::string& line) {
    return line.compare(0, 6, "ATOM  ") == 0 || line.compare(0, 6, "HETATM") == 0;
}

bool is_model_record(const std::string& line) {
    return line.compare(0, 5, "MODEL") == 0 && (line.size() == 5 || line[5] == ' ');
}

// Header records of a PDB file that name a structure predictor.
bool header_declares_prediction(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (read_line(in, line)) {
        if (is_atom_record(line)) break;
        if (names_structure_predictor(line)) return true;
    }
    return false;
}

// A model from the content of a file: PDB text by the program's own reader,
// mmCIF by gemmi; reflection files and unknown binary data are refused.
loaded_model model_from_content(const std::string& bytes, const std::string& name) {
    loaded_model result;
    result.name = name;
    switch (classify_content(bytes)) {
        case content_kind::mmcif_model:
        case content_kind::mmcif_other: {
            mmcif_model m = read_mmcif_model(bytes, name);
            for (std::size_t i = 0; i < m.atoms.size(); ++i)
                if (!is_finite_atom(m.atoms[i]))
                    throw std::runtime_error("non-finite coordinate, occupancy or B-factor in " + name +
                                             ", atom " + std::to_string(i + 1));
            result.atoms = std::move(m.atoms);
            result.predicted_header = m.predicted_header;
            return result;
        }
        case content_kind::mtz:
        case content_kind::mmcif_reflections:
            throw std::runtime_error(name + " is a reflection file; the search model must be a coordinate file");
        case content_kind::unknown:
            throw std::runtime_error(name + ": format not recognised (expected PDB or mmCIF coordinates)");
        case content_kind::pdb:
        case content_kind::text:
            break;
    }
    std::istringstream in(bytes);
    result.atoms = read_atoms(in, name);
    result.predicted_header = header_declares_prediction(bytes);
    return result;
}

// Identity of a list file for cycle detection: the same file reached by
// another spelling of its name (./a, ../x/a, a link) is still the same file.
std::string file_identity(const std::string& name) {
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(std::filesystem::path(name), ec);
    if (ec) return std::filesystem::absolute(name, ec).lexically_normal().string();
    return p.string();
}

void load_models_from(const std::string& source, std::vector<loaded_model>& list,
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
        list.push_back(model_from_content(read_input_stream(std::cin, "standard input"), "standard input"));
        return;
    }
    list.push_back(load_coordinate_file(source));
}

}  // namespace

model read_atoms(std::istream& in, const std::string& source) {
    model atoms;
    std::string line;
    std::int16_t member = 0, members_seen = 0;
    bool after_atom = false;
    for (std::size_t number = 1; read_line(in, line); ++number) {
        if (is_model_record(line)) member = members_seen < 32767 ? members_seen++ : member;
        // An ANISOU record belongs to the atom record right before it.
        if (is_anisou_record(line) && after_atom && atoms.back().anisou.empty()) atoms.back().anisou = line;
        after_atom = false;
        if (!is_atom_record(line) || line.size() < 53) continue;
        atom a;
        on_line(source, number, [&] {
            a.site = {field_to_double(columns(line, 31, 38)), field_to_double(columns(line, 39, 46)),
                      field_to_double(columns(line, 47, 54))};
            a.occupancy = line.size() >= 59 ? field_to_double(columns(line, 55, 60)) : 1.0;
            a.b = line.size() >= 65 ? field_to_double(columns(line, 61, 66)) : 0.0;
            return 0;
        });
        // "nan" and "inf" read as numbers, but no atom can stand there.
        if (!is_finite_atom(a))
            throw std::runtime_error("non-finite coordinate, occupancy or B-factor in " + source +
                                     ", line " + std::to_string(number));
        a.element = element_number(line);
        a.member = member;
        a.line = std::move(line);
        atoms.push_back(std::move(a));
        after_atom = true;
        line.clear();
    }
    if (in.bad()) throw io_error("error reading coordinates");
    return atoms;
}

loaded_model load_coordinate_file(const std::string& name) {
    return model_from_content(read_input_file(name), name);
}

model load_model_file(const std::string& name) { return load_coordinate_file(name).atoms; }

void load_models(const std::string& source, std::vector<loaded_model>& list) {
    std::vector<std::string> open_lists;
    load_models_from(source, list, open_lists);
}

void load_models(const std::string& source, model_list& list) {
    std::vector<loaded_model> loaded;
    load_models(source, loaded);
    for (loaded_model& m : loaded) list.push_back(std::move(m.atoms));
}

}  // namespace zelt
