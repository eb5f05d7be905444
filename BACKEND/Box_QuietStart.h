#pragma once

#include <QObject>

#include <memory>

#include "Startup.h"

// The quiet mode's start: a box updater on the main thread that updates the
// device at once and ends the program with its return code. Its owner is
// returned; the update runs as soon as the event loop does.
std::unique_ptr<QObject> StartQuietMode(const T_STARTUP_OPTIONS& options);

// Hidden, for tests only: inactivity time-out in milliseconds taken instead of
// the default (empty, zero or not a number: the default stays).
extern const char* const QUIET_TIMEOUT_ENVIRONMENT;
// Test hook: the wait of each updater before it opens its link, in milliseconds.
extern const char* const QUIET_START_WAIT_ENVIRONMENT;
