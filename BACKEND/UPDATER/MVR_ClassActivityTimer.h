#pragma once

#include <atomic>

#include "BACKEND/UPDATER/MVR_UpdaterDelays.h"

// Elapsed-time timer that one thread restarts while another reads it: the start
// instant is a single atomic word, so a read never sees half an update.
// Mirrors the calls of QElapsedTimer that the updaters and their pollers use.
class CLASS_ACTIVITY_TIMER
{
public:
    explicit CLASS_ACTIVITY_TIMER(T_UPDATER_CLOCK clock = &UpdaterSteadyClockMs);

    void SetClock(T_UPDATER_CLOCK clock);
    void start();
    qint64 restart();
    void invalidate();
    // The next milliseconds are planned (the target is busy): elapsed stays 0 until they are over.
    void holdFor(qint64 milliseconds);
    bool isValid() const;
    // Milliseconds since the last start; 0 while the timer is invalid or held.
    qint64 elapsed() const;
    bool hasExpired(qint64 timeout) const;

private:
    static constexpr qint64 INVALID = -1;
    std::atomic<T_UPDATER_CLOCK> m_Clock;
    std::atomic<qint64> m_Start;
};
