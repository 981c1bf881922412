#pragma once

// For the benchmarks that measure a process's peak memory: the picture decoder helper processes it
// starts are processes of their own, so /usr/bin/time and wait4 leave them out. This reports, when the
// program ends, the largest peak any helper reached, as "helper peak: N kB" on the standard error, for
// the measuring script to add (bench/measure_hostile.py).

#include "PictureDecoderProcess.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace benchsupport
{

inline std::atomic<uint64_t>& helperPeakKilobytes()
{
    static std::atomic<uint64_t> peak{0};
    return peak;
}

inline void reportHelperPeakAtExit()
{
    pravix::PictureDecoderProcess::setObserver(
        [](const pravix::PictureDecoderRun& run)
        {
            uint64_t seen = helperPeakKilobytes().load();
            while (run.peakKilobytes > seen && !helperPeakKilobytes().compare_exchange_weak(seen, run.peakKilobytes))
            {
            }
        });
    std::atexit(
        []
        {
            if (helperPeakKilobytes().load() > 0)
            {
                std::fprintf(stderr, "helper peak: %llu kB\n",
                             static_cast<unsigned long long>(helperPeakKilobytes().load()));
            }
        });
}

}  // namespace benchsupport
