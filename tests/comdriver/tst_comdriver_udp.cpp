#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include "COMDRIVER_ClassUniversalPortUdp.h"
#include "ComdriverTraces.h"

namespace
{
const int WAIT_MS = 10000;
const QHostAddress LOOPBACK(QHostAddress::LocalHost);

// A port number free at the time of asking.
Word FreeUdpPort()
{
    QUdpSocket probe;
    probe.bind(LOOPBACK, 0);
    return probe.localPort();
}

QByteArray ReadDatagram(QUdpSocket& socket)
{
    if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(WAIT_MS))
        return QByteArray();
    QByteArray data;
    data.resize(static_cast<int>(socket.pendingDatagramSize()));
    socket.readDatagram(data.data(), data.size());
    return data;
}
} // namespace

class TestComdriverUdp : public QObject
{
    Q_OBJECT

private:
    // Port bound per mode, talking to a peer socket on loopback.
    struct Link
    {
        QUdpSocket peer;
        Word localPort = 0;
    };

    static bool Connect(CLASS_UNIVERSALPORT_UDP& port, Link& link, SDWord mode)
    {
        if (!link.peer.bind(LOOPBACK, 0))
            return false;
        link.localPort = FreeUdpPort();
        port.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP(LOOPBACK, link.localPort, LOOPBACK,
                                                               link.peer.localPort(), mode));
        return port.Open();
    }

