#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "SIM_ClassDevice.h"
#include "SIM_ClassLinkSession.h"
#include "SIM_ClassNodeEndpoint.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"

// The simulator's logic in-process: memory and its state file, option
// parsing, node messages, and the input path under garbage.
class TestSimulatorCore : public QObject
{
    Q_OBJECT

private slots:
    void memoryReadsAndStateFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("state.json");
        CLASS_SIM_DEVICE_MEMORY memory;
        QString error;
        QVERIFY(memory.Load(path, error)); // missing: empty device
        QCOMPARE(memory.ReadAddress(0x1000, 4), QByteArray(4, char(0xFF)));

        memory.StoreResident(0x1000, "ABCD");
        memory.StoreComponent(0x01, 0x1002, "xyz");  // micro content: in the address space
        memory.StoreComponent(0x10, 0x1000, "FPGA"); // another chip: not in it
        QCOMPARE(memory.ReadAddress(0x0FFF, 7), QByteArray("\xFF"
                                                           "ABCDz\xFF"));
        QCOMPARE(memory.ReadComponent(0x10, 6), QByteArray("FPGA\xFF\xFF"));
        QVERIFY(memory.OverlapsResident(0x1003, 10) && !memory.OverlapsResident(0x1004, 10));
        // Reprogramming the resident replaces what it overlaps.
        memory.StoreResident(0x0FFE, "12345");
        QCOMPARE(memory.ResidentSegments().size(), 1);
        QVERIFY(memory.WriteRam(0x1001, "r"));
        QVERIFY(memory.Save(error));

