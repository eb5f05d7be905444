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
        QVERIFY2(run.ExitCode == 0, qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));
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
