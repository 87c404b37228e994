// Runs a libFuzzer target once over its seeds, without libFuzzer: each file in the folders
// given is handed to LLVMFuzzerTestOneInput once, so that the targets keep building and
// working under the compiler and sanitizers of the test builds. A target finds its faults
// by abort or a sanitizer report; the run fails too when a folder holds no seed at all.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <seed folder>...\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> seeds;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], error))
            if (entry.is_regular_file())
                seeds.push_back(entry.path());
        if (error || seeds.empty()) {
            std::fprintf(stderr, "%s: no seeds in %s\n", argv[0], argv[i]);
            return 1;
        }
        std::sort(seeds.begin(), seeds.end());
        for (const auto& seed : seeds) {
            std::ifstream in(seed, std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            if (!in.good() && !in.eof()) {
                std::fprintf(stderr, "%s: cannot read %s\n", argv[0], seed.c_str());
                return 1;
            }
            std::printf("%s\n", seed.c_str());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        }
    }
    return 0;
}
