#include <QtTest>

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

#include "Traces.h"

class TestTraces : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Scratch;
    QThread* m_TraceThread = nullptr;

    static QStringList Lines(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Scratch.isValid());
    }

    void runNumberFollowsLargestFound()
    {
        QDir folder(m_Scratch.path() + "/runs");
        QVERIFY(folder.mkpath("."));
        QCOMPARE(NextRunNumber(folder), 0);
        for (const char* name : {"00000007_INFO_2026-01-01_10-00-00.log", "notes.log", "00000003_ERROR_x.log",
                                 "abc_INFO_x.log", "00000042.txt"})
        {
            QFile file(folder.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(NextRunNumber(folder), 8);
    }

    void lineFormat_data()
    {
        QTest::addColumn<QString>("thread");
        QTest::addColumn<qint64>("time");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("named") << "THREAD_BACKEND" << qint64(1700000000123) << 0 << "hello"
                               << "[BACKEND][1700000000123][M]hello\n";
        QTest::newRow("padded") << "THREAD_MAIN" << qint64(42) << 0 << "x"
                                << "[MAIN][0000000000042][M]x\n";
        QTest::newRow("unnamed") << "" << qint64(5) << 0 << "a"
                                 << "[UNKNOWN][0000000000005][M]a\n";
        QTest::newRow("every THREAD_ removed") << "THREAD_USB_THREAD_X" << qint64(5) << 0 << ""
                                               << "[USB_X][0000000000005][M]\n";
        QTest::newRow("verbose tag") << "T" << qint64(5) << 1 << "m"
                                     << "[T][0000000000005][V]m\n";
    }

    void lineFormat()
    {
        QFETCH(QString, thread);
        QFETCH(qint64, time);
        QFETCH(int, level);
        QFETCH(QString, message);
        QFETCH(QString, expected);
        QCOMPARE(FormatTraceLine(thread, time, level, message), expected);
    }

    void positionPrefix()
    {
        QCOMPARE(TracePosition(QRN_SOURCE_ROOT "main.cpp", "qMain", 122),
                 QString("../main qMain() Line 122 "));
        QCOMPARE(TracePosition(QRN_SOURCE_ROOT "BACKEND/UPDATER/ClassAbstractUpdater.cpp", "Reset", 7),
                 QString("../BACKEND/UPDATER/ClassAbstractUpdater Reset() Line 7 "));
        const int line = __LINE__ + 1;
        const QString here = TRACE_POS;
        QCOMPARE(here, QString("../tests/shell/tst_traces positionPrefix() Line %1 ").arg(line));
    }

    void missingFolderLeavesTracingOff()
    {
        QThread thread;
        InitTraces("app", "BOX_UPDATER", QDir(m_Scratch.path() + "/does/not/exist"), &thread);
        StartTraces();
        QVERIFY(CurrentInfoFilePath().isEmpty());
        TraceInfo("dropped"); // must neither crash nor write anywhere
        QVERIFY(!QFileInfo::exists(m_Scratch.path() + "/does"));
    }

    // The whole life of one run, in order: files and links, header, error file
    // on first error, lines from many threads, stop, lines after stop.
    void runLifecycle()
    {
        QDir folder(m_Scratch.path() + "/KT_TRACES");
        QVERIFY(folder.mkpath("."));
        QDir(folder.filePath("tracer")).mkpath(".");
        QFile old(folder.filePath("tracer/00000007_INFO_2020-01-01_00-00-00.log"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();

        m_TraceThread = new QThread;
        m_TraceThread->setObjectName("THREAD_TRACES");
        QThread::currentThread()->setObjectName("THREAD_MAIN");
        InitTraces("tracer", "BOX_UPDATER", folder, m_TraceThread);
        StartTraces();
        m_TraceThread->start();

        const QString info = CurrentInfoFilePath();
        const QString error = CurrentErrorFilePath();
        QVERIFY(QFileInfo(info).fileName().startsWith("00000008_INFO_"));
        QVERIFY(QFileInfo(error).fileName().startsWith("00000008_ERROR_"));
        QVERIFY(QRegularExpression("^00000008_INFO_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.log$")
                    .match(QFileInfo(info).fileName())
                    .hasMatch());
        QVERIFY(QFileInfo::exists(info));
        QVERIFY(!QFileInfo::exists(error));
        QCOMPARE(QFileInfo(folder.filePath("tracer/CURRENT_INFO.lnk")).symLinkTarget(), info);
        QCOMPARE(QFileInfo(folder.filePath("tracer/CURRENT_ERROR.lnk")).symLinkTarget(), error);

        TraceInfo("first info");
        TraceError("first error");

        const int threads = 4;
        const int perThread = 2500;
        QList<QThread*> workers;
        for (int t = 0; t < threads; ++t)
        {
            QThread* worker = QThread::create(
                [t]
                {
                    for (int i = 0; i < perThread; ++i)
                        TraceInfo(QString("w%1 %2").arg(t).arg(i));
                });
            worker->setObjectName(QString("THREAD_W%1").arg(t));
            workers << worker;
            worker->start();
        }
        for (QThread* worker : workers)
        {
            QVERIFY(worker->wait(30000));
            delete worker;
        }
        TraceInfo("last before stop");
        StopTraces();
        QVERIFY(m_TraceThread->isFinished());
        TraceInfo("after stop");

        const QStringList infoLines = Lines(info);
        QRegularExpression header("^\\[MAIN\\]\\[\\d{13}\\]\\[M\\]tracer BOX_UPDATER PROGRAM START$");
        QVERIFY2(header.match(infoLines.value(0)).hasMatch(), qPrintable(infoLines.value(0)));
        QVERIFY(infoLines.value(1).endsWith("[M]first info"));
        QCOMPARE(infoLines.size(), 1 + 1 + threads * perThread + 2);
        QVector<int> next(threads, 0);
        for (const QString& line : infoLines.mid(2, threads * perThread))
        {
            QRegularExpressionMatch m =
                QRegularExpression("^\\[W(\\d)\\]\\[\\d{13}\\]\\[M\\]w\\d (\\d+)$").match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            const int t = m.captured(1).toInt();
            QCOMPARE(m.captured(2).toInt(), next[t]++);
        }
        QVERIFY(infoLines.value(infoLines.size() - 2).endsWith("]last before stop"));
        QVERIFY(infoLines.last().endsWith("]after stop"));

        const QStringList errorLines = Lines(error);
        QCOMPARE(errorLines.size(), 2);
        QVERIFY(header.match(errorLines[0]).hasMatch());
        QVERIFY(errorLines[1].startsWith("[MAIN]["));
        QVERIFY(errorLines[1].endsWith("][M]first error"));
    }
};

QTEST_GUILESS_MAIN(TestTraces)
#include "tst_traces.moc"
