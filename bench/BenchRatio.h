#pragma once
// A measurement divided by its floor, both taken in the same run of the same program, so that
// the ratio means the same on a fast machine and on a slow one. Work that waits for no disk is
// timed in CPU seconds, which a machine shared with other busy programs does not inflate.

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace velmo::bench {

// CPU seconds of this process.
struct CpuClock {
    static double Now() {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
};

// Seconds as the wall clock shows them, for work that waits for the disk.
struct WallClock {
    static double Now() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
};

// CPU seconds of the children this process has waited for.
struct ChildrenCpuClock {
    static double Now() {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
        return seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
};

inline double Median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// Seconds of one call of work on Clock, the median of `runs` calls.
template <typename Clock = CpuClock, typename Work>
double MedianSeconds(Work&& work, int runs) {
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        double start = Clock::Now();
        work();
        seconds.push_back(Clock::Now() - start);
    }
    return Median(std::move(seconds));
}

}  // namespace velmo::bench
