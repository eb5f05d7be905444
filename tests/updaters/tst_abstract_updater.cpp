#include <QtTest>
#include <atomic>

#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassUtilsProgFile.h"
#include "TraceCapture.h"
#include "UpdaterHarness.h"

using namespace UpdaterHarness;

namespace
{
// The least a derived updater does: remembers on which thread it ran.
class CLASS_PROBE_UPDATER : public CLASS_ABSTRACT_UPDATER
{
public:
    using CLASS_ABSTRACT_UPDATER::CLASS_ABSTRACT_UPDATER;
    DWord GetProgress() override { return m_Progress.load(); }
    void Process() override
    {
        m_ActivityTimer.start();
        SetStatus(UPDATER_STATUS_RUNNING);
        ProcessThread = QThread::currentThread();
    }
    SDWord GetExtendedStatus() override { return 0; }
    void SLOT_TimeOut() override
    {
        CLASS_ABSTRACT_UPDATER::SLOT_TimeOut();
        TimeOutThread = QThread::currentThread();
    }
    std::atomic<QThread*> ProcessThread{nullptr};
    std::atomic<QThread*> TimeOutThread{nullptr};
};

std::atomic<qint64> g_Now{1000};
qint64 ManualClock()
{
    return g_Now.load();
}
} // namespace

class TestAbstractUpdater : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Dir.isValid());
        QVERIFY(m_Traces.Start(m_Dir.filePath("traces")));
    }

    void configure()
    {
        const T_END_ACTION reset = END_ACTION_RESET;
        const T_COMPONENT_TYPE app = COMPONENT_TYPE_APP;
        const T_CARD_TYPE box = CARD_TYPE_BOX;

        CLASS_PROBE_UPDATER empty("BOX_EMPTY", STEP_FINAL_RESET, nullptr);
        QCOMPARE(empty.GetEndAction(), END_ACTION_NOT_RECOGNIZED);
        CLASS_BINARY_INFORMATIONS none(QString(), 0, 0);
        QVERIFY(empty.Configure(&none, nullptr, 0, &reset, &app, &box));
        QVERIFY(!empty.GetProgFileUtility());
        QCOMPARE(empty.GetEndAction(), END_ACTION_RESET);
        QCOMPARE(empty.GetCardType(), CARD_TYPE_BOX);
        // Reset of an updater without programming file clears status, flag and progress only.
        empty.SetStatus(UPDATER_STATUS_ERROR);
        empty.SetProgress(40);
        empty.Reset();
        QCOMPARE(empty.GetStatus(), SDWord(UPDATER_STATUS_IDLE));
        QCOMPARE(empty.GetProgress(), DWord(0));

        m_Traces.NewErrors();
        CLASS_PROBE_UPDATER missing("BOX_MISSING", STEP_RAM_PROGRAM_MAIN, nullptr);
        const QString path = m_Dir.filePath("absent.bin");
        CLASS_BINARY_INFORMATIONS absent(path, 0, 0);
        QVERIFY(!missing.Configure(&absent, nullptr, 0, &reset, &app, &box));
        QVERIFY(!missing.GetProgFileUtility());
        const QString error = m_Traces.NewErrors().last();
        QVERIFY2(error.startsWith("../BACKEND/UPDATER/ClassAbstractUpdater Configure() Line "),
                 qPrintable(error));
        QVERIFY(error.endsWith(" Invalid binary path or read right: " + path));

        // A programming file read back from the start after Reset.
        CLASS_PROBE_UPDATER present("BOX_APP", STEP_RAM_PROGRAM_MAIN, nullptr);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "app.bin", Pattern(300, 1)), 0x400000, 0x400000);
        QVERIFY(present.Configure(&binary, nullptr, 0, &reset, &app, &box));
        QVERIFY(present.GetProgFileUtility() && present.GetProgFileUtility()->GetProgFile());
        QSignalSpy debug(&present, &CLASS_ABSTRACT_UPDATER::SIGNAL_DisplayDebug);
        CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file = present.GetProgFileUtility()->GetProgFile();
        file->ProgrammationWorker(); // SET_COMPONENT, announced through the updater
        QCOMPARE(debug.count(), 1);
        QCOMPARE(debug.at(0).at(0).toString(), QString("\t\t SET_COMPONENT"));
        file->SetOffset(128);
        present.Reset();
        QCOMPARE(file->GetOffset(), DWord(0));
    }

    void errorStatus()
    {
        CLASS_PROBE_UPDATER updater("U", STEP_RAM_PROGRAM_MAIN, nullptr);
        m_Traces.NewErrors();
        updater.ErrorStatus("x");
        QCOMPARE(updater.GetStatus(), SDWord(UPDATER_STATUS_ERROR));
        QCOMPARE(updater.GetErrorMessage(), QString("Updater Error"));
        const QString error = m_Traces.NewErrors().last();
        QVERIFY2(error.startsWith("../BACKEND/UPDATER/ClassAbstractUpdater ErrorStatus() Line "),
                 qPrintable(error));
        QVERIFY(error.endsWith(" Updater Error: \"x\" for U"));
        QVERIFY(!updater.IsFinished(nullptr));
    }

    // Start and time-out run on the updater's thread whoever emits them.
    void startAndTimeOutRunOnUpdaterThread()
    {
        auto* updater = new CLASS_PROBE_UPDATER("BOX_PROBE", STEP_RAM_PROGRAM_MAIN, nullptr);
        QThread thread;
        updater->moveToThread(&thread);
        thread.start();
        emit updater->SIGNAL_Start();
        QTRY_VERIFY(updater->ProcessThread.load() == &thread);
        QCOMPARE(updater->GetStatus(), SDWord(UPDATER_STATUS_RUNNING));
        QVERIFY(updater->GetTimer().isValid());
        emit updater->SIGNAL_TimeOut();
        QTRY_VERIFY(updater->TimeOutThread.load() == &thread);
        QCOMPARE(updater->GetStatus(), SDWord(UPDATER_STATUS_ERROR));
        QMetaObject::invokeMethod(
            updater, [updater] { delete updater; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }

    // The activity timer: restarted on one thread, read on another.
    void activityTimer()
    {
        CLASS_ACTIVITY_TIMER timer(&ManualClock);
        QVERIFY(!timer.isValid());
        QCOMPARE(timer.elapsed(), qint64(0));
        timer.start();
        g_Now += 15000;
        QCOMPARE(timer.elapsed(), qint64(15000));
        QVERIFY(timer.hasExpired(14999));
        QCOMPARE(timer.restart(), qint64(15000));
        QVERIFY(!timer.hasExpired(14999));

        CLASS_ACTIVITY_TIMER shared;
        shared.start();
        std::atomic<bool> stop{false};
        QThread* writer = QThread::create(
            [&]
            {
                while (!stop.load())
                    shared.restart();
            });
        writer->start();
        for (int i = 0; i < 20000; ++i)
            QVERIFY(shared.elapsed() >= 0);
        stop = true;
        writer->wait();
        delete writer;
    }

private:
    QTemporaryDir m_Dir;
    TraceCapture m_Traces;
};

QTEST_GUILESS_MAIN(TestAbstractUpdater)
#include "tst_abstract_updater.moc"
