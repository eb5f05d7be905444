#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "TestSupport.h"

// Test-side helpers for the device simulator (tools/qrn207-sim): start the
// real program and read its event log.
namespace SimulatorPeers
{
// Generous: tests run on a loaded 2-core machine.
const int START_TIMEOUT_MS = 20000;

// The simulator's event log (--log): one JSON object per line, as far as written.
inline QList<QJsonObject> Events(const QString& logPath)
{
    QList<QJsonObject> events;
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return events;
    for (const QByteArray& line : file.readAll().split('\n'))
    {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (document.isObject())
            events << document.object();
    }
    return events;
}

class SimulatorProcess
{
public:
    ~SimulatorProcess() { Stop(); }

    // Starts the simulator with arguments and waits for its "ready" line.
    bool Start(const QStringList& arguments)
    {
        // Outside ctest the program sits beside the test executable.
        const QString folder = TestSupport::BinaryDir().isEmpty() ? QCoreApplication::applicationDirPath()
                                                                  : TestSupport::BinaryDir();
        m_Process.setProgram(folder + "/qrn207-sim");
        m_Process.setArguments(arguments);
        m_Process.setProcessChannelMode(QProcess::SeparateChannels);
        m_Process.start();
        QDeadlineTimer deadline(START_TIMEOUT_MS);
        while (m_Process.canReadLine() ||
               m_Process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
        {
            while (m_Process.canReadLine())
            {
                const QString line = QString::fromUtf8(m_Process.readLine()).trimmed();
                if (line == QLatin1String("ready"))
                    return true;
                Lines.append(line);
            }
            if (deadline.hasExpired())
                break;
        }
        return false;
    }

    // The value of the index-th announce line starting with key ("udp-port", "pty-path", "samba-udp-port").
    QString Announced(const QString& key, int index = 0) const
    {
        for (const QString& line : Lines)
        {
            if (line.startsWith(key + QLatin1Char(' ')) && index-- == 0)
                return line.mid(key.size() + 1);
        }
        return QString();
    }
    quint16 UdpPort(int index = 0) const { return quint16(Announced("udp-port", index).toUInt()); }

    void Stop()
    {
        m_Process.terminate(); // nothing to do once it has ended
        if (!m_Process.waitForFinished(START_TIMEOUT_MS))
            m_Process.kill();
        m_Process.waitForFinished(START_TIMEOUT_MS);
    }

    QStringList Lines;

private:
    QProcess m_Process;
};

} // namespace SimulatorPeers
