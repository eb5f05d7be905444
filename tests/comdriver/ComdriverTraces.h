#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QString>

#include "TraceCapture.h"

// The shared capture, read as "errors traced since this mark".
namespace ComdriverTraces
{
inline TraceCapture& Capture()
{
    static TraceCapture capture;
    return capture;
}

inline bool Start()
{
    return Capture().Start(QDir::tempPath() + QStringLiteral("/comdriver-traces-") +
                           QString::number(QCoreApplication::applicationPid()));
}

class Mark
{
public:
    Mark() { Capture().NewErrors(); }
    // Everything traced as an error since the mark, gathered across calls.
    QString Since() const
    {
        m_Seen += Capture().NewErrors().join(QLatin1Char('\n')) + QLatin1Char('\n');
        return m_Seen;
    }

private:
    mutable QString m_Seen;
};
} // namespace ComdriverTraces
