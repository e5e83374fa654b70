// Fuzz target: the PDB reader with the element rule of each atom line.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <sstream>
#include <string>

#include "fuzz_support.hpp"
#include "io/coordinates.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    try {
        const zelt::model atoms = zelt::read_atoms(in, "fuzz.pdb");
        for (const zelt::atom& a : atoms) {
            zelt_fuzz::require(std::isfinite(a.site[0]) && std::isfinite(a.site[1]) && std::isfinite(a.site[2]));
            zelt_fuzz::require(std::isfinite(a.occupancy) && std::isfinite(a.b));
            zelt_fuzz::require(a.element >= 0 && a.element <= 112);
        }
    } catch (const std::exception&) {
    }
    return 0;
}
