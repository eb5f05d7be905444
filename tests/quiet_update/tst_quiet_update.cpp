// Quiet mode end to end: the real qrn207-updater, ktp-tool, openssl, 7-Zip and
// the device simulator, each run in its own HOME, XDG_DATA_HOME and TMPDIR.
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include "SimulatorPeers.h"
#include "TestSupport.h"
#include "UpdateRuns.h"

using namespace UpdateRuns;

class TST_QUIET_UPDATE : public QObject
{
    Q_OBJECT
private:
    T_SCRATCH m_Scratch;

    QString NewRoot(const QString& tmpName = QStringLiteral("tmp")) { return m_Scratch.NewRoot(tmpName); }
    static QProcessEnvironment Environment(const QString& root,
                                           const QString& tmpName = QStringLiteral("tmp"))
    {
        return T_SCRATCH::Environment(root, tmpName);
    }
    QString MakePackage(const QString& name, const QStringList& sampleArguments,
                        const std::function<void(const QString&)>& edit = nullptr)
    {
        return m_Scratch.MakePackage(name, sampleArguments, edit);
    }
    QByteArray TreeSha1(const QString& name, const QString& binary)
    {
        return m_Scratch.TreeSha1(name, binary);
    }
    static QString ErrorTraces(const QString& root) { return Traces(root, "ERROR"); }

    // programmed: the main firmware is sent (not found up to date).
    void VerifyCompleteUpdate(const T_RUN& run, bool programmed = true)
    {
        QVERIFY2(run.Finished, qPrintable(run.Output));
        QVERIFY2(run.ExitCode == 0, qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));
        const QStringList lines = run.Output.split('\n');
        QVERIFY2(lines.contains("Updater configuration version: 01.00.00"), qPrintable(run.Output));
        QVERIFY2(lines.contains("Reset succeed - CARD_BOX"), qPrintable(run.Output));
        QVERIFY2(lines.contains("All reset succeed, go to reboot!"), qPrintable(run.Output));
        // Progress lines, each one as a poll caught it: "NAME: P% - done/total octets".
        const QRegularExpression progress("^BOX_STEP_(\\w+): (\\d+)% - (\\d+)/(\\d+) octets$");
        int progressLines = 0;
        for (const QString& line : lines)
        {
            const QRegularExpressionMatch match = progress.match(line);
            if (!match.hasMatch())
                continue;
            ++progressLines;
            QVERIFY2(match.captured(3).toUInt() <= match.captured(4).toUInt(), qPrintable(line));
            if (match.captured(1).startsWith("RAM_PROGRAM_MAIN_"))
                QCOMPARE(match.captured(4), QString("6000"));
            if (!programmed && match.captured(1).startsWith("RAM_PROGRAM_MAIN_"))
                QCOMPARE(match.captured(3), QString("0"));
        }
        QVERIFY2(progressLines > 0, qPrintable(run.Output));
        QVERIFY(!run.Output.contains("has encountered an error"));
    }

    void VerifyDeviceHoldsSample(const QString& statePath, const QString& name)
    {
        const QHash<int, QByteArray> stored = StoredComponents(statePath);
        QCOMPARE(stored.value(0x01), TreeSha1(name, "BINARIES/MICRO/ORLEX_MAIN.bin"));
        QCOMPARE(stored.value(0x10), TreeSha1(name, "BINARIES/FPGA/CORVAL.bin"));
        QCOMPARE(stored.value(0x20), TreeSha1(name, "BINARIES/EDID/EDID.bin"));
        QCOMPARE(stored.value(0x40), TreeSha1(name, "BINARIES/HDCP/HDCP.bin"));
        QCOMPARE(stored.value(0x00), TreeSha1(name, "BINARIES/MICRO/ORLEX_RAM.bin"));
    }

