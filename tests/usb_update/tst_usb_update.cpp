// USB end to end: the real qrn207-updater (and the window's own start-up) run
// under qrn207-usb-bridge, whose emulated 03EB:6124 device carries every frame
// through the program's libusb port to the device simulator.
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include "SimulatorPeers.h"
#include "TestSupport.h"

namespace
{
const int RUN_TIMEOUT_MS = 240000;
const int TOOL_TIMEOUT_MS = 60000;
// The box updater's inactivity watch, plus its one-second poll, the link's
// close waits and the exit.
const qint64 WATCH_MS = 15000 + 7000;

struct T_RUN
{
    bool Finished = false;
    int ExitCode = -1;
    QString Output;
    QString BridgeErrors;
};

// The program under the bridge to the simulator's UDP port; Finish() waits for it.
class CLASS_BRIDGED_RUN
{
public:
    void Start(const QProcessEnvironment& environment, quint16 simulatorPort,
               const QStringList& bridgeOptions, const QString& program, const QStringList& arguments)
    {
        m_Process.setProcessEnvironment(environment);
        m_Process.start(TestSupport::BinaryDir() + "/qrn207-usb-bridge",
                        QStringList{"--udp-port", QString::number(simulatorPort), "--stats"} + bridgeOptions +
                            QStringList{"--", TestSupport::BinaryDir() + "/" + program} + arguments);
    }
    T_RUN Finish()
    {
        T_RUN run;
        run.Finished = m_Process.waitForFinished(RUN_TIMEOUT_MS);
        if (!run.Finished)
        {
            m_Process.terminate(); // passed on to the program
            if (!m_Process.waitForFinished(10000))
                m_Process.kill();
            m_Process.waitForFinished();
        }
        run.Output = QString::fromUtf8(m_Process.readAllStandardOutput());
        run.BridgeErrors = QString::fromUtf8(m_Process.readAllStandardError());
        run.ExitCode = m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -1;
        return run;
    }

private:
    QProcess m_Process;
};

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Sha1(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

} // namespace

class TST_USB_UPDATE : public QObject
{
    Q_OBJECT
    QTemporaryDir m_Scratch;
    int m_Case = 0;
    SimulatorPeers::SimulatorProcess m_VanishSimulator;
    CLASS_BRIDGED_RUN m_VanishRun;

    // A fresh machine (home, data, temp) for the program.
    QProcessEnvironment NewMachine()
    {
        return TestSupport::IsolatedEnvironment(m_Scratch.filePath(QString("machine-%1").arg(++m_Case)));
    }

    QString MakeUsbPackage(const QString& name)
    {
        const QString tree = m_Scratch.filePath(name);
        const QString package = m_Scratch.filePath(name + ".ktp");
        for (const QStringList& arguments : {QStringList{"sample", tree, "--usb"}, {"pack", tree, package}})
        {
            QProcess tool;
            tool.start(TestSupport::BinaryDir() + "/ktp-tool", arguments);
            if (!tool.waitForFinished(TOOL_TIMEOUT_MS) || tool.exitCode() != 0)
                return QString();
        }
        return package;
    }

    static T_RUN RunUnderBridge(const QProcessEnvironment& environment, quint16 simulatorPort,
                                const QStringList& bridgeOptions, const QString& program,
                                const QStringList& arguments)
    {
        CLASS_BRIDGED_RUN run;
        run.Start(environment, simulatorPort, bridgeOptions, program, arguments);
        return run.Finish();
    }

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
            count += event["direction"].toString() == "rx" && event["command"].toString() == command;
        return count;
    }

    // The simulator's memory holds each binary of the package's tree.
    void VerifyDeviceHolds(const QString& statePath, const QString& tree)
    {
        QHash<int, QByteArray> stored;
        const QJsonObject state = QJsonDocument::fromJson(ReadFile(statePath)).object();
        for (const QJsonValue& value : state["components"].toArray())
            stored.insert(value["id"].toInt(),
                          Sha1(QByteArray::fromBase64(value["data"].toString().toLatin1())));
        const QList<QPair<int, QString>> binaries{{0x00, "MICRO/ORLEX_RAM.bin"},
                                                  {0x01, "MICRO/ORLEX_MAIN.bin"},
                                                  {0x10, "FPGA/CORVAL.bin"},
                                                  {0x20, "EDID/EDID.bin"},
                                                  {0x40, "HDCP/HDCP.bin"}};
        for (const auto& binary : binaries)
            QCOMPARE(stored.value(binary.first), Sha1(ReadFile(tree + "/BINARIES/" + binary.second)));
    }

