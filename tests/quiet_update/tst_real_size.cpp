// Firmware of the sizes devices carry (main 1.5 MiB, FPGA 16 MiB), end to end:
// the real qrn207-updater against the device simulator over UDP and over a
// pseudo-terminal, the simulator keeping a device's time (it erases 18.4 s
// after the main firmware's START_SEND, reading nothing meanwhile). The first run programs everything; the
// second finds it all up to date and sends only the RAM boot loader.
#include <QTest>

#include "UpdateRuns.h"

using namespace UpdateRuns;

class TST_REAL_SIZE : public QObject
{
    Q_OBJECT
private:
    T_SCRATCH m_Scratch;

    // done: the main firmware's progress ("NAME: P% - done/total octets"), as a regular expression.
    static void VerifySucceeded(const T_RUN& run, const QString& root, const QString& done)
    {
        QVERIFY2(run.Finished && run.ExitCode == 0,
                 qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));
        for (const QString& line :
             QStringList{"Updater configuration version: 01.00.00", "Reset succeed - CARD_BOX",
                         "All reset succeed, go to reboot!",
                         "BOX_STEP_RAM_PROGRAM_MAIN_\\d+: \\d+% - " + done + "/1572864 octets"})
            QVERIFY2(QRegularExpression("^" + line + "$", QRegularExpression::MultilineOption)
                         .match(run.Output)
                         .hasMatch(),
                     qPrintable(line + "\n" + run.Output));
        QVERIFY(!run.Output.contains("has encountered an error"));
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
        SimulatorPeers::SimulatorProcess first;
        QVERIFY(first.Start(linkArguments + QStringList{"--state", state}));
        const QString package = m_Scratch.MakePackage(
            link, QStringList{"--sizes", "real"} +
                      (link == "udp" ? QStringList{"--udp-port", QString::number(first.UdpPort())}
                                     : QStringList{"--serial", ptyLink}));
        QVERIFY(!package.isEmpty());
        const QString root = m_Scratch.NewRoot();
        VerifySucceeded(RunUpdater(T_SCRATCH::Environment(root), {"--quiet", "--ktp", package}), root,
                        "\\d+");
        QCOMPARE(m_Scratch.MissingOnDevice(state, link), QStringList());

        // The same device, switched off and on: every block of every check passes.
        first.Stop();
        const QString log = m_Scratch.FilePath(link + "-second.jsonl");
        SimulatorPeers::SimulatorProcess second;
        QVERIFY(second.Start(
            (link == "udp" ? QStringList{"--udp-port", QString::number(first.UdpPort())} : linkArguments) +
            QStringList{"--state", state, "--log", log}));
        VerifySucceeded(RunUpdater(T_SCRATCH::Environment(root), {"--quiet"}), root, "0");
        const QList<QJsonObject> events = Events(log);
        QCOMPARE(CountEvents(events, "tx", "VERSION_STATUS"), 1536);       // 1.5 MiB in 1 KiB check blocks
        QCOMPARE(CountEvents(events, "tx", "FPGA_VERSION_STATUS"), 16384); // 16 MiB
        QCOMPARE(CountEvents(events, "rx", "DATA_FILE"), 256);             // 32 KiB in 128-byte blocks
        QCOMPARE(CountEvents(events, "rx", "ABORT"), 6);                   // one per step, none after a check
    }
};

QTEST_GUILESS_MAIN(TST_REAL_SIZE)
#include "tst_real_size.moc"
