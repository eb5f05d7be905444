#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardsManager.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfCom.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUsb.h"
#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootTBPUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "TraceCapture.h"
#include "TraceMessages.h"

class TestCardModel : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;
    // Stands for "no binary": such updaters configure without a programming file.
    CLASS_BINARY_INFORMATIONS m_NoBinary{QString(), 0, 0};

    Bool Add(CLASS_CARD* card, T_UPDATE_STEP step, T_COMPONENT_TYPE type,
             const QString& programmation = QStringLiteral("MICRO"),
             CLASS_BINARY_INFORMATIONS* binary = nullptr, T_COMMUNICATION_TYPE link = COMMUNICATION_TYPE_UDP,
             Bool fullForce = false, Bool forceWithoutResident = false)
    {
        return card->AddComponent(UpdateStepToText(step), step, link, programmation,
                                  binary ? binary : &m_NoBinary, nullptr, type, END_ACTION_JUMP, fullForce,
                                  forceWithoutResident);
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

    void cleanupTestCase() { m_Traces.Stop(); }

    void init() { m_Traces.NewErrors(); }

    // One card per type; a card of an unknown type cannot join a box card.
    void cardsPerType()
    {
        CLASS_CARDS_MANAGER manager;
        CLASS_CARD* box = manager.AddCard(CARD_TYPE_BOX);
        QVERIFY(box);
        QCOMPARE(box->GetName(), QStringLiteral("CARD_BOX"));
        QVERIFY(box->IsValid());
        QCOMPARE(box->GetThread()->objectName(), QStringLiteral("THREAD_BOX"));
        QVERIFY(box->GetThread()->isRunning());
        QCOMPARE(box->GetCardProgress(), Byte(0));

        QVERIFY(!manager.AddCard(CARD_TYPE_BOX));
        QVERIFY(!manager.AddCard(CARD_TYPE_NOT_RECOGNIZED));
        QCOMPARE(manager.GetCards().size(), 1);
        QCOMPARE(TraceMessages(m_Traces.NewErrors()),
                 QStringList({"AddCard|A card with the same type 0 already exists!",
                              "AddCard|A card with the same type 1 already exists!"}));

        CLASS_CARDS_MANAGER other;
        CLASS_CARD* unknown = other.AddCard(CARD_TYPE_NOT_RECOGNIZED);
        QVERIFY(unknown);
        QVERIFY(!unknown->IsValid());
        QCOMPARE(unknown->GetName(), QStringLiteral("CARD_"));
        QCOMPARE(unknown->GetThread()->objectName(), QStringLiteral("THREAD_"));
        QCOMPARE(TraceMessages(m_Traces.NewErrors()), QStringList({"CLASS_CARD|Unrecognized card type: 1"}));
    }

    void oneLinkPerType()
    {
        CLASS_CARD card(QStringLiteral("CARD_BOX"), CARD_TYPE_BOX);
        CLASS_COMMUNICATION_CONF_COM com(QStringLiteral("COM_CARD_BOX"), 3, QStringLiteral("ttyS1"));
        CLASS_COMMUNICATION_CONF_COM secondCom(QStringLiteral("COM_CARD_BOX"), 4, QStringLiteral("ttyS2"));
        CLASS_COMMUNICATION_CONF_USB usb(QStringLiteral("USB_CARD_BOX"), 1, 0x3C4D, 0x1A2B);
        QVERIFY(card.AddCommunication(COMMUNICATION_TYPE_COM, com));
        QVERIFY(!card.AddCommunication(COMMUNICATION_TYPE_COM, secondCom));
        QVERIFY(card.AddCommunication(COMMUNICATION_TYPE_USB, usb));
        QCOMPARE(
            TraceMessages(m_Traces.NewErrors()),
            QStringList({"AddCommunication|Communication type COM is already affected for the card named "
                         "\"CARD_BOX\""}));

        // The card holds copies, and the first COM link stays.
        auto* keptCom =
            qobject_cast<CLASS_COMMUNICATION_CONF_COM*>(card.GetCommunication(COMMUNICATION_TYPE_COM));
        QVERIFY(keptCom && keptCom != &com);
        QCOMPARE(keptCom->GetPortName(), QStringLiteral("ttyS1"));
        QCOMPARE(keptCom->GetNodeAddress(), 3);
        auto* keptUsb =
            qobject_cast<CLASS_COMMUNICATION_CONF_USB*>(card.GetCommunication(COMMUNICATION_TYPE_USB));
        QVERIFY(keptUsb && keptUsb != &usb);
        QCOMPARE(keptUsb->GetName(), QStringLiteral("USB_CARD_BOX"));
        QVERIFY(!card.GetCommunication(COMMUNICATION_TYPE_UDP));
    }

    void componentsNamesStepsAndThread()
    {
        CLASS_CARDS_MANAGER manager;
        CLASS_CARD* card = manager.AddCard(CARD_TYPE_BOX);
        CLASS_COMMUNICATION_CONF_UDP udp(QStringLiteral("UDP_CARD_BOX"), 1, "127.0.0.1", 0, "127.0.0.1", 9);
        QVERIFY(card->AddCommunication(COMMUNICATION_TYPE_UDP, udp));

        QVERIFY(Add(card, STEP_FINAL_RESET, COMPONENT_TYPE_RESIDENT));
        QCOMPARE(card->GetLastStep(), STEP_SAMBA_PROGRAM_RAM);
        QCOMPARE(manager.GetLastStepOfCard(QStringLiteral("BOX_STEP_FINAL_RESET")), STEP_NONE);

        QVERIFY(Add(card, STEP_RESIDENT_PROGRAM_RAM, COMPONENT_TYPE_RAM));
        QVERIFY(Add(card, STEP_RAM_PROGRAM_MAIN, COMPONENT_TYPE_APP));
        QVERIFY(Add(card, STEP_RAM_PROGRAM_FPGA_0, COMPONENT_TYPE_APP));
        QVERIFY(
            Add(card, STEP_SAMBA_PROGRAM_RAM, COMPONENT_TYPE_NOT_RECOGNIZED, QStringLiteral("MICRO_SAMBA")));
        QCOMPARE(card->GetLastStep(), STEP_RAM_PROGRAM_FPGA_0);

        // A second component of a step is refused, whatever its type.
        QVERIFY(!Add(card, STEP_RAM_PROGRAM_MAIN, COMPONENT_TYPE_EDID_0));
        QCOMPARE(card->GetComponents().size(), 5);
        QCOMPARE(
            TraceMessages(m_Traces.NewErrors()),
            QStringList({"AddComponent|The component named STEP_RAM_PROGRAM_MAIN already exists in the card "
                         "named CARD_BOX"}));

        const QList<CLASS_CARD_COMPONENT*>& components = card->GetComponents();
        QCOMPARE(components.at(0)->GetName(), QStringLiteral("BOX_STEP_FINAL_RESET"));
        QCOMPARE(components.at(1)->GetName(), QStringLiteral("BOX_STEP_RESIDENT_PROGRAM_RAM"));
        const QRegularExpression mainName(QStringLiteral("^BOX_STEP_RAM_PROGRAM_MAIN_\\d+$"));
        const QRegularExpression fpgaName(QStringLiteral("^BOX_STEP_RAM_PROGRAM_FPGA_0_\\d+$"));
        QVERIFY2(mainName.match(components.at(2)->GetName()).hasMatch(),
                 qPrintable(components.at(2)->GetName()));
        QVERIFY2(fpgaName.match(components.at(3)->GetName()).hasMatch(),
                 qPrintable(components.at(3)->GetName()));
        QCOMPARE(components.at(4)->GetName(), QStringLiteral("BOX_STEP_SAMBA_PROGRAM_RAM"));

        for (CLASS_CARD_COMPONENT* component : components)
        {
            CLASS_ABSTRACT_UPDATER* updater = component->GetUpdater();
            QVERIFY(updater);
            QCOMPARE(updater->thread(), card->GetThread());
            QCOMPARE(updater->GetName(), component->GetName());
            QCOMPARE(updater->GetStep(), SDWord(component->GetStep()));
            QCOMPARE(updater->GetCommunication(), card->GetCommunication(COMMUNICATION_TYPE_UDP));
        }
        QVERIFY(qobject_cast<CLASS_MVR_BOOT_TBP_UPDATER*>(UpdaterAt(card, 0)));
        QVERIFY(!qobject_cast<CLASS_MVR_BOOT_TBP_UPDATER*>(UpdaterAt(card, 4)));

        const QString main = components.at(2)->GetName();
        QCOMPARE(manager.GetCardOfComponent(main), card);
        QVERIFY(!manager.GetCardOfComponent(QStringLiteral("BOX_STEP_RAM_PROGRAM_MAIN")));
        QCOMPARE(manager.GetLastStepOfCard(main), STEP_RAM_PROGRAM_FPGA_0);
        QCOMPARE(manager.GetLastStepOfCard(QStringLiteral("nothing")), STEP_NONE);
        QCOMPARE(manager.GetUpdaterOfStep(main, STEP_SAMBA_PROGRAM_RAM), UpdaterAt(card, 4));
        QVERIFY(!manager.GetUpdaterOfStep(main, STEP_RAM_PROGRAM_RESIDENT));
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
            QVERIFY(Add(&card, T_UPDATE_STEP(steps.at(index)), COMPONENT_TYPE_RESIDENT));
            UpdaterAt(&card, index)->SetProgress(DWord(progress.at(index)));
        }
        QCOMPARE(int(card.GetCardProgress()), expected);
    }

    void forceFlagsPerStep_data()
    {
        QTest::addColumn<Bool>("fullForce");
        QTest::addColumn<Bool>("forceWithoutResident");
        QTest::addColumn<Bool>("forceAtStep2");
        QTest::addColumn<Bool>("forceElsewhere");
        QTest::newRow("none") << false << false << false << false;
        QTest::newRow("without resident") << false << true << false << true;
        QTest::newRow("full") << true << false << true << true;
        QTest::newRow("both") << true << true << true << true;
    }

    void forceFlagsPerStep()
    {
        QFETCH(Bool, fullForce);
        QFETCH(Bool, forceWithoutResident);
        QFETCH(Bool, forceAtStep2);
        QFETCH(Bool, forceElsewhere);
        CLASS_CARD card(QStringLiteral("CARD_BOX"), CARD_TYPE_BOX);
        for (int step = STEP_SAMBA_PROGRAM_RAM; step <= STEP_FINAL_RESET; ++step)
        {
            QVERIFY(Add(&card, T_UPDATE_STEP(step), COMPONENT_TYPE_RESIDENT, QStringLiteral("MICRO"), nullptr,
                        COMMUNICATION_TYPE_UDP, fullForce, forceWithoutResident));
            auto* updater = qobject_cast<CLASS_MVR_BOOT_TBP_UPDATER*>(UpdaterAt(&card, step));
            QVERIFY(updater);
            QCOMPARE(updater->GetForce(), step == STEP_RESIDENT_PROGRAM_RAM ? forceAtStep2 : forceElsewhere);
        }
    }

    // A component nothing can program stays listed without an updater, and
    // nothing asks a missing updater for anything.
    void componentsWithoutWorkingUpdater()
    {
        CLASS_CARDS_MANAGER manager;
        CLASS_CARD* card = manager.AddCard(CARD_TYPE_BOX);
        QVERIFY(Add(card, STEP_RAM_PROGRAM_MAIN, COMPONENT_TYPE_RESIDENT));
        UpdaterAt(card, 0)->SetProgress(100);

        QVERIFY(Add(card, STEP_RAM_PROGRAM_FPGA_0, COMPONENT_TYPE_RESIDENT, QStringLiteral("FLASH")));
        const QString missing = m_Scratch.filePath("absent.bin");
        CLASS_BINARY_INFORMATIONS absent(missing, 0, 0);
        QVERIFY(
            Add(card, STEP_RAM_PROGRAM_EDID_0, COMPONENT_TYPE_RESIDENT, QStringLiteral("MICRO"), &absent));
        const QStringList messages = TraceMessages(m_Traces.NewErrors());
        QCOMPARE(messages.size(), 4);
        QCOMPARE(messages.at(0),
                 QStringLiteral("CLASS_CARD_COMPONENT|Unrecognized programmation name FLASH for "
                                "component card namedBOX_STEP_RAM_PROGRAM_FPGA_0"));
        QCOMPARE(messages.at(3),
                 QStringLiteral("CLASS_CARD_COMPONENT|Error during configuration for component named "
                                "BOX_STEP_RAM_PROGRAM_EDID_0"));

        QCOMPARE(card->GetComponents().size(), 3);
        QVERIFY(card->GetComponents().at(0)->HasWorkingUpdater());
        QVERIFY(!card->GetComponents().at(1)->GetUpdater());
        QVERIFY(!card->GetComponents().at(2)->GetUpdater());
        // The step of a broken component still counts: no second one, and the last step.
        QVERIFY(!Add(card, STEP_RAM_PROGRAM_FPGA_0, COMPONENT_TYPE_RESIDENT));
        QCOMPARE(card->GetLastStep(), STEP_RAM_PROGRAM_EDID_0);
        QVERIFY(!manager.GetUpdaterOfStep(QStringLiteral("BOX_STEP_RAM_PROGRAM_FPGA_0"),
                                          STEP_RAM_PROGRAM_EDID_0));
        QCOMPARE(card->GetCardProgress(), Byte(100));
    }

    // Updaters go with their card's thread, which only its owner stops (the
    // quit may come while the updaters are polled), once, whoever asks.
    void threadsStopOnce()
    {
        CLASS_CARDS_MANAGER manager;
        CLASS_CARD* card = manager.AddCard(CARD_TYPE_BOX);
        QVERIFY(Add(card, STEP_RAM_PROGRAM_MAIN, COMPONENT_TYPE_RESIDENT));
        QPointer<CLASS_ABSTRACT_UPDATER> updater = UpdaterAt(card, 0);
        QVERIFY(updater);

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

        CLASS_CARD* second = manager.AddCard(CARD_TYPE_BOX);
        QVERIFY(Add(second, STEP_RAM_PROGRAM_MAIN, COMPONENT_TYPE_RESIDENT));
        updater = UpdaterAt(second, 0);
        manager.DeleteAllCards();
        QVERIFY(updater.isNull());
    }
};

QTEST_GUILESS_MAIN(TestCardModel)
#include "tst_card_model.moc"
