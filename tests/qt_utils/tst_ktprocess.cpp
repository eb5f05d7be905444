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
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("output");
        QTest::newRow("zero") << "sh -c \"printf '  one\\n\\n two  '\"" << 0 << "one two";
        QTest::newRow("one") << "sh -c \"echo partial; exit 1\"" << 1 << "partial";
        QTest::newRow("seven") << "sh -c \"exit 7\"" << 7 << "";
        QTest::newRow("missing program") << "/nonexistent/program --flag" << 3 << "";
        QTest::newRow("crash") << "sh -c \"kill -SEGV $$\"" << -1 << "";
    }

    void exitCodeDecidesTheResult()
    {
        QFETCH(QString, command);
        QFETCH(int, result);
        QFETCH(QString, output);
        CLASS_UTILS_KTPROCESS process(true, true);
        QCOMPARE(process.ShellProcessStart(command, 30000, 30000), result == 0);
        QCOMPARE(process.GetResult(), result);
        QCOMPARE(process.IsFinished(), result == 0);
        QCOMPARE(process.GetOutput(), output);
        QVERIFY(process.IsIdle());
        QVERIFY(process.ShellProcessStart("true", 30000, 30000)); // stays usable
    }

    void argumentsWithBlanksArriveWhole()
    {
        QTemporaryDir scratch;
        const QString folder = scratch.path() + "/with blank";
        CLASS_UTILS_KTPROCESS process(false, true);
        QVERIFY(process.ShellProcessStart("mkdir", {folder}, 30000, 30000));
        QVERIFY(process.ShellProcessStart("touch", {folder + "/made here"}, 30000, 30000));
        QVERIFY(process.ShellProcessStart("ls \"" + folder + "\"", 30000, 30000));
        QCOMPARE(process.GetOutput(), QString("made here"));
    }

    void timeOutEndsTheCommand()
    {
        CLASS_UTILS_KTPROCESS process(true, true);
        QVERIFY(!process.ShellProcessStart("sleep 60", 30000, 200));
        QCOMPARE(process.state(), QProcess::NotRunning);
        QVERIFY(process.ShellProcessStart("true", 30000, 30000));
    }

    void detachedStartReportsItsEnd_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("output");
        QTest::newRow("runs") << "sh -c \"sleep 0.3; echo done\"" << 0 << "done";
        QTest::newRow("missing program") << "/nonexistent/program" << 3 << "";
    }

    void detachedStartReportsItsEnd()
    {
        QFETCH(QString, command);
        QFETCH(int, result);
        QFETCH(QString, output);
        CLASS_UTILS_KTPROCESS process(true, true);
        QSignalSpy finished(&process, &CLASS_UTILS_KTPROCESS::SIGNAL_KtProcessHasFinished);
        process.ShellProcessStartDetached(command);
        // One command at a time: a second start is refused while it runs.
        QVERIFY(!process.IsIdle() && !process.ShellProcessStart("true", 30000, 30000));
        process.ShellProcessStartDetached("true");
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
        QCOMPARE(process.GetResult(), result);
        QCOMPARE(process.IsFinished(), result == 0);
        QCOMPARE(process.GetOutput(), output);
        QVERIFY(process.IsIdle());
        QTest::qWait(100);
        QCOMPARE(finished.count(), 1);
    }

    void destructionEndsARunningCommand()
    {
        qint64 pid = 0;
        {
            CLASS_UTILS_KTPROCESS process(true, true);
            process.ShellProcessStartDetached("sleep 60");
            QVERIFY(process.waitForStarted(30000));
            pid = process.processId();
        }
        // Reaped by the destructor: no such process any more.
        QCOMPARE(QFile("/proc/" + QString::number(pid) + "/cmdline").size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestKtProcess)
#include "tst_ktprocess.moc"
