#include <QtTest>

#include <QSignalSpy>
#include <QTemporaryDir>

#include "UTILS_KtProcess.h"

class TestKtProcess : public QObject
{
    Q_OBJECT

private slots:
    void splitsLikeTheFramework_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("blanks") << "a  b\tc" << QStringList{"a", "b", "c"};
        QTest::newRow("quotes group") << "prog \"x y\" z" << QStringList{"prog", "x y", "z"};
        QTest::newRow("quote inside word") << "-o\"/tmp/a b/\"" << QStringList{"-o/tmp/a b/"};
        QTest::newRow("triple quote is literal") << "say \"\"\"hi\"\"\"" << QStringList{"say", "\"hi\""};
    }

    void splitsLikeTheFramework()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, expected);
        QCOMPARE(CLASS_UTILS_KTPROCESS::SplitCommand(command), expected);
    }

    void exitCodeDecidesTheResult_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("output");
        QTest::newRow("zero") << "sh -c \"printf '  one\\n\\n two  '\"" << true << 0 << "one two";
        QTest::newRow("one") << "sh -c \"echo partial; exit 1\"" << false << 1 << "partial";
        QTest::newRow("seven") << "sh -c \"exit 7\"" << false << 7 << "";
    }

    void exitCodeDecidesTheResult()
    {
        QFETCH(QString, command);
        QFETCH(bool, succeeds);
        QFETCH(int, result);
        QFETCH(QString, output);
        CLASS_UTILS_KTPROCESS process(true, true);
        QCOMPARE(process.ShellProcessStart(command, 30000, 30000), succeeds);
        QCOMPARE(process.GetResult(), result);
        QCOMPARE(process.IsFinished(), succeeds);
        QCOMPARE(process.GetOutput(), output);
        QVERIFY(process.IsIdle());
    }

    void argumentsWithBlanksArriveWhole()
    {
        QTemporaryDir scratch;
        const QString folder = scratch.path() + "/with blank";
        QVERIFY(QDir().mkpath(folder));
        CLASS_UTILS_KTPROCESS process(false, true);
        QVERIFY(process.ShellProcessStart("touch", {folder + "/made here"}, 30000, 30000));
        QVERIFY(QFile::exists(folder + "/made here"));
        QVERIFY(process.ShellProcessStart("ls \"" + folder + "\"", 30000, 30000));
        QCOMPARE(process.GetOutput(), QString("made here"));
    }

    void missingProgramFailsToStart()
    {
        CLASS_UTILS_KTPROCESS process(true, true);
        QVERIFY(!process.ShellProcessStart("/nonexistent/program --flag", 30000, 30000));
        QCOMPARE(process.GetResult(), 3);
        QVERIFY(!process.IsFinished());
        QVERIFY(process.IsIdle());
        // The object stays usable.
        QVERIFY(process.ShellProcessStart("true", 30000, 30000));
    }

    void timeOutEndsTheCommand()
    {
        CLASS_UTILS_KTPROCESS process(true, true);
        QVERIFY(!process.ShellProcessStart("sleep 60", 30000, 200));
        QCOMPARE(process.state(), QProcess::NotRunning);
        QVERIFY(process.IsIdle());
        QVERIFY(process.ShellProcessStart("true", 30000, 30000));
    }

    void crashIsAFailure()
    {
        CLASS_UTILS_KTPROCESS process(true, true);
        QVERIFY(!process.ShellProcessStart("sh -c \"kill -SEGV $$\"", 30000, 30000));
        QVERIFY(process.GetResult() < 0);
        QVERIFY(!process.IsFinished());
    }

    void detachedStartReportsItsEnd()
    {
        CLASS_UTILS_KTPROCESS process(true, true);
        QSignalSpy finished(&process, &CLASS_UTILS_KTPROCESS::SIGNAL_KtProcessHasFinished);
        process.ShellProcessStartDetached("sh -c \"sleep 0.3; echo done\"");
        QVERIFY(!process.IsIdle());
        // One command at a time: a second start is refused while it runs.
        QVERIFY(!process.ShellProcessStart("true", 30000, 30000));
        process.ShellProcessStartDetached("true");
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.count(), 1);
        QVERIFY(process.IsFinished());
        QCOMPARE(process.GetOutput(), QString("done"));
        QVERIFY(process.IsIdle());
    }

    void detachedStartFailureEndsToo()
    {
        CLASS_UTILS_KTPROCESS process(true, true);
        QSignalSpy finished(&process, &CLASS_UTILS_KTPROCESS::SIGNAL_KtProcessHasFinished);
        process.ShellProcessStartDetached("/nonexistent/program");
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
        QCOMPARE(process.GetResult(), 3);
        QVERIFY(process.IsIdle());
    }

    void stopAndDestructionEndARunningCommand()
    {
        qint64 pid = 0;
        {
            CLASS_UTILS_KTPROCESS process(true, true);
            process.ShellProcessStartDetached("sleep 60");
            QVERIFY(process.waitForStarted(30000));
            process.Stop();
            QCOMPARE(process.state(), QProcess::NotRunning);
            QVERIFY(process.IsIdle());
            process.ShellProcessStartDetached("sleep 60");
            QVERIFY(process.waitForStarted(30000));
            pid = process.processId();
        }
        QVERIFY(pid > 0);
        // Reaped by the destructor: no such process any more.
        QVERIFY(!QFileInfo::exists("/proc/" + QString::number(pid) + "/cmdline") ||
                QFile("/proc/" + QString::number(pid) + "/cmdline").size() == 0);
    }
};

QTEST_GUILESS_MAIN(TestKtProcess)
#include "tst_ktprocess.moc"
