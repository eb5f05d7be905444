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
        QVERIFY2(run.Output.contains("Updater \"BOX_STEP_RESIDENT_PROGRAM_RAM\" has encountered an error!") &&
                     run.Output.contains("Reset succeed - CARD_BOX\nAll reset succeed, go to reboot!\n"),
                 qPrintable(run.Output));
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

    // edit: "garbage" (a package that does not decrypt, beside a good kept package),
    // "json:TEXT" (the configuration replaced), "no main step", "incompatible" (and no version).
    // faults: the simulator's, or "absent" for no device at all. Every text must be in the
    // output or the traces. A refused package starts no update: the device hears nothing.
    void EndsWithTheCodeOfItsFailure_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("texts");
        const QString rejected = "Invalid configurations file at path";
        QTest::newRow("no card") << "json:{\"box_updater_cards\": []}" << QStringList() << 2
                                 << QStringList{rejected, "describes no card"};
        QTest::newRow("no main firmware step")
            << "no main step" << QStringList() << 2
            << QStringList{rejected, "cannot found main communication data"};
        QTest::newRow("package that does not decrypt")
            << "garbage" << QStringList() << 3
            << QStringList{"The KTP package \"%PACKAGE%\" cannot be decrypted, extracted or lacks files, "
                           "abort updater!\n"};
        QTest::newRow("boot loader error over UDP")
            << "" << QStringList{"--fault-error", "9@SET_ADDR"} << 4
            << QStringList{"Message: Wrong target identification(9)", "has encountered an error!",
                           "We have encountered an error on the updater, abort updater!"};
        QTest::newRow("no device, no version, incompatible")
            << "incompatible" << QStringList{"absent"} << 4
            << QStringList{"Updater configuration version: XXX\n",
                           "The package is not compatible, please update the software\n",
                           "Timeout encountered during initialization updater, abort updater!\n"};
    }
    void EndsWithTheCodeOfItsFailure()
    {
        QFETCH(QString, edit);
        QFETCH(QStringList, faults);
        QFETCH(QStringList, texts);
        const QString root = m_Scratch.NewRoot(), log = root + "/device.jsonl";
        SimulatorPeers::SimulatorProcess simulator;
        const bool device = faults != QStringList{"absent"};
        QVERIFY(!device || simulator.Start(QStringList{"--udp-port", "0", "--log", log} + faults));
        const QString port = device ? QString::number(simulator.UdpPort()) : "9";
        const QStringList sample =
            QStringList{"--udp-port", port} + QStringList{"--incompatible"}.mid(edit != "incompatible");
        QString path = m_Scratch.MakePackage(QFileInfo(root).fileName(), sample,
                                             [edit](const QString& tree) { EditTree(tree, edit); });
        QVERIFY(!path.isEmpty());
        if (edit == "garbage") // the good package is the one kept; the one given cannot be used
        {
            QVERIFY(QDir().mkpath(root + "/data/qrn207-updater") &&
                    QFile::rename(path, root + "/data/qrn207-updater/kept.ktp"));
            QFile garbage(path = root + "/garbage.ktp");
            QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(4096, 'x')) == 4096);
        }
        QProcessEnvironment environment = T_SCRATCH::Environment(root);
        environment.insert("QRN207_TEST_INACTIVITY_TIMEOUT_MS", "500");
        const T_RUN run = RunUpdater(environment, {"--quiet", "--ktp", path});
        QTEST(run.ExitCode, "exitCode");
        const QString seen = run.Output + Traces(root, "ERROR") + Traces(root, "INFO");
        for (const QString& text : texts)
            QVERIFY2(seen.contains(QString(text).replace("%PACKAGE%", path)), qPrintable(text + "\n" + seen));
        QVERIFY2(run.ExitCode != 3 || !run.Output.contains("Updater configuration version"),
                 qPrintable(seen));
        QVERIFY(run.ExitCode == 4 || Events(log).isEmpty());
    }

private:
    static void EditTree(const QString& tree, const QString& edit)
    {
        QFile file(tree + (edit == "incompatible" ? "/CONF/version.ini" : "/CONF/components.json"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QString content = QString::fromUtf8(file.readAll());
        if (edit.startsWith("json:"))
            content = edit.mid(5);
        else if (edit == "incompatible")
            content.replace("version=", "edition=");
        else if (edit == "no main step")
            content.remove(QRegularExpression(
                "\\{([^{}]|\\{[^{}]*\\})*\"STEP_RAM_PROGRAM_MAIN\"([^{}]|\\{[^{}]*\\})*\\},"));
        QVERIFY(file.resize(0) && file.write(content.toUtf8()) > 0);
    }
};

QTEST_GUILESS_MAIN(TST_QUIET_UPDATE)
#include "tst_quiet_update.moc"
