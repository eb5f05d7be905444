#include <QtTest>

#include <QApplication>
#include <QHostAddress>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QAction>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "BACKEND/Box_Updater.h"
#include "BACKEND/MISC/MISC_ClassDeviceVersionRetriever.h"
#include "COMDRIVER_ClassUniversalPortSettingsUdp.h"
#include "COMDRIVER_ClassUniversalPortUdp.h"
#include "FRONTEND/FRONTEND_ClassBoxUpdaterWindow.h"
#include "FRONTEND/FRONTEND_WindowMode.h"
#include "SimulatorPeers.h"
#include "TraceCapture.h"

namespace
{
// Generous: the machine is shared and small.
const int PACKAGE_TIMEOUT_MS = 60000;
const int UPDATE_TIMEOUT_MS = 240000;
const int PROBE_INTERVAL_MS = 10;
const int STARTUP_SKIP_MS = 1000;
const qint64 STALL_LIMIT_MS = 50;
// Closing the window ends the program within this.
const qint64 CLOSE_LIMIT_MS = 5000;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Instrumented builds run every line several times slower.
const qint64 STALL_LIMIT_FACTOR = 5;
#else
const qint64 STALL_LIMIT_FACTOR = 1;
#endif

// Time the calling thread has spent runnable but waiting for a processor, in ns
// (second field of its schedstat); -1 when the system does not tell.
qint64 RunQueueWaitNs()
{
    QFile file(QStringLiteral("/proc/thread-self/schedstat"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    bool ok = false;
    const qint64 wait = fields.size() >= 2 ? fields.at(1).toLongLong(&ok) : -1;
    return ok ? wait : -1;
}

// Measures how long the main thread's event loop goes without serving a
// short repeating timer. A gap is the time between two ticks less the
// interval; the time the thread sat runnable while other processes had the
// processors is taken out, so a loaded machine does not count against the
// window (the raw figure is kept as well).
class StallProbe : public QObject
{
public:
    void Start()
    {
        m_Clock.start();
        m_Last = m_Clock.nsecsElapsed();
        m_LastWait = RunQueueWaitNs();
        m_Timer.setTimerType(Qt::PreciseTimer);
        connect(&m_Timer, &QTimer::timeout, this, [this] { Tick(); });
        m_Timer.start(PROBE_INTERVAL_MS);
    }
    void Stop() { m_Timer.stop(); }
    // Forget what was measured so far (start-up).
    void Reset()
    {
        MaxRawMs = MaxStallMs = 0;
        Samples = 0;
    }

    double MaxRawMs = 0;
    double MaxStallMs = 0;
    int Samples = 0;
    bool WaitKnown = true;

private:
    void Tick()
    {
        const qint64 now = m_Clock.nsecsElapsed();
        const qint64 wait = RunQueueWaitNs();
        const double gapMs = double(now - m_Last) / 1e6 - PROBE_INTERVAL_MS;
        double waitMs = 0;
        if (wait >= 0 && m_LastWait >= 0)
            waitMs = double(wait - m_LastWait) / 1e6;
        else
            WaitKnown = false;
        MaxRawMs = std::max(MaxRawMs, gapMs);
        MaxStallMs = std::max(MaxStallMs, gapMs - waitMs);
        ++Samples;
        m_Last = now;
        m_LastWait = wait;
    }

    QTimer m_Timer;
    QElapsedTimer m_Clock;
    qint64 m_Last = 0;
    qint64 m_LastWait = 0;
};

// The test runs itself as the program (the start-up that main runs) to close
// the window at a chosen moment of an update: these name the way of closing,
// the simulator's event log to watch and the command whose arrival there
// closes it (none: right after Start).
const char* const CLOSE_WAY = "QRN_TEST_CLOSE_WAY";
const char* const CLOSE_WATCH = "QRN_TEST_CLOSE_WATCH";
const char* const CLOSE_MARKER = "QRN_TEST_CLOSE_MARKER";
const char* const CLOSING_LINE = "closing the window";

std::unique_ptr<QObject> StartWindowModeAndClose(const T_STARTUP_OPTIONS& options)
{
    std::unique_ptr<QObject> mode = StartWindowMode(options);
    CLASS_BOX_UPDATER_WINDOW* window = static_cast<CLASS_WINDOW_MODE*>(mode.get())->GetWindow();
    auto* timer = new QTimer(mode.get());
    auto started = std::make_shared<bool>(false);
    QObject::connect(timer, &QTimer::timeout, mode.get(),
                     [window, timer, started]
                     {
                         const QByteArray marker = qgetenv(CLOSE_MARKER);
                         QPushButton* start = window->findChild<QPushButton*>("START_STOP_BUTTON");
                         if (!*started)
                         {
                             if (!start->isEnabled() || window->GetCurrentState() != BOX_UPDATER_STATE_READY)
                                 return;
                             start->click();
                             *started = true;
                             if (!marker.isEmpty())
                                 return;
                         }
                         else
                         {
                             QFile log(qEnvironmentVariable(CLOSE_WATCH));
                             if (!log.open(QIODevice::ReadOnly) ||
                                 !log.readAll().contains("\"command\":\"" + marker))
                                 return;
                         }
                         timer->stop();
                         std::printf("%s\n", CLOSING_LINE);
                         std::fflush(stdout);
                         const QByteArray way = qgetenv(CLOSE_WAY);
                         if (way == "quit")
                             window->findChild<QPushButton*>("QUIT_BUTTON")->click();
                         else if (way == "exit")
                             window->findChild<QAction*>("EXIT_ACTION")->trigger();
                         else
                             window->close(); // what the window's close box sends
                     });
    timer->start(20);
    return mode;
}

QStringList FilesUnder(const QString& root, const QString& pattern)
{
    QStringList files;
    QDirIterator it(root, {pattern}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

bool RunTool(const QString& name, const QStringList& arguments, QString& output)
{
    QProcess process;
    process.start(TestSupport::BinaryDir() + "/" + name, arguments);
    const bool ok = process.waitForFinished(PACKAGE_TIMEOUT_MS) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return ok;
}
} // namespace

// The window-mode start-up against the device simulator: the wiring table
// row by row through the real threads, and a whole update with the main
// thread watched for stalls.
class TestWindowMode : public QObject
{
    Q_OBJECT

    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;
    SimulatorPeers::SimulatorProcess m_Simulator;
    QString m_Package;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationVersion("01.03.03");
        RegisterTypeAliases();
        QThread::currentThread()->setObjectName("THREAD_MAIN");
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.path() + "/traces"));
        QVERIFY(m_Simulator.Start(
            {"--udp-port", "0", "--device-version", "1.2.3", "--state", m_Scratch.path() + "/device.json"}));
        const QString port = QString::number(m_Simulator.UdpPort());
        QString output;
        QVERIFY2(RunTool("ktp-tool",
                         {"sample", m_Scratch.path() + "/tree", "--udp-port", port, "--version", "07.01.00"},
                         output),
                 qPrintable(output));
        m_Package = m_Scratch.path() + "/sample.ktp";
        QVERIFY2(RunTool("ktp-tool", {"pack", m_Scratch.path() + "/tree", m_Package}, output),
                 qPrintable(output));
    }

    void wholeUpdateThroughTheWindow()
    {
        T_STARTUP_OPTIONS options;
        options.PackageGiven = true;
        options.PackagePath = m_Package;
        CLASS_WINDOW_MODE mode(options);
        CLASS_BOX_UPDATER_WINDOW* window = mode.GetWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(mode.GetBackendThread()->objectName(), QString("THREAD_BACKEND"));
        QCOMPARE(mode.GetBoxUpdater()->thread(), mode.GetBackendThread());
        QPushButton* start = window->findChild<QPushButton*>("START_STOP_BUTTON");
        QPushButton* version = window->findChild<QPushButton*>("GET_DEVICE_VERSION_BUTTON");
        QLabel* packageVersion = window->findChild<QLabel*>("PACKAGE_VERSION_VALUE_LABEL");
        QLabel* deviceVersion = window->findChild<QLabel*>("DEVICE_VERSION_VALUE_LABEL");
        QProgressBar* bar = window->findChild<QProgressBar*>("UPDATE_PROGRESS_BAR");

        // Package version and compatibility, from the check at start.
        QTRY_COMPARE_WITH_TIMEOUT(packageVersion->text(), QString("07.01.00"), PACKAGE_TIMEOUT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), PACKAGE_TIMEOUT_MS);

        // Device version: request to the retriever, answer to the window. No
        // USB bus here: the query goes to the simulator over UDP.
        const Word port = m_Simulator.UdpPort();
        mode.GetBoxUpdater()->GetDeviceVersionRetriever()->SetPortFactory(
            [port](QObject* parent)
            {
                auto* udp = new CLASS_UNIVERSALPORT_UDP(false, QStringLiteral("UDP_VERSION"), parent);
                udp->SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP(
                    QHostAddress(QHostAddress::LocalHost), 0, QHostAddress(QHostAddress::LocalHost), port,
                    CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_UNICAST));
                return static_cast<CLASS_UNIVERSALPORT*>(udp);
            });
        version->click();
        QTRY_COMPARE_WITH_TIMEOUT(deviceVersion->text(), QString("1.2.3"), PACKAGE_TIMEOUT_MS);
        QVERIFY(version->isEnabled());

