// `contacts import` of a file with no card in it, the worst the importer meets for its
// size: time, and the memory it takes at its peak beside the file's size. Each import
// runs in a child process, so that its peak is its own.
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "device/ContactStore.h"
#include "device/VCard.h"
#include "support/TempDevice.h"

namespace {

// A field of /proc/self/status in kB (VmRSS, VmHWM).
long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field) + 1));
    }
    return -1;
}

// The growth of the child's resident memory at its peak while importing file, in kB.
long ImportInChild(const std::filesystem::path& file) {
    int channel[2];
    if (pipe(channel) != 0) return -1;
    pid_t child = fork();
    if (child == 0) {
        long before = StatusKilobytes("VmRSS:");
        velmo::device::ContactStore store;
        try {
            velmo::device::ImportVCardFile(store, file);
        } catch (const std::runtime_error&) {
            // A file of blank lines holds no card; the refusal is what is timed.
        }
        long growth = StatusKilobytes("VmHWM:") - before;
        bool sent = write(channel[1], &growth, sizeof growth) == sizeof growth;
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    long growth = -1;
    if (read(channel[0], &growth, sizeof growth) != sizeof growth) growth = -1;
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return growth;
}

void BM_ImportBlankLines(benchmark::State& state) {
    velmo::test::TempDevice device;
    auto file = device.Root() / "blank.vcf";
    const std::size_t megabytes = static_cast<std::size_t>(state.range(0));
    {
        std::ofstream out(file, std::ios::binary);
        std::string mb(1 << 20, '\n');
        for (std::size_t i = 0; i < megabytes; ++i) out << mb;
    }
    long growth = 0;
    for (auto _ : state) growth = ImportInChild(file);
    if (growth < 0) state.SkipWithError("the child reported nothing");
    state.counters["file_MB"] = static_cast<double>(megabytes);
    state.counters["peak_growth_MB"] = static_cast<double>(growth) / 1024.0;
    state.counters["peak_per_file_byte"] = static_cast<double>(growth) / 1024.0 / static_cast<double>(megabytes);
}
BENCHMARK(BM_ImportBlankLines)->Arg(16)->Arg(60)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
