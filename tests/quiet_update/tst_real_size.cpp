// Firmware of the sizes devices carry (main 1.5 MiB, FPGA 16 MiB), end to end:
// the real qrn207-updater against the device simulator over UDP and over a
// pseudo-terminal. The first run programs everything; the second finds it all
// up to date and sends only the RAM boot loader.
#include <QTest>

#include "SimulatorPeers.h"
#include "UpdateRuns.h"

using namespace UpdateRuns;

namespace
{
const int SHA_BLOCK_BYTES = 1024; // the simulator's default check block
const int DATA_BLOCK_BYTES = 128;
const int RAM_BYTES = 32 * 1024;
const int MAIN_BYTES = 3 * 512 * 1024;
const int FPGA_BYTES = 16 * 1024 * 1024;

int CountSent(const QList<QJsonObject>& events, const QString& command)
{
    int count = 0;
    for (const QJsonObject& event : events)
        count += event.value("direction").toString() == "tx" && event.value("command").toString() == command;
    return count;
}
} // namespace

class TST_REAL_SIZE : public QObject
{
    Q_OBJECT
private:
    T_SCRATCH m_Scratch;

    void VerifySucceeded(const T_RUN& run, const QString& root)
    {
        QVERIFY2(run.Finished && run.ExitCode == 0,
                 qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));
        QVERIFY2(run.Output.contains("All reset succeed, go to reboot!"), qPrintable(run.Output));
        // The erase wait of the main firmware (about 23 s) is neither device silence
        // nor a lost answer.
        const QString errors = Traces(root, "ERROR");
        QVERIFY2(!errors.contains("Timeout Order") && !errors.contains("timeout"), qPrintable(errors));
    }

private slots:
    void initTestCase() { QVERIFY(m_Scratch.IsValid()); }

    void UpdatesRealSizeFirmware_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("udp") << "udp";
        QTest::newRow("pseudo-terminal") << "pty";
    }

    void UpdatesRealSizeFirmware()
    {
        QFETCH(QString, link);
        const QString state = m_Scratch.FilePath(link + "-state.json");
        const QString ptyLink = m_Scratch.FilePath(link + "-tty");
        const QStringList linkArguments =
            link == "udp" ? QStringList{"--udp-port", "0"} : QStringList{"--pty-link", ptyLink};

        // An empty device: every check mismatches at its first block and is aborted.
        auto simulator = std::make_unique<SimulatorPeers::SimulatorProcess>();
        QVERIFY(simulator->Start(linkArguments + QStringList{"--state", state}));
        const QString package = m_Scratch.MakePackage(
            link, QStringList{"--sizes", "real"} +
                      (link == "udp" ? QStringList{"--udp-port", QString::number(simulator->UdpPort())}
                                     : QStringList{"--serial", ptyLink}));
        QVERIFY(!package.isEmpty());
        const QString root = m_Scratch.NewRoot();
        VerifySucceeded(RunUpdater(T_SCRATCH::Environment(root), {"--quiet", "--ktp", package}), root);
        const QHash<int, QByteArray> stored = StoredComponents(state);
        QCOMPARE(stored.value(0x00), m_Scratch.TreeSha1(link, "BINARIES/MICRO/ORLEX_RAM.bin"));
        QCOMPARE(stored.value(0x01), m_Scratch.TreeSha1(link, "BINARIES/MICRO/ORLEX_MAIN.bin"));
        QCOMPARE(stored.value(0x10), m_Scratch.TreeSha1(link, "BINARIES/FPGA/CORVAL.bin"));
        QCOMPARE(stored.value(0x20), m_Scratch.TreeSha1(link, "BINARIES/EDID/EDID.bin"));
        QCOMPARE(stored.value(0x40), m_Scratch.TreeSha1(link, "BINARIES/HDCP/HDCP.bin"));

        // The same device, switched off and on: every block of every check passes.
        const QString port = QString::number(simulator->UdpPort());
        simulator.reset();
        const QString log = m_Scratch.FilePath(link + "-second.jsonl");
        simulator = std::make_unique<SimulatorPeers::SimulatorProcess>();
        const QStringList secondLink = link == "udp" ? QStringList{"--udp-port", port} : linkArguments;
        QVERIFY(simulator->Start(secondLink + QStringList{"--state", state, "--log", log}));
        VerifySucceeded(RunUpdater(T_SCRATCH::Environment(root), {"--quiet"}), root);
        const QList<QJsonObject> events = Events(log);
        QCOMPARE(CountSent(events, "VERSION_STATUS"), MAIN_BYTES / SHA_BLOCK_BYTES);
        QCOMPARE(CountSent(events, "FPGA_VERSION_STATUS"), FPGA_BYTES / SHA_BLOCK_BYTES);
        QCOMPARE(CountReceived(events, "DATA_FILE"), RAM_BYTES / DATA_BLOCK_BYTES);
        QCOMPARE(CountReceived(events, "ABORT"), 6); // one per step, none after a check
    }
};

QTEST_GUILESS_MAIN(TST_REAL_SIZE)
#include "tst_real_size.moc"
