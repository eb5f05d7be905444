#pragma once

#include <QMetaType>

#include "Types.h"

// State of a whole update, sent by the box updater to the window. A fixed
// underlying type: any value may arrive across threads, and the window must
// be able to hold (and ignore) one it does not know.
enum T_BOX_UPDATER_STATE : SDWord
{
    BOX_UPDATER_STATE_READY = 0,
    BOX_UPDATER_STATE_RUNNING = 1,
    BOX_UPDATER_STATE_FINISHED = 2,
    BOX_UPDATER_STATE_ERROR = 3
};
Q_DECLARE_METATYPE(T_BOX_UPDATER_STATE)

// Registers "T_BOX_UPDATER_STATE" so queued connections can carry it; safe to call more than once.
inline void RegisterBoxUpdaterState()
{
    qRegisterMetaType<T_BOX_UPDATER_STATE>("T_BOX_UPDATER_STATE");
}
