#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "SIM_ClassDevice.h"
#include "SIM_ClassLinkSession.h"
#include "SIM_ClassNodeEndpoint.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"

// The simulator's logic in-process: memory and its state file, and node
// messages.
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
};

QTEST_GUILESS_MAIN(TestSimulatorCore)
#include "tst_simulator_core.moc"
