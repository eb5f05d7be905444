#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

#include <functional>
#include <memory>

#include "COMDRIVER_ClassUniversalPortCom.h"
#include "COMDRIVER_ClassUniversalPortTcpClient.h"
#include "COMDRIVER_ClassUniversalPortUdp.h"
#include "COMDRIVER_ClassUniversalPortUsb.h"
#include "ComdriverSupport.h"

// Makes a port; a UDP one binds to busyPort when asked to.
using PortFactory = std::function<CLASS_UNIVERSALPORT*(Word busyPort)>;
Q_DECLARE_METATYPE(PortFactory)

namespace
{
PortFactory Udp(const QString& local = "127.0.0.1", const QString& remote = "127.0.0.1", int mode = 0,
                bool busy = false)
{
    return [=](Word busyPort)
    {
        QUdpSocket probe; // a port free at the time of asking
        probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
        auto* port = new CLASS_UNIVERSALPORT_UDP(true, "UDP");
        port->SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP(
            QHostAddress(local), busy ? busyPort : probe.localPort(), QHostAddress(remote), 4242, mode));
        return port;
    };
}

PortFactory Com(const QString& device)
{
    return [=](Word)
    {
        auto* port = new CLASS_UNIVERSALPORT_COM(true, "COM");
        port->SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_COM(device));
        return port;
    };
}
} // namespace

// Chunk algorithms, the transmit spy and what every port does alike.
class TestComdriverCore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(ComdriverSupport::StartTraces()); }
    void init() { ComdriverSupport::Errors(); }

    void copyAndConsumeChunks_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("copied");
        QTest::addColumn<QList<QByteArray>>("left");
        QTest::newRow("all") << -1 << QByteArray("abcde") << QList<QByteArray>();
        QTest::newRow("zero") << 0 << QByteArray() << QList<QByteArray>{"ab", "cde"};
        QTest::newRow("part of first") << 1 << QByteArray("a") << QList<QByteArray>{"b", "cde"};
        QTest::newRow("exactly first") << 2 << QByteArray("ab") << QList<QByteArray>{"cde"};
        QTest::newRow("into second") << 4 << QByteArray("abcd") << QList<QByteArray>{"e"};
        QTest::newRow("more than held") << 99 << QByteArray("abcde") << QList<QByteArray>();
    }

    void copyAndConsumeChunks()
    {
        QFETCH(int, size);
        QFETCH(QByteArray, copied);
        QFETCH(QList<QByteArray>, left);
        QList<QByteArray> chunks{"ab", "cde"};
        QByteArray data("prefix:");
        CLASS_UNIVERSALPORT::CopyChunks(chunks, data, size);
        QCOMPARE(data, "prefix:" + copied);
        CLASS_UNIVERSALPORT::ConsumeChunks(chunks, size);
        QCOMPARE(chunks, left);
    }

    // A closed port refuses to send, shows the refused bytes and says why.
    void closedPortRefusesToSend_data()
    {
        QTest::addColumn<PortFactory>("make");
        QTest::addColumn<QString>("error");
        QTest::newRow("udp") << Udp() << "Socket is not bound";
        const auto tcp = [](Word) { return new CLASS_UNIVERSALPORT_TCP_CLIENT(true, "TCP"); };
        QTest::newRow("tcp client") << PortFactory(tcp) << "Socket is not connected";
        QTest::newRow("com") << Com("/dev/pts/nowhere") << "Can't send port is not open : pts/nowhere";
        // Even one that would wait for its device to come back.
        const auto usb = [](Word) { return new CLASS_UNIVERSALPORT_USB(true, true, 0, "USB"); };
        QTest::newRow("usb, reconnecting") << PortFactory(usb) << "The USB port is closed";
    }

    void closedPortRefusesToSend()
    {
        QFETCH(PortFactory, make);
        QFETCH(QString, error);
        std::unique_ptr<CLASS_UNIVERSALPORT> port(make(0));
        port->EnableTxSpy();
        QSignalSpy refused(port.get(), &CLASS_UNIVERSALPORT::SIGNAL_TxSpyNewRefusedData);
        QVERIFY(!port->SendData("abc", QStringLiteral("P")));
        const QString errors = ComdriverSupport::Errors();
        QVERIFY2(errors.contains(" SendData() Line ") && errors.contains(error), qPrintable(errors));
        if (QTest::currentDataTag() != QByteArray("usb, reconnecting")) // it has no transmit spy
            QCOMPARE(QList<QList<QVariant>>(refused), (QList<QList<QVariant>>{{QByteArray("abc"), "P"}}));
    }

    // A failed open says why, ends in the error state and takes nothing to send.
    // A typo in a UDP address must not expose the link on every interface.
    void openFailure_data()
    {
        QTest::addColumn<PortFactory>("make");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("error");
        const QString state = "state 3";
        const QString noIp = "The %1 address of UDP is not an IP address";
        QTest::newRow("udp local, unicast") << Udp("10.0.0.300") << state << noIp.arg("local");
        QTest::newRow("udp local, broadcast")
            << Udp("10.0.0.300", "127.0.0.1", 2) << state << noIp.arg("local");
        QTest::newRow("udp remote, unicast") << Udp("127.0.0.1", "lochalhost") << state << noIp.arg("remote");
        QTest::newRow("udp unknown mode")
            << Udp("127.0.0.1", "127.0.0.1", 3) << state << "Unknown UDP transmission mode";
        QTest::newRow("udp port in use")
            << Udp("127.0.0.1", "127.0.0.1", 0, true) << "error AddressInUseError"
            << "Failed to bind with address: 127.0.0.1 port: ";
        QTest::newRow("com missing") << Com("/dev/no-such-tty") << "error DeviceNotFoundError"
                                     << "Failed to open port com: no-such-tty. Error: ";
    }

    void openFailure()
    {
        QFETCH(PortFactory, make);
        QFETCH(QString, first);
        QFETCH(QString, error);
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress(QHostAddress::LocalHost), 0));
        std::unique_ptr<CLASS_UNIVERSALPORT> port(make(holder.localPort()));
        const auto order = ComdriverSupport::Record(*port);
        QVERIFY(!port->Open());
        const QString errors = ComdriverSupport::Errors();
        QVERIFY2(errors.contains(" Open() Line ") && errors.contains(error), qPrintable(errors));
        QCOMPARE(order->first(), first);
        QCOMPARE(order->last(), QStringLiteral("state 3"));
        QCOMPARE(port->GetConnectionCounter(), DWord(0));
        QVERIFY(!port->SendData("abc"));
    }
};

QTEST_GUILESS_MAIN(TestComdriverCore)
#include "tst_comdriver_core.moc"
