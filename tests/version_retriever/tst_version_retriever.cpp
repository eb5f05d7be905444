#include <QMutex>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include "BACKEND/MISC/MISC_ClassDeviceVersionRetriever.h"
#include "COMDRIVER_ClassUniversalPort.h"
#include "TraceCapture.h"

// What the scripted ports went through, in order, across threads.
QMutex g_Lock;
QStringList g_Events;

void Note(const QString& event)
{
    QMutexLocker locker(&g_Lock);
    g_Events << event;
}

QStringList Events(bool clear = false)
{
    QMutexLocker locker(&g_Lock);
    const QStringList events = g_Events;
    if (clear)
        g_Events.clear();
    return events;
}

// A buffered port that answers the version request with scripted chunks.
class CLASS_SCRIPTED_PORT : public CLASS_UNIVERSALPORT
{
public:
    CLASS_SCRIPTED_PORT(const QList<QByteArray>& answer, int failingOpens, bool refuseSends, QObject* parent)
        : CLASS_UNIVERSALPORT(false, QStringLiteral("USB_RETRIEVER_COMM"), parent), m_Answer(answer),
          m_FailingOpens(failingOpens), m_RefuseSends(refuseSends)
    {
    }
    ~CLASS_SCRIPTED_PORT() override { Note("destroyed"); }

    void GetReceivedData(QByteArray& data, SDWord size, QString) override
    {
        CopyChunks(m_Chunks.mid(0, m_Visible), data, size);
    }
    Bool Open() override
    {
        Note(m_FailingOpens-- > 0 ? "open failed" : "open");
        if (m_FailingOpens < 0)
            SetConnectionState(CONNECTION_STATE_CONNECTED);
        return m_FailingOpens < 0;
    }
    void Close() override
    {
        Note("close");
        SetConnectionState(CONNECTION_STATE_DISCONNECTED);
    }
    Bool SendData(QByteArray data, QString) override
    {
        Note(m_RefuseSends ? QStringLiteral("refused") : QString::fromLatin1("sent " + data));
        if (!m_RefuseSends)
            m_Chunks += m_Answer; // every chunk readable at once: the retriever must frame lines
        return !m_RefuseSends;
    }
    Bool HasDataAvailable(QString) override
    {
        // One chunk per look, as successive transfers would arrive.
        m_Visible = qMin(m_Visible + 1, m_Chunks.size());
        return m_Visible > 0;
    }
    void ConsumeData(SDWord size, QString) override
    {
        ConsumeChunks(m_Chunks, size);
        m_Visible = 0;
    }

private:
    QList<QByteArray> m_Answer;
    QList<QByteArray> m_Chunks;
    int m_FailingOpens;
    bool m_RefuseSends;
    int m_Visible = 0;
};

class TST_VERSION_RETRIEVER : public QObject
{
    Q_OBJECT
private:
    TraceCapture m_Traces;

