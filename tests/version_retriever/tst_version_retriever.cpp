#include <QMutex>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

#include "BACKEND/MISC/MISC_ClassDeviceVersionRetriever.h"
#include "COMDRIVER_ClassUniversalPort.h"
#include "TraceCapture.h"

// A buffered port that answers the version request with scripted chunks.
class CLASS_SCRIPTED_PORT : public CLASS_UNIVERSALPORT
{
public:
    CLASS_SCRIPTED_PORT(const QList<QByteArray>& answer, int failingOpens, bool refuseSends, QObject* parent)
        : CLASS_UNIVERSALPORT(false, QStringLiteral("USB_RETRIEVER_COMM"), parent), m_Answer(answer),
          m_FailingOpens(failingOpens), m_RefuseSends(refuseSends)
    {
    }
    ~CLASS_SCRIPTED_PORT() override { ++Destroyed; }

    void GetReceivedData(QByteArray& data, SDWord size, QString) override
    {
        CopyChunks(m_Chunks.mid(0, m_Visible), data, size);
    }
    Bool Open() override
    {
        ++OpenAttempts;
        if (m_FailingOpens-- > 0)
            return false;
        SetConnectionState(CONNECTION_STATE_CONNECTED);
        return true;
    }
    void Close() override
    {
        ++Closes;
        SetConnectionState(CONNECTION_STATE_DISCONNECTED);
    }
    Bool SendData(QByteArray data, QString) override
    {
        ++SendAttempts;
        if (m_RefuseSends)
            return false;
        Sent += data;
        m_Chunks += m_Answer; // every chunk becomes readable at once; the retriever must frame lines
        return true;
    }
    Bool HasDataAvailable(QString) override
    {
        // One chunk per look, as successive transfers would arrive.
        if (m_Visible < m_Chunks.size())
            ++m_Visible;
        return m_Visible > 0;
    }
    void ConsumeData(SDWord size, QString) override
    {
        ConsumeChunks(m_Chunks, size);
        m_Visible = 0;
    }

    static std::atomic<int> OpenAttempts;
    static std::atomic<int> SendAttempts;
    static std::atomic<int> Closes;
    static std::atomic<int> Destroyed;
    static QByteArray Sent;

private:
    QList<QByteArray> m_Answer;
    QList<QByteArray> m_Chunks;
    int m_FailingOpens;
    bool m_RefuseSends;
    int m_Visible = 0;
};

std::atomic<int> CLASS_SCRIPTED_PORT::OpenAttempts{0};
std::atomic<int> CLASS_SCRIPTED_PORT::SendAttempts{0};
std::atomic<int> CLASS_SCRIPTED_PORT::Closes{0};
std::atomic<int> CLASS_SCRIPTED_PORT::Destroyed{0};
QByteArray CLASS_SCRIPTED_PORT::Sent;

