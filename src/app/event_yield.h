#pragma once

#include "app/clock.h"

#include <QCoreApplication>

// Lets pending events run from inside a long loop, but at most once per interval of wall time,
// so the loop stays fast and the window stays responsive whatever one record costs.
class EventYield {
public:
    explicit EventYield(const Clock& clock, qint64 intervalMs = 10)
        : m_clock(clock)
        , m_interval(intervalMs)
        , m_last(clock.monotonicMs())
    {
    }

    void setInterval(qint64 ms) { m_interval = ms; }

    // True when events ran.
    bool yieldToEvents()
    {
        const qint64 now = m_clock.monotonicMs();
        if (now - m_last < m_interval)
            return false;
        ++s_depth;
        QCoreApplication::processEvents();
        --s_depth;
        m_last = m_clock.monotonicMs();
        return true;
    }

    // True while a long loop is letting events run: whatever those events start must not pull
    // the loop's data away (the shutdown waits for the loop instead).
    [[nodiscard]] static bool insideLoop() { return s_depth > 0; }

private:
    inline static int s_depth = 0;
    const Clock& m_clock;
    qint64 m_interval;
    qint64 m_last;
};
