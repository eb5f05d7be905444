#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

#include "COMDRIVER_ClassUniversalPortTcpClient.h"
#include "COMDRIVER_ClassUniversalPortTcpServer.h"
#include "ComdriverTraces.h"

namespace
{
const int WAIT_MS = 10000;
const QHostAddress LOOPBACK(QHostAddress::LocalHost);

QString Identifier(const QTcpSocket& client)
{
    return QStringLiteral("127.0.0.1_%1").arg(client.localPort());
}
} // namespace

class TestComdriverTcp : public QObject
{
    Q_OBJECT

private:
    static bool StartServer(CLASS_UNIVERSALPORT_TCP_SERVER& server, Byte maximumClients)
    {
        server.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER(maximumClients, LOOPBACK, 0));
        return server.Open();
    }

    static bool Connect(QTcpSocket& client, CLASS_UNIVERSALPORT_TCP_SERVER& server)
    {
        client.connectToHost(LOOPBACK, server.GetListeningPort());
        if (!client.waitForConnected(WAIT_MS))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (!server.GetClients().contains(Identifier(client)) && timer.elapsed() < WAIT_MS)
            QTest::qWait(10);
        return server.GetClients().contains(Identifier(client));
    }

private slots:
    void initTestCase() { QVERIFY(ComdriverTraces::Start()); }

    void serverMaximumClients()
    {
        CLASS_UNIVERSALPORT_TCP_SERVER server(true, QStringLiteral("TCP_S"));
        QSignalSpy counters(&server, &CLASS_UNIVERSALPORT::SIGNAL_ConnectionCounterChanged);
        QVERIFY(StartServer(server, 1));
        QCOMPARE(server.GetConnectionState(), CONNECTION_STATE_CONNECTED);
        QCOMPARE(server.GetConnectionCounter(), DWord(0)); // listening is not a client

        QTcpSocket first;
        QVERIFY(Connect(first, server));
        QTcpSocket second;
        QSignalSpy refused(&second, &QTcpSocket::disconnected);
        second.connectToHost(LOOPBACK, server.GetListeningPort());
        QTRY_VERIFY_WITH_TIMEOUT(!refused.isEmpty() || second.state() == QAbstractSocket::UnconnectedState,
                                 WAIT_MS);
        QCOMPARE(server.GetConnectionCounter(), DWord(1));
        QCOMPARE(server.GetClients(), QStringList{Identifier(first)});
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
        QCOMPARE(client.GetConnectionState(), CONNECTION_STATE_CONNECTED);
        QVERIFY(states.isEmpty());
        QVERIFY(client.SendData("still"));

        client.Close();
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.at(0).at(0).value<T_CONNECTION_STATE>(), CONNECTION_STATE_DISCONNECTED);
        QCOMPARE(counters.size(), 1);
        QCOMPARE(counters.at(0).at(0).value<DWord>(), DWord(0));
    }
};

QTEST_GUILESS_MAIN(TestComdriverTcp)
#include "tst_comdriver_tcp.moc"