    static void VerifySucceeded(const T_RUN& run)
    {
        QVERIFY2(run.Finished && run.ExitCode == 0,
                 qPrintable(QString::number(run.ExitCode) + "\n" + run.Output + run.BridgeErrors));
        QVERIFY(run.Output.contains("Reset succeed - CARD_BOX"));
        QVERIFY(run.Output.contains("All reset succeed, go to reboot!"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_Scratch.isValid());
        // Most of an update is the boot loaders' start waits: the run whose
        // device disappears goes on beside the others and is checked last.
        QVERIFY(m_VanishSimulator.Start({"--udp-port", "0"}));
        const QString package = MakeUsbPackage("usb-vanish");
        QVERIFY(!package.isEmpty());
        m_VanishRun.Start(NewMachine(), m_VanishSimulator.UdpPort(), {"--vanish-after-bytes", "7000"},
                          "qrn207-updater", {"--quiet", "--ktp", package});
    }

    // Every step over USB, the device then holds the package. A second run,
    // on a slow device (every reply 20 ms late), sends only the RAM boot
    // loader again and still ends well.
    void UpdatesOverUsbThenSkipsWhatMatches()
    {
        const QString state = m_Scratch.filePath("usb-state.json");
        const QString log = m_Scratch.filePath("usb-log.jsonl");
        SimulatorPeers::SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--udp-port", "0", "--state", state, "--log", log}));
        const QString package = MakeUsbPackage("usb");
        QVERIFY(!package.isEmpty());

        const QProcessEnvironment machine = NewMachine();
        VerifySucceeded(RunUnderBridge(machine, simulator.UdpPort(), {}, "qrn207-updater",
                                       {"--quiet", "--ktp", package}));
        VerifyDeviceHolds(state, m_Scratch.filePath("usb"));

        const int before = Events(log).size();
        const T_RUN second = RunUnderBridge(machine, simulator.UdpPort(), {"--reply-delay-ms", "20"},
                                            "qrn207-updater", {"--quiet"});
        VerifySucceeded(second);
        QCOMPARE(CountReceived(Events(log).mid(before), "DATA_FILE"), (2500 + 127) / 128);
        QVERIFY2(second.Output.contains(QRegularExpression("BOX_STEP_RAM_PROGRAM_MAIN_\\d+: \\d+% - 0/6000")),
                 qPrintable(second.Output));
        VerifyDeviceHolds(state, m_Scratch.filePath("usb"));
    }

    // The window's "Get Device Version": "0,0,VEpac" goes out over USB and
    // the simulator's answer is shown as a.b.c.
    void WindowReadsDeviceVersionOverUsb()
    {
        const QString log = m_Scratch.filePath("version-log.jsonl");
        SimulatorPeers::SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--udp-port", "0", "--device-version", "1.2.3", "--log", log}));
        QProcessEnvironment machine = NewMachine();
        machine.insert("SHOTS_VERSION_ONLY", "1");
        const T_RUN run = RunUnderBridge(machine, simulator.UdpPort(), {}, "qrn207-window-shots", {});
        QVERIFY2(run.Finished && run.ExitCode == 0, qPrintable(run.Output + run.BridgeErrors));
        QVERIFY2(run.Output.contains("device version: 1.2.3\n"), qPrintable(run.Output));
        QCOMPARE(CountReceived(Events(log), "VERSION_REQUEST"), 1);
    }

    // The device disappears in the middle of the main firmware's data: that
    // step fails within the inactivity watch and the run ends with code 4.
    void DeviceThatVanishesEndsTheStep()
    {
        const T_RUN run = m_VanishRun.Finish();
        QVERIFY2(run.Finished && run.ExitCode == 4,
                 qPrintable(QString::number(run.ExitCode) + "\n" + run.Output + run.BridgeErrors));
        const QRegularExpressionMatch ended =
            QRegularExpression("command ended (\\d+) ms after the device vanished").match(run.BridgeErrors);
        QVERIFY2(ended.hasMatch() && ended.captured(1).toLongLong() < WATCH_MS, qPrintable(run.BridgeErrors));
        QVERIFY2(run.Output.contains(QRegularExpression(
                     "Updater \"BOX_STEP_RAM_PROGRAM_MAIN_\\d+\" has encountered an error!")),
                 qPrintable(run.Output));
        QVERIFY(!run.Output.contains("All reset succeed"));
    }
};

QTEST_GUILESS_MAIN(TST_USB_UPDATE)
#include "tst_usb_update.moc"
