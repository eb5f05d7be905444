// Quiet mode end to end: the real qrn207-updater, ktp-tool, openssl, 7-Zip and
// the device simulator, each run in its own HOME, XDG_DATA_HOME and TMPDIR.
// Whole updates over UDP and a serial link are tst_real_size's.
#include <QTest>

#include "UpdateRuns.h"

using namespace UpdateRuns;

class TST_QUIET_UPDATE : public QObject
{
    Q_OBJECT
private:
    T_SCRATCH m_Scratch;

private slots:
    void initTestCase() { QVERIFY(m_Scratch.IsValid()); }

    // A stale resident boot loader: step 2 finds it out of date, the ROM
    // monitor loads the RAM boot loader (step 0), which rewrites the resident
    // one (step 1), and step 2 runs again before the update goes on.
    void TakesTheRecoveryRoad()
    {
        const QString state = m_Scratch.FilePath("recovery-state.json");
        const QString log = m_Scratch.FilePath("recovery-log.jsonl");
        QVERIFY(WriteStaleResidentState(state));
        SimulatorPeers::SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--samba-udp-port", "0", "--state", state, "--log", log}));
        const QString package = m_Scratch.MakePackage(
            "recovery", {"--udp-port", simulator.Announced("samba-udp-port"), "--recovery"});
        QVERIFY(!package.isEmpty());
        const T_RUN run =
            RunUpdater(T_SCRATCH::Environment(m_Scratch.NewRoot()), {"--quiet", "--ktp", package});
        QVERIFY2(run.ExitCode == 0, qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));
        QVERIFY2(run.Output.contains("Updater \"BOX_STEP_RESIDENT_PROGRAM_RAM\" has encountered an error!"),
                 qPrintable(run.Output));
        QVERIFY(run.Output.contains("All reset succeed, go to reboot!"));
        // On the device: the RAM boot loader loaded by the resident one, then
        // the ROM monitor driven (terminal mode, writes, go), the resident
        // boot loader rewritten, the RAM boot loader loaded again, the rest.
        QStringList road;
        for (const QJsonObject& event : Events(log))
        {
            const QString command = event.value("command").toString();
            QString step;
            if (command == "COMMIT")
                step = event.value("attributes").toObject().value("component").toString();
            else if (event.value("direction").toString() == "rx" && command.startsWith("SAMBA_"))
                step = command;
            if (!step.isEmpty() && (road.isEmpty() || road.last() != step))
                road << step;
        }
        QCOMPARE(road.join(' '),
                 QString("RAM SAMBA_T SAMBA_S SAMBA_G RESIDENT RAM APP FPGA_0 EDID_0 HDCP_0"));
        const QJsonArray resident =
            QJsonDocument::fromJson(ReadFile(state)).object().value("resident").toArray();
        QCOMPARE(resident.size(), 1);
        QCOMPARE(Sha1(QByteArray::fromBase64(resident.at(0).toObject().value("data").toString().toLatin1())),
                 m_Scratch.TreeSha1("recovery", "BINARIES/MICRO/ORLEX_RESIDENT.bin"));
        QCOMPARE(m_Scratch.MissingOnDevice(state, "recovery"), QStringList());
    }

    // package: what the sample's CONF/components.json is replaced with (nothing
    // when empty), or "garbage": a package that does not decrypt. A missing
    // package is tst_startup's.
    void EndsWithTheCodeOfItsFailure_data()
    {
        QTest::addColumn<QString>("package");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outputText");
        QTest::newRow("unparsable configuration")
            << "{\"box_updater_cards\": [" << 2 << "Invalid configurations file at path";
        QTest::newRow("no card") << "{\"box_updater_cards\": []}" << 2
                                 << "Invalid configurations file at path";
        QTest::newRow("package that does not decrypt") << "garbage" << 3 << "abort updater!";
        QTest::newRow("boot-loader error")
            << "" << 4 << "We have encountered an error on the updater, abort updater!";
    }
    void EndsWithTheCodeOfItsFailure()
    {
        QFETCH(QString, package);
        QFETCH(int, exitCode);
        const QString root = m_Scratch.NewRoot();
        SimulatorPeers::SimulatorProcess simulator;
        const QString log = root + "/device.jsonl";
        QVERIFY(simulator.Start({"--udp-port", "0", "--log", log, "--fault-error", "5@DATA_FILE:3"}));
        QString path = root + "/" + package + ".ktp";
        if (package == "garbage")
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096);
        }
        else
        {
            path = m_Scratch.MakePackage(QString::number(m_Scratch.CaseNumber()),
                                         {"--udp-port", QString::number(simulator.UdpPort())},
                                         [package](const QString& tree)
                                         {
                                             QFile file(tree + "/CONF/components.json");
                                             if (!package.isEmpty() && file.open(QIODevice::WriteOnly))
                                                 file.write(package.toUtf8());
                                         });
            QVERIFY(!path.isEmpty());
        }
        const T_RUN run = RunUpdater(T_SCRATCH::Environment(root), {"--quiet", "--ktp", path});
        QVERIFY2(run.Finished && run.ExitCode == exitCode,
                 qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));
        QFETCH(QString, outputText);
        QVERIFY2(run.Output.contains(outputText), qPrintable(run.Output));
        // Nothing reached the device: no update was started.
        if (exitCode != 4)
            QCOMPARE(CountEvents(Events(log), "rx", "PING"), 0);
    }
};

QTEST_GUILESS_MAIN(TST_QUIET_UPDATE)
#include "tst_quiet_update.moc"
