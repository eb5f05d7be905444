#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include "COMDRIVER_ClassUniversalPortUdp.h"
#include "ComdriverSupport.h"

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

} // namespace

class TestComdriverUdp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(ComdriverSupport::StartTraces()); }

    void exchange_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("signalMode");
        QTest::newRow("mode 0, local address, signals") << 0 << true;
        QTest::newRow("mode 1, any address, buffered") << 1 << false;
    }

    void exchange()
    {
        QFETCH(int, mode);
        QFETCH(bool, signalMode);
        CLASS_UNIVERSALPORT_UDP port(signalMode, QStringLiteral("UDP_X"));
        const auto order = ComdriverSupport::Record(port);
        QSignalSpy received(&port, &CLASS_UNIVERSALPORT::SIGNAL_NewDataAvailable);
        QUdpSocket peer;
        QVERIFY(peer.bind(LOOPBACK, 0));
        const Word localPort = FreeUdpPort();
        port.SetConfiguration(
            CLASS_UNIVERSALPORT_SETTINGS_UDP(LOOPBACK, localPort, LOOPBACK, peer.localPort(), mode));
        QVERIFY(port.Open());
        QCOMPARE(*order, (QStringList{"counter 1", "state 0"}));

        QVERIFY(port.SendData("0,0,VEpac\r\n"));
        QVERIFY(peer.waitForReadyRead(WAIT_MS));
        QCOMPARE(peer.receiveDatagram().data(), QByteArray("0,0,VEpac\r\n"));

        // Two datagrams, as a device answers a block.
        peer.writeDatagram("VEpac,", LOOPBACK, localPort);
        peer.writeDatagram("66051\r\n", LOOPBACK, localPort);
        QByteArray data;
        if (signalMode)
        {
            QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2, WAIT_MS);
            QCOMPARE(received.at(1), (QList<QVariant>{QByteArray("66051\r\n"), QStringLiteral("UDP_X")}));
        }
        else
        {
            QTRY_VERIFY_WITH_TIMEOUT(
                (data.clear(), port.GetReceivedData(data, -1), data == "VEpac,66051\r\n"), WAIT_MS);
            port.ConsumeData(8);
            QVERIFY(received.isEmpty());
        }
        data.clear();
        port.GetReceivedData(data, -1);
        QCOMPARE(data, signalMode ? QByteArray() : QByteArray("051\r\n")); // signal mode keeps nothing

        order->clear();
        port.Close();
        QCOMPARE(*order, (QStringList{"counter 0", "state 1"}));
        QVERIFY(!port.HasDataAvailable());
    }

    void destinationPerMode()
    {
        CLASS_UNIVERSALPORT_UDP port(true, QStringLiteral("UDP_BC"));
        const auto destination = [&port](int mode)
        {
            port.SetConfiguration(
                CLASS_UNIVERSALPORT_SETTINGS_UDP(LOOPBACK, 1, QHostAddress("127.0.0.9"), 4242, mode));
            QHostAddress address;
            Word number = 0;
            return port.GetDestination(address, number) ? address.toString() + ':' + QString::number(number)
                                                        : QString();
        };
        QCOMPARE(destination(0), QStringLiteral("127.0.0.9:4242"));
        QCOMPARE(destination(2), QStringLiteral("255.255.255.255:4242"));
        QCOMPARE(destination(3), QString());
    }
};

QTEST_GUILESS_MAIN(TestComdriverUdp)
#include "tst_comdriver_udp.moc"
