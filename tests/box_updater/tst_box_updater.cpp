// The box updater in process: the poll rules of the steps (a start is only
// observed, nothing runs), and its package and configuration
// failures with the real openssl and 7-Zip.
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

#include "BACKEND/Box_Updater.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "BACKEND/UPDATER/MVR_ClassInitUpdater.h"
#include "TestSupport.h"
#include "TraceCapture.h"
#include "UpdateRuns.h"

class TST_BOX_UPDATER : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;
    UpdateRuns::T_SCRATCH m_Packages;
    CLASS_BINARY_INFORMATIONS m_NoBinary{QString(), 0, 0};

    // A box card with one updater per given step; the test sets every status itself.
    CLASS_CARD* BuildCard(BOX_UPDATER& box, const QList<T_UPDATE_STEP>& steps)
    {
        CLASS_CARD* card = box.GetCardsManager().AddCard(CARD_TYPE_BOX);
        if (!card)
            return nullptr;
        for (const T_UPDATE_STEP step : steps)
        {
            const T_COMPONENT_TYPE type =
                step == STEP_FINAL_RESET ? COMPONENT_TYPE_RESIDENT : COMPONENT_TYPE_RAM;
            card->AddComponent(UpdateStepToText(step), step, COMMUNICATION_TYPE_UDP, "MICRO", &m_NoBinary,
                               nullptr, type, END_ACTION_NONE, false, false);
        }
        // A start is only observed: nothing runs on the card's thread.
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
            QObject::disconnect(component->GetUpdater(), &CLASS_ABSTRACT_UPDATER::SIGNAL_Start, nullptr,
                                nullptr);
        return card;
    }

    static CLASS_ABSTRACT_UPDATER* Updater(CLASS_CARD* card, T_UPDATE_STEP step)
    {
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
        {
            if (component->GetUpdater() && component->GetUpdater()->GetStep() == step)
                return component->GetUpdater();
        }
        return nullptr;
    }

    // Which steps a poll started.
    static QList<int> Poll(BOX_UPDATER& box, CLASS_CARD* card, Bool& finished, Bool& error)
    {
        QList<QSharedPointer<QSignalSpy>> spies;
        QList<int> steps;
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
        {
            spies << QSharedPointer<QSignalSpy>::create(component->GetUpdater(),
                                                        &CLASS_ABSTRACT_UPDATER::SIGNAL_Start);
            steps << component->GetUpdater()->GetStep();
        }
        box.CardsUpdate(finished, error);
        QList<int> started;
        for (int i = 0; i < spies.size(); ++i)
        {
            if (spies.at(i)->count() > 0)
                started << steps.at(i);
        }
        return started;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.filePath("traces")));
        InitEnumerationTables();
    }

    // Step 2 fails with steps 0 and 1 present: 0 starts, then 1; once 1 runs,
    // 2 is reset; when 1 succeeds, 2 starts again; a second failure ends it.
    void RecoveryRoad()
    {
        BOX_UPDATER box(false, false, true);
        CLASS_CARD* card =
            BuildCard(box, {STEP_SAMBA_PROGRAM_RAM, STEP_RAM_PROGRAM_RESIDENT, STEP_RESIDENT_PROGRAM_RAM,
                            STEP_RAM_PROGRAM_MAIN, STEP_FINAL_RESET});
        QVERIFY(card);
        CLASS_ABSTRACT_UPDATER* samba = Updater(card, STEP_SAMBA_PROGRAM_RAM);
        CLASS_ABSTRACT_UPDATER* resident = Updater(card, STEP_RAM_PROGRAM_RESIDENT);
        CLASS_ABSTRACT_UPDATER* ram = Updater(card, STEP_RESIDENT_PROGRAM_RAM);
        Bool finished = false;
        Bool error = false;

        QCOMPARE(Poll(box, card, finished, error), QList<int>{STEP_RESIDENT_PROGRAM_RAM});
        ram->SetStatus(UPDATER_STATUS_RUNNING);
        QCOMPARE(Poll(box, card, finished, error), QList<int>());
        ram->SetStatus(UPDATER_STATUS_ERROR);
        QCOMPARE(Poll(box, card, finished, error), QList<int>{STEP_SAMBA_PROGRAM_RAM});
        QCOMPARE(ram->GetStatus(), SDWord(UPDATER_STATUS_ERROR));
        samba->SetStatus(UPDATER_STATUS_SUCCESS);
        QCOMPARE(Poll(box, card, finished, error), QList<int>{STEP_RAM_PROGRAM_RESIDENT});
        resident->SetStatus(UPDATER_STATUS_RUNNING);
        QCOMPARE(Poll(box, card, finished, error), QList<int>());
        QCOMPARE(ram->GetStatus(), SDWord(UPDATER_STATUS_IDLE));
        resident->SetStatus(UPDATER_STATUS_SUCCESS);
        QCOMPARE(Poll(box, card, finished, error), QList<int>{STEP_RESIDENT_PROGRAM_RAM});
        QVERIFY(!finished);
        // The second failure, after some progress, is a later error report of
        // step 2 with step 1 done: state 3.
        QSignalSpy states(&box, &BOX_UPDATER::SIGNAL_ChangeCurrentState);
        ram->SetProgress(40);
        ram->SetStatus(UPDATER_STATUS_ERROR);
        Poll(box, card, finished, error);
        QVERIFY(finished);
        QVERIFY(error);
        QCOMPARE(card->GetCardState(), DWord(BOX_UPDATER_STATE_ERROR));
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.at(0).at(0).value<T_BOX_UPDATER_STATE>(), BOX_UPDATER_STATE_ERROR);
    }

    // The normal road: 2, then 3 (the unused recovery steps count as done), the FPGA
    // after it, then the final reset after the card's last step; success ends the run.
    void NormalRoad()
    {
        BOX_UPDATER box(false, false, true);
        CLASS_CARD* card =
            BuildCard(box, {STEP_SAMBA_PROGRAM_RAM, STEP_RAM_PROGRAM_RESIDENT, STEP_RESIDENT_PROGRAM_RAM,
                            STEP_RAM_PROGRAM_MAIN, STEP_RAM_PROGRAM_FPGA_0, STEP_FINAL_RESET});
        QVERIFY(card);
        Bool finished = false;
        Bool error = false;
        QCOMPARE(Poll(box, card, finished, error), QList<int>{STEP_RESIDENT_PROGRAM_RAM});
        Updater(card, STEP_RESIDENT_PROGRAM_RAM)->SetStatus(UPDATER_STATUS_SUCCESS);
        QCOMPARE(Poll(box, card, finished, error), QList<int>{STEP_RAM_PROGRAM_MAIN});
        QCOMPARE(Updater(card, STEP_SAMBA_PROGRAM_RAM)->GetProgress(), DWord(100));
        QCOMPARE(Updater(card, STEP_RAM_PROGRAM_RESIDENT)->GetProgress(), DWord(100));
        Updater(card, STEP_RAM_PROGRAM_MAIN)->SetStatus(UPDATER_STATUS_SUCCESS);
        QCOMPARE(Poll(box, card, finished, error), QList<int>{STEP_RAM_PROGRAM_FPGA_0});
        Updater(card, STEP_RAM_PROGRAM_FPGA_0)->SetStatus(UPDATER_STATUS_SUCCESS);
        QCOMPARE(Poll(box, card, finished, error), QList<int>{STEP_FINAL_RESET});
        QVERIFY(!finished);
        QSignalSpy states(&box, &BOX_UPDATER::SIGNAL_ChangeCurrentState);
        Updater(card, STEP_FINAL_RESET)->SetStatus(UPDATER_STATUS_SUCCESS);
        Poll(box, card, finished, error);
        QVERIFY(finished);
        QVERIFY(!error);
        QCOMPARE(card->GetCardState(), DWord(BOX_UPDATER_STATE_FINISHED));
        QCOMPARE(states.count(), 1);
        QCOMPARE(states.at(0).at(0).value<T_BOX_UPDATER_STATE>(), BOX_UPDATER_STATE_FINISHED);
    }

    // Step 2 fails without a step-1 component: the update fails in that poll.
    void ResidentStepFailsWithoutRecovery()
    {
        BOX_UPDATER box(false, false, true);
        CLASS_CARD* card =
            BuildCard(box, {STEP_RESIDENT_PROGRAM_RAM, STEP_RAM_PROGRAM_MAIN, STEP_FINAL_RESET});
        QVERIFY(card);
        Updater(card, STEP_RESIDENT_PROGRAM_RAM)->SetStatus(UPDATER_STATUS_ERROR);
        Bool finished = false;
        Bool error = false;
        QCOMPARE(Poll(box, card, finished, error), QList<int>());
        QVERIFY(finished);
        QVERIFY(error);
    }

    // A final reset without any programming step before it has nothing to
    // wait for: it ends the update as a failure, not as a success.
    void FinalResetWithoutPreviousStepFails()
    {
        BOX_UPDATER box(false, false, true);
        CLASS_CARD* card = BuildCard(box, {STEP_RAM_PROGRAM_RESIDENT, STEP_FINAL_RESET});
        QVERIFY(card);
        Updater(card, STEP_RAM_PROGRAM_RESIDENT)->SetStatus(UPDATER_STATUS_SUCCESS);
        m_Traces.NewErrors();
        Bool finished = false;
        Bool error = false;
        QCOMPARE(Poll(box, card, finished, error), QList<int>());
        QVERIFY(finished);
        QVERIFY(error);
        QVERIFY(m_Traces.NewErrors().join('\n').contains(
            "Updater \"BOX_STEP_FINAL_RESET\" has no valid previous updater, abort update!"));
    }

    void SilentUpdaterIsTimedOut()
    {
        BOX_UPDATER box(false, false, true);
        T_BOX_UPDATER_DELAYS delays;
        delays.InactivityTimeoutMs = 200;
        box.SetDelays(delays);
        CLASS_CARD* card =
            BuildCard(box, {STEP_RESIDENT_PROGRAM_RAM, STEP_RAM_PROGRAM_MAIN, STEP_FINAL_RESET});
        QVERIFY(card);
        CLASS_ABSTRACT_UPDATER* ram = Updater(card, STEP_RESIDENT_PROGRAM_RAM);
        ram->SetStatus(UPDATER_STATUS_RUNNING);
        ram->GetTimer().start();
        QSignalSpy timeOuts(ram, &CLASS_ABSTRACT_UPDATER::SIGNAL_TimeOut);
        Bool finished = false;
        Bool error = false;
        box.CardsUpdate(finished, error);
        QCOMPARE(timeOuts.count(), 0);
        QTest::qWait(400);
        box.CardsUpdate(finished, error);
        QCOMPARE(timeOuts.count(), 1);
        QVERIFY(!finished);
    }

    void StartUpdateWithoutPackage()
    {
        for (const bool quiet : {false, true})
        {
            BOX_UPDATER box(false, false, quiet);
            box.GetPackageExtractor().CleanExtractionFolder();
            for (const QString& old :
                 QDir(box.GetPackageExtractor().GetLocalPackageFolder()).entryList({"*.ktp"}))
                QFile::remove(box.GetPackageExtractor().GetLocalPackageFolder() + "/" + old);
            QSignalSpy failures(&box, &BOX_UPDATER::SIGNAL_ExtractionFailed);
            QSignalSpy closes(&box, &BOX_UPDATER::SIGNAL_CloseUpdater);
            box.StartUpdate(m_Scratch.filePath("components.json"));
            QCOMPARE(failures.count(), 1);
            QCOMPARE(failures.at(0).at(0).toString(),
                     QString("The current package is corrupted. Please select a new one."));
            QCOMPARE(closes.count(), quiet ? 1 : 0);
            if (quiet)
                QCOMPARE(closes.at(0).at(0).toInt(), BOX_UPDATER::RETURN_CODE_PACKAGE_UNUSABLE);
        }
    }

    // One holder of the work folder at a time; holds nest.
    void WorkFolderIsHeldByOneUpdater()
    {
        BOX_UPDATER first(false, false, true);
        BOX_UPDATER second(false, false, true);
        QVERIFY(first.HoldWorkFolder());
        QVERIFY(first.HoldWorkFolder());
        QVERIFY(!second.HoldWorkFolder());
        QSignalSpy closes(&second, &BOX_UPDATER::SIGNAL_CloseUpdater);
        second.StartUpdate(m_Scratch.filePath("components.json"));
        QCOMPARE(closes.count(), 1);
        QCOMPARE(closes.at(0).at(0).toInt(), BOX_UPDATER::RETURN_CODE_PACKAGE_UNUSABLE);
        first.ReleaseWorkFolder();
        QVERIFY(!second.HoldWorkFolder());
        first.ReleaseWorkFolder();
        QVERIFY(second.HoldWorkFolder());
        second.ReleaseWorkFolder();
    }

    // Quitting while the update polls: the loop sees it within one poll and
    // only then are the card threads stopped and their updaters deleted;
    // nothing is reported as finished or failed.
    void QuitStopsThePollsBeforeTheCardThreads()
    {
        BOX_UPDATER box(false, false, false);
        T_BOX_UPDATER_DELAYS delays;
        delays.PollIntervalMs = 100;
        delays.InactivityTimeoutMs = 600000;
        box.SetDelays(delays);
        CLASS_CARD* card =
            BuildCard(box, {STEP_RESIDENT_PROGRAM_RAM, STEP_RAM_PROGRAM_MAIN, STEP_FINAL_RESET});
        QVERIFY(card);
        CLASS_ABSTRACT_UPDATER* running = Updater(card, STEP_RESIDENT_PROGRAM_RAM);
        QVERIFY(running);
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
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
            QVERIFY(!component->GetUpdater());
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
        T_BOX_UPDATER_DELAYS delays;
        delays.PollIntervalMs = 20;
        delays.InactivityTimeoutMs = 200;
        box.SetDelays(delays);
        CLASS_INIT_UPDATER init(QStringLiteral("BOX_UPDATER_INIT"), nullptr);
        init.SetStatus(status);
        if (timerStarted)
            init.GetTimer().start();
        QSignalSpy timeOuts(&init, &CLASS_ABSTRACT_UPDATER::SIGNAL_TimeOut);
        m_Traces.NewErrors();
        bool result = false;
        std::unique_ptr<QThread> wait(QThread::create([&] { result = box.WaitForInitialization(&init); }));
        wait->start();
        if (!wait->wait(5000))
        {
            init.SetStatus(UPDATER_STATUS_ERROR); // let it go before failing
            wait->wait();
            QFAIL("the wait for the init reset did not end");
        }
        QVERIFY(result);
        QCOMPARE(timeOuts.count(), 1);
        QCOMPARE(m_Traces.NewErrors().join('\n').count(
                     "Timeout encountered during initialization updater, abort updater!"),
                 1);
    }

    // A temporary folder that cannot hold the work folder: refused with its
    // name, nothing written anywhere else (not at the file-system root).
    void UnusableTemporaryFolderIsRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isFile");
        QTest::newRow("missing folder") << "no such folder" << false;
        QTest::newRow("a file") << "plain file" << true;
    }
    void UnusableTemporaryFolderIsRefused()
    {
        QFETCH(QString, name);
        QFETCH(bool, isFile);
        const QString package = m_Packages.MakePackage("unusable", {});
        QVERIFY(!package.isEmpty());
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
        QCOMPARE(QFileInfo(temporary).isDir(), false);
    }

    void cleanupTestCase() { m_Traces.Stop(); }
};

QTEST_GUILESS_MAIN(TST_BOX_UPDATER)
#include "tst_box_updater.moc"
