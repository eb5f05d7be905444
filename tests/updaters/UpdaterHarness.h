#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QPair>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <functional>

#include "TestSupport.h"

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfCom.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"
#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "SimulatorPeers.h"

// Runs one updater the way the box updater does: on a thread of its own,
// started by SIGNAL_Start, polled from the test thread, timed out on silence.
namespace UpdaterHarness
{
const int RUN_TIMEOUT_MS = 60000;

// Short waits for tests; the defaults stay what the devices need.
inline T_UPDATER_DELAYS ShortDelays()
{
    T_UPDATER_DELAYS delays;
    delays.StartWaitMs = 20;
    delays.BootOpenRetryMs = 10;
    delays.InitOpenRetryMs = 10;
    delays.CloseWaitMs = 5;
    delays.EraseWaitFactor = 0.001;
    return delays;
}

using TestSupport::Pattern;
using TestSupport::WriteFile;

// The two links every updater is shown on: rows "udp" and "pty" of a column "kind".
inline void AddLinkRows()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("udp") << "udp";
    QTest::newRow("pty") << "pty";
}

inline quint16 FreeUdpPort()
{
    QUdpSocket socket;
    socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    return socket.localPort();
}

// One link to a running simulator, as a card's communication configuration.
struct Link
{
    QString Kind; // "udp" or "pty"
    SimulatorPeers::SimulatorProcess Simulator;
    CLASS_COMMUNICATION_CONF* Communication = nullptr;
    QString LogPath;

    ~Link() { delete Communication; }

    // Starts the simulator with one link of kind (SAM-BA too when samba) and extra arguments.
    bool Start(const QString& kind, const QTemporaryDir& dir, const QStringList& extra, bool samba = false,
               SDWord nodeAddress = 1)
    {
        Kind = kind;
        LogPath = dir.filePath(QStringLiteral("sim-%1.log").arg(++Count()));
        QStringList arguments{"--log", LogPath, "--node-address", QString::number(nodeAddress)};
        if (kind == QLatin1String("udp"))
            arguments << (samba ? "--samba-udp-port" : "--udp-port") << "0";
        else
            arguments << (samba ? "--samba-pty-link" : "--pty-link") << "-";
        arguments << extra;
        if (!Simulator.Start(arguments))
            return false;
        const QString prefix = samba ? QStringLiteral("samba-") : QString();
        if (kind == QLatin1String("udp"))
        {
            const quint16 simulatorPort = quint16(Simulator.Announced(prefix + "udp-port").toUInt());
            Communication = new CLASS_COMMUNICATION_CONF_UDP(QStringLiteral("UDP_CARD_BOX"), nodeAddress,
                                                             QStringLiteral("127.0.0.1"), FreeUdpPort(),
                                                             QStringLiteral("127.0.0.1"), simulatorPort);
        }
        else
        {
            Communication = new CLASS_COMMUNICATION_CONF_COM(QStringLiteral("COM_CARD_BOX"), nodeAddress,
                                                             Simulator.Announced(prefix + "pty-path"));
        }
        return Communication != nullptr;
    }

    QList<QJsonObject> Events() const { return SimulatorPeers::Events(LogPath); }

    // Names of the commands received of one kind ("tbp", "samba", ...), from event index from on.
    QStringList Received(const QString& kind, int from = 0) const
    {
        QStringList names;
        const QList<QJsonObject> events = Events();
        for (int i = from; i < events.size(); ++i)
        {
            const QJsonObject& event = events.at(i);
            if (event.value("direction").toString() == QLatin1String("rx") &&
                event.value("kind").toString() == kind)
                names << event.value("command").toString();
        }
        return names;
    }

    static int& Count()
    {
        static int count = 0;
        return count;
    }
};

// A device played by the test itself over UDP: the exact bytes an updater sends, answered by hand.
struct RawUdpDevice
{
    QUdpSocket Socket;
    CLASS_COMMUNICATION_CONF_UDP* Communication = nullptr;

    RawUdpDevice()
    {
        Socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
        Communication =
            new CLASS_COMMUNICATION_CONF_UDP(QStringLiteral("UDP_CARD_BOX"), 1, QStringLiteral("127.0.0.1"),
                                             FreeUdpPort(), QStringLiteral("127.0.0.1"), Socket.localPort());
    }
    ~RawUdpDevice() { delete Communication; }

