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

void CLASS_ACTIVITY_TIMER::holdFor(qint64 milliseconds)
{
    m_Start.store(m_Clock.load()() + qMax<qint64>(milliseconds, 0));
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
    return qMax<qint64>(m_Clock.load()() - start, 0);
}

bool CLASS_ACTIVITY_TIMER::hasExpired(qint64 timeout) const
{
    return isValid() && timeout >= 0 && elapsed() > timeout;
}