    static void UseScript(CLASS_DEVICE_VERSION_RETRIEVER& retriever, const QList<QByteArray>& answer,
                          int failingOpens = 0, bool refuseSends = false)
    {
        retriever.SetPortFactory(
            [answer, failingOpens, refuseSends](QObject* parent)
            { return new CLASS_SCRIPTED_PORT(answer, failingOpens, refuseSends, parent); });
        retriever.SetDelays(1500, 10, 10);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Traces.Start(QDir::tempPath() + "/traces"));
    }

    void init()
    {
        Events(true);
        m_Traces.NewErrors();
    }

    void ExchangeOverThePort_data()
    {
        QTest::addColumn<QList<QByteArray>>("answer");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("refuseSends");
        const QString timeout = "Command timeout encountered for the version retriever";
        const auto row = [](const char* name, const QList<QByteArray>& answer, const char* version,
                            const QString& error = {})
        { QTest::newRow(name) << answer << QString(version) << error << false; };
        row("whole line", {"VEpac,66051\r\n"}, "1.2.3");
        row("high byte ignored", {"VEpac,2130772483\r\n"}, "1.2.3");
        row("line cut in two", {"VEpac,660", "51\r\n"}, "1.2.3");
        row("last field, after another line", {"1SYrst\r\nVEpac,0x0,", "197121\r\n"}, "3.2.1");
        row("not a number", {"VEpac,abc\r\n"}, "", "Unable to compute the version of the device");
        row("silent device", {}, "", timeout);
        row("answer never ended", {"VEpac,66051"}, "", timeout);
        QTest::newRow("every send refused") // named by docs/RELIABILITY.md
            << QList<QByteArray>{"VEpac,66051\r\n"} << QString() << "Failed to read version." << true;
    }
    void ExchangeOverThePort()
    {
        QFETCH(QList<QByteArray>, answer);
        QFETCH(QString, version);
        QFETCH(QString, error);
        QFETCH(bool, refuseSends);
        CLASS_DEVICE_VERSION_RETRIEVER retriever;
        UseScript(retriever, answer, 0, refuseSends);
        QSignalSpy spy(&retriever, &CLASS_DEVICE_VERSION_RETRIEVER::SIGNAL_SetDeviceVersion);
        retriever.GetVersion();
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.at(0).at(0).toString(), version);
        // One request; after the answer or the failure the port is closed and gone.
        QTRY_VERIFY_WITH_TIMEOUT(Events().contains("destroyed"), 5000);
        const int sends = refuseSends ? CLASS_DEVICE_VERSION_RETRIEVER::SEND_ATTEMPTS : 1;
        QCOMPARE(Events(), (QStringList{"open"} +
                            QVector<QString>(sends, refuseSends ? "refused" : "sent 0,0,VEpac\r\n").toList() +
                            QStringList{"close", "destroyed"}));
        const QString errors = m_Traces.NewErrors().join('\n');
        if (error.isEmpty())
            QVERIFY2(errors.isEmpty(), qPrintable(errors));
        else
            QVERIFY2(errors.contains("ErrorHasBeenEncountered() Line ") && errors.contains(error),
                     qPrintable(errors));
        QTest::qWait(100);
        QCOMPARE(spy.count(), 1);
    }

    void GivesUpAfterFiveOpens()
    {
        CLASS_DEVICE_VERSION_RETRIEVER retriever;
        UseScript(retriever, {"VEpac,66051\r\n"}, 5);
        QSignalSpy spy(&retriever, &CLASS_DEVICE_VERSION_RETRIEVER::SIGNAL_SetDeviceVersion);
        retriever.GetVersion();
        QCOMPARE(QList<QList<QVariant>>(spy), QList<QList<QVariant>>{{QString()}});
        QCOMPARE(Events().mid(0, 6), QVector<QString>(5, "open failed").toList() << "destroyed");
        QVERIFY(m_Traces.NewErrors().join('\n').contains("Cannot open communication for version retriever"));

        // The fifth attempt is enough.
        UseScript(retriever, {"VEpac,66051\r\n"}, 4);
        retriever.GetVersion();
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.last().at(0).toString(), QString("1.2.3"));
        QCOMPARE(Events().count("open failed"), 9);
    }

    // As deployed: on its own thread, asked through a queued call, a second
    // request during an exchange starting over on a new port.
    void RunsOnItsOwnThread()
    {
        QThread thread;
        auto* retriever = new CLASS_DEVICE_VERSION_RETRIEVER;
        UseScript(*retriever, {"VEpac,", "131844\r\n"});
        retriever->moveToThread(&thread);
        connect(&thread, &QThread::finished, retriever, &QObject::deleteLater);
        QSignalSpy spy(retriever, &CLASS_DEVICE_VERSION_RETRIEVER::SIGNAL_SetDeviceVersion);
        thread.start();
        QMetaObject::invokeMethod(retriever, "GetVersion", Qt::QueuedConnection);
        QMetaObject::invokeMethod(retriever, "GetVersion", Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(Events().count("destroyed"), 2, 10000);
        QCOMPARE(Events().count("open"), 2);
        for (const QList<QVariant>& arguments : spy)
            QCOMPARE(arguments.at(0).toString(), QString("2.3.4"));
        thread.quit();
        QVERIFY(thread.wait(10000));
    }
};

QTEST_GUILESS_MAIN(TST_VERSION_RETRIEVER)
#include "tst_version_retriever.moc"
