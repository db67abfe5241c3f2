#pragma once

// The processor time this process has used, for tests that a wait sleeps
// rather than spins.

#include <ctime>

namespace velorix::testing {

inline double processCpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

} // namespace velorix::testing
