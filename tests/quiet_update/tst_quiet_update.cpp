// Quiet mode end to end: the real qrn207-updater, ktp-tool, openssl, 7-Zip and
// the device simulator, each run in its own HOME, XDG_DATA_HOME and TMPDIR.
#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "SimulatorPeers.h"
#include "TestSupport.h"

namespace
{
// Generous: one update sleeps several seconds per step on a loaded machine.
const int UPDATE_TIMEOUT_MS = 240000;
const int TOOL_TIMEOUT_MS = 60000;

struct T_RUN
{
    int ExitCode = -1;
    QString Output;
    bool Finished = false;
};

QByteArray Sha1(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TST_QUIET_UPDATE : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_Scratch;
    int m_Case = 0;

    // A fresh machine: its own home, data and temporary folders.
    QString NewRoot(const QString& tmpName = QStringLiteral("tmp"))
    {
        const QString root = m_Scratch.filePath(QString::number(++m_Case));
        QDir().mkpath(root + "/" + tmpName);
        return root;
    }

    static QProcessEnvironment Environment(const QString& root,
                                           const QString& tmpName = QStringLiteral("tmp"))
    {
        QProcessEnvironment env = TestSupport::IsolatedEnvironment(root);
        env.insert("TMPDIR", root + "/" + tmpName);
        return env;
    }

    static bool Tool(const QStringList& arguments, QString* output = nullptr)
    {
        QProcess process;
        process.start(TestSupport::BinaryDir() + "/ktp-tool", arguments);
        if (!process.waitForFinished(TOOL_TIMEOUT_MS))
            return false;
        if (output)
            *output = QString::fromUtf8(process.readAllStandardOutput());
        if (process.exitCode() != 0)
            qWarning("ktp-tool %s: %s", qPrintable(arguments.join(' ')),
                     process.readAllStandardError().constData());
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // Sample tree (with ktp-tool sample arguments), optionally edited, then packed.
    QString MakePackage(const QString& name, const QStringList& sampleArguments,
                        const std::function<void(const QString&)>& edit = nullptr)
    {
        const QString tree = m_Scratch.filePath("trees/" + name);
        const QString package = m_Scratch.filePath("packages/" + name + ".ktp");
        QDir().mkpath(m_Scratch.filePath("packages"));
        if (!Tool(QStringList{"sample", tree} + sampleArguments))
            return QString();
        if (edit)
            edit(tree);
        return Tool({"pack", tree, package}) ? package : QString();
    }

    static T_RUN RunUpdater(const QProcessEnvironment& environment, const QStringList& arguments,
                            int timeoutMs = UPDATE_TIMEOUT_MS)
    {
        T_RUN run;
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(TestSupport::BinaryDir() + "/qrn207-updater", arguments);
        run.Finished = process.waitForFinished(timeoutMs);
        if (!run.Finished)
        {
            process.kill();
            process.waitForFinished();
        }
        run.Output = QString::fromUtf8(process.readAllStandardOutput());
        run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return run;
    }

    // Every trace line of a kind ("ERROR", "INFO") the program wrote under root.
    static QString Traces(const QString& root, const QString& kind)
    {
        QString text;
        QDirIterator files(root + "/data", {"*_" + kind + "_*.log"}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext())
            text += QString::fromUtf8(ReadFile(files.next()));
        return text;
    }
    static QString ErrorTraces(const QString& root) { return Traces(root, "ERROR"); }
    static QString InfoTraces(const QString& root) { return Traces(root, "INFO"); }

    static QList<QJsonObject> Events(const QString& logPath)
    {
        QList<QJsonObject> events;
        for (const QByteArray& line : ReadFile(logPath).split('\n'))
        {
            if (!line.trimmed().isEmpty())
                events << QJsonDocument::fromJson(line).object();
        }
        return events;
    }

    static int CountReceived(const QList<QJsonObject>& events, const QString& command)
    {
        int count = 0;
        for (const QJsonObject& event : events)
            count +=
                event.value("direction").toString() == "rx" && event.value("command").toString() == command;
        return count;
    }

    // id -> sha1 of the components the simulator's state file holds.
    static QHash<int, QByteArray> StoredComponents(const QString& statePath)
    {
        QHash<int, QByteArray> stored;
        const QJsonObject state = QJsonDocument::fromJson(ReadFile(statePath)).object();
        for (const QJsonValue& value : state.value("components").toArray())
        {
            const QJsonObject component = value.toObject();
            stored.insert(component.value("id").toInt(),
                          Sha1(QByteArray::fromBase64(component.value("data").toString().toLatin1())));
        }
        return stored;
    }

    QByteArray TreeSha1(const QString& name, const QString& binary)
    {
        return Sha1(ReadFile(m_Scratch.filePath("trees/" + name + "/" + binary)));
    }

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
    void initTestCase() { QVERIFY(m_Scratch.isValid()); }

    // Steps 2 to 7 over UDP; a second run finds every component up to date.
    void UpdatesOverUdpThenFindsItUpToDate()
    {
        SimulatorPeers::SimulatorProcess simulator;
        const QString state = m_Scratch.filePath("udp-state.json");
        const QString log = m_Scratch.filePath("udp-log.jsonl");
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
        const QString state = m_Scratch.filePath("pty-state.json");
        const QString link = m_Scratch.filePath("device-tty");
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
        const QString state = m_Scratch.filePath("recovery-state.json");
        const QString log = m_Scratch.filePath("recovery-log.jsonl");
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
        QTest::newRow("no main firmware step")
            << QStringList() << "no-main" << 2 << "Invalid configurations file at path";
        QTest::newRow("no card") << QStringList() << "no-card" << 2 << "Invalid configurations file at path";
        QTest::newRow("package that does not decrypt") << QStringList() << "garbage" << 3 << "abort updater!";
        QTest::newRow("package path that does not exist")
            << QStringList() << "missing" << 3 << "Failed to find Ktp file in argument";
        QTest::newRow("boot-loader error") << QStringList{"--fault-error", "5@DATA_FILE:3"} << "sample" << 4
                                           << "We have encountered an error on the updater, abort updater!";
        QTest::newRow("silent device after 15 s")
            << QStringList{"--fault-silence-after", "12"} << "sample" << 4
            << "We have encountered an error on the updater, abort updater!";
    }
    void EndsWithTheCodeOfItsFailure()
    {
        QFETCH(QStringList, simulatorArguments);
        QFETCH(QString, packageKind);
        QFETCH(int, exitCode);
        QFETCH(QString, outputText);
        SimulatorPeers::SimulatorProcess simulator;
        const QString log = m_Scratch.filePath(QString("failure-%1.jsonl").arg(m_Case));
        QVERIFY(simulator.Start(QStringList{"--udp-port", "0", "--log", log} + simulatorArguments));
        const QStringList sample{"--udp-port", QString::number(simulator.UdpPort())};
        const QString name = QString("failure-%1").arg(m_Case);
        QString package;
        if (packageKind == "missing")
            package = m_Scratch.filePath("no-such-package.ktp");
        else if (packageKind == "garbage")
        {
            package = m_Scratch.filePath("garbage.ktp");
            QFile file(package);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, 'x'));
        }
        else
        {
            package = MakePackage(name, sample,
                                  [packageKind](const QString& tree)
                                  {
                                      const QString path = tree + "/CONF/components.json";
                                      QJsonObject root = QJsonDocument::fromJson(ReadFile(path)).object();
                                      QJsonArray cards = root.value("box_updater_cards").toArray();
                                      QJsonObject card = cards.at(0).toObject();
                                      QJsonObject components = card.value("components").toObject();
                                      QJsonArray basics = components.value("basics").toArray();
                                      QByteArray text;
                                      if (packageKind == "broken-json")
                                          text = "{\"box_updater_cards\": [";
                                      else if (packageKind == "no-card")
                                          text = "{\"box_updater_cards\": []}";
                                      else if (packageKind == "no-main")
                                      {
                                          for (int i = basics.size() - 1; i >= 0; --i)
                                          {
                                              if (basics.at(i).toObject().value("name").toString() ==
                                                  "STEP_RAM_PROGRAM_MAIN")
                                                  basics.removeAt(i);
                                          }
                                          components.insert("basics", basics);
                                          card.insert("components", components);
                                          cards.replace(0, card);
                                          root.insert("box_updater_cards", cards);
                                          text = QJsonDocument(root).toJson();
                                      }
                                      if (!text.isEmpty())
                                      {
                                          QFile file(path);
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
        if (QString(QTest::currentDataTag()).startsWith("silent"))
        {
            QVERIFY2(run.Output.contains("has encountered an error!"), qPrintable(run.Output));
            QVERIFY(InfoTraces(root).contains("Command timeout encountered for updater named"));
        }
    }

    // A package given on the command line that is refused ends the run: the
    // package kept by an earlier run is not used in its place.
    void RefusedPackageStartsNoUpdate()
    {
        SimulatorPeers::SimulatorProcess simulator;
        const QString log = m_Scratch.filePath("refused-log.jsonl");
        QVERIFY(simulator.Start({"--udp-port", "0", "--log", log}));
        const QString good =
            MakePackage("refused-good", {"--udp-port", QString::number(simulator.UdpPort())});
        const QString root = NewRoot();
        QVERIFY(RunUpdater(Environment(root), {"--quiet", "--ktp", good}).ExitCode == 0);
        const int before = Events(log).size();

        const QString bad = m_Scratch.filePath("refused.ktp");
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1000, '\x42'));
        file.close();
        const T_RUN run = RunUpdater(Environment(root), {"--quiet", "--ktp", bad});
        QCOMPARE(run.ExitCode, 3);
        QCOMPARE(Events(log).size(), before);
        QVERIFY(!run.Output.contains("Updater configuration version"));
        // The kept package is still the good one.
        QStringList kept;
        QDirIterator files(root + "/data", {"*.ktp"}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext())
            kept << QFileInfo(files.next()).fileName();
        QCOMPARE(kept, QStringList{QFileInfo(good).fileName()});
    }

    // Which package a run uses, told by its version line; each package's
    // configuration is refused at once so no device is needed.
    void PackageHandling()
    {
        auto make = [this](const QString& name, const QByteArray& versionFile)
        {
            return MakePackage(name, {"--udp-port", "9"},
                               [versionFile](const QString& tree)
                               {
                                   QFile configuration(tree + "/CONF/components.json");
                                   configuration.open(QIODevice::WriteOnly | QIODevice::Truncate);
                                   configuration.write("{}");
                                   QFile version(tree + "/CONF/version.ini");
                                   version.open(QIODevice::WriteOnly | QIODevice::Truncate);
                                   version.write(versionFile);
                               });
        };
        const QString first = make("handling-first", "[General]\nversion=FIRST\ncompatibility=1\n");
        const QString second = make("handling-second", "[General]\nversion=SECOND\ncompatibility=1\n");
        const QString unrated = make("handling-unrated", "[General]\nversion=UNRATED\n");
        QVERIFY(!first.isEmpty() && !second.isEmpty() && !unrated.isEmpty());
        const QString root = NewRoot();
        auto kept = [&root]()
        {
            QStringList names;
            QDirIterator files(root + "/data", {"*.ktp"}, QDir::Files, QDirIterator::Subdirectories);
            while (files.hasNext())
                names << files.next();
            return names;
        };
        auto usedVersion = [](const T_RUN& run)
        {
            const QRegularExpressionMatch match = QRegularExpression("^Updater configuration version: (.*)$",
                                                                     QRegularExpression::MultilineOption)
                                                      .match(run.Output);
            return match.hasMatch() ? match.captured(1) : QString();
        };

        T_RUN run = RunUpdater(Environment(root), {"--quiet", "--ktp", first});
        QCOMPARE(run.ExitCode, 2);
        QCOMPARE(usedVersion(run), QString("FIRST"));
        // A second valid package replaces the first.
        run = RunUpdater(Environment(root), {"--quiet", "--ktp", second});
        QCOMPARE(usedVersion(run), QString("SECOND"));
        QCOMPARE(kept().size(), 1);
        QCOMPARE(QFileInfo(kept().first()).fileName(), QFileInfo(second).fileName());
        // One that does not decrypt keeps it.
        const QString garbage = m_Scratch.filePath("handling-garbage.ktp");
        QFile file(garbage);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(2048, '\x17'));
        file.close();
        QCOMPARE(RunUpdater(Environment(root), {"--quiet", "--ktp", garbage}).ExitCode, 3);
        QCOMPARE(usedVersion(RunUpdater(Environment(root), {"--quiet"})), QString("SECOND"));
        // Of two kept packages the newest is used.
        const QString folder = QFileInfo(kept().first()).absolutePath();
        QVERIFY(QFile::copy(first, folder + "/copied-later.ktp"));
        QFile older(kept().filter("handling-second").first());
        QVERIFY(older.open(QIODevice::ReadWrite));
        QVERIFY(
            older.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
        older.close();
        QCOMPARE(usedVersion(RunUpdater(Environment(root), {"--quiet"})), QString("FIRST"));
        // Without "compatibility" the package is kept, used, and reported not compatible.
        run = RunUpdater(Environment(root), {"--quiet", "--ktp", unrated});
        QCOMPARE(usedVersion(run), QString("UNRATED"));
        QVERIFY2(run.Output.contains("The package is not compatible, please update the software"),
                 qPrintable(run.Output));
        QCOMPARE(kept().size(), 1);
        QCOMPARE(QFileInfo(kept().first()).fileName(), QFileInfo(unrated).fileName());
    }

    // A temporary folder with a blank in its path works for check and update.
    void TemporaryFolderWithBlank()
    {
        SimulatorPeers::SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--udp-port", "0"}));
        const QString package = MakePackage("blank", {"--udp-port", QString::number(simulator.UdpPort())});
        const QString root = NewRoot("tmp with blank");
        VerifyCompleteUpdate(RunUpdater(Environment(root, "tmp with blank"), {"--quiet", "--ktp", package}));
    }

    // While one instance holds the work folder, a second one on the same
    // machine refuses to start and leaves the first one's files alone.
    void SecondInstanceIsRefused()
    {
        SimulatorPeers::SimulatorProcess simulator;
        // A device that never answers keeps the first instance busy.
        QVERIFY(simulator.Start({"--udp-port", "0", "--fault-silence-after", "0"}));
        const QString package = MakePackage("second", {"--udp-port", QString::number(simulator.UdpPort())});
        const QString root = NewRoot();
        QProcess first;
        first.setProcessEnvironment(Environment(root));
        first.start(TestSupport::BinaryDir() + "/qrn207-updater", {"--quiet", "--ktp", package});
        const auto stopFirst = qScopeGuard(
            [&first]()
            {
                first.kill();
                first.waitForFinished();
            });
        QVERIFY(first.waitForStarted());
        QByteArray firstOutput;
        QDeadlineTimer deadline(UPDATE_TIMEOUT_MS);
        while (!firstOutput.contains("Updater configuration version") && !deadline.hasExpired() &&
               first.state() == QProcess::Running)
        {
            first.waitForReadyRead(1000);
            firstOutput += first.readAllStandardOutput();
        }
        QVERIFY2(firstOutput.contains("Updater configuration version"), firstOutput.constData());

        const T_RUN second = RunUpdater(Environment(root), {"--quiet", "--ktp", package});
        QCOMPARE(second.ExitCode, 3);
        QVERIFY2(second.Output.contains("Another updater is using the work folder"),
                 qPrintable(second.Output));
        // The first one's extracted package is untouched.
        QVERIFY(QFileInfo::exists(root + "/tmp/BOX_UPDATER/PackageExtraction/CONF/components.json"));
        QVERIFY(first.state() == QProcess::Running);
        first.kill();
        first.waitForFinished();

        // Once the holder is gone, its lock no longer stops anyone.
        const T_RUN third =
            RunUpdater(Environment(root), {"--quiet", "--ktp", m_Scratch.filePath("none.ktp")});
        QCOMPARE(third.ExitCode, 3);
        QVERIFY(!third.Output.contains("Another updater"));
    }
};

QTEST_GUILESS_MAIN(TST_QUIET_UPDATE)
#include "tst_quiet_update.moc"
