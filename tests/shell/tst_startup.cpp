#include <QtTest>

#include <QTemporaryDir>

#include <stdexcept>

#include "ClassMyCoreApp.h"
#include "Startup.h"
#include "TestSupport.h"

namespace
{
class CLASS_THROWER : public QObject
{
public:
    bool m_Standard = true;
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (m_Standard)
            throw std::runtime_error("disk on fire");
        throw 42;
    }
};

QString Executable()
{
    return TestSupport::BinaryDir() + "/qrn207-updater";
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Scratch;

    struct T_RUN
    {
        int exitCode;
        QString out;
        QString err;
    };

    T_RUN Run(const QStringList& arguments, const QProcessEnvironment& env)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(Executable(), arguments);
        const bool finished = process.waitForFinished(60000);
        if (!finished)
            process.kill();
        return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Scratch.isValid());
    }

    void forceFlags_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("fullForce");
        QTest::addColumn<bool>("forceWithoutBoot");
        QTest::newRow("none") << QStringList() << false << false;
        QTest::newRow("force") << QStringList{"--force"} << false << true;
        QTest::newRow("short force") << QStringList{"-f"} << false << true;
        QTest::newRow("Force") << QStringList{"--Force"} << true << false;
        QTest::newRow("both") << QStringList{"--force", "--Force"} << true << false;
        QTest::newRow("both short") << QStringList{"-F", "-f"} << true << false;
    }

    void forceFlags()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, fullForce);
        QFETCH(bool, forceWithoutBoot);
        QCommandLineParser parser;
        AddStartupOptions(parser);
        QVERIFY(parser.parse(QStringList{"qrn207-updater"} + arguments));
        const T_STARTUP_OPTIONS options = ReadStartupOptions(parser);
        QCOMPARE(options.FullForce, fullForce);
        QCOMPARE(options.ForceWithoutBootResident, forceWithoutBoot);
    }

    void defaultsAndValues()
    {
        QCommandLineParser parser;
        AddStartupOptions(parser);
        QVERIFY(parser.parse({"qrn207-updater"}));
        T_STARTUP_OPTIONS options = ReadStartupOptions(parser);
        QCOMPARE(options.ConfigurationFile,
                 QDir::tempPath() + "/BOX_UPDATER/PackageExtraction/CONF/components.json");
        QVERIFY(!options.PackageGiven);
        QVERIFY(!options.Quiet);

        QCommandLineParser given;
        AddStartupOptions(given);
        QVERIFY(given.parse({"qrn207-updater", "-q", "--ktp", "/p/a b.ktp", "-c", "/x/components.json"}));
        options = ReadStartupOptions(given);
        QVERIFY(options.Quiet);
        QVERIFY(options.PackageGiven);
        QCOMPARE(options.PackagePath, QString("/p/a b.ktp"));
        QCOMPARE(options.ConfigurationFile, QString("/x/components.json"));
    }

    void crashLogEntries()
    {
        const QString log = m_Scratch.filePath("ErrorCrash.log");
        CLASS_MYCOREAPP::SetCrashLogPath(log);
        QThread::currentThread()->setObjectName("THREAD_MAIN");
        CLASS_THROWER thrower;
        QEvent event(QEvent::User);
        QVERIFY(QCoreApplication::sendEvent(&thrower, &event)); // handled, program goes on
        thrower.m_Standard = false;
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::processEvents();

        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString content = QString::fromUtf8(file.readAll());
        const QRegularExpression expected(
            "^\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d Exception: disk on fire ,Thread: "
            "THREAD_MAIN"
            "\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d Crash  ,Thread: THREAD_MAIN$");
        QVERIFY2(expected.match(content).hasMatch(), qPrintable(content));
        CLASS_MYCOREAPP::SetCrashLogPath(m_Scratch.filePath("missing/folder/ErrorCrash.log"));
        QVERIFY(QCoreApplication::sendEvent(&thrower, &event)); // unwritable log: dropped, no crash
        CLASS_MYCOREAPP::SetCrashLogPath(QString());
    }

    void versionAndHelp()
    {
        const QProcessEnvironment env = TestSupport::IsolatedEnvironment(m_Scratch.filePath("cli"));
        T_RUN run = Run({"--version"}, env);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QString("qrn207-updater 01.03.03\n"));

        run = Run({"--help"}, env);
        QCOMPARE(run.exitCode, 0);
        for (const char* text :
             {"-c, --configurationFile <Configurations>", "Configuration file to configure update.",
              "-f, --force", "Force update mode without Boot Resident. Update event if CRC are the same",
              "-F, --Force", "Force update mode. Update event if CRC are the same", "-q, --quiet",
              "Quiet update mode (without HMI)", "--ktp <File path to ktp>", "ktp file", "-v, --version",
              "-h, --help"})
            QVERIFY2(run.out.simplified().contains(text), text); // the help wraps long lines
    }

    // Without a display, every start that shows no window works as -q and
    // --help do, however its options are written.
    void headlessStartsWithoutADisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("combined short options")
            << QStringList{"-qF", "--ktp", "absent.ktp"} << 3 << "Failed to find Ktp file in argument";
        QTest::newRow("--help-all") << QStringList{"--help-all"} << 0 << "--quiet";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 1 << "Unknown option 'bogus'";
    }
    void headlessStartsWithoutADisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QProcessEnvironment env = TestSupport::IsolatedEnvironment(m_Scratch.filePath("headless"));
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(name);
        const T_RUN run = Run(arguments, env);
        QVERIFY2(run.exitCode == exitCode, qPrintable(QString::number(run.exitCode) + "\n" + run.err));
        QVERIFY2((run.out + run.err).contains(output), qPrintable(run.out + run.err));
        QVERIFY2(!run.err.contains("could not connect to display"), qPrintable(run.err));
    }

    void unwritableTraceFolderRunsOn()
    {
        QProcessEnvironment env = TestSupport::IsolatedEnvironment(m_Scratch.filePath("blocked"));
        const QString blocker = m_Scratch.filePath("blocked/not-a-folder");
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        env.insert("XDG_DATA_HOME", blocker);
        const T_RUN run = Run({"--quiet", "--ktp", m_Scratch.filePath("absent.ktp")}, env);
        QVERIFY2(run.exitCode >= 0, "the program must end normally");
        const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
        const QStringList traceLines = lines.filter("Can't write logs, ");
        QCOMPARE(traceLines.size(), 1);
        QCOMPARE(traceLines.first(),
                 "Can't write logs, " + blocker + "/qrn207-updater/KT_TRACES do not exist");
    }
};

int main(int argc, char** argv)
{
    CLASS_MYCOREAPP application(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_startup.moc"
