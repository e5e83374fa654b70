#include "run/output_folder.hpp"

#include <filesystem>
#include <system_error>

#include "io/atomic_file.hpp"
#include "common/errors.hpp"

namespace zelt {

void check_output_folder(const parameter_store& p) {
    const std::string& prefix = p.text("output.prefix");
    if (prefix == "-" || p.text("output.level") == "none") return;
    const std::filesystem::path parent = std::filesystem::path(prefix).parent_path();
    const std::string folder = parent.empty() ? std::string(".") : parent.string();
    try {
        std::error_code ignored;
        std::filesystem::remove(create_temporary_beside(prefix), ignored);
    } catch (const io_error&) {
        std::error_code ec;
        const bool exists = std::filesystem::is_directory(folder, ec);
        throw io_error("the output folder " + folder + (exists ? " cannot be written" : " does not exist") +
                       " (output.prefix=" + prefix + ")");
    }
}

}  // namespace zelt
