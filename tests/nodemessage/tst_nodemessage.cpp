#include <QtTest>

#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include "NODEMESSAGE_ClassNodeMsgRx.h"
#include "NODEMESSAGE_ClassNodeMsgTx.h"
#include "TraceCapture.h"

typedef CLASS_NODEMESSAGE_TX TX;
typedef CLASS_NODEMESSAGE_RX RX;

namespace
{
QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Unescaped fields of one framed message: destination, type, order, payload.
struct T_FIELDS
{
    int destination = -1, type = -1, order = -1;
    QByteArray payload;
};

T_FIELDS Fields(const QByteArray& frame)
{
    T_FIELDS fields;
    if (!frame.startsWith(Hex("1B02")) || !frame.endsWith(Hex("1B03")))
        return fields;
    QByteArray content = frame.mid(2, frame.size() - 4);
    content.replace(Hex("1B1B"), Hex("1B"));
    if (content.size() < 6 || TX::ComputeCrc8(content.left(content.size() - 1)) != Byte(content.back()))
        return fields;
    fields.destination = Byte(content.at(1));
    fields.type = Byte(content.at(2));
    fields.order = (Byte(content.at(3)) << 8) | Byte(content.at(4));
    fields.payload = content.mid(5, content.size() - 6);
    return fields;
}

} // namespace

class TestNodeMessage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;

