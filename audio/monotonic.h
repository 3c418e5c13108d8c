// The machine's monotonic clock, which the sound's timing is measured on.
#pragma once

#include <QtGlobal>
#include <chrono>

inline qint64 monotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
