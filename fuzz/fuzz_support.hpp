#pragma once
// Helpers shared by the fuzz targets: a private scratch folder for the
// readers that take file names, and the split of one input into words.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zelt_fuzz {

// A folder of this process, made on first use.
inline const std::filesystem::path& scratch_folder() {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "zelt-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return std::filesystem::path(pattern);
    }();
    return folder;
}

// Writes BYTES to NAME inside the scratch folder and returns the full name.
inline std::string write_scratch_file(const std::string& name, const std::uint8_t* bytes,
                                      std::size_t size) {
    const std::string path = (scratch_folder() / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    out.close();
    if (!out) std::abort();
    return path;
}

// Pieces of the input between separator bytes (empty pieces kept).
inline std::vector<std::string> split(const std::uint8_t* data, std::size_t size, char separator) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (static_cast<char>(data[i]) == separator) pieces.emplace_back();
        else pieces.back() += static_cast<char>(data[i]);
    }
    return pieces;
}

// Stops the run on a broken promise of the code under test, so that the
// fuzzer keeps the input.
inline void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace zelt_fuzz
