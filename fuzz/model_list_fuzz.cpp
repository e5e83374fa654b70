// Fuzz target: model-list files. The input is the list; the scratch folder
// (the working folder of the run) holds two small coordinate files it may
// name, and the list itself, which it may name in turn.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "fuzz_support.hpp"
#include "io/coordinates.hpp"

namespace {

void prepare_folder() {
    static const bool done = [] {
        std::filesystem::current_path(zelt_fuzz::scratch_folder());
        // "-" in a list reads standard input, which must not wait for a terminal.
        if (std::freopen("/dev/null", "r", stdin) == nullptr) std::abort();
        const std::string atom =
            "ATOM      1  CA  ALA A   1      11.104  13.207  10.000  1.00 20.00           C\n";
        zelt_fuzz::write_scratch_file("a.pdb", reinterpret_cast<const std::uint8_t*>(atom.data()),
                                      atom.size());
        const std::string empty = "REMARK nothing\n";
        zelt_fuzz::write_scratch_file("b.pdb", reinterpret_cast<const std::uint8_t*>(empty.data()),
                                      empty.size());
        return true;
    }();
    (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    prepare_folder();
    zelt_fuzz::write_scratch_file("list", data, size);
    zelt::model_list models;
    try {
        zelt::load_models("@list", models);
    } catch (const std::exception&) {
    }
    return 0;
}
