#pragma once

#include <QtGlobal>

// Monotonic clock in milliseconds; the updaters' timers read time only through it.
typedef qint64 (*T_UPDATER_CLOCK)();

// Steady clock of the machine, in milliseconds.
qint64 UpdaterSteadyClockMs();

// Every wait the updaters make, in one place. The defaults are the ones the
// devices need; tests hand shorter ones to an updater through SetDelays.
struct T_UPDATER_DELAYS
{
    // A boot loader that has just been reset needs this long before it listens.
    int StartWaitMs = 5000;
    // Pause after a failed attempt to open a boot loader's link.
    int BootOpenRetryMs = 250;
    // Pause after a failed attempt to open the init link.
    int InitOpenRetryMs = 500;
    // Pauses around closing a link, so the last bytes leave before it closes.
    int CloseWaitMs = 500;
    // Factor applied to the erase wait that follows START_SEND (1.0: the full wait).
    double EraseWaitFactor = 1.0;
    // Clock of the activity and jump timers.
    T_UPDATER_CLOCK Clock = &UpdaterSteadyClockMs;
};

// Open attempts before a link is given up.
constexpr int UPDATER_OPEN_ATTEMPTS = 5;
