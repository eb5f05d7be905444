#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include "Traces.h"

// Error traces written at once by the caller (the trace thread never runs),
// so a test can read back what an operation has just reported, from any thread.
namespace TraceCapture
{
inline void Start()
{
    QStandardPaths::setTestModeEnabled(true);
    static QThread neverStarted;
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/KT_TRACES/";
    QDir().mkpath(folder);
    InitTraces(QCoreApplication::applicationName(), QStringLiteral("comdriver"), QDir(folder), &neverStarted);
    StartTraces();
    StopTraces();
    // Headers go out now, before other threads trace.
    TraceInfo(QStringLiteral("test start"));
    TraceError(QStringLiteral("test start"));
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
