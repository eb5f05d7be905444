#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "SIM_ClassDevice.h"
#include "SIM_ClassLinkSession.h"
#include "SIM_ClassNodeEndpoint.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"

// The simulator's logic in-process: memory and its state file, node messages,
// the device's time and power cuts.
namespace
{
// A host on one session: sends node messages and acknowledges the device's at once.
struct Host
{
    CLASS_SIM_LINK_SESSION& Session;
    QSignalSpy Sent{&Session, &CLASS_SIM_LINK_SESSION::SIGNAL_Send};
    Word Order = 100;
    int Read = 0;

    // Types and TBP command names of what the device sent since the last call.
    QStringList Take()
    {
        QStringList taken;
        for (; Read < Sent.size(); ++Read)
        {
            QByteArray message = Sent.at(Read).at(0).toByteArray();
            message = message.mid(2, message.size() - 4).replace("\x1B\x1B", "\x1B");
            const Byte type = Byte(message.at(2));
            taken << QString::number(type) +
                         CLASS_SIM_BOOT_LOADER::CommandName(message.mid(5, message.size() - 6));
            if (type == NODE_MSG_TYPE_WITH_ACK)
                Session.Feed(
                    CLASS_NODEMESSAGE_TX::FrameMessage(0, 1, NODE_MSG_TYPE_ACK, Order++, message.mid(3, 2)));
        }
        return taken;
    }
    QStringList Send(const QByteArray& frame, Byte destination = 1, Byte type = NODE_MSG_TYPE_WITH_ACK,
                     Word order = 0)
    {
        Session.Feed(
            CLASS_NODEMESSAGE_TX::FrameMessage(0, destination, type, order ? order : Order++, frame));
        return Take();
    }
};
} // namespace

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
        Host host{session};
        QByteArray ping;
        QVERIFY(CLASS_TBP_MVRUPDATER::FormatPing(ping));
        QCOMPARE(host.Send(ping, 1, NODE_MSG_TYPE_WITH_ACK, 5), QStringList({"3", "1ACK"}));
        QCOMPARE(host.Send(ping, 1, NODE_MSG_TYPE_REPEAT, 5), QStringList({"3"}));
        QCOMPARE(host.Send(ping, 1, NODE_MSG_TYPE_WITH_ACK, 5), QStringList({"3", "1ACK"}));
        // A repetition whose first copy was lost is executed.
        QCOMPARE(host.Send(ping, 1, NODE_MSG_TYPE_REPEAT, 6), QStringList({"3", "1ACK"}));
        QCOMPARE(host.Send(ping, 7, NODE_MSG_TYPE_WITH_ACK, 7), QStringList());
    }

    // START_SEND erases the resident boot loader and answers once the erase is over,
    // reading nothing meanwhile; blocks are stored as written. Power lost at the second
    // block: restarted on the saved state, only the ROM monitor answers until SAM-BA's go.
    void flashTimeAndPowerCut()
    {
        QTemporaryDir dir;
        T_SIM_OPTIONS options;
        options.StatePath = dir.filePath("state.json");
        options.Timing.EraseMsPerUnit = 128000; // 1 ms per byte
        QString error;
        QVERIFY(CLASS_SIM_OPTIONS::ParseFaultTarget("DATA_FILE:2", options.Faults.PowerCut, error));
        QByteArray setAddr, startSend, blockA, blockB, ping;
        QVERIFY(CLASS_TBP_MVRUPDATER::FormatSetAddr(setAddr, 0x400000) &&
                CLASS_TBP_MVRUPDATER::FormatStartSend(startSend, 300) &&
                CLASS_TBP_MVRUPDATER::FormatDataFile(blockA, QByteArray(128, 'A'), 128) &&
                CLASS_TBP_MVRUPDATER::FormatDataFile(blockB, QByteArray(128, 'B'), 128) &&
                CLASS_TBP_MVRUPDATER::FormatPing(ping));
        {
            CLASS_SIM_DEVICE device(options);
            QVERIFY(device.Start(error));
            CLASS_SIM_LINK_SESSION session(&device, "test", true);
            CLASS_SIM_NODE_ENDPOINT endpoint(&device, &session);
            Host host{session};
            QCOMPARE(host.Send(setAddr), QStringList({"3", "1ACK"}));
            QElapsedTimer erase;
            erase.start();
            QCOMPARE(host.Send(startSend), QStringList({"3"}));
            QCOMPARE(host.Send(blockA), QStringList());
            QTRY_VERIFY(!device.IsBusy());
            QCOMPARE(host.Take(), QStringList({"1ACK", "3", "1ACK"}));
            QVERIFY(erase.elapsed() >= 300);
            QCOMPARE(host.Send(blockB), QStringList({"3"}));
            QCOMPARE(host.Send(ping), QStringList());
        }
        options.Faults = T_SIM_FAULTS();
        CLASS_SIM_DEVICE device(options);
        QVERIFY(device.Start(error));
        QCOMPARE(device.Memory().ReadAddress(0x400000, 300),
                 QByteArray(128, 'A') + QByteArray(128, 'B') + QByteArray(44, '\xFF'));
        CLASS_SIM_LINK_SESSION session(&device, "test", true);
        CLASS_SIM_NODE_ENDPOINT endpoint(&device, &session);
        Host host{session};
        QCOMPARE(host.Send(ping), QStringList());
        session.Feed("S20001000,00000004#RAM!G20001000#");
        QCOMPARE(host.Send(ping), QStringList({"3", "1ACK"}));
    }
};

QTEST_GUILESS_MAIN(TestSimulatorCore)
#include "tst_simulator_core.moc"
