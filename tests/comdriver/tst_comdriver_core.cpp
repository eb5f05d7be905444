#include <QSignalSpy>
#include <QtTest>

#include "COMDRIVER_ClassUniversalPortUdp.h"
#include "COMDRIVER_SocketErrorNames.h"

// Chunk algorithms and the transmit spy shared by every port.
class TestComdriverCore : public QObject
{
    Q_OBJECT

private:
    static QList<QByteArray> TwoChunks() { return {QByteArray("ab"), QByteArray("cde")}; }

private slots:
    void getReceivedData_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("all") << -1 << QByteArray("abcde");
        QTest::newRow("zero") << 0 << QByteArray();
        QTest::newRow("part of first") << 1 << QByteArray("a");
        QTest::newRow("exactly first") << 2 << QByteArray("ab");
        QTest::newRow("into second") << 4 << QByteArray("abcd");
        QTest::newRow("everything") << 5 << QByteArray("abcde");
        QTest::newRow("more than held") << 99 << QByteArray("abcde");
    }

    void getReceivedData()
    {
        QFETCH(int, size);
        QFETCH(QByteArray, expected);
        const QList<QByteArray> chunks = TwoChunks();
        QByteArray data("prefix:");
        CLASS_UNIVERSALPORT::CopyChunks(chunks, data, size);
        QCOMPARE(data, QByteArray("prefix:") + expected);
        QCOMPARE(chunks, TwoChunks());
    }

    void consumeData_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("all") << -1 << QList<QByteArray>();
        QTest::newRow("zero") << 0 << TwoChunks();
        QTest::newRow("part of first") << 1 << QList<QByteArray>{"b", "cde"};
        QTest::newRow("whole first") << 2 << QList<QByteArray>{"cde"};
        QTest::newRow("into second") << 3 << QList<QByteArray>{"de"};
        QTest::newRow("everything") << 5 << QList<QByteArray>();
        QTest::newRow("more than held") << 99 << QList<QByteArray>();
    }

    void consumeData()
    {
        QFETCH(int, size);
        QFETCH(QList<QByteArray>, expected);
        QList<QByteArray> chunks = TwoChunks();
        CLASS_UNIVERSALPORT::ConsumeChunks(chunks, size);
        QCOMPARE(chunks, expected);
    }

    // The documented sequence: peek 4, consume 3, consume everything.
    void peekThenConsume()
    {
        QList<QByteArray> chunks = TwoChunks();
        QByteArray data;
        CLASS_UNIVERSALPORT::CopyChunks(chunks, data, 4);
        QCOMPARE(data, QByteArray("abcd"));
        QCOMPARE(chunks.size(), 2);
        CLASS_UNIVERSALPORT::ConsumeChunks(chunks, 3);
        QCOMPARE(chunks, QList<QByteArray>{"de"});
        CLASS_UNIVERSALPORT::ConsumeChunks(chunks, -1);
        QVERIFY(chunks.isEmpty());
    }

    void txSpy_data()
    {
        QTest::addColumn<bool>("success");
        QTest::addColumn<int>("written");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("refused");
        QTest::newRow("all written") << true << 10 << QByteArray("0123456789") << QByteArray();
        QTest::newRow("count equals length") << false << 10 << QByteArray("0123456789") << QByteArray();
        QTest::newRow("4 of 10") << false << 4 << QByteArray("0123") << QByteArray("456789");
        QTest::newRow("none") << false << 0 << QByteArray() << QByteArray("0123456789");
        QTest::newRow("write error") << false << -1 << QByteArray() << QByteArray("0123456789");
    }

    void txSpy()
    {
        QFETCH(bool, success);
        QFETCH(int, written);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, refused);
        CLASS_UNIVERSALPORT_UDP port(false, QStringLiteral("UDP_SPY"));
        QSignalSpy sentSpy(&port, &CLASS_UNIVERSALPORT::SIGNAL_TxSpyNewData);
        QSignalSpy refusedSpy(&port, &CLASS_UNIVERSALPORT::SIGNAL_TxSpyNewRefusedData);
        const QByteArray data("0123456789");

        port.EmitTxSpy(data, success, written, QStringLiteral("P"));
        QVERIFY(sentSpy.isEmpty() && refusedSpy.isEmpty()); // off by default

        port.EnableTxSpy();
        port.EmitTxSpy(data, success, written, QStringLiteral("P"));
        QCOMPARE(sentSpy.size(), sent.isEmpty() ? 0 : 1);
        QCOMPARE(refusedSpy.size(), refused.isEmpty() ? 0 : 1);
        if (!sent.isEmpty())
            QCOMPARE(sentSpy.at(0), (QList<QVariant>{sent, QStringLiteral("P")}));
        if (!refused.isEmpty())
            QCOMPARE(refusedSpy.at(0), (QList<QVariant>{refused, QStringLiteral("P")}));
    }

    // Socket errors are traced under the framework's own names.
    void socketErrorNames()
    {
        const QMetaEnum errors = QMetaEnum::fromType<QAbstractSocket::SocketError>();
        for (int i = 0; i < errors.keyCount(); ++i)
            QCOMPARE(SocketErrorName(errors.value(i)), QString(errors.key(i)));
        QCOMPARE(SocketErrorName(-2), QString());
    }
};

QTEST_GUILESS_MAIN(TestComdriverCore)
#include "tst_comdriver_core.moc"
