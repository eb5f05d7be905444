#include <QtTest>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <cstdio>
#include <memory>

#include "BACKEND/Box_Updater.h"
#include "FRONTEND/FRONTEND_ClassBoxUpdaterWindow.h"
#include "FRONTEND/FRONTEND_WindowMode.h"
#include "Platform.h"
#include "UpdateRuns.h"

using namespace UpdateRuns;

namespace
{
// Generous: the machine is shared and small.
const int PACKAGE_TIMEOUT_MS = 60000;
// Closing the window ends the program within this (instrumented builds run several times slower).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const int CLOSE_LIMIT_MS = 25000;
#else
const int CLOSE_LIMIT_MS = 5000;
#endif

// The test runs itself as the program (the start-up that main runs) to close
// the window during an update, the way this names: by the close box while
// the firmware's data goes out, by Quit while the ROM monitor is driven. The
// simulator's event log beside the program's home tells when.
const char* const CLOSE_WAY = "QRN_TEST_CLOSE_WAY";
const char* const CLOSING_LINE = "closing the window";

// The steps' 5 s start waits are not what these runs are about.
void ShortenStartWaits(BOX_UPDATER* box)
{
    T_BOX_UPDATER_DELAYS delays;
    delays.UpdaterStartWaitMs = START_WAIT_MS;
    box->SetDelays(delays); // before Start, whose queued call hands it to the update's thread
}

std::unique_ptr<QObject> StartWindowModeAndClose(const T_STARTUP_OPTIONS& options)
{
    std::unique_ptr<QObject> mode = StartWindowMode(options);
    ShortenStartWaits(static_cast<CLASS_WINDOW_MODE*>(mode.get())->GetBoxUpdater());
    CLASS_BOX_UPDATER_WINDOW* window = static_cast<CLASS_WINDOW_MODE*>(mode.get())->GetWindow();
    const QByteArray way = qgetenv(CLOSE_WAY);
    const QString root = qEnvironmentVariable("HOME") + "/..";
    // The fake 7z on PATH turns slow once this file exists (after the start's own take-in).
    const bool slowTool = way == "extraction" || way == "takein";
    if (way == "takein" && QFile(root + "/slow").open(QIODevice::WriteOnly))
        emit window->SIGNAL_CopyKtpPackageInLocal(options.PackagePath);
    auto* timer = new QTimer(mode.get());
    // The button reads "Start" until the update has ended: whether it was pressed is kept here.
    auto started = std::make_shared<bool>(way == "takein");
    QObject::connect(
        timer, &QTimer::timeout, mode.get(),
        [window, timer, way, root, slowTool, started]
        {
            QPushButton* start = window->findChild<QPushButton*>("START_STOP_BUTTON");
            if (!*started)
            {
                if (start->isEnabled() && window->GetCurrentState() == BOX_UPDATER_STATE_READY &&
                    (!slowTool || QFile(root + "/slow").open(QIODevice::WriteOnly)))
                    start->click(), *started = true;
                return;
            }
            const bool quit = way == "quit" || way == "takein";
            if (slowTool ? !QFileInfo::exists(root + "/fake-7z.pid")
                         : !ReadFile(root + "/device-log.jsonl")
                                .contains(way == "quit" ? "\"command\":\"SAMBA_" : "\"command\":\"DATA_FILE"))
                return;
            timer->stop();
            std::printf("%s\n", CLOSING_LINE);
            std::fflush(stdout);
            if (quit)
                window->findChild<QPushButton*>("QUIT_BUTTON")->click();
            else
                window->close(); // what the window's close box sends
        });
    timer->start(20);
    return mode;
}
} // namespace

// The window-mode start-up against the device simulator: the wiring through
// the real threads, a whole update, a second instance, and closing during one.
class TestWindowMode : public QObject
{
    Q_OBJECT

