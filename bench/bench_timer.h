// Timing for the benchmark programs: each figure is printed as a ratio to a
// reference measured in the same run, so machines and Wine versions compare.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>

// Best of `rounds` timings of `repeat` calls, in milliseconds per call. The
// best round is the one least disturbed by the rest of the machine.
inline double MillisecondsPerCall(int rounds, int repeat, const std::function<void()>& work) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        for (int i = 0; i < repeat; ++i) work();
        QueryPerformanceCounter(&end);
        const double ms =
            1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart / repeat;
        best = std::min(best, ms);
    }
    return best;
}

inline void PrintRatio(const char* what, double measured, const char* reference, double referenceValue) {
    std::printf("%-46s %9.3f ms   %-28s %9.3f ms   ratio %7.2f\n", what, measured, reference, referenceValue,
                measured / referenceValue);
}
