#include "model/anisou.hpp"

#include <cmath>
#include <cstdio>
#include <ostream>
#include <stdexcept>

namespace zelt {

bool is_anisou_record(const std::string& line) { return line.rfind("ANISOU", 0) == 0 && line.size() >= 70; }

std::string rotated_anisou(const std::string& line, const mat3& r) {
    if (!is_anisou_record(line)) return line;
    double v[6];
    try {
        for (int i = 0; i < 6; ++i) v[i] = std::stod(line.substr(28 + 7 * i, 7));
    } catch (const std::exception&) {
        return line;
    }
    const mat3 u{v[0], v[3], v[4], v[3], v[1], v[5], v[4], v[5], v[2]};
    const mat3 turned = mul(mul(r, u), transpose(r));
    const double out[6] = {turned[0], turned[4], turned[8], turned[1], turned[2], turned[5]};
    std::string result = line.substr(0, 28);
    char field[16];
    for (double x : out) {
        std::snprintf(field, sizeof field, "%7ld", std::lround(x));
        result += std::string(field).substr(0, 7);
    }
    return result + line.substr(70);
}

void write_anisou(std::ostream& out, const std::string& atom_line, char chain, const std::string& anisou) {
    if (atom_line.size() < 27 || anisou.size() < 27) return;
    out << "ANISOU" << atom_line.substr(6, 15) << chain << atom_line.substr(22, 5) << anisou.substr(27) << '\n';
}

}  // namespace zelt