private slots:
    void initTestCase() { QVERIFY(m_Scratch.IsValid()); }

    // Steps 2 to 7 over UDP; a second run finds every component up to date.
    void UpdatesOverUdpThenFindsItUpToDate()
    {
        SimulatorPeers::SimulatorProcess simulator;
        const QString state = m_Scratch.FilePath("udp-state.json");
        const QString log = m_Scratch.FilePath("udp-log.jsonl");
        QVERIFY(simulator.Start({"--udp-port", "0", "--state", state, "--log", log}));
        const QString package = MakePackage("udp", {"--udp-port", QString::number(simulator.UdpPort())});
        QVERIFY(!package.isEmpty());

        const QString root = NewRoot();
        VerifyCompleteUpdate(RunUpdater(Environment(root), {"--quiet", "--ktp", package}));
        VerifyDeviceHoldsSample(state, "udp");
        QVERIFY(CountReceived(Events(log), "DATA_FILE") > 0);

        // Same machine, the kept package: only the RAM boot loader is sent again.
        const int before = Events(log).size();
        const T_RUN second = RunUpdater(Environment(root), {"--quiet"});
        VerifyCompleteUpdate(second, false);
        const QList<QJsonObject> secondEvents = Events(log).mid(before);
        const int ramBlocks = (2500 + 127) / 128;
        QCOMPARE(CountReceived(secondEvents, "DATA_FILE"), ramBlocks);
        VerifyDeviceHoldsSample(state, "udp");
    }

    void UpdatesOverSerialLink()
    {
        SimulatorPeers::SimulatorProcess simulator;
        const QString state = m_Scratch.FilePath("pty-state.json");
        const QString link = m_Scratch.FilePath("device-tty");
        QVERIFY(simulator.Start({"--pty-link", link, "--state", state}));
        const QString package = MakePackage("pty", {"--serial", link});
        QVERIFY(!package.isEmpty());
        VerifyCompleteUpdate(RunUpdater(Environment(NewRoot()), {"--quiet", "--ktp", package}));
        VerifyDeviceHoldsSample(state, "pty");
    }

    // A stale resident boot loader: step 2 finds it out of date, the ROM
    // monitor loads the RAM boot loader (step 0), which rewrites the resident
    // one (step 1), and step 2 runs again before the update goes on.
    void TakesTheRecoveryRoad()
    {
        const QString state = m_Scratch.FilePath("recovery-state.json");
        const QString log = m_Scratch.FilePath("recovery-log.jsonl");
        const QJsonObject stale{{"address", "0x00400000"},
                                {"data", QString::fromLatin1(QByteArray(3000, '\x5A').toBase64())}};
        QFile file(state);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(QJsonObject{{"format", "qrn207-sim-state"},
                                             {"components", QJsonArray()},
                                             {"resident", QJsonArray{stale}}})
                       .toJson());
        file.close();
        SimulatorPeers::SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--samba-udp-port", "0", "--state", state, "--log", log}));
        const QString package =
            MakePackage("recovery", {"--udp-port", simulator.Announced("samba-udp-port"), "--recovery"});
        QVERIFY(!package.isEmpty());
        const T_RUN run = RunUpdater(Environment(NewRoot()), {"--quiet", "--ktp", package});
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
                 TreeSha1("recovery", "BINARIES/MICRO/ORLEX_RESIDENT.bin"));
        VerifyDeviceHoldsSample(state, "recovery");
    }

    void EndsWithTheCodeOfItsFailure_data()
    {
        QTest::addColumn<QStringList>("simulatorArguments");
        QTest::addColumn<QString>("packageKind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outputText");
        QTest::newRow("unparsable configuration")
            << QStringList() << "broken-json" << 2 << "Invalid configurations file at path";
        QTest::newRow("no card") << QStringList() << "no-card" << 2 << "Invalid configurations file at path";
        QTest::newRow("package that does not decrypt") << QStringList() << "garbage" << 3 << "abort updater!";
        QTest::newRow("package path that does not exist")
            << QStringList() << "missing" << 3 << "Failed to find Ktp file in argument";
        QTest::newRow("boot-loader error") << QStringList{"--fault-error", "5@DATA_FILE:3"} << "sample" << 4
                                           << "We have encountered an error on the updater, abort updater!";
    }
    void EndsWithTheCodeOfItsFailure()
    {
        QFETCH(QStringList, simulatorArguments);
        QFETCH(QString, packageKind);
        QFETCH(int, exitCode);
        QFETCH(QString, outputText);
        SimulatorPeers::SimulatorProcess simulator;
        const QString log = m_Scratch.FilePath(QString("failure-%1.jsonl").arg(m_Scratch.CaseNumber()));
        QVERIFY(simulator.Start(QStringList{"--udp-port", "0", "--log", log} + simulatorArguments));
        const QStringList sample{"--udp-port", QString::number(simulator.UdpPort())};
        const QString name = QString("failure-%1").arg(m_Scratch.CaseNumber());
        QString package;
        if (packageKind == "missing")
            package = m_Scratch.FilePath("no-such-package.ktp");
        else if (packageKind == "garbage")
        {
            package = m_Scratch.FilePath("garbage.ktp");
            QFile file(package);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, 'x'));
        }
        else
        {
            package = MakePackage(name, sample,
                                  [packageKind](const QString& tree)
                                  {
                                      const QByteArray text =
                                          packageKind == "broken-json" ? "{\"box_updater_cards\": ["
                                          : packageKind == "no-card"   ? "{\"box_updater_cards\": []}"
                                                                       : "";
                                      if (!text.isEmpty())
                                      {
                                          QFile file(tree + "/CONF/components.json");
                                          file.open(QIODevice::WriteOnly | QIODevice::Truncate);
                                          file.write(text);
                                      }
                                  });
            QVERIFY(!package.isEmpty());
        }
        const QString root = NewRoot();
        const T_RUN run = RunUpdater(Environment(root), {"--quiet", "--ktp", package});
        QVERIFY2(run.Finished, qPrintable(run.Output));
        QVERIFY2(run.ExitCode == exitCode, qPrintable(QString::number(run.ExitCode) + "\n" + run.Output));
        QVERIFY2(run.Output.contains(outputText), qPrintable(run.Output));
        if (exitCode != 4)
        {
            // Nothing reached the device: no update was started.
            QCOMPARE(CountReceived(Events(log), "PING"), 0);
        }
        if (packageKind == "missing")
            QVERIFY(ErrorTraces(root).contains("../main qMain() Line "));
    }
};

QTEST_GUILESS_MAIN(TST_QUIET_UPDATE)
#include "tst_quiet_update.moc"
