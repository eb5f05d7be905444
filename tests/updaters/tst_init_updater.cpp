#include <QtTest>

#include "BACKEND/UPDATER/MVR_ClassInitUpdater.h"
#include "TraceCapture.h"
#include "UpdaterHarness.h"

using namespace UpdaterHarness;

class TestInitUpdater : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Dir.isValid());
        QVERIFY(m_Traces.Start(m_Dir.filePath("traces")));
    }

    void links_data() { AddLinkRows(); }

    // The request goes out byte for byte as the micro expects it.
    void exactRequest()
    {
        RawUdpDevice device;
        auto* updater = new CLASS_INIT_UPDATER("BOX_UPDATER_INIT", device.Communication);
        updater->SetDelays(ShortDelays());
        Run run(updater);
        emit updater->SIGNAL_Start();
        QCOMPARE(device.Receive(), QByteArray("1SYrst\r\n"));
        device.Reply("SYrst1\r\n");
        QCOMPARE(run.Wait(), SDWord(UPDATER_STATUS_SUCCESS));
    }

    // The answer arrives in two pieces: accepted once the second completes it.
    void answerInTwoPieces_data() { links_data(); }
    void answerInTwoPieces()
    {
        QFETCH(QString, kind);
        Link link;
        QVERIFY(link.Start(kind, m_Dir, {"--fault-split"}));
        auto* updater = new CLASS_INIT_UPDATER("BOX_UPDATER_INIT", link.Communication);
        updater->SetDelays(ShortDelays());
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(updater->GetProgress(), DWord(100));
        SDWord status = -1;
        QVERIFY(updater->IsFinished(&status));
        QCOMPARE(status, SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(run.Texts(),
                 QStringList({"******", "BOX_UPDATER_INIT - Started", "\t Connection opened", "\t SEND_RESET",
                              "\t WAIT_FOR_ACK", "\t WAIT_FOR_ACK", "\t SUCCESS"}));
        QCOMPARE(link.Received("reset"), QStringList{"RESET_REQUEST"});
        // A late time-out changes nothing.
        emit updater->SIGNAL_TimeOut();
        run.Settle();
        QCOMPARE(updater->GetStatus(), SDWord(UPDATER_STATUS_SUCCESS));
    }

    // A stray byte before the answer: never accepted, the silence ends it.
    void leadingByteNeverAccepted_data() { links_data(); }
    void leadingByteNeverAccepted()
    {
        QFETCH(QString, kind);
        Link link;
        QVERIFY(link.Start(kind, m_Dir, {"--fault-reset-leading-byte"}));
        auto* updater = new CLASS_INIT_UPDATER("BOX_UPDATER_INIT", link.Communication);
        updater->SetDelays(ShortDelays());
        Run run(updater);
        QCOMPARE(run.StartAndWait(1500), SDWord(UPDATER_STATUS_ERROR));
        QVERIFY(!updater->IsFinished(nullptr));
        QVERIFY(!run.Texts().contains("\t SUCCESS"));
        QCOMPARE(run.Texts().last(),
                 QString("Command timeout encountered for updater named \"BOX_UPDATER_INIT"));
        const QString error = m_Traces.NewErrors().last();
        QVERIFY2(error.startsWith("../BACKEND/UPDATER/MVR_ClassInitUpdater ErrorHasBeenEncountered() Line "),
                 qPrintable(error));
        QVERIFY(error.endsWith(" Command timeout encountered for updater named \"BOX_UPDATER_INIT"));
    }

    void refusedReset_data() { links_data(); }
    void refusedReset()
    {
        QFETCH(QString, kind);
        Link link;
        QVERIFY(link.Start(kind, m_Dir, {"--fault-refuse-reset"}));
        auto* updater = new CLASS_INIT_UPDATER("BOX_UPDATER_INIT", link.Communication);
        updater->SetDelays(ShortDelays());
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_ERROR));
        QCOMPARE(updater->GetProgress(), DWord(0));
        QCOMPARE(run.Texts().last(), QString("Cannot reset the micro on \"BOX_UPDATER_INIT\""));
        const QStringList errors = m_Traces.NewErrors();
        QVERIFY(!errors.isEmpty());
        QVERIFY(errors.last().startsWith(
            "../BACKEND/UPDATER/MVR_ClassInitUpdater ErrorHasBeenEncountered() Line "));
        QVERIFY(errors.last().endsWith(" Cannot reset the micro on \"BOX_UPDATER_INIT\""));
    }

    // A serial port that does not exist: five attempts, then the failure.
    void missingPortTriedFiveTimes()
    {
        m_Traces.NewErrors();
        CLASS_COMMUNICATION_CONF_COM communication("COM_CARD_BOX", 1, m_Dir.filePath("no-such-tty"));
        auto* updater = new CLASS_INIT_UPDATER("BOX_UPDATER_INIT", &communication);
        updater->SetDelays(ShortDelays());
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_ERROR));
        QCOMPARE(run.Texts().last(), QString("Cannot open communication for \"BOX_UPDATER_INIT\""));
        int opens = 0;
        for (const QString& line : m_Traces.NewErrors())
            opens += line.contains(" Open() Line ") ? 1 : 0;
        QCOMPARE(opens, 5);
    }

    // Without a communication configuration nothing can be created.
    void noCommunication()
    {
        auto* updater = new CLASS_INIT_UPDATER("BOX_UPDATER_INIT", nullptr);
        updater->SetDelays(ShortDelays());
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_ERROR));
        QCOMPARE(run.Texts().last(),
                 QString("Cannot create TBP communication for updater named \"BOX_UPDATER_INIT\", abort!"));
    }

private:
    QTemporaryDir m_Dir;
    TraceCapture m_Traces;
};

QTEST_GUILESS_MAIN(TestInitUpdater)
#include "tst_init_updater.moc"
