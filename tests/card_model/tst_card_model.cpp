#include <QtTest>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardsManager.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"
#include "BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootTBPUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "TraceCapture.h"

class TestCardModel : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;
    // Stands for "no binary": such updaters configure without a programming file.
    CLASS_BINARY_INFORMATIONS m_NoBinary{QString(), 0, 0};

    Bool Add(CLASS_CARD* card, int step, const QString& programmation = "MICRO",
             CLASS_BINARY_INFORMATIONS* binary = nullptr, Bool fullForce = false,
             Bool forceWithoutResident = false)
    {
        // The main firmware's component is an APP, whose name gets a number.
        const T_COMPONENT_TYPE type =
            step == STEP_RAM_PROGRAM_MAIN ? COMPONENT_TYPE_APP : COMPONENT_TYPE_RESIDENT;
        return card->AddComponent(UpdateStepToText(T_UPDATE_STEP(step)), T_UPDATE_STEP(step),
                                  COMMUNICATION_TYPE_UDP, programmation, binary ? binary : &m_NoBinary,
                                  nullptr, type, END_ACTION_JUMP, fullForce, forceWithoutResident);
    }

    static CLASS_ABSTRACT_UPDATER* UpdaterAt(CLASS_CARD* card, int index)
    {
        return card->GetComponents().at(index)->GetUpdater();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.filePath("traces")));
        InitEnumerationTables();
    }

    // One card per type, on a running thread of its own, holding copies of its links (the
    // first of a type). Its components get one updater each, of the kind their programming
    // names, named after their step, on the card's thread and link; one component per step.
    void cardsComponentsAndThreads()
    {
        CLASS_CARDS_MANAGER manager;
        CLASS_CARD* card = manager.AddCard(CARD_TYPE_BOX);
        QVERIFY(card && card->IsValid());
        QCOMPARE(card->GetThread()->objectName(), QStringLiteral("THREAD_BOX"));
        QVERIFY(card->GetThread()->isRunning());
        QVERIFY(!manager.AddCard(CARD_TYPE_BOX));
        CLASS_COMMUNICATION_CONF_UDP udp("UDP_CARD_BOX", 1, "127.0.0.1", 0, "127.0.0.1", 9);
        QVERIFY(card->AddCommunication(COMMUNICATION_TYPE_UDP, udp));
        QVERIFY(!card->AddCommunication(
            COMMUNICATION_TYPE_UDP,
            CLASS_COMMUNICATION_CONF_UDP("UDP_CARD_BOX", 2, "127.0.0.1", 0, "127.0.0.1", 9)));
        QVERIFY(card->GetCommunication(COMMUNICATION_TYPE_UDP) != &udp);
        QCOMPARE(card->GetCommunication(COMMUNICATION_TYPE_UDP)->GetNodeAddress(), 1);
        QVERIFY(Add(card, STEP_FINAL_RESET));
        QCOMPARE(card->GetLastStep(), STEP_SAMBA_PROGRAM_RAM);
        QVERIFY(Add(card, STEP_RAM_PROGRAM_MAIN));
        QVERIFY(Add(card, STEP_SAMBA_PROGRAM_RAM, QStringLiteral("MICRO_SAMBA")));
        QVERIFY(!Add(card, STEP_RAM_PROGRAM_MAIN));
        QCOMPARE(card->GetLastStep(), STEP_RAM_PROGRAM_MAIN);
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
        {
            CLASS_ABSTRACT_UPDATER* updater = component->GetUpdater();
            QCOMPARE(updater->thread(), card->GetThread());
            QCOMPARE(updater->GetName(), component->GetName());
            QCOMPARE(updater->GetStep(), SDWord(component->GetStep()));
            QCOMPARE(updater->GetCommunication(), card->GetCommunication(COMMUNICATION_TYPE_UDP));
            QCOMPARE(bool(qobject_cast<CLASS_MVR_BOOT_TBP_UPDATER*>(updater)),
                     component->GetStep() != STEP_SAMBA_PROGRAM_RAM);
        }
        const QString main = card->GetComponents().at(1)->GetName();
        QVERIFY2(QRegularExpression("^BOX_STEP_RAM_PROGRAM_MAIN_\\d+$").match(main).hasMatch(),
                 qPrintable(main));
        QCOMPARE(card->GetComponents().at(2)->GetName(), QStringLiteral("BOX_STEP_SAMBA_PROGRAM_RAM"));
        QCOMPARE(manager.GetCardOfComponent(main), card);
        QCOMPARE(manager.GetUpdaterOfStep(main, STEP_SAMBA_PROGRAM_RAM), UpdaterAt(card, 2));
    }

    void weightedProgress_data()
    {
        QTest::addColumn<QList<int>>("steps");
        QTest::addColumn<QList<int>>("progress");
        QTest::addColumn<int>("expected");
        QTest::newRow("250/5") << QList<int>{4, 3} << QList<int>{100, 0} << 98;
        QTest::newRow("edid and hdcp") << QList<int>{5, 6} << QList<int>{100, 0} << 33;
        QTest::newRow("final reset alone") << QList<int>{7} << QList<int>{42} << 42;
        QTest::newRow("every step") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7}
                                    << QList<int>{100, 100, 100, 100, 0, 0, 0, 0} << 7; // 2000 / 274
    }
    void weightedProgress()
    {
        QFETCH(QList<int>, steps);
        QFETCH(QList<int>, progress);
        QFETCH(int, expected);
        CLASS_CARD card(QStringLiteral("CARD_BOX"), CARD_TYPE_BOX);
        for (int index = 0; index < steps.size(); ++index)
        {
            QVERIFY(Add(&card, steps.at(index)));
            UpdaterAt(&card, index)->SetProgress(DWord(progress.at(index)));
        }
        QCOMPARE(int(card.GetCardProgress()), expected);
    }

    // Force per step, "1" where the updater of that step (0 to 7) is forced.
    void forceFlagsPerStep_data()
    {
        QTest::addColumn<Bool>("fullForce");
        QTest::addColumn<Bool>("forceWithoutResident");
        QTest::addColumn<QString>("forced");
        QTest::newRow("none") << false << false << "00000000";
        QTest::newRow("without resident") << false << true << "11011111";
        QTest::newRow("full") << true << false << "11111111";
        QTest::newRow("both") << true << true << "11111111";
    }
    void forceFlagsPerStep()
    {
        QFETCH(Bool, fullForce);
        QFETCH(Bool, forceWithoutResident);
        QFETCH(QString, forced);
        CLASS_CARD card(QStringLiteral("CARD_BOX"), CARD_TYPE_BOX);
        for (int step = STEP_SAMBA_PROGRAM_RAM; step <= STEP_FINAL_RESET; ++step)
        {
            QVERIFY(Add(&card, step, "MICRO", nullptr, fullForce, forceWithoutResident));
            auto* updater = qobject_cast<CLASS_MVR_BOOT_TBP_UPDATER*>(UpdaterAt(&card, step));
            QVERIFY(updater);
            QCOMPARE(updater->GetForce(), forced.at(step) == '1');
        }
    }

    // A component nothing can program stays listed without an updater, and
    // nothing asks a missing updater for anything.
    void componentsWithoutWorkingUpdater()
    {
        CLASS_CARD card(QStringLiteral("CARD_BOX"), CARD_TYPE_BOX);
        QVERIFY(Add(&card, STEP_RAM_PROGRAM_MAIN));
        UpdaterAt(&card, 0)->SetProgress(100);
        QVERIFY(Add(&card, STEP_RAM_PROGRAM_FPGA_0, QStringLiteral("FLASH")));
        CLASS_BINARY_INFORMATIONS absent(m_Scratch.filePath("absent.bin"), 0, 0);
        QVERIFY(Add(&card, STEP_RAM_PROGRAM_EDID_0, "MICRO", &absent));
        QVERIFY(!card.GetComponents().at(1)->GetUpdater());
        QVERIFY(!card.GetComponents().at(2)->GetUpdater());
        // The step of a broken component still counts: no second one, and the last step.
        QVERIFY(!Add(&card, STEP_RAM_PROGRAM_FPGA_0));
        QCOMPARE(card.GetLastStep(), STEP_RAM_PROGRAM_EDID_0);
        QCOMPARE(card.GetCardProgress(), Byte(100));
    }

    // Updaters go with their card's thread, which only its owner stops (the
    // quit may come while the updaters are polled), once, whoever asks.
    void threadsStopOnce()
    {
        CLASS_CARDS_MANAGER manager;
        CLASS_CARD* card = manager.AddCard(CARD_TYPE_BOX);
        QVERIFY(Add(card, STEP_RAM_PROGRAM_MAIN));
        QPointer<CLASS_ABSTRACT_UPDATER> updater = UpdaterAt(card, 0);
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
        QVERIFY(!card->GetThread()->wait(200));
        QVERIFY(!updater.isNull());
        // Stopped by its owner: the updaters are deleted and no longer handed out.
        card->StopThread();
        QVERIFY(updater.isNull());
        QVERIFY(!card->GetComponents().at(0)->GetUpdater());
        card->StopThread();
        manager.DeleteAllCards();
        QVERIFY(manager.GetCards().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCardModel)
#include "tst_card_model.moc"
