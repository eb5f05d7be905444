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

    // The power fails in a middle block of the resident boot loader, the main firmware or
    // the FPGA image, on an empty device. The run ends by itself, naming the step; the
    // device started again on the memory of that instant is brought back by the next run.
    // After the main firmware's, that run keeps every prescribed delay at its default.
    // Each package holds only the steps its case needs (steps 4 to 6 cost time, not cover).
    void RecoversFromAPowerCut_data()
    {
        QTest::addColumn<QString>("cut");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QStringList>("absent");  // steps left out of the package
        QTest::addColumn<QStringList>("missing"); // so binaries the device does not get
        const QStringList late{"STEP_RAM_PROGRAM_FPGA_0", "STEP_RAM_PROGRAM_EDID_0",
                               "STEP_RAM_PROGRAM_HDCP_0"};
        const QStringList lateBinaries{"FPGA/CORVAL.bin", "EDID/EDID.bin", "HDCP/HDCP.bin"};
        // RAM 20 blocks, the SAM-BA road, resident 24 blocks (recovery package).
        QTest::newRow("resident") << "DATA_FILE:30"
                                  << "STEP_RAM_PROGRAM_RESIDENT" << late << lateBinaries;
        // Main 47 blocks, FPGA 71; nothing before them (the RAM boot loader's step holds nothing back).
        QTest::newRow("main") << "DATA_FILE:20"
                              << "STEP_RAM_PROGRAM_MAIN" << QStringList("STEP_RESIDENT_PROGRAM_RAM") + late
                              << QStringList("MICRO/ORLEX_RAM.bin") + lateBinaries;
        QTest::newRow("fpga") << "DATA_FILE:80"
                              << "STEP_RAM_PROGRAM_FPGA_0"
                              << QStringList("STEP_RESIDENT_PROGRAM_RAM") + late.mid(1)
                              << QStringList("MICRO/ORLEX_RAM.bin") + lateBinaries.mid(1);
    }
    void RecoversFromAPowerCut()
    {
        QFETCH(QString, cut);
        QFETCH(QString, step);
        QFETCH(QStringList, absent);
        QFETCH(QStringList, missing);
        const QString name = QString("cut-") + QTest::currentDataTag();
        const QString state = m_Scratch.FilePath(name + ".json");
        SimulatorPeers::SimulatorProcess device;
        QVERIFY(device.Start({"--samba-udp-port", "0", "--state", state, "--power-cut-at", cut}));
        const QString port = device.Announced("samba-udp-port");
        const bool recovery = step == "STEP_RAM_PROGRAM_RESIDENT";
        const QString package = m_Scratch.MakePackage(
            name, QStringList{"--udp-port", port} + (recovery ? QStringList{"--recovery"} : QStringList()),
            [absent](const QString& tree)
            {
                QFile file(tree + "/CONF/components.json");
                QJsonObject document = QJsonDocument::fromJson(ReadFile(file.fileName())).object();
                QJsonObject card = document["box_updater_cards"].toArray().at(0).toObject();
                QJsonObject components = card["components"].toObject();
                QJsonArray kept;
                for (const QJsonValue& component : components["basics"].toArray())
                    if (!absent.contains(component.toObject().value("name").toString()))
                        kept << component;
                components["basics"] = kept;
                card["components"] = components;
                document["box_updater_cards"] = QJsonArray{card};
                if (file.open(QIODevice::WriteOnly))
                    file.write(QJsonDocument(document).toJson());
            });
        QVERIFY(!package.isEmpty());
        const QString root = m_Scratch.NewRoot();
        QProcessEnvironment environment = T_SCRATCH::Environment(root);
        environment.insert("QRN207_TEST_START_WAIT_MS", "0");
        environment.insert("QRN207_TEST_INACTIVITY_TIMEOUT_MS", "1500");
        T_RUN run = RunUpdater(environment, {"--quiet", "--ktp", package});
        QVERIFY2(run.ExitCode == 4 &&
                     QRegularExpression("Updater \"BOX_" + step + "[^\"]*\" has encountered an error!")
                         .match(run.Output)
                         .hasMatch(),
                 qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));

        device.Stop();
        QVERIFY(device.Start({"--samba-udp-port", port, "--state", state}));
        const bool defaults = step == "STEP_RAM_PROGRAM_MAIN";
        QElapsedTimer elapsed;
        elapsed.start();
        run = RunUpdater(defaults ? TestSupport::IsolatedEnvironment(root) : environment, {"--quiet"});
        QVERIFY2(run.ExitCode == 0, qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));
        // Nothing shortened: at least the 5 s start wait of each of its two steps.
        QVERIFY(!defaults || elapsed.elapsed() >= 2 * 5000);
        // Byte-equal to the package, but for the binaries of the steps left out.
        QCOMPARE(m_Scratch.MissingOnDevice(state, name), missing);
        const QJsonObject stored = QJsonDocument::fromJson(ReadFile(state)).object();
        QVERIFY(!stored.value("resident_torn").toBool());
        if (recovery)
            QCOMPARE(
                Sha1(QByteArray::fromBase64(
                    stored.value("resident").toArray().at(0).toObject().value("data").toString().toLatin1())),
                m_Scratch.TreeSha1(name, "BINARIES/MICRO/ORLEX_RESIDENT.bin"));
    }

    // package: what the sample's CONF/components.json is replaced with, or
    // "garbage": a package that does not decrypt. No device: no update may start.
    // A missing package is tst_startup's, a failing device tst_usb_update's.
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
    }
    void EndsWithTheCodeOfItsFailure()
    {
        QFETCH(QString, package);
        QFETCH(QString, outputText);
        const QString root = m_Scratch.NewRoot();
        QString path = root + "/garbage.ktp";
        QFile garbage(path);
        if (package == "garbage")
            QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(4096, 'x')) == 4096);
        else
            path = m_Scratch.MakePackage(QFileInfo(root).fileName(), {},
                                         [package](const QString& tree)
                                         {
                                             QFile file(tree + "/CONF/components.json");
                                             if (file.open(QIODevice::WriteOnly))
                                                 file.write(package.toUtf8());
                                         });
        garbage.close();
        QVERIFY(!path.isEmpty());
        const T_RUN run = RunUpdater(T_SCRATCH::Environment(root), {"--quiet", "--ktp", path});
        QTEST(run.ExitCode, "exitCode");
        QVERIFY2(run.Output.contains(outputText), qPrintable(run.Output));
    }
};

QTEST_GUILESS_MAIN(TST_QUIET_UPDATE)
#include "tst_quiet_update.moc"
