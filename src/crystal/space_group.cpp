// Space-group records parsed from the built-in table, built once and shared.
#include "crystal/space_group.hpp"

#include <array>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "crystal/space_group_table.hpp"

namespace zelt {
namespace {

std::unique_ptr<space_group> parse_line(int n, const char* line) {
    auto g = std::make_unique<space_group>();
    g->number = n;
    std::istringstream in(line);
    in >> g->symbol;

    // Name field: everything between the next "(" and ")", split at the first comma.
    std::string rest;
    std::getline(in, rest, '(');
    std::string field;
    std::getline(in, field, ')');
    const auto comma = field.find(',');
    g->names.push_back(field.substr(0, comma));
    if (comma != std::string::npos) g->names.push_back(field.substr(comma + 1));

    in >> g->point_group >> g->crystal_system;
    int total = 0;
    in >> g->primitive_count >> total;

    g->operators.resize(static_cast<std::size_t>(total));
    for (symmetry_operator& op : g->operators) {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                int r = 0;
                in >> r;
                op.m[4 * i + j] = r;
            }
        for (int i = 0; i < 3; ++i) {
            int t = 0;
            in >> t;
            op.m[4 * i + 3] = t / 12.0;
        }
        op.m[15] = 1;
    }

    // Origin shifts to the end of the line; a negative component marks a free axis.
    g->free_axes = {false, false, false};
    for (;;) {
        fractional s{};
        if (!(in >> s[0] >> s[1] >> s[2])) break;
        for (int i = 0; i < 3; ++i)
            if (s[i] < 0) {
                s[i] = 0;
                g->free_axes[i] = true;
            }
        g->origin_shifts.push_back(s);
    }
    return g;
}

// All 230 records are built together on first use; afterwards they are only read.
const std::array<std::unique_ptr<space_group>, 231>& cache() {
    static std::array<std::unique_ptr<space_group>, 231> slots;
    static std::once_flag built;
    std::call_once(built, [] {
        for (int n = 1; n <= 230; ++n) slots[static_cast<std::size_t>(n)] = parse_line(n, space_group_table[n]);
    });
    return slots;
}

}  // namespace

const space_group& space_group_by_number(int n) {
    if (n < 1 || n > 230) throw std::invalid_argument("invalid space group number: " + std::to_string(n));
    return *cache()[static_cast<std::size_t>(n)];
}

int space_group_number_from_name(const std::string& name) {
    if (name.empty()) return 0;
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (int n = 1; n <= 230; ++n) {
        const char* line = space_group_table[n];
        const char* blank = std::strchr(line, ' ');
        const std::size_t len = blank ? static_cast<std::size_t>(blank - line) : std::strlen(line);
        if (upper.size() == len && upper.compare(0, len, line, len) == 0) return n;
    }
    return 0;
}

const char* space_group_table_line(int n) {
    if (n < 1 || n > 230) throw std::invalid_argument("invalid space group number: " + std::to_string(n));
    return space_group_table[n];
}

}  // namespace zelt
