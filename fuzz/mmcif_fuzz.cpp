// Fuzz target: content recognition, gzip inflation and the mmCIF readers
// (coordinates and structure factors) on one input.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "fuzz_support.hpp"
#include "io/file_format.hpp"
#include "io/mmcif_models.hpp"
#include "io/mmcif_reflections.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        if (zelt::is_gzip(bytes)) bytes = zelt::inflate_gzip(bytes, "fuzz.cif.gz");
        switch (zelt::classify_content(bytes)) {
            case zelt::content_kind::mmcif_model:
            case zelt::content_kind::mmcif_other: {
                const zelt::mmcif_model m = zelt::read_mmcif_model(bytes, "fuzz.cif");
                for (const zelt::atom& a : m.atoms) zelt_fuzz::require(a.element >= 0 && a.element <= 112);
                break;
            }
            case zelt::content_kind::mmcif_reflections: {
                zelt::read_mmcif_cell(bytes, "fuzz.cif", "");
                const zelt::unit_cell cell(19, 50.0, 60.0, 70.0, 90.0, 90.0, 90.0);
                zelt::mmcif_reflection_report report;
                const auto set = zelt::read_mmcif_reflections(bytes, "fuzz.cif", cell, 80.0, 2.0, "", "", report);
                for (const auto& r : set) zelt_fuzz::require(std::isfinite(r.f) && std::isfinite(r.sigma));
                break;
            }
            default:
                break;
        }
    } catch (const std::exception&) {
        // A refused file is a correct answer.
    }
    return 0;
}