        CLASS_SIM_DEVICE_MEMORY reloaded;
        QVERIFY2(reloaded.Load(path, error), qPrintable(error));
        QCOMPARE(reloaded.ReadAddress(0x0FFE, 6), QByteArray("12345y")); // RAM is not kept
        QCOMPARE(reloaded.Component(0x10).Data, QByteArray("FPGA"));
        QCOMPARE(reloaded.Component(0x01).Address, DWord(0x1002));
    }

    void faultTargets_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("command");
        QTest::addColumn<uint>("occurrence");
        QTest::newRow("name") << "DATA_FILE" << true << "DATA_FILE" << 1u;
        QTest::newRow("name and count") << "CHECK_SHA:3" << true << "CHECK_SHA" << 3u;
        QTest::newRow("count") << "4" << true << "" << 4u;
        QTest::newRow("zero") << "PING:0" << false << "" << 0u;
        QTest::newRow("lower case") << "ping" << false << "" << 0u;
    }
    void faultTargets()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        T_SIM_FAULT_TARGET target;
        QString error;
        QCOMPARE(CLASS_SIM_OPTIONS::ParseFaultTarget(text, target, error), valid);
        if (!valid)
            return;
        QTEST(target.Command, "command");
        QTEST(uint(target.Occurrence), "occurrence");
        // It fires once, on its Nth match.
        T_SIM_FAULTS faults;
        faults.LoseAck = target;
        CLASS_SIM_FAULT_PLAN plan(faults);
        int hits = 0;
        int firstHit = 0;
        for (int i = 1; i <= 10; ++i)
        {
            if (plan.TakeLoseAck(i % 2 ? target.Command : QStringLiteral("OTHER")) && ++hits == 1)
                firstHit = i;
        }
        QCOMPARE(hits, 1);
        QCOMPARE(firstHit,
                 target.Command.isEmpty() ? int(target.Occurrence) : int(2 * target.Occurrence - 1));
    }

    // A repetition is acknowledged but not executed again; the same order with
    // type 1 is a new host starting over; another node's messages are ignored.
    void nodeRepetitions()
    {
        T_SIM_OPTIONS options;
        CLASS_SIM_DEVICE device(options);
        QString error;
        QVERIFY(device.Start(error));
        CLASS_SIM_LINK_SESSION session(&device, "test", false);
        CLASS_SIM_NODE_ENDPOINT endpoint(&device, &session);
        QSignalSpy sent(&session, &CLASS_SIM_LINK_SESSION::SIGNAL_Send);
        QByteArray ping;
        QVERIFY(CLASS_TBP_MVRUPDATER::FormatPing(ping));
        Word hostOrder = 100;
        // Types of the messages the device sends back; its own messages are acknowledged at once.
        auto exchange = [&](Byte destination, Byte type, Word order)
        {
            sent.clear();
            session.Feed(CLASS_NODEMESSAGE_TX::FrameMessage(0, destination, type, order, ping));
            QList<int> types;
            for (int i = 0; i < sent.size(); ++i)
            {
                QByteArray message = sent.at(i).at(0).toByteArray();
                message = message.mid(2, message.size() - 4).replace("\x1B\x1B", "\x1B");
                types << Byte(message.at(2));
                if (Byte(message.at(2)) == NODE_MSG_TYPE_WITH_ACK)
                    session.Feed(CLASS_NODEMESSAGE_TX::FrameMessage(0, options.NodeAddress, NODE_MSG_TYPE_ACK,
                                                                    hostOrder++, message.mid(3, 2)));
            }
            return types;
        };
        QCOMPARE(exchange(1, NODE_MSG_TYPE_WITH_ACK, 5),
                 QList<int>({NODE_MSG_TYPE_ACK, NODE_MSG_TYPE_WITH_ACK}));
        QCOMPARE(exchange(1, NODE_MSG_TYPE_REPEAT, 5), QList<int>({NODE_MSG_TYPE_ACK}));
        QCOMPARE(exchange(1, NODE_MSG_TYPE_WITH_ACK, 5),
                 QList<int>({NODE_MSG_TYPE_ACK, NODE_MSG_TYPE_WITH_ACK}));
        // A repetition whose first copy was lost is executed.
        QCOMPARE(exchange(1, NODE_MSG_TYPE_REPEAT, 6),
                 QList<int>({NODE_MSG_TYPE_ACK, NODE_MSG_TYPE_WITH_ACK}));
        QCOMPARE(exchange(7, NODE_MSG_TYPE_WITH_ACK, 7), QList<int>());
    }

    // Random bytes mixed with pieces of real frames: no crash, bounded
    // buffers, and the link still answers once the host restarts it.
    void garbageInput_data()
    {
        QTest::addColumn<bool>("samba");
        QTest::newRow("plain") << false;
        QTest::newRow("samba") << true;
    }
    void garbageInput()
    {
        QFETCH(bool, samba);
        T_SIM_OPTIONS options;
        CLASS_SIM_DEVICE device(options);
        QString error;
        QVERIFY(device.Start(error));
        CLASS_SIM_LINK_SESSION session(&device, "test", samba);
        CLASS_SIM_NODE_ENDPOINT endpoint(&device, &session);
        QSignalSpy replies(&session, &CLASS_SIM_LINK_SESSION::SIGNAL_Send);
        const QList<QByteArray> pieces{"\x1B\x02", "\x1B\x03",  "\x1B\x1B",  "1SYrst\r\n",
                                       "T#",       "S2000,10#", "R0,40#",    "0,0,VEpac\r\n",
                                       "\r\n",     "#",         "G20000000#"};
        QRandomGenerator random(20261206);
        for (int round = 0; round < 20000; ++round)
        {
            QByteArray chunk;
            const int parts = random.bounded(1, 6);
            for (int i = 0; i < parts; ++i)
            {
                if (random.bounded(4) == 0)
                {
                    // A well-formed message for the device around a random, mostly TBP-like payload.
                    QByteArray payload(random.bounded(0, 40), '\0');
                    for (char& c : payload)
                        c = char(random.bounded(256));
                    if (random.bounded(4) != 0)
                        payload.prepend(QByteArray("\x3A") + char(random.bounded(0x33)) + '\0');
                    chunk += CLASS_NODEMESSAGE_TX::FrameMessage(
                        0, options.NodeAddress, Byte(random.bounded(4)), Word(random.bounded(8)), payload);
                }
                else if (random.bounded(3) == 0)
                    chunk += pieces.at(random.bounded(pieces.size()));
                else
                {
                    QByteArray noise(random.bounded(1, 64), '\0');
                    for (char& c : noise)
                        c = char(random.bounded(256));
                    chunk += noise;
                }
            }
            session.Feed(chunk);
            QVERIFY(session.PendingBytes() <=
                    CLASS_SIM_LINK_SESSION::MAX_NODE_FRAME_BYTES + 64 * 6 + 64 * 1024);
        }
        QVERIFY(replies.count() > 0);
        session.Restart();
        replies.clear();
        session.Feed("0,0,VEpac\r\n");
        QCOMPARE(replies.count(), 1);
        QCOMPARE(replies.first().first().toByteArray(), QByteArray("VEpac,65536\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestSimulatorCore)
#include "tst_simulator_core.moc"
