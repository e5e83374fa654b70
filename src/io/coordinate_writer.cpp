#include "io/coordinate_writer.hpp"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <string>
#include <system_error>

#include "crystal/geometry.hpp"
#include "common/errors.hpp"

namespace zelt {

namespace {

// Characters [first, first + count) of a record (0-based), blank-padded
// where the record is shorter.
void put_columns(std::ostream& out, const std::string& line, std::size_t first,
                 std::size_t count) {
    std::size_t have = 0;
    if (first < line.size()) {
        have = std::min(count, line.size() - first);
        out.write(line.data() + first, static_cast<std::streamsize>(have));
    }
    for (; have < count; ++have) out.put(' ');
}

// A name beside the target that no other writer of this process or another
// process picks at the same time.
std::filesystem::path temporary_name(const std::filesystem::path& target) {
    static std::atomic<unsigned> serial{0};
    std::filesystem::path p = target;
    p += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(serial++);
    return p;
}

}  // namespace

void write_coordinates(std::ostream& out, const model_list& lists, const unit_cell& cell,
                       double score, double r, int clashes, bool reassign_chains) {
    out << std::fixed << std::showpoint;
    out << "TITLE     ZELT Score: " << std::setprecision(3) << score << " Rfactor: " << r
        << " Packing clashes: " << clashes << "     \n";

    const space_group& group = cell.group();
    out << "CRYST1" << std::setprecision(3) << std::setw(9) << cell.a << std::setw(9) << cell.b
        << std::setw(9) << cell.c << std::setprecision(2) << std::setw(7)
        << cell.alpha * radians_to_degrees << std::setw(7) << cell.beta * radians_to_degrees
        << std::setw(7) << cell.gamma * radians_to_degrees << ' ' << std::left << std::setw(11)
        << (group.names.empty() ? group.symbol : group.names.front()) << std::right
        << std::setw(4) << group.operators.size() << '\n';

    out << std::setprecision(3);
    for (std::size_t k = 0; k < lists.size(); ++k) {
        for (const atom& a : lists[k]) {
            const std::string& line = a.line;
            put_columns(out, line, 0, 21);
            if (reassign_chains)
                out.put(static_cast<char>('A' + k % 26));
            else
                put_columns(out, line, 21, 1);
            put_columns(out, line, 22, 8);
            const vec3 x = cell.to_orthogonal({a.x, a.y, a.z});
            out << std::setw(8) << x[0] << std::setw(8) << x[1] << std::setw(8) << x[2];
            if (line.size() >= 55)
                out.write(line.data() + 54, static_cast<std::streamsize>(line.size() - 54));
            else
                out << std::string(26, ' ');
            out.put('\n');
        }
    }
    out << "END" << std::string(51, ' ') << '\n' << std::flush;
}

void write_coordinates(const model_list& lists, const unit_cell& cell, double score, double r,
                       int clashes, const std::string& file_name, bool reassign_chains) {
    if (file_name.empty()) {
        write_coordinates(std::cout, lists, cell, score, r, clashes, reassign_chains);
        return;
    }
    const std::filesystem::path target(file_name);
    const std::filesystem::path temporary = temporary_name(target);
    const std::string failure = "unable to write the file " + file_name;
    std::error_code ec;
    std::ofstream file(temporary, std::ios::out | std::ios::trunc);
    if (!file) throw io_error(failure);
    try {
        write_coordinates(file, lists, cell, score, r, clashes, reassign_chains);
    } catch (...) {
        file.close();
        std::filesystem::remove(temporary, ec);
        throw;
    }
    file.close();
    if (file.fail()) {
        std::filesystem::remove(temporary, ec);
        throw io_error(failure);
    }
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw io_error(failure);
    }
}

std::string attempt_file_name(const std::string& prefix, int cell, int model, int copy,
                              int attempt, bool number_cell, bool number_model, bool number_copy) {
    if (prefix == "-") return {};
    std::string name = prefix + ".";
    if (number_cell) name += std::to_string(cell + 1) + ".";
    if (number_model) name += std::to_string(model + 1) + ".";
    if (number_copy) name += std::to_string(copy + 1) + ".";
    return name + std::to_string(attempt) + ".pdb";
}

std::string best_file_name(const std::string& prefix) {
    if (prefix == "-") return {};
    return prefix + ".best.pdb";
}

}  // namespace zelt
