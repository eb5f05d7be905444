// The box updater in process: the poll rules of the steps (a start is only
// observed, nothing runs), and its package and configuration
// failures with the real openssl and 7-Zip.
#include <QtTest>

#include <unistd.h>

#include "BACKEND/Box_Updater.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "BACKEND/UPDATER/MVR_ClassInitUpdater.h"
#include "TraceCapture.h"
#include "UpdateRuns.h"

using Steps = QList<int>;

class TST_BOX_UPDATER : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;
    UpdateRuns::T_SCRATCH m_Packages;
    CLASS_BINARY_INFORMATIONS m_NoBinary{QString(), 0, 0};

    // A box card with one updater per given step; the test sets every status itself.
    CLASS_CARD* BuildCard(BOX_UPDATER& box, const Steps& steps)
    {
        CLASS_CARD* card = box.GetCardsManager().AddCard(CARD_TYPE_BOX);
        for (const int step : steps)
            card->AddComponent(UpdateStepToText(T_UPDATE_STEP(step)), T_UPDATE_STEP(step),
                               COMMUNICATION_TYPE_UDP, "MICRO", &m_NoBinary, nullptr,
                               step == STEP_FINAL_RESET ? COMPONENT_TYPE_RESIDENT : COMPONENT_TYPE_RAM,
                               END_ACTION_NONE, false, false);
        // A start is only observed: nothing runs on the card's thread.
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
            QObject::disconnect(component->GetUpdater(), &CLASS_ABSTRACT_UPDATER::SIGNAL_Start, nullptr,
                                nullptr);
        return card;
    }

    static CLASS_ABSTRACT_UPDATER* Updater(CLASS_CARD* card, int step)
    {
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
            if (component->GetUpdater()->GetStep() == step)
                return component->GetUpdater();
        qFatal("no updater of step %d", step);
    }

    // Which steps a poll started.
    Bool m_Finished = false;
    Bool m_Error = false;
    Steps Poll(BOX_UPDATER& box, CLASS_CARD* card)
    {
        QList<QSharedPointer<QSignalSpy>> spies;
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
            spies << QSharedPointer<QSignalSpy>::create(component->GetUpdater(),
                                                        &CLASS_ABSTRACT_UPDATER::SIGNAL_Start);
        box.CardsUpdate(m_Finished, m_Error);
        Steps started;
        for (int i = 0; i < spies.size(); ++i)
            if (spies.at(i)->count() > 0)
                started << card->GetComponents().at(i)->GetStep();
        return started;
    }

    static void SetDelays(BOX_UPDATER& box, int pollMs, int inactivityMs)
    {
        T_BOX_UPDATER_DELAYS delays;
        delays.PollIntervalMs = pollMs;
        delays.InactivityTimeoutMs = inactivityMs;
        box.SetDelays(delays);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.filePath("traces")));
        InitEnumerationTables();
    }
    void init() { m_Finished = m_Error = false; }

    // Step 2 fails with steps 0 and 1 present: 0 starts, then 1; once 1 runs,
    // 2 is reset; when 1 succeeds, 2 starts again; a second failure ends it.
    void RecoveryRoad()
    {
        BOX_UPDATER box(false, false, true);
        CLASS_CARD* card =
            BuildCard(box, {STEP_SAMBA_PROGRAM_RAM, STEP_RAM_PROGRAM_RESIDENT, STEP_RESIDENT_PROGRAM_RAM,
                            STEP_RAM_PROGRAM_MAIN, STEP_FINAL_RESET});
        CLASS_ABSTRACT_UPDATER* ram = Updater(card, STEP_RESIDENT_PROGRAM_RAM);
        QCOMPARE(Poll(box, card), Steps{STEP_RESIDENT_PROGRAM_RAM});
        ram->SetStatus(UPDATER_STATUS_RUNNING);
        QCOMPARE(Poll(box, card), Steps());
        ram->SetProgress(30);
        ram->SetStatus(UPDATER_STATUS_ERROR);
        QCOMPARE(Poll(box, card), Steps{STEP_SAMBA_PROGRAM_RAM});
        Updater(card, STEP_SAMBA_PROGRAM_RAM)->SetStatus(UPDATER_STATUS_SUCCESS);
        QCOMPARE(Poll(box, card), Steps{STEP_RAM_PROGRAM_RESIDENT});
        Updater(card, STEP_RAM_PROGRAM_RESIDENT)->SetStatus(UPDATER_STATUS_RUNNING);
        QCOMPARE(Poll(box, card), Steps());
        QCOMPARE(ram->GetStatus(), SDWord(UPDATER_STATUS_IDLE));
        QCOMPARE(ram->GetProgress(), DWord(0));
        Updater(card, STEP_RAM_PROGRAM_RESIDENT)->SetStatus(UPDATER_STATUS_SUCCESS);
        QCOMPARE(Poll(box, card), Steps{STEP_RESIDENT_PROGRAM_RAM});
        QVERIFY(!m_Finished);
        // The second failure, after some progress, ends the update: state 3.
        QSignalSpy states(&box, &BOX_UPDATER::SIGNAL_ChangeCurrentState);
        ram->SetProgress(40);
        ram->SetStatus(UPDATER_STATUS_ERROR);
        Poll(box, card);
        QVERIFY(m_Finished && m_Error);
        QCOMPARE(card->GetCardState(), DWord(BOX_UPDATER_STATE_ERROR));
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.at(0).at(0).value<T_BOX_UPDATER_STATE>(), BOX_UPDATER_STATE_ERROR);
    }

    // Without a recovery road (no step 1), step 2 failing ends the update: it is not reset for ever.
    void Step2FailingWithoutStep1EndsTheRun()
    {
        BOX_UPDATER box(false, false, true);
        CLASS_CARD* card =
            BuildCard(box, {STEP_RESIDENT_PROGRAM_RAM, STEP_RAM_PROGRAM_MAIN, STEP_FINAL_RESET});
        CLASS_ABSTRACT_UPDATER* ram = Updater(card, STEP_RESIDENT_PROGRAM_RAM);
        ram->SetStatus(UPDATER_STATUS_ERROR);
        QCOMPARE(Poll(box, card), Steps());
        QVERIFY(m_Finished && m_Error);
        QCOMPARE(ram->GetStatus(), SDWord(UPDATER_STATUS_ERROR));
    }

    // The normal road: 2, then 3 (the unused recovery steps count as done), the FPGA
    // after it, then the final reset after the card's last step; success ends the run.
    void NormalRoad()
    {
        BOX_UPDATER box(false, false, true);
        CLASS_CARD* card =
            BuildCard(box, {STEP_SAMBA_PROGRAM_RAM, STEP_RAM_PROGRAM_RESIDENT, STEP_RESIDENT_PROGRAM_RAM,
                            STEP_RAM_PROGRAM_MAIN, STEP_RAM_PROGRAM_FPGA_0, STEP_FINAL_RESET});
        const Steps road{STEP_RESIDENT_PROGRAM_RAM, STEP_RAM_PROGRAM_MAIN, STEP_RAM_PROGRAM_FPGA_0,
                         STEP_FINAL_RESET};
        for (const int step : road)
        {
            QCOMPARE(Poll(box, card), Steps{step});
            QVERIFY(!m_Finished);
            Updater(card, step)->SetStatus(UPDATER_STATUS_SUCCESS);
        }
        QCOMPARE(Updater(card, STEP_SAMBA_PROGRAM_RAM)->GetProgress(), DWord(100));
        QCOMPARE(Updater(card, STEP_RAM_PROGRAM_RESIDENT)->GetProgress(), DWord(100));
        QSignalSpy states(&box, &BOX_UPDATER::SIGNAL_ChangeCurrentState);
        Poll(box, card);
        QVERIFY(m_Finished && !m_Error);
        QCOMPARE(card->GetCardState(), DWord(BOX_UPDATER_STATE_FINISHED));
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.at(0).at(0).value<T_BOX_UPDATER_STATE>(), BOX_UPDATER_STATE_FINISHED);
    }

    // A final reset without any programming step before it has nothing to
    // wait for: it ends the update as a failure, not as a success.
    void FinalResetWithoutPreviousStepFails()
    {
        BOX_UPDATER box(false, false, true);
        CLASS_CARD* card = BuildCard(box, {STEP_RAM_PROGRAM_RESIDENT, STEP_FINAL_RESET});
        Updater(card, STEP_RAM_PROGRAM_RESIDENT)->SetStatus(UPDATER_STATUS_SUCCESS);
        m_Traces.NewErrors();
        QCOMPARE(Poll(box, card), Steps());
        QVERIFY(m_Finished && m_Error);
        QVERIFY(m_Traces.NewErrors().join('\n').contains(
            "Updater \"BOX_STEP_FINAL_RESET\" has no valid previous updater, abort update!"));
    }

    // With the box updater's own defaults: one poll a second, 5 s start waits, and an updater silent for
    // 15,000 ms (not 14,999) is timed out, on its own clock.
    void SilentUpdaterIsTimedOut()
    {
        BOX_UPDATER box(false, false, true);
        QVERIFY(box.GetDelays().PollIntervalMs == 1000 && box.GetDelays().UpdaterStartWaitMs == 5000);
        CLASS_CARD* card =
            BuildCard(box, {STEP_RESIDENT_PROGRAM_RAM, STEP_RAM_PROGRAM_MAIN, STEP_FINAL_RESET});
        CLASS_ABSTRACT_UPDATER* ram = Updater(card, STEP_RESIDENT_PROGRAM_RAM);
        static qint64 now = 0;
        ram->GetTimer().SetClock([]() { return now; });
        ram->SetStatus(UPDATER_STATUS_RUNNING);
        ram->GetTimer().start();
        QSignalSpy timeOuts(ram, &CLASS_ABSTRACT_UPDATER::SIGNAL_TimeOut);
        now = 14999;
        Poll(box, card);
        QCOMPARE(timeOuts.count(), 0);
        now = 15000;
        Poll(box, card);
        QCOMPARE(timeOuts.count(), 1);
    }

    // One holder of the work folder at a time (holds nest): a second update is refused.
    // Once it is free, no package at all is refused as corrupted. Quiet mode closes with code 3.
    void WorkFolderIsHeldByOneUpdater()
    {
        BOX_UPDATER first(false, false, true);
        BOX_UPDATER second(false, false, true);
        QVERIFY(first.HoldWorkFolder());
        QVERIFY(first.HoldWorkFolder());
        QVERIFY(!second.HoldWorkFolder());
        QVERIFY(second.GetWorkFolderRefusal().contains("(process " + QString::number(getpid())));
        QSignalSpy failures(&second, &BOX_UPDATER::SIGNAL_ExtractionFailed);
        QSignalSpy closes(&second, &BOX_UPDATER::SIGNAL_CloseUpdater);
        second.StartUpdate(m_Scratch.filePath("components.json"));
        first.ReleaseWorkFolder();
        QVERIFY(!second.HoldWorkFolder());
        first.ReleaseWorkFolder();

        second.GetPackageExtractor().CleanExtractionFolder();
        const QString folder = second.GetPackageExtractor().GetLocalPackageFolder();
        for (const QString& old : QDir(folder).entryList({"*.ktp"}))
            QFile::remove(folder + "/" + old);
        second.StartUpdate(m_Scratch.filePath("components.json"));
        QCOMPARE(failures.count(), 2);
        QCOMPARE(failures.at(1).at(0).toString(),
                 QString("The current package is corrupted. Please select a new one."));
        QCOMPARE(closes.count(), 2);
        QCOMPARE(closes.at(0).at(0).toInt(), BOX_UPDATER::RETURN_CODE_PACKAGE_UNUSABLE);
        QCOMPARE(closes.at(1).at(0).toInt(), BOX_UPDATER::RETURN_CODE_PACKAGE_UNUSABLE);
    }

    // Another account's work folder is refused as such, not as another updater's.
    void AnotherAccountsWorkFolderIsRefusedAsSuch()
    {
        if (getuid() != 0)
            QSKIP("giving the folder to another account needs root");
        BOX_UPDATER box(false, false, true);
        const QString folder = box.GetPackageExtractor().GetWorkFolder();
        const QByteArray name = QFile::encodeName(folder);
        const bool held = chown(name, 65534, 65534) == 0 && box.HoldWorkFolder();
        QVERIFY(chown(name, 0, 0) == 0 && !held);
        QVERIFY(box.GetWorkFolderRefusal().contains("\"" + folder + "\" belongs to the account \"nobody\""));
    }

    // A lock left by a living updater is never taken over, however old; one whose process is gone is.
    void OnlyALockWithoutItsProcessIsStale()
    {
        BOX_UPDATER box(false, false, true);
        QFile lock(box.WorkFolderLockPath());
        for (const qint64 pid : {QCoreApplication::applicationPid(), qint64(0x7FFFFFF0)})
        {
            QVERIFY(QDir().mkpath(box.GetPackageExtractor().GetWorkFolder()) &&
                    lock.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            lock.write(
                QString("%1\n%2\n%3\n").arg(pid).arg(qAppName(), QSysInfo::machineHostName()).toUtf8());
            QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                     QFileDevice::FileModificationTime));
            lock.close();
            QCOMPARE(box.HoldWorkFolder(), pid != QCoreApplication::applicationPid());
        }
        box.ReleaseWorkFolder();
    }

    // Quitting while the update polls: the loop sees it within one poll and
    // only then are the card threads stopped and their updaters deleted;
    // nothing is reported as finished or failed.
    void QuitStopsThePollsBeforeTheCardThreads()
    {
        BOX_UPDATER box(false, false, false);
        SetDelays(box, 100, 600000);
        CLASS_CARD* card =
            BuildCard(box, {STEP_RESIDENT_PROGRAM_RAM, STEP_RAM_PROGRAM_MAIN, STEP_FINAL_RESET});
        CLASS_ABSTRACT_UPDATER* running = Updater(card, STEP_RESIDENT_PROGRAM_RAM);
        running->SetStatus(UPDATER_STATUS_RUNNING);
        running->GetTimer().start();
        const QPointer<CLASS_ABSTRACT_UPDATER> ram(running);
        QSignalSpy states(&box, &BOX_UPDATER::SIGNAL_ChangeCurrentState);
        QSignalSpy closes(&box, &BOX_UPDATER::SIGNAL_CloseUpdater);
        std::unique_ptr<QThread> loop(QThread::create([&box] { box.RunUpdate(); }));
        loop->start();
        QTest::qWait(350);
        QVERIFY(loop->isRunning());

        QElapsedTimer quit;
        quit.start();
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
        QVERIFY(loop->wait(10000));
        QVERIFY2(quit.elapsed() < 2000, qPrintable(QString::number(quit.elapsed())));
        QVERIFY(!card->GetThread()->isRunning());
        QVERIFY(ram.isNull());
        QCOMPARE(states.count(), 0);
        QCOMPARE(closes.count(), 0);
    }

    // The wait for the init reset ends even when the reset never starts or
    // its activity timer was never started.
    void InitializationWaitIsBounded_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("timerStarted");
        QTest::newRow("never starts") << int(UPDATER_STATUS_IDLE) << false;
        QTest::newRow("running, activity timer never started") << int(UPDATER_STATUS_RUNNING) << false;
        QTest::newRow("running, silent") << int(UPDATER_STATUS_RUNNING) << true;
    }
    void InitializationWaitIsBounded()
    {
        QFETCH(int, status);
        QFETCH(bool, timerStarted);
        BOX_UPDATER box(false, false, true);
        SetDelays(box, 20, 200);
        CLASS_INIT_UPDATER init(QStringLiteral("BOX_UPDATER_INIT"), nullptr);
        init.SetStatus(status);
        if (timerStarted)
            init.GetTimer().start();
        QSignalSpy timeOuts(&init, &CLASS_ABSTRACT_UPDATER::SIGNAL_TimeOut);
        m_Traces.NewErrors();
        bool result = false;
        std::unique_ptr<QThread> wait(QThread::create([&] { result = box.WaitForInitialization(&init); }));
        wait->start();
        const bool ended = wait->wait(5000);
        if (!ended)
            init.SetStatus(UPDATER_STATUS_ERROR); // let it go before failing
        wait->wait();
        QVERIFY2(ended, "the wait for the init reset did not end");
        QVERIFY(result);
        QCOMPARE(timeOuts.count(), 1);
        const QString errors = m_Traces.NewErrors().join('\n');
        QCOMPARE(errors.count("Timeout encountered during initialization updater, abort updater!"), 1);
    }

    // A temporary folder that cannot hold the work folder: refused with its
    // name, nothing written anywhere else (not at the file-system root).
    void UnusableTemporaryFolderIsRefused()
    {
        const QString package = m_Packages.MakePackage("unusable", {});
        QVERIFY(!package.isEmpty());
        for (const bool isFile : {false, true})
        {
            const QString name = isFile ? "a file" : "no such folder";
            const QString temporary = m_Scratch.filePath(name);
            if (isFile)
                QVERIFY(!TestSupport::WriteFile(m_Scratch, name, "x").isEmpty());
            const QByteArray savedTemporary = qgetenv("TMPDIR");
            qputenv("TMPDIR", QFile::encodeName(temporary));
            const bool rootHadWorkFolder = QFileInfo::exists("/BOX_UPDATER");
            {
                BOX_UPDATER box(false, false, true);
                QSignalSpy failures(&box, &BOX_UPDATER::SIGNAL_ExtractionFailed);
                QSignalSpy closes(&box, &BOX_UPDATER::SIGNAL_CloseUpdater);
                QVERIFY(!box.HoldWorkFolder());
                QVERIFY(!box.TakePackage(package));
                box.StartUpdate(m_Scratch.filePath("components.json"));
                QCOMPARE(closes.count(), 1);
                QCOMPARE(closes.at(0).at(0).toInt(), BOX_UPDATER::RETURN_CODE_PACKAGE_UNUSABLE);
                QCOMPARE(failures.count(), 1);
                QVERIFY2(failures.at(0).at(0).toString().contains("\"" + temporary + "\""),
                         qPrintable(failures.at(0).at(0).toString()));
            }
            qputenv("TMPDIR", savedTemporary);
            QCOMPARE(QFileInfo::exists("/BOX_UPDATER"), rootHadWorkFolder);
            QVERIFY(!QFileInfo(temporary).isDir());
        }
    }
};

QTEST_GUILESS_MAIN(TST_BOX_UPDATER)
#include "tst_box_updater.moc"
