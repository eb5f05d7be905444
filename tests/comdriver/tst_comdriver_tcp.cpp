#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

#include "COMDRIVER_ClassUniversalPortTcpClient.h"
#include "COMDRIVER_ClassUniversalPortTcpServer.h"

namespace
{
const int WAIT_MS = 10000;
const QHostAddress LOOPBACK(QHostAddress::LocalHost);
} // namespace

class TestComdriverTcp : public QObject
{
    Q_OBJECT

private slots:
    void serverMaximumClients()
    {
        CLASS_UNIVERSALPORT_TCP_SERVER server(true, QStringLiteral("TCP_S"));
        QSignalSpy counters(&server, &CLASS_UNIVERSALPORT::SIGNAL_ConnectionCounterChanged);
        server.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER(1, LOOPBACK, 0));
        QVERIFY(server.Open());
        QCOMPARE(server.GetConnectionState(), CONNECTION_STATE_CONNECTED);
        QCOMPARE(server.GetConnectionCounter(), DWord(0)); // listening is not a client

        QTcpSocket first;
        first.connectToHost(LOOPBACK, server.GetListeningPort());
        const QString identifier = QStringLiteral("127.0.0.1_%1");
        QTRY_VERIFY_WITH_TIMEOUT(server.GetClients().contains(identifier.arg(first.localPort())), WAIT_MS);
        QTcpSocket second;
        second.connectToHost(LOOPBACK, server.GetListeningPort());
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QAbstractSocket::UnconnectedState, WAIT_MS);
        QCOMPARE(server.GetClients(), QStringList{identifier.arg(first.localPort())});
        QCOMPARE(server.GetConnectionCounter(), DWord(1));
        QCOMPARE(counters.size(), 1);
    }

    // A second Open keeps the session; Close reports its end once.
    void clientSecondOpenAndCloseReportOnce()
    {
        QTcpServer peer;
        QVERIFY(peer.listen(LOOPBACK, 0));
        CLASS_UNIVERSALPORT_TCP_CLIENT client(false, QStringLiteral("TCP_C"));
        client.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT(LOOPBACK, peer.serverPort()));
        QVERIFY(client.Open());
        QVERIFY(peer.waitForNewConnection(WAIT_MS));
        std::unique_ptr<QTcpSocket> remote(peer.nextPendingConnection());
        QTRY_COMPARE_WITH_TIMEOUT(client.GetConnectionState(), CONNECTION_STATE_CONNECTED, WAIT_MS);

        QSignalSpy states(&client, &CLASS_UNIVERSALPORT::SIGNAL_StatusChanged);
        QSignalSpy counters(&client, &CLASS_UNIVERSALPORT::SIGNAL_ConnectionCounterChanged);
        QVERIFY(client.Open());
        QTest::qWait(100);
        QVERIFY(states.isEmpty());
        QVERIFY(client.SendData("still"));
        QByteArray got;
        QTRY_COMPARE_WITH_TIMEOUT((got += remote->readAll()), QByteArray("still"), WAIT_MS);

        client.Close();
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.at(0).at(0).value<T_CONNECTION_STATE>(), CONNECTION_STATE_DISCONNECTED);
        QCOMPARE(QList<QList<QVariant>>(counters), (QList<QList<QVariant>>{{DWord(0)}}));
    }
};

QTEST_GUILESS_MAIN(TestComdriverTcp)
#include "tst_comdriver_tcp.moc"
