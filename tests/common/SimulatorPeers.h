#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QUdpSocket>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "TestSupport.h"

// Test-side helpers for the device simulator (tools/qrn207-sim): start the
// real program, and talk to it as a host does over UDP or its pseudo-terminal.
namespace SimulatorPeers
{
// Generous: tests run on a loaded 2-core machine.
const int START_TIMEOUT_MS = 20000;
const int ANSWER_TIMEOUT_MS = 5000;

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
        if (!m_Process.waitForStarted(START_TIMEOUT_MS))
            return false;
        QDeadlineTimer deadline(START_TIMEOUT_MS);
        QByteArray pending;
        while (!deadline.hasExpired())
        {
            if (!m_Process.canReadLine() &&
                !m_Process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            {
                if (m_Process.state() != QProcess::Running)
                    return false;
                continue;
            }
            while (m_Process.canReadLine())
            {
                const QString line = QString::fromUtf8(m_Process.readLine()).trimmed();
                if (line == QLatin1String("ready"))
                    return true;
                Lines.append(line);
            }
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
        if (m_Process.state() == QProcess::NotRunning)
            return;
        m_Process.terminate();
        if (!m_Process.waitForFinished(START_TIMEOUT_MS))
        {
            m_Process.kill();
            m_Process.waitForFinished(START_TIMEOUT_MS);
        }
    }

    QProcess& Process() { return m_Process; }
    QStringList Lines;

private:
    QProcess m_Process;
};

class UdpPeer
{
public:
    explicit UdpPeer(quint16 simulatorPort) : m_Port(simulatorPort)
    {
        m_Socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    }

    bool Send(const QByteArray& data)
    {
        return m_Socket.writeDatagram(data, QHostAddress::LocalHost, m_Port) == data.size();
    }
    // One datagram, or empty after the time-out.
    QByteArray ReceiveDatagram(int timeoutMs = ANSWER_TIMEOUT_MS)
    {
        if (!m_Socket.hasPendingDatagrams() && !m_Socket.waitForReadyRead(timeoutMs))
            return QByteArray();
        QByteArray data(int(m_Socket.pendingDatagramSize()), '\0');
        const qint64 size = m_Socket.readDatagram(data.data(), data.size());
        return data.left(int(qMax<qint64>(0, size)));
    }
    // Datagrams appended until done(received) holds or the time-out passes.
    template <typename T_DONE> QByteArray ReceiveUntil(T_DONE done, int timeoutMs = ANSWER_TIMEOUT_MS)
    {
        QByteArray received;
        QDeadlineTimer deadline(timeoutMs);
        while (!done(received) && !deadline.hasExpired())
            received += ReceiveDatagram(int(qMax<qint64>(1, deadline.remainingTime())));
        return received;
    }
    QUdpSocket& Socket() { return m_Socket; }

private:
    QUdpSocket m_Socket;
    quint16 m_Port;
};

// The host end of the simulator's pseudo-terminal, opened raw as a serial port would be.
class PtyPeer
{
public:
    ~PtyPeer() { Close(); }

    bool Open(const QString& path)
    {
        Close();
        m_Fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_Fd < 0)
            return false;
        struct termios settings;
        if (::tcgetattr(m_Fd, &settings) == 0)
        {
            ::cfmakeraw(&settings);
            ::tcsetattr(m_Fd, TCSANOW, &settings);
        }
        return true;
    }
    void Close()
    {
        if (m_Fd >= 0)
            ::close(m_Fd);
        m_Fd = -1;
    }
    bool Write(const QByteArray& data)
    {
        int written = 0;
        QDeadlineTimer deadline(ANSWER_TIMEOUT_MS);
        while (written < data.size() && !deadline.hasExpired())
        {
            const ssize_t count = ::write(m_Fd, data.constData() + written, size_t(data.size() - written));
            if (count > 0)
                written += int(count);
            else
            {
                struct pollfd descriptor = {m_Fd, POLLOUT, 0};
                ::poll(&descriptor, 1, 50);
            }
        }
        return written == data.size();
    }
    // Whatever one read returns within the time-out (empty on time-out).
    QByteArray ReadChunk(int timeoutMs = ANSWER_TIMEOUT_MS)
    {
        struct pollfd descriptor = {m_Fd, POLLIN, 0};
        if (::poll(&descriptor, 1, timeoutMs) <= 0)
            return QByteArray();
        char buffer[65536];
        const ssize_t count = ::read(m_Fd, buffer, sizeof(buffer));
        return count > 0 ? QByteArray(buffer, int(count)) : QByteArray();
    }
    template <typename T_DONE> QByteArray ReadUntil(T_DONE done, int timeoutMs = ANSWER_TIMEOUT_MS)
    {
        QByteArray received;
        QDeadlineTimer deadline(timeoutMs);
        while (!done(received) && !deadline.hasExpired())
            received += ReadChunk(int(qMax<qint64>(1, deadline.remainingTime())));
        return received;
    }
    QByteArray ReadExactly(int size, int timeoutMs = ANSWER_TIMEOUT_MS)
    {
        return ReadUntil([size](const QByteArray& data) { return data.size() >= size; }, timeoutMs);
    }

private:
    int m_Fd = -1;
};
} // namespace SimulatorPeers
