// USB end to end: the real qrn207-updater (and the window's own start-up) run
// under qrn207-usb-bridge, whose emulated 03EB:6124 device carries every frame
// through the program's libusb port to the device simulator.
#include <QTest>

#include "BridgedRun.h"

using namespace UpdateRuns;

namespace
{
// The box updater's inactivity watch, plus its one-second poll, the link's
// close waits and the exit.
const qint64 WATCH_MS = 15000 + 7000;

} // namespace

class TST_USB_UPDATE : public QObject
{
    Q_OBJECT
    T_SCRATCH m_Scratch;
    SimulatorPeers::SimulatorProcess m_VanishSimulator;
    CLASS_BRIDGED_RUN m_VanishRun;
    CLASS_BRIDGED_RUN m_QuietRefusal, m_WindowRefusal; // two devices, none chosen

    QProcessEnvironment NewMachine() { return T_SCRATCH::Environment(m_Scratch.NewRoot()); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_Scratch.IsValid());
        // Most of an update is the boot loaders' start waits: the run whose
        // device disappears goes on beside the others and is checked last.
        QVERIFY(m_VanishSimulator.Start({"--udp-port", "0"}));
        const QString package = m_Scratch.MakePackage("vanish", {"--usb"});
        QVERIFY(!package.isEmpty());
        m_VanishRun.Start(NewMachine(), m_VanishSimulator.UdpPort(), {"--vanish-after-bytes", "7000"},
                          "qrn207-updater", {"--quiet", "--ktp", package});
        // Refused before a byte is sent: both devices may name the same simulator.
        const QStringList twoDevices{"--udp-port", QString::number(m_VanishSimulator.UdpPort())};
        m_QuietRefusal.Start(NewMachine(), m_VanishSimulator.UdpPort(), twoDevices, "qrn207-updater",
                             {"--quiet", "--ktp", package});
        QProcessEnvironment machine = NewMachine();
        machine.insert("SHOTS_VERSION_ONLY", "1");
        m_WindowRefusal.Start(machine, m_VanishSimulator.UdpPort(), twoDevices, "qrn207-window-shots", {});
    }

    // Two devices: the chosen one is updated over USB, the other one's memory stays as it was.
    // A second run, on the chosen device answering 20 ms late, finds everything in place
    // and sends only the RAM boot loader.
    void UpdatesTheChosenOfTwoDevices()
    {
        const QString state = m_Scratch.FilePath("usb-state.json");
        const QString otherState = m_Scratch.FilePath("other-state.json");
        const QString log = m_Scratch.FilePath("usb-log.jsonl");
        SimulatorPeers::SimulatorProcess simulator, other;
        QVERIFY(simulator.Start({"--udp-port", "0", "--state", state, "--log", log}));
        QVERIFY(other.Start({"--udp-port", "0", "--state", otherState}));
        const QByteArray otherBefore = ReadFile(otherState);
        const QString package = m_Scratch.MakePackage("usb", {"--usb"});
        QVERIFY(!package.isEmpty());
        const QProcessEnvironment machine = NewMachine();
        const QStringList devices{"--udp-port", QString::number(simulator.UdpPort()), "--serial", "QRN-LEFT",
                                  "--serial", "QRN-RIGHT"};
        auto run = CLASS_BRIDGED_RUN::Run(machine, other.UdpPort(), devices, "qrn207-updater",
                                          {"--quiet", "--ktp", package, "--usb-device", "QRN-RIGHT"});
        QVERIFY2(run.Finished && run.ExitCode == 0,
                 qPrintable(QString::number(run.ExitCode) + run.Output + run.BridgeErrors));
        QCOMPARE(m_Scratch.MissingOnDevice(state, "usb"), QStringList());
        QVERIFY(!otherBefore.isEmpty());
        QCOMPARE(ReadFile(otherState), otherBefore);

        const int firstBlocks = CountEvents(Events(log), "rx", "DATA_FILE");
        run = CLASS_BRIDGED_RUN::Run(machine, other.UdpPort(), devices + QStringList{"--reply-delay-ms", "20"},
                                     "qrn207-updater", {"--quiet", "--usb-device", "QRN-RIGHT"});
        QVERIFY2(run.Finished && run.ExitCode == 0,
                 qPrintable(QString::number(run.ExitCode) + run.Output + run.BridgeErrors));
        const qint64 ramSize = QFileInfo(m_Scratch.FilePath("trees/usb/BINARIES/MICRO/ORLEX_RAM.bin")).size();
        QCOMPARE(CountEvents(Events(log), "rx", "DATA_FILE") - firstBlocks, int((ramSize + 127) / 128));
    }

    void ListsTheMatchingDevices()
    {
        const auto run = CLASS_BRIDGED_RUN::Run(
            NewMachine(), m_VanishSimulator.UdpPort(),
            {"--udp-port", QString::number(m_VanishSimulator.UdpPort()), "--serial", "QRN-A"},
            "qrn207-updater", {"--list-devices"});
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(run.Output, QString("\"1-1\" (serial \"QRN-A\")\n\"1-2\" (serial \"QRN207-0002\")\n"));
    }

    // Without a choice neither device is used: quiet mode and the window name both.
    void RefusesToChooseBetweenTwoDevices()
    {
        const QString both = "\"1-1\" (serial \"QRN207-0001\"), \"1-2\" (serial \"QRN207-0002\"); choose "
                             "one with --usb-device";
        const auto quiet = m_QuietRefusal.Finish();
        QVERIFY2(quiet.Finished && quiet.ExitCode == 4 && quiet.Output.contains(both),
                 qPrintable(QString::number(quiet.ExitCode) + quiet.Output + quiet.BridgeErrors));
        const auto window = m_WindowRefusal.Finish();
        QVERIFY2(window.Finished && window.Output.contains("usb device: Several USB devices "
                                                           "3eb:6124 are connected: " +
                                                           both),
                 qPrintable(window.Output + window.BridgeErrors));
    }

    // The window's "Get Device Version": "0,0,VEpac" goes out over USB and
    // the simulator's answer is shown as a.b.c.
    void WindowReadsDeviceVersionOverUsb()
    {
        const QString log = m_Scratch.FilePath("version-log.jsonl");
        SimulatorPeers::SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--udp-port", "0", "--device-version", "1.2.3", "--log", log}));
        QProcessEnvironment machine = NewMachine();
        machine.insert("SHOTS_VERSION_ONLY", "1");
        const auto run = CLASS_BRIDGED_RUN::Run(machine, simulator.UdpPort(), {}, "qrn207-window-shots", {});
        QVERIFY2(run.Finished && run.ExitCode == 0,
                 qPrintable(QString::number(run.ExitCode) + run.Output + run.BridgeErrors));
        QVERIFY2(run.Output.contains("device version: 1.2.3\n") &&
                     run.Output.contains("usb device: \"1-1\" (serial \"QRN207-0001\")\n"),
                 qPrintable(run.Output));
        QCOMPARE(CountEvents(Events(log), "rx", "VERSION_REQUEST"), 1);
    }

    // The device disappears in the middle of the main firmware's data: that
    // step fails within the inactivity watch and the run ends with code 4.
    void DeviceThatVanishesEndsTheStep()
    {
        const auto run = m_VanishRun.Finish();
        QVERIFY2(run.Finished && run.ExitCode == 4,
                 qPrintable(QString::number(run.ExitCode) + run.Output + run.BridgeErrors));
        const QRegularExpressionMatch ended =
            QRegularExpression("command ended (\\d+) ms after the device vanished").match(run.BridgeErrors);
        QVERIFY2(ended.hasMatch() && ended.captured(1).toLongLong() < WATCH_MS, qPrintable(run.BridgeErrors));
        QVERIFY2(run.Output.contains(QRegularExpression(
                     "Updater \"BOX_STEP_RAM_PROGRAM_MAIN_\\d+\" has encountered an error!")),
                 qPrintable(run.Output));
    }
};

QTEST_GUILESS_MAIN(TST_USB_UPDATE)
#include "tst_usb_update.moc"
