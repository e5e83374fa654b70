#include "io/atomic_file.hpp"

#include <unistd.h>

#include <atomic>
#include <exception>
#include <filesystem>
#include <system_error>

#include "common/errors.hpp"

namespace zelt {

void write_file_atomically(const std::string& file_name,
                           const std::function<void(const std::string& temporary)>& write) {
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path target(file_name);
    std::filesystem::path temporary = target;
    temporary += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(serial++);
    std::error_code ec;
    try {
        write(temporary.string());
    } catch (const std::exception&) {
        std::filesystem::remove(temporary, ec);
        throw io_error("unable to write the file " + file_name);
    }
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw io_error("unable to write the file " + file_name);
    }
}

}  // namespace zelt
