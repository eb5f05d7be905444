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
        QTest::addColumn<bool>("detached");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("output");
        for (bool detached : {false, true})
        {
            const char* how = detached ? "detached" : "waited for";
            QTest::addRow("zero, %s", how)
                << detached << "sh -c \"printf '  one\\n\\n two  '\"" << 0 << "one two";
            QTest::addRow("one, %s", how) << detached << "sh -c \"echo partial; exit 1\"" << 1 << "partial";
            QTest::addRow("seven, %s", how) << detached << "sh -c \"exit 7\"" << 7 << "";
            QTest::addRow("missing program, %s", how) << detached << "/nonexistent/program --flag" << 3 << "";
            QTest::addRow("crash, %s", how) << detached << "sh -c \"kill -SEGV $$\"" << -1 << "";
        }
    }

    void exitCodeDecidesTheResult()
    {
        QFETCH(bool, detached);
        QFETCH(QString, command);
        QFETCH(int, result);
        QFETCH(QString, output);
        CLASS_UTILS_KTPROCESS process(true, true);
        QSignalSpy finished(&process, &CLASS_UTILS_KTPROCESS::SIGNAL_KtProcessHasFinished);
        if (detached)
            process.ShellProcessStartDetached(command);
        else
            QCOMPARE(process.ShellProcessStart(command, 30000, 30000), result == 0);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000); // reported once either way
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

    // A stop request (set from any thread) ends a waited-for command, even
    // one that ignores the request to terminate.
    void stopRequestEndsTheCommand()
    {
        std::atomic<Bool> stop{true};
        CLASS_UTILS_KTPROCESS process(true, true);
        process.SetStopRequest(&stop);
        const QDeadlineTimer deadline(10000);
        QVERIFY(!process.ShellProcessStart("sh -c \"trap '' TERM; exec sleep 20\"", 30000, 30000));
        QVERIFY(!deadline.hasExpired() && process.state() == QProcess::NotRunning);
    }

    void destructionEndsARunningCommand()
    {
        qint64 pid = 0;
        {
            CLASS_UTILS_KTPROCESS process(true, true);
            process.ShellProcessStartDetached("sleep 60");
            QVERIFY(process.waitForStarted(30000));
            // One command at a time: a second start is refused while it runs.
            QVERIFY(!process.IsIdle() && !process.ShellProcessStart("true", 30000, 30000));
            pid = process.processId();
        }
        // Reaped by the destructor: no such process any more.
        QCOMPARE(QFile("/proc/" + QString::number(pid) + "/cmdline").size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestKtProcess)
#include "tst_ktprocess.moc"
