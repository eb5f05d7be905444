#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTest>
#include <QThread>

#include "Traces.h"

// Runs the real trace facility into a scratch folder and hands back the error
// lines traced since the previous look. A marker line traced last proves that
// every earlier line has been written.
class TraceCapture
{
public:
    ~TraceCapture() { Stop(); }

    bool Start(const QString& folder)
    {
        if (!QDir().mkpath(folder))
            return false;
        m_Thread = new QThread;
        m_Thread->setObjectName(QStringLiteral("THREAD_TRACES"));
        InitTraces(QStringLiteral("capture"), QStringLiteral("TEST"), QDir(folder), m_Thread);
        StartTraces();
        m_Thread->start();
        return !CurrentErrorFilePath().isEmpty();
    }

    // Error lines (without the line head "[thread][time][M]") since the last call.
    QStringList NewErrors()
    {
        const QString marker = QStringLiteral("TRACE_CAPTURE_MARK_%1").arg(++m_Mark);
        TraceError(marker);
        QStringList lines;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 20000)
        {
            lines = ReadLines();
            if (!lines.isEmpty() && lines.last().endsWith(marker))
                break;
            QTest::qWait(10);
        }
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

    void Stop()
    {
        if (!m_Thread)
            return;
        StopTraces();
        delete m_Thread;
        m_Thread = nullptr;
    }

private:
    QStringList ReadLines() const
    {
        QFile file(CurrentErrorFilePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        // The first line is the run header, not a traced error.
        if (!lines.isEmpty())
            lines.removeFirst();
        return lines;
    }

    QThread* m_Thread = nullptr;
    int m_Mark = 0;
    int m_Seen = 0;
};
