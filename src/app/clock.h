#pragma once

#include <QDateTime>

#include <chrono>

// Wall time for dates, monotonic milliseconds for stopwatches, watchdogs and rates.
// Injected everywhere so timeouts and expiry are tested without sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual QDateTime now() const = 0;
    [[nodiscard]] virtual qint64 monotonicMs() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};
