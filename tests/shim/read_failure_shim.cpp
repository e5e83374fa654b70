// A library preloaded into the zelt binary by the tests (LD_PRELOAD) to make
// reading one file fail part-way, as a failing disk or network file system
// does. ZELT_FAIL_READ names the file (the end of its path); the first
// ZELT_FAIL_READ_AFTER reads of it succeed (default 0), every later one fails
// with EIO.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using read_function = ssize_t (*)(int, void*, size_t);

bool names_target(int fd, const char* target) {
    char link[64];
    char path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, path, sizeof path - 1);
    if (n <= 0) return false;
    const std::size_t length = static_cast<std::size_t>(n);
    const std::size_t wanted = std::strlen(target);
    return length >= wanted && std::memcmp(path + length - wanted, target, wanted) == 0;
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    static const read_function next = reinterpret_cast<read_function>(dlsym(RTLD_NEXT, "read"));
    static long reads_of_target = 0;
    const char* target = std::getenv("ZELT_FAIL_READ");
    if (target != nullptr && *target != '\0' && names_target(fd, target)) {
        const char* after = std::getenv("ZELT_FAIL_READ_AFTER");
        if (reads_of_target++ >= (after != nullptr ? std::atol(after) : 0)) {
            errno = EIO;
            return -1;
        }
    }
    return next(fd, buffer, count);
}
