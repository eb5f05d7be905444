#include "BACKEND/UPDATER/MVR_ClassActivityTimer.h"

#include <chrono>

qint64 UpdaterSteadyClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

CLASS_ACTIVITY_TIMER::CLASS_ACTIVITY_TIMER(T_UPDATER_CLOCK clock)
    : m_Clock(clock ? clock : &UpdaterSteadyClockMs), m_Start(INVALID)
{
}

void CLASS_ACTIVITY_TIMER::SetClock(T_UPDATER_CLOCK clock)
{
    m_Clock.store(clock ? clock : &UpdaterSteadyClockMs);
}

void CLASS_ACTIVITY_TIMER::start()
{
    m_Start.store(m_Clock.load()());
}

qint64 CLASS_ACTIVITY_TIMER::restart()
{
    const qint64 now = m_Clock.load()();
    const qint64 previous = m_Start.exchange(now);
    return previous == INVALID ? 0 : now - previous;
}

void CLASS_ACTIVITY_TIMER::invalidate()
{
    m_Start.store(INVALID);
}

bool CLASS_ACTIVITY_TIMER::isValid() const
{
    return m_Start.load() != INVALID;
}

qint64 CLASS_ACTIVITY_TIMER::elapsed() const
{
    const qint64 start = m_Start.load();
    if (start == INVALID)
        return 0;
    return m_Clock.load()() - start;
}

bool CLASS_ACTIVITY_TIMER::hasExpired(qint64 timeout) const
{
    return isValid() && timeout >= 0 && elapsed() > timeout;
}