    T_SCRATCH m_Scratch;
    SimulatorPeers::SimulatorProcess m_Simulator;
    QString m_Package;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterTypeAliases();
        QVERIFY(m_Scratch.IsValid());
        QVERIFY(m_Simulator.Start({"--udp-port", "0", "--state", m_Scratch.FilePath("device.json")}));
        m_Package = m_Scratch.MakePackage(
            "sample", {"--udp-port", QString::number(m_Simulator.UdpPort()), "--version", "07.01.00"});
        QVERIFY(!m_Package.isEmpty());
    }

    void wholeUpdateThroughTheWindow()
    {
        T_STARTUP_OPTIONS options;
        options.PackageGiven = true;
        options.PackagePath = m_Package;
        CLASS_WINDOW_MODE mode(options);
        ShortenStartWaits(mode.GetBoxUpdater());
        CLASS_BOX_UPDATER_WINDOW* window = mode.GetWindow();
        QCOMPARE(mode.GetBoxUpdater()->thread(), mode.GetBackendThread());
        QPushButton* start = window->findChild<QPushButton*>("START_STOP_BUTTON");

        // Package version and compatibility, from the check at start.
        QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel*>("PACKAGE_VERSION_VALUE_LABEL")->text(),
                                  QString("07.01.00"), PACKAGE_TIMEOUT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), PACKAGE_TIMEOUT_MS);

        // The device version is asked over USB: the window's end-to-end run does it
        // (tst_usb_update); a refused package's message, the second window below.
        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(window->GetCurrentState() == BOX_UPDATER_STATE_FINISHED ||
                                     window->GetCurrentState() == BOX_UPDATER_STATE_ERROR,
                                 UPDATE_TIMEOUT_MS);
        QCOMPARE(window->GetCurrentState(), BOX_UPDATER_STATE_FINISHED);
        QVERIFY(window->findChild<QProgressBar*>("UPDATE_PROGRESS_BAR")->value() > 0);

        // Acknowledged: the box updater tears the update down.
        const QString extraction = QFileInfo(window->GetConfigurationFilePath()).dir().absolutePath() + "/..";
        start->click();
        QCOMPARE(window->GetCurrentState(), BOX_UPDATER_STATE_READY);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(QDir::cleanPath(extraction)), PACKAGE_TIMEOUT_MS);
    }

    // A window holds the work folder for its whole life, idle or not: a
    // second window takes no package in and says why; the first one's
    // checked package stays the one kept.
    void secondWindowLeavesAnIdleWindowAlone()
    {
        T_STARTUP_OPTIONS options;
        options.PackageGiven = true;
        options.PackagePath = m_Package;
        CLASS_WINDOW_MODE first(options);
        const QString kept = first.GetBoxUpdater()->GetPackageExtractor().GetLocalPackagePath();
        QVERIFY(!kept.isEmpty());
        // A valid package under another name: taking it in would replace the kept one.
        options.PackagePath = m_Scratch.FilePath("second.ktp");
        QVERIFY(QFile::copy(m_Package, options.PackagePath));
        CLASS_WINDOW_MODE second(options);
        const QMessageBox* box = second.GetWindow()->findChild<QMessageBox*>();
        QVERIFY(box && box->text().startsWith("Another updater is using the work folder"));
        QVERIFY(!second.GetWindow()->isVisible());
        QCOMPARE(first.GetBoxUpdater()->GetPackageExtractor().GetLocalPackagePath(), kept);
    }

    // Closing the window during an update, by each way: the program (its own
    // start-up, in a process of its own) ends with 0 within 5 s, every thread
    // ended, the trace complete.
    void closingDuringAnUpdateEndsCleanly_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("programming, close box") << "closebox";
        QTest::newRow("SAM-BA road, Quit") << "quit";
        QTest::newRow("extraction, close box") << "extraction";
        QTest::newRow("take-in, Quit") << "takein";
    }
    void closingDuringAnUpdateEndsCleanly()
    {
        QFETCH(QString, way);
        const bool recovery = way == "quit";
        const QString root = m_Scratch.NewRoot();
        const QString log = root + "/device-log.jsonl";
        const QString state = root + "/device.json";
        // A resident boot loader out of date sends the update down the SAM-BA road.
        QVERIFY(!recovery || WriteStaleResidentState(state));
        SimulatorPeers::SimulatorProcess simulator;
        const QString link = recovery ? "samba-udp-port" : "udp-port";
        QVERIFY(simulator.Start({"--state", state, "--log", log, "--" + link, "0"}));
        QStringList sample{"--udp-port", simulator.Announced(link)};
        if (recovery)
            sample << "--recovery";
        const QString package = m_Scratch.MakePackage(way, sample);
        QVERIFY(!package.isEmpty());

        QProcessEnvironment environment = TestSupport::IsolatedEnvironment(root);
        environment.insert(CLOSE_WAY, way);
        // A 7z that, once told, writes into the work folder until it is stopped.
        QFile fake(root + "/bin/7z");
        QVERIFY(QDir().mkpath(root + "/bin") && fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\nif [ -e \"$HOME/../slow\" ]; then echo $$ >\"$HOME/../fake-7z.pid\"\n"
                   "while :; do echo x >>\"$TMPDIR/BOX_UPDATER/fake-7z.out\"; sleep 0.05; done; fi\nexec " +
                   Platform::ExternalProgram("7z").toUtf8() + " \"$@\"\n");
        fake.close();
        QVERIFY(fake.setPermissions(fake.permissions() | QFileDevice::ExeOwner));
        environment.insert("PATH", root + "/bin:" + environment.value("PATH"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QCoreApplication::applicationFilePath(), {"--ktp", package});
        QByteArray output;
        QDeadlineTimer deadline(UPDATE_TIMEOUT_MS);
        while (!output.contains(CLOSING_LINE) && program.waitForReadyRead(int(deadline.remainingTime())))
            output += program.readAllStandardOutput();
        QVERIFY2(output.contains(CLOSING_LINE), output.constData());
        QElapsedTimer closing;
        closing.start();
        const bool ended = program.waitForFinished(CLOSE_LIMIT_MS);
        if (!ended)
            program.kill();
        program.waitForFinished();
        QVERIFY2(ended, qPrintable(QString("still running %1 ms after the close").arg(closing.elapsed())));
        QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
                 program.readAllStandardError().constData());

        const QString trace = Traces(root, "INFO");
        QVERIFY(trace.endsWith('\n'));
        QVERIFY2(trace.trimmed().split('\n').last().contains("PROGRAM END, exit code 0"),
                 qPrintable(trace.right(300)));
        QVERIFY(!Traces(root, "ERROR").contains("still busy"));
        // The external program was stopped and waited for: nothing more written.
        const QByteArray written = ReadFile(root + "/tmp/BOX_UPDATER/fake-7z.out");
        QTest::qWait(200);
        QVERIFY(ReadFile(root + "/tmp/BOX_UPDATER/fake-7z.out") == written);
        QVERIFY(!QFileInfo::exists(root + "/tmp/BOX_UPDATER/BOX_UPDATER.lock")); // released at the end
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(CLOSE_WAY))
        return RunApplication(argc, argv, &StartWindowModeAndClose, nullptr);
    QApplication application(argc, argv);
    application.setAttribute(Qt::AA_Use96Dpi, true);
    TestWindowMode test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_window_mode.moc"
