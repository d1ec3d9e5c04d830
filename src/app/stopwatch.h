#pragma once

#include "app/clock.h"

// Millisecond stopwatch on the monotonic clock; 64-bit, so it never wraps.
class CStopWatch {
public:
    explicit CStopWatch(const Clock& clock)
        : m_clock(clock)
        , m_start(clock.monotonicMs())
    {
    }

    void Reset() { m_start = m_clock.monotonicMs(); }
    [[nodiscard]] qint64 Elapsed() const { return m_clock.monotonicMs() - m_start; }
    [[nodiscard]] static constexpr int MinimumResolution() { return 1; }
    [[nodiscard]] static constexpr int MaximumResolution() { return 1; }

private:
    const Clock& m_clock;
    qint64 m_start;
};