private slots:
    void initTestCase() { QVERIFY(ComdriverTraces::Start()); }

    void exchange_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode 0, local address") << 0;
        QTest::newRow("mode 1, any address") << 1;
    }

    void exchange()
    {
        QFETCH(int, mode);
        QStringList order;
        CLASS_UNIVERSALPORT_UDP port(true, QStringLiteral("UDP_X"));
        connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_ConnectionCounterChanged, this,
                [&](DWord counter) { order << QStringLiteral("counter %1").arg(counter); });
        connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_StatusChanged, this,
                [&](T_CONNECTION_STATE state) { order << QStringLiteral("state %1").arg(state); });
        QSignalSpy received(&port, &CLASS_UNIVERSALPORT::SIGNAL_NewDataAvailable);
        Link link;
        QVERIFY(Connect(port, link, mode));
        QCOMPARE(order, (QStringList{"counter 1", "state 0"}));
        QCOMPARE(port.GetConnectionState(), CONNECTION_STATE_CONNECTED);

        QVERIFY(port.SendData("0,0,VEpac\r\n"));
        QCOMPARE(ReadDatagram(link.peer), QByteArray("0,0,VEpac\r\n"));

        link.peer.writeDatagram("VEpac,66051\r\n", LOOPBACK, link.localPort);
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, WAIT_MS);
        QCOMPARE(received.at(0), (QList<QVariant>{QByteArray("VEpac,66051\r\n"), QStringLiteral("UDP_X")}));
        QVERIFY(!port.HasDataAvailable()); // signal mode keeps nothing

        order.clear();
        port.Close();
        QCOMPARE(order, (QStringList{"counter 0", "state 1"}));
        QVERIFY(!port.SendData("late"));
    }

    void twoDatagramsAreTwoChunks()
    {
        CLASS_UNIVERSALPORT_UDP port(false, QStringLiteral("UDP_B"));
        Link link;
        QVERIFY(Connect(port, link, 0));
        link.peer.writeDatagram("ab", LOOPBACK, link.localPort);
        link.peer.writeDatagram("cde", LOOPBACK, link.localPort);
        QByteArray data;
        QTRY_VERIFY_WITH_TIMEOUT((data.clear(), port.GetReceivedData(data, -1), data.size() == 5), WAIT_MS);
        QCOMPARE(data, QByteArray("abcde"));

        data.clear();
        port.GetReceivedData(data, 4);
        QCOMPARE(data, QByteArray("abcd"));
        port.ConsumeData(2); // exactly the first datagram
        data.clear();
        port.GetReceivedData(data, 2);
        QCOMPARE(data, QByteArray("cd"));
        port.ConsumeData(0);
        QVERIFY(port.HasDataAvailable());
        port.ConsumeData(-1);
        QVERIFY(!port.HasDataAvailable());
    }

    void broadcastModeSendsTo255()
    {
        CLASS_UNIVERSALPORT_UDP port(true, QStringLiteral("UDP_BC"));
        const QHostAddress remote(QStringLiteral("127.0.0.9"));
        port.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP(LOOPBACK, FreeUdpPort(), remote, 4242, 2));
        QHostAddress address;
        Word destinationPort = 0;
        QVERIFY(port.GetDestination(address, destinationPort));
        QCOMPARE(address, QHostAddress(QStringLiteral("255.255.255.255")));
        QCOMPARE(destinationPort, Word(4242));

        port.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP(LOOPBACK, FreeUdpPort(), remote, 4242, 0));
        QVERIFY(port.GetDestination(address, destinationPort));
        QCOMPARE(address, remote);

        port.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP(LOOPBACK, FreeUdpPort(), remote, 4242, 3));
        QVERIFY(!port.GetDestination(address, destinationPort));
    }

    void unknownModeFailsOpen()
    {
        CLASS_UNIVERSALPORT_UDP port(true, QStringLiteral("UDP_M3"));
        QSignalSpy states(&port, &CLASS_UNIVERSALPORT::SIGNAL_StatusChanged);
        const Word localPort = FreeUdpPort();
        port.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP(LOOPBACK, localPort, LOOPBACK, 4242, 3));
        const ComdriverTraces::Mark mark;
        QVERIFY(!port.Open());
        const QString errors = mark.Since();
        QVERIFY2(errors.contains(QStringLiteral(" Open() Line ")), qPrintable(errors));
        QVERIFY2(errors.contains(QStringLiteral("Unknown UDP transmission mode")), qPrintable(errors));
        QVERIFY2(
            errors.contains(
                QStringLiteral("Failed to bind with address: 127.0.0.1 port: %1. Error: ").arg(localPort)),
            qPrintable(errors));
        QCOMPARE(port.GetConnectionState(), CONNECTION_STATE_ERROR);
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.at(0).at(0).value<T_CONNECTION_STATE>(), CONNECTION_STATE_ERROR);
        QCOMPARE(port.GetConnectionCounter(), DWord(0));
    }

    // One typo in an address must not expose the link on every interface.
    void addressThatIsNoIpIsRefused_data()
    {
        QTest::addColumn<bool>("localValid");
        QTest::addColumn<bool>("remoteValid");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("which");
        QTest::newRow("local, unicast") << false << true << 0 << "local";
        QTest::newRow("local, broadcast") << false << true << 2 << "local";
        QTest::newRow("remote, unicast") << true << false << 0 << "remote";
    }
    void addressThatIsNoIpIsRefused()
    {
        QFETCH(bool, localValid);
        QFETCH(bool, remoteValid);
        QFETCH(int, mode);
        QFETCH(QString, which);
        CLASS_UNIVERSALPORT_UDP port(true, QStringLiteral("UDP_TYPO"));
        QSignalSpy states(&port, &CLASS_UNIVERSALPORT::SIGNAL_StatusChanged);
        port.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP(
            localValid ? LOOPBACK : QHostAddress("10.0.0.300"), FreeUdpPort(),
            remoteValid ? LOOPBACK : QHostAddress("lochalhost"), 4242, mode));
        const ComdriverTraces::Mark mark;
        QVERIFY(!port.Open());
        QVERIFY2(mark.Since().contains("The " + which + " address of UDP_TYPO is not an IP address"),
                 qPrintable(mark.Since()));
        QCOMPARE(port.GetConnectionState(), CONNECTION_STATE_ERROR);
        QCOMPARE(states.size(), 1);
        QVERIFY(!port.SendData("abc"));
    }

    void bindFailureReportsSocketError()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(LOOPBACK, 0));
        QStringList order;
        CLASS_UNIVERSALPORT_UDP port(true, QStringLiteral("UDP_BUSY"));
        connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_ErrorFromPort, this,
                [&](const QString& error) { order << QStringLiteral("error ") + error; });
        connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_StatusChanged, this,
                [&](T_CONNECTION_STATE state) { order << QStringLiteral("state %1").arg(state); });
        port.SetConfiguration(
            CLASS_UNIVERSALPORT_SETTINGS_UDP(LOOPBACK, holder.localPort(), LOOPBACK, 4242, 0));
        const ComdriverTraces::Mark mark;
        QVERIFY(!port.Open());
        QCOMPARE(order.first(), QStringLiteral("error AddressInUseError"));
        QCOMPARE(order.last(), QStringLiteral("state 3"));
        QVERIFY2(
            mark.Since().contains(QStringLiteral("Failed to bind with address: 127.0.0.1 port: %1. Error: ")
                                      .arg(holder.localPort())),
            qPrintable(mark.Since()));
    }

    void sendingUnboundIsRefused()
    {
        CLASS_UNIVERSALPORT_UDP port(true, QStringLiteral("UDP_NB"));
        port.EnableTxSpy();
        QSignalSpy refused(&port, &CLASS_UNIVERSALPORT::SIGNAL_TxSpyNewRefusedData);
        const ComdriverTraces::Mark mark;
        QVERIFY(!port.SendData("abc"));
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused.at(0).at(0).toByteArray(), QByteArray("abc"));
        QVERIFY2(mark.Since().contains(QStringLiteral(" SendData() Line ")), qPrintable(mark.Since()));
        QVERIFY2(mark.Since().contains(QStringLiteral("Socket is not bound")), qPrintable(mark.Since()));
    }
};

QTEST_GUILESS_MAIN(TestComdriverUdp)
#include "tst_comdriver_udp.moc"
