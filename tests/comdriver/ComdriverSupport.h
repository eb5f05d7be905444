#pragma once

#include <QDir>

#include <memory>

#include "COMDRIVER_ClassUniversalPort.h"
#include "TraceCapture.h"

namespace ComdriverSupport
{
inline TraceCapture& Capture()
{
    static TraceCapture capture;
    return capture;
}

inline bool StartTraces()
{
    return Capture().Start(QDir::tempPath() + QStringLiteral("/comdriver-traces"));
}

// The errors traced since the previous look.
inline QString Errors()
{
    return Capture().NewErrors().join(QLatin1Char('\n'));
}

// The port's state, counter and error signals as they come, e.g. "counter 1", "state 0".
inline std::shared_ptr<QStringList> Record(CLASS_UNIVERSALPORT& port)
{
    const auto order = std::make_shared<QStringList>();
    QObject::connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_ConnectionCounterChanged,
                     [order](DWord counter) { *order << QStringLiteral("counter %1").arg(counter); });
    QObject::connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_StatusChanged,
                     [order](T_CONNECTION_STATE state) { *order << QStringLiteral("state %1").arg(state); });
    QObject::connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_ErrorFromPort,
                     [order](const QString& error) { *order << QStringLiteral("error ") + error; });
    return order;
}
} // namespace ComdriverSupport
