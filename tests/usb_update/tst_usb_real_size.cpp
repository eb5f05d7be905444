// Firmware of the sizes devices carry (main 1 MiB, FPGA 16 MiB) over the
// emulated USB device: about 139,000 blocks. The device is a high-speed one
// (512-byte bulk packets); the full-speed 64-byte path is tst_usb_update's.
// Its own executable, so that it runs beside the others.
#include <QTest>

#include "BridgedRun.h"
#include "SimulatorPeers.h"

using namespace UpdateRuns;

namespace
{
// About 450 blocks per second over umockdev (about five minutes), plus the prescribed waits.
const int REAL_SIZE_TIMEOUT_MS = 1500000;
} // namespace

class TST_USB_REAL_SIZE : public QObject
{
    Q_OBJECT
    T_SCRATCH m_Scratch;

private slots:
    void initTestCase() { QVERIFY(m_Scratch.IsValid()); }

    void UpdatesRealSizeFirmwareOverUsb()
    {
        const QString state = m_Scratch.FilePath("state.json");
        SimulatorPeers::SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--udp-port", "0", "--state", state}));
        const QString package =
            m_Scratch.MakePackage("real", {"--sizes", "real", "--main-size", "1M", "--usb"});
        QVERIFY(!package.isEmpty());
        const QString root = m_Scratch.NewRoot();
        const auto run = CLASS_BRIDGED_RUN::Run(T_SCRATCH::Environment(root), simulator.UdpPort(),
                                                {"--packet-size", "512"}, "qrn207-updater",
                                                {"--quiet", "--ktp", package}, REAL_SIZE_TIMEOUT_MS);
        QVERIFY2(run.Finished && run.ExitCode == 0,
                 qPrintable(QString::number(run.ExitCode) + "\n" + run.Output + run.BridgeErrors));
        QVERIFY(run.Output.contains("All reset succeed, go to reboot!"));
        // No answer lost and no transfer refused. (The bulk IN read times out and is
        // traced every 5 s of the main firmware's erase wait: that is the port's way.)
        const QString errors = Traces(root, "ERROR");
        QVERIFY2(!errors.contains("Timeout Order") && !errors.contains("Failed to transfert") &&
                     !errors.contains("Failed to submit"),
                 qPrintable(errors));
        const QHash<int, QByteArray> stored = StoredComponents(state);
        QCOMPARE(stored.value(0x01), m_Scratch.TreeSha1("real", "BINARIES/MICRO/ORLEX_MAIN.bin"));
        QCOMPARE(stored.value(0x10), m_Scratch.TreeSha1("real", "BINARIES/FPGA/CORVAL.bin"));
        QCOMPARE(stored.value(0x00), m_Scratch.TreeSha1("real", "BINARIES/MICRO/ORLEX_RAM.bin"));
    }
};

QTEST_GUILESS_MAIN(TST_USB_REAL_SIZE)
#include "tst_usb_real_size.moc"