        // A package that cannot be unpacked: refused by the box updater, told by a message box.
        const QString garbage = m_Scratch.path() + "/garbage.ktp";
        {
            QFile file(garbage);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, 'x'));
        }
        emit window->SIGNAL_CopyKtpPackageInLocal(garbage);
        QTRY_VERIFY_WITH_TIMEOUT(!window->findChildren<QMessageBox*>().isEmpty(), PACKAGE_TIMEOUT_MS);
        QMessageBox* box = window->findChildren<QMessageBox*>().first();
        QCOMPARE(box->windowTitle(), QString("Extract Error"));
        QCOMPARE(box->text(),
                 QString("Error when extracting the selected package. Keeping the old package."));
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(window->findChildren<QMessageBox*>().isEmpty());

        // A whole update, the main thread watched from the first second on.
        StallProbe probe;
        probe.Start();
        QTest::qWait(STARTUP_SKIP_MS);
        probe.Reset();
        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(window->GetCurrentState() == BOX_UPDATER_STATE_RUNNING ||
                                     window->GetCurrentState() == BOX_UPDATER_STATE_FINISHED,
                                 UPDATE_TIMEOUT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(window->GetCurrentState() == BOX_UPDATER_STATE_FINISHED ||
                                     window->GetCurrentState() == BOX_UPDATER_STATE_ERROR,
                                 UPDATE_TIMEOUT_MS);
        probe.Stop();
        QCOMPARE(window->GetCurrentState(), BOX_UPDATER_STATE_FINISHED);
        QCOMPARE(start->text(), QString("Stop"));
        QVERIFY(start->isEnabled() && version->isEnabled());
        QVERIFY(bar->value() > 0);

        qInfo("main-thread stall during the update: longest %.1f ms (raw gap %.1f ms, %d samples every %d "
              "ms%s)",
              probe.MaxStallMs, probe.MaxRawMs, probe.Samples, PROBE_INTERVAL_MS,
              probe.WaitKnown ? ", run-queue waits taken out" : ", run-queue waits unknown");
        QVERIFY(probe.Samples > 100);
        const double limit = double(STALL_LIMIT_MS * STALL_LIMIT_FACTOR);
        QVERIFY2(probe.MaxStallMs < limit, qPrintable(QString("longest stall %1 ms").arg(probe.MaxStallMs)));

        // Acknowledged: the box updater tears the update down.
        const QString extraction = QFileInfo(window->GetConfigurationFilePath()).dir().absolutePath() + "/..";
        start->click();
        QCOMPARE(window->GetCurrentState(), BOX_UPDATER_STATE_READY);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(QDir::cleanPath(extraction)), PACKAGE_TIMEOUT_MS);
    }

    // Another instance holds the work folder: the window's start takes no
    // package in, leaves the kept package and the extraction folder alone
    // and tells the operator why.
    void secondWindowLeavesARunningUpdateAlone()
    {
        BOX_UPDATER running(false, false, false);
        QVERIFY(running.TakePackage(m_Package));
        const QString kept = running.GetPackageExtractor().GetLocalPackagePath();
        QVERIFY(running.HoldWorkFolder());
        const QString extracted =
            running.GetPackageExtractor().GetExtractionFolder() + "/CONF/components.json";
        QVERIFY(QDir().mkpath(QFileInfo(extracted).path()));
        // A valid package under another name: taking it in would replace the kept one.
        QVERIFY(QFile::copy(m_Package, m_Scratch.filePath("second.ktp")));
        {
            QFile file(extracted);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("{}");
        }
        {
            T_STARTUP_OPTIONS options;
            options.PackageGiven = true;
            options.PackagePath = m_Scratch.filePath("second.ktp");
            CLASS_WINDOW_MODE mode(options);
            CLASS_BOX_UPDATER_WINDOW* window = mode.GetWindow();
            QTRY_VERIFY_WITH_TIMEOUT(!window->findChildren<QMessageBox*>().isEmpty(), PACKAGE_TIMEOUT_MS);
            const QString text = window->findChildren<QMessageBox*>().first()->text();
            QVERIFY2(text.contains("Another updater is using the work folder"), qPrintable(text));
            QCOMPARE(running.GetPackageExtractor().GetLocalPackagePath(), kept);
            QVERIFY(QFileInfo::exists(extracted));
        }
        running.ReleaseWorkFolder();
    }

    // Closing the window during an update, at each phase and by each way:
    // the program (its own start-up, in a process of its own) ends with 0
    // within 5 s, every thread ended, the trace complete.
    void closingDuringAnUpdateEndsCleanly_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<bool>("recovery");
        QTest::newRow("extraction, Quit") << "quit"
                                          << "" << false;
        QTest::newRow("initialization, File/Exit") << "exit"
                                                   << "RESET_REQUEST" << false;
        QTest::newRow("programming, Quit") << "quit"
                                           << "DATA_FILE" << false;
        QTest::newRow("programming, close box") << "closebox"
                                                << "DATA_FILE" << false;
        QTest::newRow("SAM-BA road, Quit") << "quit"
                                           << "SAMBA_" << true;
        // The exact name: the init's RESET_REQUEST comes first.
        QTest::newRow("final reset, close box") << "closebox"
                                                << "RESET\"" << false;
    }
    void closingDuringAnUpdateEndsCleanly()
    {
        QFETCH(QString, way);
        QFETCH(QString, marker);
        QFETCH(bool, recovery);
        const QString root = m_Scratch.filePath("close " + QString(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(root));
        const QString log = root + "/device-log.jsonl";
        const QString state = root + "/device.json";
        QStringList simulatorArguments{"--state", state, "--log", log};
        QStringList sampleArguments{"sample", root + "/tree", "--udp-port"};
        if (recovery)
        {
            // A resident boot loader out of date sends the update down the SAM-BA road.
            QFile file(state);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(
                QJsonDocument(
                    QJsonObject{
                        {"format", "qrn207-sim-state"},
                        {"components", QJsonArray()},
                        {"resident", QJsonArray{QJsonObject{
                                         {"address", "0x00400000"},
                                         {"data", QString::fromLatin1(QByteArray(3000, 'Z').toBase64())}}}}})
                    .toJson());
            simulatorArguments << "--samba-udp-port"
                               << "0";
        }
        else
            simulatorArguments << "--udp-port"
                               << "0";
        SimulatorPeers::SimulatorProcess simulator;
        QVERIFY(simulator.Start(simulatorArguments));
        sampleArguments << simulator.Announced(recovery ? "samba-udp-port" : "udp-port");
        if (recovery)
            sampleArguments << "--recovery";
        QString output;
        QVERIFY2(RunTool("ktp-tool", sampleArguments, output), qPrintable(output));
        QVERIFY2(RunTool("ktp-tool", {"pack", root + "/tree", root + "/sample.ktp"}, output),
                 qPrintable(output));

        QProcessEnvironment environment = TestSupport::IsolatedEnvironment(root);
        environment.insert(CLOSE_WAY, way);
        environment.insert(CLOSE_WATCH, log);
        environment.insert(CLOSE_MARKER, marker);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QCoreApplication::applicationFilePath(), {"--ktp", root + "/sample.ktp"});
        QVERIFY(program.waitForStarted(PACKAGE_TIMEOUT_MS));
        QByteArray programOutput;
        QDeadlineTimer deadline(UPDATE_TIMEOUT_MS);
        while (!programOutput.contains(CLOSING_LINE) && program.state() == QProcess::Running &&
               !deadline.hasExpired())
        {
            program.waitForReadyRead(100);
            programOutput += program.readAllStandardOutput();
        }
        QVERIFY2(programOutput.contains(CLOSING_LINE), programOutput.constData());
        QElapsedTimer closing;
        closing.start();
        const bool ended = program.waitForFinished(int(CLOSE_LIMIT_MS * STALL_LIMIT_FACTOR));
        const qint64 closeMs = closing.elapsed();
        if (!ended)
        {
            program.kill();
            program.waitForFinished();
        }
        const QString errors = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(ended, qPrintable(QString("still running %1 ms after the close").arg(closeMs)));
        QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
                 qPrintable(QString("exit %1\n").arg(program.exitCode()) + errors));
        qInfo("ended %lld ms after the close", closeMs);

        const QStringList infos = FilesUnder(root + "/data", "*_INFO_*.log");
        QCOMPARE(infos.size(), 1);
        QFile info(infos.first());
        QVERIFY(info.open(QIODevice::ReadOnly));
        const QByteArray trace = info.readAll();
        QVERIFY(trace.endsWith('\n'));
        QVERIFY2(trace.trimmed().split('\n').last().contains("PROGRAM END, exit code 0"),
                 trace.right(300).constData());
        for (const QString& errorFile : FilesUnder(root + "/data", "*_ERROR_*.log"))
        {
            QFile file(errorFile);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains("still busy"), qPrintable(errorFile));
        }
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
