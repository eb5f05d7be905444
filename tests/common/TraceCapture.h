#pragma once

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QThread>
#include <algorithm>

#include "Traces.h"

// Runs the real trace facility into a scratch folder and hands back the error
// lines traced since the previous look. The trace thread is never started, so
// the facility writes every line on the caller's thread at once (its mode
// after stop): no thread hand-over for the sanitizers to misread. A marker
// line traced last proves that every earlier line has been written.
class TraceCapture
{
public:
    bool Start(const QString& folder)
    {
        if (!QDir().mkpath(folder))
            return false;
        // Lives until exit: the trace worker keeps its affinity to it.
        static QThread thread;
        thread.setObjectName(QStringLiteral("THREAD_TRACES"));
        InitTraces(QStringLiteral("capture"), QStringLiteral("TEST"), QDir(folder), &thread);
        StartTraces();
        StopTraces();
        return !CurrentErrorFilePath().isEmpty();
    }

    // Error lines (without the line head "[thread][time][M]") since the last call.
    QStringList NewErrors()
    {
        const QString marker = QStringLiteral("TRACE_CAPTURE_MARK_%1").arg(++m_Mark);
        TraceError(marker);
        QFile file(CurrentErrorFilePath());
        // The first line is the run header, not a traced error.
        const QStringList lines =
            file.open(QIODevice::ReadOnly)
                ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts).mid(1)
                : QStringList();
        if (lines.isEmpty() || !lines.last().endsWith(marker))
            return {QStringLiteral("marker never written")};
        QStringList fresh;
        for (const QString& line : lines.mid(m_Seen, lines.size() - m_Seen - 1))
        {
            const int head = line.indexOf(QStringLiteral("]["), line.indexOf(QStringLiteral("][")) + 2);
            fresh << line.mid(line.indexOf(QLatin1Char(']'), head + 2) + 1);
        }
        m_Seen = lines.size();
        return fresh;
    }

    // True when one of the error lines since the last call ends with text.
    bool NewErrorEndsWith(const QString& text)
    {
        const QStringList lines = NewErrors();
        const bool found =
            std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.endsWith(text); });
        if (!found)
            qWarning() << "traced:" << lines;
        return found;
    }

private:
    int m_Mark = 0;
    int m_Seen = 0;
};
