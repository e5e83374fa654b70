// Fuzz target: configuration files and -P definitions, through the effective
// store, the checks and the derivation, then every typed read of every key.
// Lines that begin with "-P" are command-line definitions; all other lines
// form the configuration file.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "app/command_line.hpp"
#include "settings/parameters.hpp"
#include "fuzz_support.hpp"

namespace {

void read_every_key(const zelt::parameter_store& p) {
    for (const auto& [key, value] : p) {
        try { p.boolean(key); p.integer(key); } catch (const std::exception&) {}
        try { p.unsigned_integer(key); } catch (const std::exception&) {}
        try { p.real(key); } catch (const std::exception&) {}
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string file;
    zelt::parameter_store overrides;
    try {
        for (const std::string& line : zelt_fuzz::split(data, size, '\n')) {
            if (line.compare(0, 2, "-P") == 0)
                zelt::apply_definition(line.substr(2), overrides, "bad definition: ");
            else
                file += line + '\n';
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
        zelt::read_configuration_file(zelt_fuzz::write_scratch_file("zelt.conf", bytes, file.size()),
                                      overrides);
        zelt::parameter_store effective = zelt::make_effective_store(zelt::default_store(), overrides);
        zelt::check_counts(effective);
        zelt::derive(effective, overrides);
        read_every_key(effective);
    } catch (const std::exception&) {
    }
    return 0;
}
