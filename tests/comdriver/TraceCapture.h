#pragma once

#include <QFile>
#include <QStandardPaths>
#include <QString>

#include "Traces.h"

// Error traces written at once by the caller, so a test can read back what an
// operation has just reported.
namespace TraceCapture
{
inline void Start()
{
    QStandardPaths::setTestModeEnabled(true);
    StartTracing(QStringLiteral("comdriver"));
    StopTraces();
}

inline QString Errors()
{
    QFile file(CurrentErrorFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// Everything traced as an error since the mark was taken.
class Mark
{
public:
    Mark() : m_Offset(Errors().size()) {}
    QString Since() const { return Errors().mid(m_Offset); }

private:
    int m_Offset;
};
} // namespace TraceCapture
