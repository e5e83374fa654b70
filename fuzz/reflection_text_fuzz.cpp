// Fuzz target: the scalepack, plain-text reflection and cell readers. The
// first byte picks the reader, the rest is the file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "fuzz_support.hpp"
#include "io/reflection_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int reader = data[0] % 4;
    const std::string name = zelt_fuzz::write_scratch_file(
        reader == 0 || reader == 3 ? "data.sca" : "data.txt", data + 1, size - 1);
    try {
        if (reader >= 2) {
            const auto cells = zelt::read_cell(name);
            zelt_fuzz::require(cells.size() == 1 && cells.front().volume > 0);
            return 0;
        }
        const zelt::unit_cell cell(19, 50.0, 60.0, 70.0, 90.0, 90.0, 90.0);
        std::string label;
        const auto set = zelt::read_reflections(cell, 80.0, 3.0, name, "", label);
        for (const auto& r : set) zelt_fuzz::require(std::isfinite(r.f) && std::isfinite(r.sigma));
    } catch (const std::exception&) {
    }
    return 0;
}
