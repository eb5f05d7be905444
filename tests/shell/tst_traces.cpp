#include <QtTest>

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
        return file.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                   : QStringList();
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
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unnamed, padded") << "" << qint64(42) << "a" << 0 << "[UNKNOWN][0000000000042][M]a\n";
        QTest::newRow("every THREAD_ removed, verbose")
            << "THREAD_USB_THREAD_X" << qint64(1700000000123) << "" << 1 << "[USB_X][1700000000123][V]\n";
    }

    void lineFormat()
    {
        QFETCH(QString, thread);
        QFETCH(qint64, time);
        QFETCH(QString, message);
        QFETCH(int, level);
        QTEST(FormatTraceLine(thread, time, level, message), "expected");
    }

    void positionPrefix()
    {
        const int line = __LINE__ + 1;
        const QString here = TRACE_POS;
        QCOMPARE(here, QString("../tests/shell/tst_traces positionPrefix() Line %1 ").arg(line));
    }

    // The whole life of one run, in order: files and links, header, error file
    // on first error, lines from many threads, stop, lines after stop.
    void runLifecycle()
    {
        QDir folder(m_Scratch.path() + "/KT_TRACES");
        QVERIFY(folder.mkpath("tracer"));
        m_TraceThread = new QThread; // lives until exit: the trace worker keeps its affinity to it
        QThread::currentThread()->setObjectName("THREAD_MAIN");
        InitTraces("tracer", "BOX_UPDATER", folder, m_TraceThread);
        StartTraces();
        m_TraceThread->start();

        const QString info = CurrentInfoFilePath();
        const QString error = CurrentErrorFilePath();
        QVERIFY(QRegularExpression("^00000000_INFO_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.log$")
                    .match(QFileInfo(info).fileName())
                    .hasMatch());
        QCOMPARE(QFileInfo(error).fileName(), QFileInfo(info).fileName().replace("_INFO_", "_ERROR_"));
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
            workers << QThread::create(
                [t]
                {
                    for (int i = 0; i < perThread; ++i)
                        TraceInfo(QString("w%1 %2").arg(t).arg(i));
                });
            workers.last()->setObjectName(QString("THREAD_W%1").arg(t));
            workers.last()->start();
        }
        for (QThread* worker : workers)
            QVERIFY(worker->wait(30000));
        qDeleteAll(workers);
        TraceInfo("last before stop");
        StopTraces();
        QVERIFY(m_TraceThread->isFinished());
        TraceInfo("after stop");

        const QStringList lines = Lines(info);
        const QString head = "^\\[MAIN\\]\\[\\d{13}\\]\\[M\\]";
        const QRegularExpression header(head + "tracer BOX_UPDATER PROGRAM START$");
        QVERIFY2(header.match(lines.value(0)).hasMatch(), qPrintable(lines.value(0)));
        QCOMPARE(lines.size(), 2 + threads * perThread + 2);
        QVERIFY(lines[1].endsWith("]first info") && lines[lines.size() - 2].endsWith("]last before stop") &&
                lines.last().endsWith("]after stop"));
        // Each thread's lines whole and in its order.
        QVector<int> next(threads, 0);
        const QRegularExpression workerLine("^\\[W(\\d)\\]\\[\\d{13}\\]\\[M\\]w\\d (\\d+)$");
        for (const QString& line : lines.mid(2, threads * perThread))
        {
            const QRegularExpressionMatch m = workerLine.match(line);
            QVERIFY2(m.hasMatch() && m.captured(2).toInt() == next[m.captured(1).toInt()]++,
                     qPrintable(line));
        }
        const QStringList errors = Lines(error);
        QCOMPARE(errors.size(), 2);
        QVERIFY(header.match(errors[0]).hasMatch());
        QVERIFY(QRegularExpression(head + "first error$").match(errors[1]).hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestTraces)
#include "tst_traces.moc"
