// Runs a fuzz target without libFuzzer: every seed file of the directory given second,
// a few fixed inputs, then pseudo-random ones from a fixed seed, so every test run
// replays the same inputs under the sanitizers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    long rounds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000;
    if (argc > 2) {
        std::vector<std::filesystem::path> seeds;
        for (const auto& entry : std::filesystem::directory_iterator(argv[2])) seeds.push_back(entry.path());
        std::sort(seeds.begin(), seeds.end());
        for (const auto& seed : seeds) {
            std::ifstream in(seed, std::ios::binary);
            std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        }
        std::printf("replayed %zu seeds of %s\n", seeds.size(), argv[2]);
    }
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::vector<std::uint8_t> zeros(4096, 0);
    LLVMFuzzerTestOneInput(zeros.data(), zeros.size());
    std::vector<std::uint8_t> ones(4096, 0xFF);
    LLVMFuzzerTestOneInput(ones.data(), ones.size());

    std::mt19937 random(20261208);
    std::vector<std::uint8_t> input;
    for (long round = 0; round < rounds; ++round) {
        std::size_t size = random() % (round % 10 == 0 ? 16384 : 1024);
        input.resize(size);
        for (auto& byte : input) byte = static_cast<std::uint8_t>(random());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    return 0;
}
