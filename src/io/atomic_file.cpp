#include "io/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/errors.hpp"

namespace zelt {

namespace {

// The permissions a file created with open(2) would get: 0666 less the
// process's umask (mkstemp creates its file for the owner only).
mode_t ordinary_file_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

std::string create_temporary_beside(const std::string& file_name) {
    // mkstemp picks an unpredictable name and creates it with O_EXCL, so no
    // file or symbolic link already standing at that name is ever opened.
    std::string pattern = file_name + ".tmp.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw io_error("unable to write the file " + file_name);
    const bool ok = ::fchmod(fd, ordinary_file_mode()) == 0;
    ::close(fd);
    const std::string temporary(name.data());
    if (!ok) {
        ::unlink(temporary.c_str());
        throw io_error("unable to write the file " + file_name);
    }
    return temporary;
}

void write_file_atomically(const std::string& file_name,
                           const std::function<void(const std::string& temporary)>& write) {
    const std::string temporary = create_temporary_beside(file_name);
    std::error_code ec;
    try {
        write(temporary);
    } catch (const std::exception&) {
        std::filesystem::remove(temporary, ec);
        throw io_error("unable to write the file " + file_name);
    }
    std::filesystem::rename(temporary, file_name, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw io_error("unable to write the file " + file_name);
    }
}

}  // namespace zelt
