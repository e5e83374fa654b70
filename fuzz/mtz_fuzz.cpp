// Fuzz target: the MTZ reader, from the header walk to the chosen rows.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "fuzz_support.hpp"
#include "io/mtz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const zelt::mtz_file mtz(std::string(reinterpret_cast<const char*>(data), size), "fuzz.mtz");
        mtz.cell();
        mtz.space_group_number();
        const zelt::unit_cell cell(19, 50.0, 60.0, 70.0, 90.0, 90.0, 90.0);
        std::string label;
        const auto set = zelt::mtz_reflections(mtz, cell, 80.0, 3.0, "fuzz.mtz", "", label);
        for (const auto& r : set) zelt_fuzz::require(std::isfinite(r.f) && std::isfinite(r.sigma));
    } catch (const std::exception&) {
        // A refused file is a correct answer.
    }
    return 0;
}