class TST_VERSION_RETRIEVER : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;

    static void Reset()
    {
        CLASS_SCRIPTED_PORT::OpenAttempts = 0;
        CLASS_SCRIPTED_PORT::SendAttempts = 0;
        CLASS_SCRIPTED_PORT::Closes = 0;
        CLASS_SCRIPTED_PORT::Destroyed = 0;
        CLASS_SCRIPTED_PORT::Sent.clear();
    }

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
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.filePath("traces")));
    }

    void ComputesVersionFromAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("version");
        QTest::newRow("one field") << "VEpac,66051" << true << "1.2.3";
        QTest::newRow("last of several") << "VEpac,9,9,66051" << true << "1.2.3";
        QTest::newRow("high byte ignored") << "VEpac,2130772483" << true << "1.2.3";
        QTest::newRow("not a number") << "VEpac,abc" << false << "";
    }
    void ComputesVersionFromAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(bool, ok);
        QFETCH(QString, version);
        QString computed;
        QCOMPARE(bool(CLASS_DEVICE_VERSION_RETRIEVER::ComputeDeviceVersionFromMicAnswer(answer, computed)),
                 ok);
        if (ok)
            QCOMPARE(computed, version);
        else
            QVERIFY(m_Traces.NewErrors().join('\n').contains("Unable to convert the string to int"));
    }

    void ExchangeOverThePort_data()
    {
        QTest::addColumn<QList<QByteArray>>("answer");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("refuseSends");
        QTest::newRow("whole line") << QList<QByteArray>{"VEpac,66051\r\n"} << "1.2.3"
                                    << "" << false;
        QTest::newRow("line cut in two transfers") << QList<QByteArray>{"VEpac,660", "51\r\n"} << "1.2.3"
                                                   << "" << false;
        QTest::newRow("after another line")
            << QList<QByteArray>{"1SYrst\r\nVEpac,0x0,", "197121\r\n"} << "3.2.1"
            << "" << false;
        QTest::newRow("silent device") << QList<QByteArray>{} << ""
                                       << "Command timeout encountered for the version retriever" << false;
        QTest::newRow("answer never ended")
            << QList<QByteArray>{"VEpac,66051"} << ""
            << "Command timeout encountered for the version retriever" << false;
        QTest::newRow("every send refused") << QList<QByteArray>{"VEpac,66051\r\n"} << ""
                                            << "Failed to read version." << true;
    }
    void ExchangeOverThePort()
    {
        QFETCH(QList<QByteArray>, answer);
        QFETCH(QString, version);
        QFETCH(QString, error);
        QFETCH(bool, refuseSends);
        Reset();
        m_Traces.NewErrors();
        CLASS_DEVICE_VERSION_RETRIEVER retriever;
        UseScript(retriever, answer, 0, refuseSends);
        QSignalSpy spy(&retriever, &CLASS_DEVICE_VERSION_RETRIEVER::SIGNAL_SetDeviceVersion);
        retriever.GetVersion();
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), version);
        QCOMPARE(CLASS_SCRIPTED_PORT::Sent, refuseSends ? QByteArray() : QByteArray("0,0,VEpac\r\n"));
        QCOMPARE(CLASS_SCRIPTED_PORT::SendAttempts.load(),
                 refuseSends ? CLASS_DEVICE_VERSION_RETRIEVER::SEND_ATTEMPTS : 1);
        // After the answer or the failure the port is closed and gone.
        QTRY_COMPARE_WITH_TIMEOUT(CLASS_SCRIPTED_PORT::Destroyed.load(), 1, 5000);
        QCOMPARE(CLASS_SCRIPTED_PORT::Closes.load(), 1);
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
        Reset();
        m_Traces.NewErrors();
        CLASS_DEVICE_VERSION_RETRIEVER retriever;
        UseScript(retriever, {"VEpac,66051\r\n"}, 5);
        QSignalSpy spy(&retriever, &CLASS_DEVICE_VERSION_RETRIEVER::SIGNAL_SetDeviceVersion);
        retriever.GetVersion();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QString());
        QCOMPARE(CLASS_SCRIPTED_PORT::OpenAttempts.load(), 5);
        QVERIFY(CLASS_SCRIPTED_PORT::Sent.isEmpty());
        QVERIFY(m_Traces.NewErrors().join('\n').contains("Cannot open communication for version retriever"));

        // The fifth attempt is enough.
        Reset();
        UseScript(retriever, {"VEpac,66051\r\n"}, 4);
        retriever.GetVersion();
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.last().at(0).toString(), QString("1.2.3"));
        QCOMPARE(CLASS_SCRIPTED_PORT::OpenAttempts.load(), 5);
    }

    // As deployed: on its own thread, asked through a queued call, a second
    // request during an exchange starting over on a new port.
    void RunsOnItsOwnThread()
    {
        Reset();
        QThread thread;
        thread.setObjectName("THREAD_VERSION_RETRIEVER");
        auto* retriever = new CLASS_DEVICE_VERSION_RETRIEVER;
        UseScript(*retriever, {"VEpac,", "131844\r\n"});
        retriever->moveToThread(&thread);
        connect(&thread, &QThread::finished, retriever, &QObject::deleteLater);
        QSignalSpy spy(retriever, &CLASS_DEVICE_VERSION_RETRIEVER::SIGNAL_SetDeviceVersion);
        thread.start();
        QMetaObject::invokeMethod(retriever, "GetVersion", Qt::QueuedConnection);
        QMetaObject::invokeMethod(retriever, "GetVersion", Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(CLASS_SCRIPTED_PORT::Destroyed.load(), 2, 10000);
        QCOMPARE(CLASS_SCRIPTED_PORT::OpenAttempts.load(), 2);
        for (const QList<QVariant>& arguments : spy)
            QCOMPARE(arguments.at(0).toString(), QString("2.3.4"));
        thread.quit();
        QVERIFY(thread.wait(10000));
    }

    void cleanupTestCase() { m_Traces.Stop(); }
};

QTEST_GUILESS_MAIN(TST_VERSION_RETRIEVER)
#include "tst_version_retriever.moc"
