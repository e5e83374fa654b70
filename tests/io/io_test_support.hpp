#pragma once
// Helpers of the reader tests: MTZ files written by gemmi (through its
// mmCIF-to-MTZ converter, which needs no numpy), and raw byte surgery on them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/test_support.hpp"

namespace zelt_io_test {

struct mtz_recipe {
    std::filesystem::path file;
    std::vector<std::pair<std::string, std::string>> columns;   // after H K L: label, type
    std::vector<std::string> rows;                               // "h k l v1 v2 ..." ('?' = missing)
    std::string cell = "50 60 70 90 90 90";
    std::string space_group = "P 21 21 21";
};

// Writes every file with one Python run.
inline void write_mtz_files(const std::vector<mtz_recipe>& recipes) {
    std::string py = "import gemmi\n";
    for (const auto& s : recipes) {
        std::string cif = "data_x\n";
        const char* tags[] = {"length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma"};
        std::istringstream cell(s.cell);
        for (const char* t : tags) {
            std::string v;
            cell >> v;
            cif += std::string("_cell.") + t + " " + v + "\n";
        }
        cif += "_symmetry.space_group_name_H-M '" + s.space_group + "'\n";
        cif += "loop_\n_refln.index_h\n_refln.index_k\n_refln.index_l\n";
        std::string column_map = "['index_h H H 0', 'index_k K H 0', 'index_l L H 0'";
        for (std::size_t i = 0; i < s.columns.size(); ++i) {
            cif += "_refln.c" + std::to_string(i) + "\n";
            column_map += ", 'c" + std::to_string(i) + " " + s.columns[i].first + " " +
                          s.columns[i].second + " 1'";
        }
        column_map += "]";
        for (const auto& r : s.rows) cif += r + "\n";
        py += "doc = gemmi.cif.read_string('''" + cif + "''')\n";
        py += "c = gemmi.CifToMtz()\nc.spec_lines = " + column_map + "\n";
        py += "m = c.convert_block_to_mtz(gemmi.as_refln_blocks(doc)[0])\n";
        py += "m.write_to_file(r'" + s.file.string() + "')\n";
    }
    zelt_test::run_python(py);
}

inline std::uint32_t get_u32(const std::string& b, std::size_t at, bool big) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
    return big ? (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3])
               : (std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0]);
}

inline void put_u32(std::string& b, std::size_t at, std::uint32_t v, bool big) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(big ? (v >> (24 - 8 * i)) & 0xff : (v >> (8 * i)) & 0xff);
}

// Byte offset of the header of a little-endian image.
inline std::size_t header_offset(const std::string& b) { return 4 * (get_u32(b, 4, false) - 1); }

// The big-endian twin of a little-endian MTZ image: header pointer and every
// data word swapped, machine stamp 0x11 0x11.
inline std::string big_endian_twin(const std::string& le) {
    std::string be = le;
    const std::size_t header = header_offset(le);
    put_u32(be, 4, get_u32(le, 4, false), true);
    be[8] = 0x11;
    be[9] = 0x11;
    for (std::size_t at = 80; at + 4 <= header; at += 4) put_u32(be, at, get_u32(le, at, false), true);
    return be;
}

// Offset of the header record starting with `prefix` (empty when none).
inline std::size_t find_header_record(const std::string& b, const std::string& prefix) {
    for (std::size_t at = header_offset(b); at + 80 <= b.size(); at += 80)
        if (b.compare(at, prefix.size(), prefix) == 0) return at;
    return std::string::npos;
}

// Overwrites the record starting with `prefix` by `replacement`, padded to 80.
inline void replace_header_record(std::string& b, const std::string& prefix, std::string replacement) {
    const std::size_t at = find_header_record(b, prefix);
    ASSERT_NE(at, std::string::npos) << prefix;
    replacement.resize(80, ' ');
    b.replace(at, 80, replacement);
}

}  // namespace zelt_io_test