private slots:
    void initTestCase()
    {
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.filePath("traces")));
    }

    void crcAndFraming()
    {
        QCOMPARE(TX::ComputeCrc8(QByteArray("123456789")), Byte(0xF4));
        QCOMPARE(TX::FrameMessage(0, 5, 1, 0x001B, Hex("1B41")).toHex(' '),
                 Hex("1B02 00 05 01 00 1B1B 1B1B 41 A1 1B03").toHex(' '));
        // A CRC of 0x1B is doubled like any other byte, and read back as one.
        const QByteArray crc1B = Hex("1B02 00 05 00 00 01 4C 1B1B 1B03");
        QCOMPARE(TX::FrameMessage(0, 5, 0, 1, Hex("4C")).toHex(' '), crc1B.toHex(' '));
        RX rx(5, nullptr);
        QSignalSpy got(&rx, &RX::SIGNAL_NewMsgAvailable);
        rx.DecodeReceivedData(crc1B);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.at(0).at(0).toByteArray(), Hex("4C"));
    }

    // Without a time-out of its own, a card gets 3 s to answer: the message goes again after
    // 3 s (checked every 100 ms), neither sooner nor much later.
    void defaultAnswerTimeOutIsThreeSeconds()
    {
        TX tx(0);
        QSignalSpy sent(&tx, &TX::SIGNAL_SendDataOnCom);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(tx.SendMessage(5, NODE_MSG_TYPE_WITH_ACK, "x", 1));
        QVERIFY(sent.wait(6000));
        const qint64 repeatedAfter = clock.elapsed();
        QVERIFY2(repeatedAfter >= 3000 && repeatedAfter < 3800, qPrintable(QString::number(repeatedAfter)));
        QCOMPARE(Fields(sent.at(1).at(0).toByteArray()).type, int(NODE_MSG_TYPE_REPEAT));
    }

    // Two threads send at once while the acknowledgements come back on them: every message
    // arrives once and none is left waiting (scripts/test --sanitize runs this too).
    void sendAndReceiveFromSeveralThreads()
    {
        TX hostTx(0, 60000, false), cardTx(5, 60000, false);
        RX cardRx(5, &cardTx), hostRx(0, &hostTx);
        std::atomic<int> delivered{0};
        std::atomic<bool> go{false}; // both threads at work at once, not one after the other
        connect(&hostTx, &TX::SIGNAL_SendDataOnCom, [&](QByteArray d) { cardRx.DecodeReceivedData(d); });
        connect(&cardTx, &TX::SIGNAL_SendDataOnCom, [&](QByteArray d) { hostRx.DecodeReceivedData(d); });
        connect(&cardRx, &RX::SIGNAL_NewMsgAvailable, [&] { ++delivered; });
        const auto send = [&]
        {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < 3000; ++i)
                hostTx.SendMessage(5, NODE_MSG_TYPE_WITH_ACK, "m", 0);
        };
        std::thread first(send), second(send);
        go = true;
        first.join();
        second.join();
        QCOMPARE(delivered.load(), 6000);
        QCOMPARE(hostTx.GetPendingCount(), 0);
        QCOMPARE(hostTx.GetNextOrder(), Word(6000));
    }

    void chunksAreReassembled()
    {
        RX rx(5, nullptr);
        QSignalSpy got(&rx, &RX::SIGNAL_NewMsgAvailable);
        const QByteArray a = TX::FrameMessage(0, 5, 0, 1, "first\x1B");
        const QByteArray b = TX::FrameMessage(0, 5, 0, 2, "second");
        // Byte by byte, with noise before and between.
        const QByteArray stream = "noise\x1B" + a + "\x1B\x1B" + b;
        for (char byte : stream)
            rx.DecodeReceivedData(QByteArray(1, byte));
        QCOMPARE(got.size(), 2);
        QCOMPARE(got.at(0).at(0).toByteArray(), QByteArray("first\x1B"));
        // Two in one chunk, then one split just after its escape byte.
        rx.DecodeReceivedData(a + b);
        const QByteArray c = TX::FrameMessage(0, 5, 0, 3, "\x1B");
        const int cut = c.indexOf('\x1B', 2) + 1;
        rx.DecodeReceivedData(c.left(cut));
        QCOMPARE(got.size(), 4);
        rx.DecodeReceivedData(c.mid(cut));
        QCOMPARE(got.size(), 5);
        QCOMPARE(got.at(2).at(0).toByteArray(), QByteArray("first\x1B"));
        QCOMPARE(got.at(3).at(0).toByteArray(), QByteArray("second"));
        QCOMPARE(got.at(4).at(0).toByteArray(), QByteArray("\x1B"));
        QCOMPARE(rx.GetReceivedCount(), DWord(5));
    }

    void repetitionsAreAckedButDeliveredOnce()
    {
        TX cardTx(5, 150, true);
        RX cardRx(5, &cardTx);
        QSignalSpy got(&cardRx, &RX::SIGNAL_NewMsgAvailable);
        QSignalSpy acks(&cardTx, &TX::SIGNAL_SendDataOnCom);
        const QByteArray first = TX::FrameMessage(0, 5, NODE_MSG_TYPE_WITH_ACK, 40, "frame");
        const QByteArray again = TX::FrameMessage(0, 5, NODE_MSG_TYPE_REPEAT, 40, "frame");
        cardRx.DecodeReceivedData(first);
        cardRx.DecodeReceivedData(again);
        cardRx.DecodeReceivedData(again);
        QCOMPARE(got.size(), 1);
        QCOMPARE(acks.size(), 3);
        for (const QList<QVariant>& ack : acks)
        {
            const T_FIELDS fields = Fields(ack.at(0).toByteArray());
            QCOMPARE(fields.type, int(NODE_MSG_TYPE_ACK));
            QCOMPARE(fields.destination, 0);
            QCOMPARE(fields.payload, Hex("0028"));
        }
        TX hostTx(0); // that never sent order 40
        RX(0, &hostTx).DecodeReceivedData(acks.at(0).at(0).toByteArray());
        QVERIFY(m_Traces.NewErrorEndsWith("Received Ack for Unknow message for order : 40"));
        cardRx.ClearNodeHistory(0);
        cardRx.DecodeReceivedData(again);
        QCOMPARE(got.size(), 2);
    }

    void historyKeepsTheLatestOrders()
    {
        RX rx(5, nullptr);
        QSignalSpy got(&rx, &RX::SIGNAL_NewMsgAvailable);
        for (int order = 0; order <= 100; ++order)
            rx.DecodeReceivedData(TX::FrameMessage(0, 5, 1, Word(order), "x"));
        QCOMPARE(got.size(), 101);
        // 101 entries: the 50 oldest went, so order 49 is new again and 50 is still known.
        rx.DecodeReceivedData(TX::FrameMessage(0, 5, 2, 50, "x"));
        QCOMPARE(got.size(), 101);
        rx.DecodeReceivedData(TX::FrameMessage(0, 5, 2, 49, "x"));
        QCOMPARE(got.size(), 102);
        // Histories are per sender.
        rx.DecodeReceivedData(TX::FrameMessage(7, 5, 1, 50, "x"));
        QCOMPARE(got.size(), 103);
        QCOMPARE(got.last().at(1).value<Byte>(), Byte(7));
    }

    void oneAtATimeReleasesTheLongestWaiting()
    {
        TX tx(0, 3000, true);
        QList<QByteArray> sent;
        connect(&tx, &TX::SIGNAL_SendDataOnCom, [&sent](const QByteArray& d) { sent << d; });
        // Bring the order number to the wrap so the longest-waiting message is not the lowest order.
        for (int i = 0; i < 65534; ++i)
            tx.SendMessage(1, NODE_MSG_TYPE_NO_ACK, QByteArray(), 0);
        sent.clear();
        tx.SendMessage(5, NODE_MSG_TYPE_WITH_ACK, "A", 0);
        tx.SendMessage(5, NODE_MSG_TYPE_WITH_ACK, "B", 0);
        tx.SendMessage(5, NODE_MSG_TYPE_WITH_ACK, "C", 0);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(Fields(sent.at(0)).order, 65534);
        QCOMPARE(tx.GetPendingCount(), 3);
        tx.ReceivedAck(65534);
        QCOMPARE(sent.size(), 2);
        QCOMPARE(Fields(sent.at(1)).payload, QByteArray("B"));
        QCOMPARE(Fields(sent.at(1)).order, 65535);
        tx.ReceivedAck(3); // not awaited: nothing more goes out while B is in flight
        QCOMPARE(sent.size(), 2);
        tx.ReceivedAck(65535);
        QCOMPARE(Fields(sent.at(2)).payload, QByteArray("C"));
        QCOMPARE(Fields(sent.at(2)).order, 0);
        tx.ReceivedAck(0);
        QCOMPARE(tx.GetPendingCount(), 0);
        QCOMPARE(sent.size(), 3);
    }

    void retriesThenGivesUp()
    {
        TX tx(0, 150, true);
        QList<QByteArray> sent;
        connect(&tx, &TX::SIGNAL_SendDataOnCom, [&sent](const QByteArray& d) { sent << d; });
        tx.SendMessage(5, NODE_MSG_TYPE_WITH_ACK, "A", 2);
        tx.SendMessage(5, NODE_MSG_TYPE_WITH_ACK, "B", 0);
        QCOMPARE(sent.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(sent.size() >= 3, 10000);
        for (int i = 1; i < 3; ++i)
        {
            QCOMPARE(Fields(sent.at(i)).type, int(NODE_MSG_TYPE_REPEAT));
            QCOMPARE(Fields(sent.at(i)).order, 0);
            QCOMPARE(Fields(sent.at(i)).payload, QByteArray("A"));
        }
        QCOMPARE(tx.GetRepetitionCount(), DWord(2));
        // A given up: B, queued behind it, goes out rather than waiting for ever; then B is given up too.
        QTRY_VERIFY_WITH_TIMEOUT(sent.size() >= 4, 10000);
        QCOMPARE(Fields(sent.at(3)).payload, QByteArray("B"));
        QCOMPARE(Fields(sent.at(3)).type, int(NODE_MSG_TYPE_WITH_ACK));
        QTRY_COMPARE_WITH_TIMEOUT(tx.GetPendingCount(), 0, 10000);
        const QStringList errors = m_Traces.NewErrors();
        QVERIFY2(errors.filter("Timeout Order : 0 for Node : 5").size() == 1, qPrintable(errors.join('\n')));
        QVERIFY2(errors.filter("Timeout Order : 1 for Node : 5").size() == 1, qPrintable(errors.join('\n')));
        QCOMPARE(sent.size(), 4);
    }

    void damagedMessagesAreDropped_data()
    {
        QTest::addColumn<QByteArray>("content"); // unescaped, CRC included
        QTest::addColumn<QString>("trace");
        QByteArray body = Hex("00 05 00 00 01 AA");
        const Byte crc = TX::ComputeCrc8(body);
        QTest::newRow("crc") << body + char(crc ^ 0x80)
                             << QString("CRC Failed between message CRC : %1 and calculate CRC : %2")
                                    .arg(int(SByte(crc ^ 0x80)))
                                    .arg(int(SByte(crc)));
        const auto sealed = [](const char* hex) { return Hex(hex) + char(TX::ComputeCrc8(Hex(hex))); };
        const QString tooShort = "Data size is incorrect and less than 5 bytes";
        QTest::newRow("short") << sealed("00 05 00 00") << tooShort;
        QTest::newRow("empty") << QByteArray() << tooShort;
        QTest::newRow("type") << sealed("00 05 09 00 01") << "Unknow Message data type";
        QTest::newRow("ack") << sealed("00 05 03 00 01 00") << "Received ack without order";
    }

    void damagedMessagesAreDropped()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, trace);
        TX tx(5);
        RX rx(5, &tx);
        QSignalSpy got(&rx, &RX::SIGNAL_NewMsgAvailable);
        QSignalSpy sent(&tx, &TX::SIGNAL_SendDataOnCom);
        rx.DecodeReceivedData(TX::EscapeAndMark(content));
        QVERIFY(m_Traces.NewErrorEndsWith(trace));
        QCOMPARE(got.size(), 0);
        QCOMPARE(sent.size(), 0);
        rx.DecodeReceivedData(TX::FrameMessage(0, 5, 0, 2, "next"));
        QCOMPARE(got.size(), 1);
    }

    void receptionBufferStaysBounded()
    {
        RX rx(5, nullptr);
        QSignalSpy got(&rx, &RX::SIGNAL_NewMsgAvailable);
        const QByteArray valid = TX::FrameMessage(0, 5, 0, 1, "ok");

        // Garbage without a start marker is not kept, except a trailing 1B.
        rx.DecodeReceivedData(QByteArray(100000, 'g') + "\x1B");
        QCOMPARE(rx.GetBufferedSize(), 1);
        rx.DecodeReceivedData(QByteArray(1, 0x02) + valid.mid(2));
        QCOMPARE(got.size(), 1);

        // A message without an end marker is dropped once it passes the limit.
        rx.DecodeReceivedData(Hex("1B02") + QByteArray(RX::MAX_MESSAGE_SIZE, 'a'));
        QCOMPARE(rx.GetBufferedSize(), RX::MAX_MESSAGE_SIZE);
        rx.DecodeReceivedData(QByteArray(10, 'a'));
        QVERIFY(m_Traces.NewErrorEndsWith("Message dropped: no end marker within 65536 bytes"));
        QCOMPARE(rx.GetBufferedSize(), 0);
        rx.DecodeReceivedData(QByteArray(10, 'a') + Hex("1B03") + valid);
        QCOMPARE(got.size(), 2);

        // An escape followed by anything else drops the message.
        rx.DecodeReceivedData(Hex("1B02 00 05 00 1B 41 00 01") + valid);
        QVERIFY(m_Traces.NewErrorEndsWith("Message dropped: invalid escape sequence 0x1B 0x41"));
        QCOMPARE(got.size(), 3);

        // A start marker inside a message: the unfinished one is dropped, the new one kept.
        rx.DecodeReceivedData(Hex("1B02 00 05 00 00") + valid);
        QVERIFY(m_Traces.NewErrorEndsWith("Message dropped: start marker before its end marker"));
        QCOMPARE(got.size(), 4);
        QCOMPARE(rx.GetBufferedSize(), 0);
    }

    void messagesForOtherNodesAreSentOn()
    {
        TX tx(5);
        RX rx(5, &tx);
        QSignalSpy got(&rx, &RX::SIGNAL_NewMsgAvailable);
        QSignalSpy sent(&tx, &TX::SIGNAL_SendDataOnCom);
        const QByteArray foreign = TX::FrameMessage(0, 9, 1, 3, "\033for nine");
        rx.DecodeReceivedData(foreign);
        QCOMPARE(got.size(), 0);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).at(0).toByteArray(), foreign);
    }
};

QTEST_GUILESS_MAIN(TestNodeMessage)
#include "tst_nodemessage.moc"
