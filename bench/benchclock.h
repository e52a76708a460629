// The performance counter in seconds, for the benchmarks' timings.
#pragma once
#include <windows.h>

inline double NowSeconds() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}
