#include <QtTest>

#include <stdexcept>

#include "ClassMyCoreApp.h"
#include "Startup.h"
#include "UpdateRuns.h"

namespace
{
// Throws from its event handler: a standard exception first, then anything else.
struct CLASS_THROWER : QObject
{
    int m_Thrown = 0;
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (m_Thrown++ == 0)
            throw std::runtime_error("disk on fire");
        throw 42;
    }
};
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_Scratch;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Scratch.isValid());
    }

    // package: empty when none is given.
    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("fullForce");
        QTest::addColumn<bool>("forceWithoutBoot");
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<QString>("package");
        QTest::addColumn<QString>("configuration");
        const QString extracted = QDir::tempPath() + "/BOX_UPDATER/PackageExtraction/CONF/components.json";
        QTest::newRow("none") << QStringList() << false << false << false << "" << extracted;
        QTest::newRow("force") << QStringList{"-f"} << false << true << false << "" << extracted;
        QTest::newRow("both") << QStringList{"--force", "-F"} << true << false << false << "" << extracted;
        QTest::newRow("values") << QStringList{"-q", "--ktp", "/p/a b.ktp", "-c", "/x/components.json"}
                                << false << false << true << "/p/a b.ktp"
                                << "/x/components.json";
    }

    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, package);
        QCommandLineParser parser;
        AddStartupOptions(parser);
        QVERIFY(parser.parse(QStringList{"qrn207-updater"} + arguments));
        const T_STARTUP_OPTIONS options = ReadStartupOptions(parser);
        QTEST(options.FullForce, "fullForce");
        QTEST(options.ForceWithoutBootResident, "forceWithoutBoot");
        QTEST(options.Quiet, "quiet");
        QCOMPARE(options.PackageGiven, !package.isEmpty());
        QCOMPARE(options.PackagePath, package);
        QTEST(options.ConfigurationFile, "configuration");
    }

    void crashLogEntries()
    {
        const QString log = m_Scratch.filePath("ErrorCrash.log");
        CLASS_MYCOREAPP::SetCrashLogPath(log);
        QThread::currentThread()->setObjectName("THREAD_MAIN");
        CLASS_THROWER thrower;
        QEvent event(QEvent::User);
        QVERIFY(QCoreApplication::sendEvent(&thrower, &event)); // handled, program goes on
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::processEvents();

        const QString content = UpdateRuns::ReadFile(log);
        const QRegularExpression expected(
            "^\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d Exception: disk on fire ,Thread: "
            "THREAD_MAIN"
            "\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d Crash  ,Thread: THREAD_MAIN$");
        QVERIFY2(expected.match(content).hasMatch(), qPrintable(content));
        CLASS_MYCOREAPP::SetCrashLogPath(m_Scratch.filePath("missing/folder/ErrorCrash.log"));
        QVERIFY(QCoreApplication::sendEvent(&thrower, &event)); // unwritable log: dropped, no crash
    }

    // Without a display, every start that shows no window works, however its
    // options are written. The help wraps long lines: compared as simplified.
    void headlessStarts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("version") << QStringList{"--version"} << 0 << QStringList{"qrn207-updater 01.03.03\n"};
        QTest::newRow("help") << QStringList{"--help"} << 0
                              << QStringList{
                                     "-f, --force Force update mode without Boot Resident.",
                                     "-F, --Force Force update mode. Update event if CRC are the same",
                                     "-q, --quiet Quiet update mode (without HMI)"};
        QTest::newRow("combined short options") << QStringList{"-qF", "--ktp", "absent.ktp"} << 3
                                                << QStringList{"Failed to find Ktp file in argument"};
        QTest::newRow("quiet, no package kept")
            << QStringList{"-q"} << 3 << QStringList{"No update package is kept: give one with --ktp"};
        QTest::newRow("--help-all") << QStringList{"--help-all"} << 0 << QStringList{"--quiet"};
        QTest::newRow("--list-devices, none")
            << QStringList{"--list-devices"} << 1 << QStringList{"No USB device 3eb:6124 is connected\n"};
        QTest::newRow("unknown option")
            << QStringList{"--bogus"} << 1 << QStringList{"Unknown option 'bogus'"};
    }
    void headlessStarts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, texts);
        QProcessEnvironment env = TestSupport::IsolatedEnvironment(m_Scratch.filePath("headless"));
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(name);
        const UpdateRuns::T_RUN run = UpdateRuns::RunUpdater(env, arguments, 60000);
        const QString& output = run.Output;
        QTEST(run.ExitCode, "exitCode");
        for (const QString& text : texts)
            QVERIFY2(output.simplified().contains(text.simplified()), qPrintable(output));
        QVERIFY2(!output.contains("could not connect to display"), qPrintable(output));
    }

    // Traces that cannot be written are named once on standard output, and the run goes on to
    // its own end (here: the missing package, exit 3).
    void unwritableTraceFolderIsNamedAndTheRunGoesOn()
    {
        QProcessEnvironment env = TestSupport::IsolatedEnvironment(m_Scratch.filePath("blocked"));
        const QString blocker = TestSupport::WriteFile(m_Scratch, "blocked/not-a-folder", "");
        QVERIFY(!blocker.isEmpty());
        env.insert("XDG_DATA_HOME", blocker);
        const UpdateRuns::T_RUN run =
            UpdateRuns::RunUpdater(env, {"--quiet", "--ktp", m_Scratch.filePath("absent.ktp")});
        QVERIFY2(run.ExitCode == 3 && run.Output.contains("Failed to find Ktp file in argument: \""),
                 qPrintable(run.Output));
        const QStringList traceLines = run.Output.split('\n').filter("Can't write logs, ");
        QCOMPARE(traceLines,
                 QStringList("Can't write logs, " + blocker + "/qrn207-updater/KT_TRACES do not exist"));
    }
};

int main(int argc, char** argv)
{
    CLASS_MYCOREAPP application(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_startup.moc"
