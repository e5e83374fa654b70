// Replays corpus files through a fuzz target without the fuzzing engine:
// each argument is a file or a folder of files, fed to the target one by one.
// Built with the ordinary compiler, so that CI needs no fuzzing runtime.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> corpus_files(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path p = std::filesystem::absolute(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto& entry : std::filesystem::directory_iterator(p))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            files.push_back(p);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    // Read everything first: a target may change the working folder.
    std::vector<std::string> inputs;
    for (const auto& file : corpus_files(argc, argv)) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << file << '\n';
            return 1;
        }
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (inputs.empty()) {
        std::cerr << "no corpus files given\n";
        return 1;
    }
    for (const std::string& input : inputs)
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    std::cout << inputs.size() << " inputs replayed\n";
    return 0;
}
