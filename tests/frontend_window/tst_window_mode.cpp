#include <QtTest>

#include <QApplication>
#include <QHostAddress>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
// Closing the window ends the program within this (instrumented builds run several times slower).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const qint64 CLOSE_LIMIT_MS = 25000;
#else
const qint64 CLOSE_LIMIT_MS = 5000;
#endif

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
// row by row through the real threads, a whole update, and closing during one.
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

        // A whole update.
        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(window->GetCurrentState() == BOX_UPDATER_STATE_RUNNING ||
                                     window->GetCurrentState() == BOX_UPDATER_STATE_FINISHED,
                                 UPDATE_TIMEOUT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(window->GetCurrentState() == BOX_UPDATER_STATE_FINISHED ||
                                     window->GetCurrentState() == BOX_UPDATER_STATE_ERROR,
                                 UPDATE_TIMEOUT_MS);
        QCOMPARE(window->GetCurrentState(), BOX_UPDATER_STATE_FINISHED);
        QCOMPARE(start->text(), QString("Stop"));
        QVERIFY(start->isEnabled() && version->isEnabled());
        QVERIFY(bar->value() > 0);

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
        QTest::newRow("programming, close box") << "closebox"
                                                << "DATA_FILE" << false;
        QTest::newRow("SAM-BA road, Quit") << "quit"
                                           << "SAMBA_" << true;
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
        const bool ended = program.waitForFinished(int(CLOSE_LIMIT_MS));
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
