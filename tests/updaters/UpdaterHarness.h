#pragma once

#include <QUdpSocket>
#include <QtTest>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfCom.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "SimulatorPeers.h"

// Runs one updater the way the box updater does: on a thread of its own,
// started by SIGNAL_Start, polled from the test thread, timed out on silence.
namespace UpdaterHarness
{
using TestSupport::Pattern;
using TestSupport::WriteFile;

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
    SimulatorPeers::SimulatorProcess Simulator;
    CLASS_COMMUNICATION_CONF* Communication = nullptr;
    QString LogPath;

    ~Link() { delete Communication; }

    // Starts the simulator with one link of kind ("udp" or "pty"; SAM-BA when samba) and extra arguments.
    bool Start(const QString& kind, const QTemporaryDir& dir, const QStringList& extra, bool samba = false)
    {
        static int count = 0;
        LogPath = dir.filePath(QStringLiteral("sim-%1.log").arg(++count));
        const bool udp = kind == QLatin1String("udp");
        const QString prefix = samba ? QStringLiteral("samba-") : QString();
        if (!Simulator.Start(QStringList{"--log", LogPath, "--node-address", "1",
                                         "--" + prefix + (udp ? "udp-port" : "pty-link"), udp ? "0" : "-"} +
                             extra))
            return false;
        if (udp)
            Communication =
                new CLASS_COMMUNICATION_CONF_UDP("UDP_CARD_BOX", 1, "127.0.0.1", FreeUdpPort(), "127.0.0.1",
                                                 quint16(Simulator.Announced(prefix + "udp-port").toUInt()));
        else
            Communication =
                new CLASS_COMMUNICATION_CONF_COM("COM_CARD_BOX", 1, Simulator.Announced(prefix + "pty-path"));
        return true;
    }

    QList<QJsonObject> Events() const { return SimulatorPeers::Events(LogPath); }

    // Names of the commands received of one kind ("tbp", "samba", ...), from event index from on.
    QStringList Received(const QString& kind, int from = 0) const
    {
        QStringList names;
        for (const QJsonObject& event : Events().mid(from))
            if (event.value("direction").toString() == "rx" && event.value("kind").toString() == kind)
                names << event.value("command").toString();
        return names;
    }
};

// A device played by the test itself over UDP: the exact bytes an updater sends, answered by hand.
struct RawUdpDevice
{
    QUdpSocket Socket;
    std::unique_ptr<CLASS_COMMUNICATION_CONF_UDP> Communication;
    QHostAddress Peer;
    quint16 PeerPort = 0;

    RawUdpDevice()
    {
        Socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
        Communication = std::make_unique<CLASS_COMMUNICATION_CONF_UDP>(
            "UDP_CARD_BOX", 1, "127.0.0.1", FreeUdpPort(), "127.0.0.1", Socket.localPort());
    }

    // The next datagram, or nothing after 10 s; replies go back to its sender.
    QByteArray Receive()
    {
        (void)QTest::qWaitFor([this] { return Socket.hasPendingDatagrams(); }, 10000);
        QByteArray data(int(qMax<qint64>(0, Socket.pendingDatagramSize())), '\0');
        Socket.readDatagram(data.data(), data.size(), &Peer, &PeerPort);
        return data;
    }
    void Reply(const QByteArray& data) { Socket.writeDatagram(data, Peer, PeerPort); }
};

// One run of one updater on its own thread.
class Run
{
public:
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
                // Everything an updater does runs on its own thread, whoever started it.
                m_Texts << (QThread::currentThread() == &m_Thread ? text : "(off its thread) " + text);
                m_Progress << m_Updater->GetProgress();
            },
            Qt::DirectConnection);
        updater->moveToThread(&m_Thread);
        m_Thread.start();
    }

    ~Run() { Stop(); }

    // Emits SIGNAL_Start unless start is false, then polls every 20 ms until the status
    // is final; an updater silent for more than inactivityMs gets SIGNAL_TimeOut, once.
    SDWord Wait(qint64 inactivityMs = 10000, bool start = true)
    {
        if (start)
            emit m_Updater->SIGNAL_Start();
        QDeadlineTimer deadline(60000);
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
        // Once the updater's thread has handled everything queued so far.
        QMetaObject::invokeMethod(
            m_Updater, [] {}, Qt::BlockingQueuedConnection);
        return m_Updater->GetStatus();
    }

    QStringList Texts()
    {
        QMutexLocker lock(&m_Mutex);
        return m_Texts;
    }

    // The progress when text was first emitted, from the text of index from on; 1000 when never.
    DWord ProgressAt(const QString& text, int from = 0)
    {
        QMutexLocker lock(&m_Mutex);
        const int index = m_Texts.indexOf(text, from);
        return index < 0 ? 1000 : m_Progress.at(index);
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
    QStringList m_Texts;
    QList<DWord> m_Progress;
};
} // namespace UpdaterHarness