    // The next datagram, or nothing after ms; replies go back to its sender.
    QByteArray Receive(int ms = 10000)
    {
        QDeadlineTimer deadline(ms);
        while (!Socket.hasPendingDatagrams() && !deadline.hasExpired())
            QTest::qWait(10);
        QByteArray data(int(qMax<qint64>(0, Socket.pendingDatagramSize())), '\0');
        Socket.readDatagram(data.data(), data.size(), &m_Peer, &m_PeerPort);
        return data;
    }
    void Reply(const QByteArray& data) { Socket.writeDatagram(data, m_Peer, m_PeerPort); }

private:
    QHostAddress m_Peer;
    quint16 m_PeerPort = 0;
};

// One run of one updater on its own thread.
class Run
{
public:
    // Texts of SIGNAL_DisplayDebug, each with the progress at the moment it was emitted.
    QList<QPair<QString, DWord>> Debug;
    // onDebug is called on the updater's thread for every debug text, before it is recorded.
    explicit Run(CLASS_ABSTRACT_UPDATER* updater, std::function<void(const QString&)> onDebug = {})
        : m_Updater(updater), m_OnDebug(std::move(onDebug))
    {
        m_Thread.setObjectName(QStringLiteral("THREAD_BOX"));
        QObject::connect(
            updater, &CLASS_ABSTRACT_UPDATER::SIGNAL_DisplayDebug, updater,
            [this](QString text)
            {
                if (m_OnDebug)
                    m_OnDebug(text);
                QMutexLocker lock(&m_Mutex);
                Debug.append(qMakePair(text, m_Updater->GetProgress()));
            },
            Qt::DirectConnection);
        updater->moveToThread(&m_Thread);
        m_Thread.start();
    }

    ~Run() { Stop(); }

    // Emits SIGNAL_Start and polls once per 20 ms until the status is final
    // (the updater must be idle before).
    // An updater silent for more than inactivityMs gets SIGNAL_TimeOut, once.
    SDWord StartAndWait(qint64 inactivityMs = 10000, int timeoutMs = RUN_TIMEOUT_MS)
    {
        emit m_Updater->SIGNAL_Start();
        return Wait(inactivityMs, timeoutMs);
    }

    // Polls as StartAndWait does, for an updater already started.
    SDWord Wait(qint64 inactivityMs = 10000, int timeoutMs = RUN_TIMEOUT_MS)
    {
        QDeadlineTimer deadline(timeoutMs);
        bool timedOut = false;
        while (!deadline.hasExpired())
        {
            QTest::qWait(20);
            const SDWord status = m_Updater->GetStatus();
            if (status == UPDATER_STATUS_SUCCESS || status == UPDATER_STATUS_ERROR)
                break;
            if (status == UPDATER_STATUS_RUNNING && !timedOut &&
                m_Updater->GetTimer().elapsed() > inactivityMs)
            {
                timedOut = true;
                emit m_Updater->SIGNAL_TimeOut();
            }
        }
        Settle();
        return m_Updater->GetStatus();
    }

    // Waits until the updater's thread has handled everything queued so far.
    void Settle()
    {
        QMetaObject::invokeMethod(
            m_Updater, [] {}, Qt::BlockingQueuedConnection);
    }

    QStringList Texts()
    {
        QMutexLocker lock(&m_Mutex);
        QStringList texts;
        for (const auto& entry : qAsConst(Debug))
            texts << entry.first;
        return texts;
    }

    DWord ProgressAt(const QString& text)
    {
        QMutexLocker lock(&m_Mutex);
        for (const auto& entry : qAsConst(Debug))
            if (entry.first == text)
                return entry.second;
        return 1000;
    }

    void ClearDebug()
    {
        QMutexLocker lock(&m_Mutex);
        Debug.clear();
    }

    // Deletes the updater on its own thread, then ends the thread.
    void Stop()
    {
        if (!m_Thread.isRunning())
            return;
        CLASS_ABSTRACT_UPDATER* updater = m_Updater;
        QMetaObject::invokeMethod(
            updater, [updater] { delete updater; }, Qt::BlockingQueuedConnection);
        m_Thread.quit();
        m_Thread.wait();
    }

private:
    CLASS_ABSTRACT_UPDATER* m_Updater;
    const std::function<void(const QString&)> m_OnDebug;
    QThread m_Thread;
    QMutex m_Mutex;
};

inline QString Sha1Hex(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
}
} // namespace UpdaterHarness
