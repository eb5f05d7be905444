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

    // What the device went through: each content committed, each SAM-BA command.
    static QString Road(const QString& log)
    {
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
        return road.join(' ');
    }

private slots:
    void initTestCase() { QVERIFY(m_Scratch.IsValid()); }

    // The power fails in a middle block of the resident boot loader, the main firmware or
    // the FPGA image, on an empty device. The run ends by itself, naming the step; the
    // device started again on the memory of that instant is brought back by the next run.
    // After the main firmware's, that run keeps every prescribed delay at its default.
    // Each package holds only the steps its case needs (steps 4 to 6 cost time, not cover).
    // On an empty device step 2 finds the resident boot loader out of date: the ROM monitor
    // loads the RAM boot loader (terminal mode, write, go), which rewrites the resident one.
    // Torn, it leaves only the ROM monitor: step 2 meets silence and the road is taken again.
    void RecoversFromAPowerCut_data()
    {
        QTest::addColumn<QString>("cut");
        QTest::addColumn<QString>("step");
        QTest::addColumn<QStringList>("absent");  // steps left out of the package
        QTest::addColumn<QStringList>("missing"); // so binaries the device does not get
        QTest::addColumn<QString>("road");        // on the device, in each run
        const QStringList late{"STEP_RAM_PROGRAM_FPGA_0", "STEP_RAM_PROGRAM_EDID_0",
                               "STEP_RAM_PROGRAM_HDCP_0"};
        const QStringList lateBinaries{"FPGA/CORVAL.bin", "EDID/EDID.bin", "HDCP/HDCP.bin"};
        // RAM 20 blocks, the SAM-BA road, resident 24 blocks (recovery package).
        QTest::newRow("resident") << "DATA_FILE:30"
                                  << "STEP_RAM_PROGRAM_RESIDENT" << late << lateBinaries
                                  << "RAM SAMBA_T SAMBA_S SAMBA_G | SAMBA_T SAMBA_S SAMBA_G RESIDENT RAM APP";
        // Main 47 blocks, FPGA 71; nothing before them (the RAM boot loader's step holds nothing back).
        QTest::newRow("main") << "DATA_FILE:20"
                              << "STEP_RAM_PROGRAM_MAIN" << QStringList("STEP_RESIDENT_PROGRAM_RAM") + late
                              << QStringList("MICRO/ORLEX_RAM.bin") + lateBinaries << " | APP";
        QTest::newRow("fpga") << "DATA_FILE:80"
                              << "STEP_RAM_PROGRAM_FPGA_0"
                              << QStringList("STEP_RESIDENT_PROGRAM_RAM") + late.mid(1)
                              << QStringList("MICRO/ORLEX_RAM.bin") + lateBinaries.mid(1) << "APP | FPGA_0";
    }
    void RecoversFromAPowerCut()
    {
        QFETCH(QString, cut);
        QFETCH(QString, step);
        QFETCH(QStringList, absent);
        QFETCH(QStringList, missing);
        const QString name = QString("cut-") + QTest::currentDataTag();
        const QString state = m_Scratch.FilePath(name + ".json");
        const QString log = m_Scratch.FilePath(name + ".jsonl");
        SimulatorPeers::SimulatorProcess device;
        QVERIFY(
            device.Start({"--samba-udp-port", "0", "--state", state, "--power-cut-at", cut, "--log", log}));
        const QString port = device.Announced("samba-udp-port");
        const bool recovery = step == "STEP_RAM_PROGRAM_RESIDENT";
        const QString package =
            m_Scratch.MakePackage(name, QStringList{"--udp-port", port, "--without", absent.join(',')} +
                                            (recovery ? QStringList{"--recovery"} : QStringList()));
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
        const QString interrupted = Road(log);
        QVERIFY(device.Start({"--samba-udp-port", port, "--state", state, "--log", log}));
        const bool defaults = step == "STEP_RAM_PROGRAM_MAIN";
        QElapsedTimer elapsed;
        elapsed.start();
        run = RunUpdater(defaults ? TestSupport::IsolatedEnvironment(root) : environment, {"--quiet"});
        QVERIFY2(run.ExitCode == 0 && run.Output.contains("Reset succeed - CARD_BOX\nAll reset succeed, go to reboot!\n"),
                 qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));
        // Nothing shortened: at least the 5 s start wait of each of its two steps.
        QVERIFY(!defaults || elapsed.elapsed() >= 2 * 5000);
        QTEST(interrupted + " | " + Road(log), "road");
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

    // Checks below end after the extraction (no configuration at that path) and print the
    // version of the package used.
    QString VersionPackage(const QString& version)
    {
        const QString path = m_Scratch.FilePath("packages/" + version + ".ktp");
        return QFile::exists(path) ? path : m_Scratch.MakePackage(version, {"--version", version});
    }

    // Killed (SIGKILL) at each point of a take-in: the next start uses the package kept
    // before (the new one once it has taken its place), and neither the copy
    // coming in nor the package set aside is left.
    void InterruptedTakeInIsSettledAtTheNextStart_data()
    {
        QTest::addColumn<QString>("point");
        QTest::addColumn<QString>("kept");
        QTest::newRow("new one copied in") << "copied"
                                           << "01.00.00";
        QTest::newRow("old one set aside") << "set-aside"
                                           << "01.00.00";
        QTest::newRow("new one in place") << "placed"
                                          << "02.00.00";
    }
    void InterruptedTakeInIsSettledAtTheNextStart()
    {
        QFETCH(QString, point);
        QFETCH(QString, kept);
        const QString root = m_Scratch.NewRoot();
        const QString local = root + "/data/qrn207-updater";
        QVERIFY(QDir().mkpath(local) && QFile::copy(VersionPackage("01.00.00"), local + "/01.00.00.ktp"));
        QProcessEnvironment environment = T_SCRATCH::Environment(root);
        environment.insert("QRN207_TEST_TAKE_IN_KILL", point);
        const T_RUN killed = RunUpdater(environment, {"--quiet", "--ktp", VersionPackage("02.00.00")});
        QVERIFY(killed.ExitCode == -1 && killed.Output.contains("take-in killed at " + point));
        environment.remove("QRN207_TEST_TAKE_IN_KILL");
        const T_RUN next = RunUpdater(environment, {"--quiet", "-c", root + "/none.json"});
        QVERIFY2(next.ExitCode == 2 && next.Output.contains("Updater configuration version: " + kept),
                 qPrintable(next.Output));
        QCOMPARE(QDir(local).entryList(QDir::Files), QStringList{kept + ".ktp"});
    }

    // The decrypted firmware and all beside it are this account's alone, even
    // in a work folder that was left open to every account.
    void WorkFolderIsPrivate()
    {
        const QString root = m_Scratch.NewRoot();
        const QString work = root + "/tmp/BOX_UPDATER";
        QVERIFY(QDir().mkpath(work) && QFile::setPermissions(work, QFileDevice::Permissions(0x7777)));
        const QStringList arguments{"--quiet", "-c", root + "/none.json", "--ktp",
                                    VersionPackage("01.00.00")};
        QCOMPARE(RunUpdater(T_SCRATCH::Environment(root), arguments).ExitCode, 2);
        for (const char* name : {"", "/UPDATER.tar.gz", "/UPDATER.tar", "/PackageExtraction/CONF",
                                 "/PackageExtraction/BINARIES/MICRO/ORLEX_MAIN.bin"})
            QVERIFY2(QFileInfo::exists(work + name) && !(QFileInfo(work + name).permissions() & 0x0077),
                     qPrintable(name));
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
