// Runs a fuzz target without libFuzzer: a few fixed inputs, then pseudo-random ones
// from a fixed seed, so every test run replays the same inputs under the sanitizers.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    long rounds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000;
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
