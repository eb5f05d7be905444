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
