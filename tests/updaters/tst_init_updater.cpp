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

    // The request goes out byte for byte as the micro expects it.
    void exactRequest()
    {
        RawUdpDevice device;
        auto* updater = Make(device.Communication.get());
        Run run(updater);
        emit updater->SIGNAL_Start();
        QCOMPARE(device.Receive(), QByteArray("1SYrst\r\n"));
        device.Reply("SYrst1\r\n");
        QCOMPARE(run.Wait(10000, false), SDWord(UPDATER_STATUS_SUCCESS));
    }

    // The answer arrives in two pieces: accepted once the second completes it.
    void answerInTwoPieces_data() { AddLinkRows(); }
    void answerInTwoPieces()
    {
        QFETCH(QString, kind);
        Link link;
        QVERIFY(link.Start(kind, m_Dir, {"--fault-split"}));
        auto* updater = Make(link.Communication);
        Run run(updater);
        QCOMPARE(run.Wait(), SDWord(UPDATER_STATUS_SUCCESS));
        SDWord status = -1;
        QVERIFY(updater->IsFinished(&status) && status == UPDATER_STATUS_SUCCESS);
        QCOMPARE(run.Texts(),
                 QStringList({"******", "BOX_UPDATER_INIT - Started", "\t Connection opened", "\t SEND_RESET",
                              "\t WAIT_FOR_ACK", "\t WAIT_FOR_ACK", "\t SUCCESS"}));
        QCOMPARE(link.Received("reset"), QStringList{"RESET_REQUEST"});
    }

    // A stray byte before the answer is never accepted: the silence ends it. A refused
    // reset fails at once; a port that does not exist after five attempts.
    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        const QString leading = "--fault-reset-leading-byte";
        const QString refuse = "--fault-refuse-reset";
        const QString timeout = "Command timeout encountered for updater named \"BOX_UPDATER_INIT";
        const QString refused = "Cannot reset the micro on \"BOX_UPDATER_INIT\"";
        QTest::newRow("leading byte udp") << "udp" << leading << timeout;
        QTest::newRow("leading byte pty") << "pty" << leading << timeout;
        QTest::newRow("refused udp") << "udp" << refuse << refused;
        QTest::newRow("refused pty") << "pty" << refuse << refused;
        QTest::newRow("missing port")
            << "missing" << QString() << "Cannot open communication for \"BOX_UPDATER_INIT\"";
        QTest::newRow("no link")
            << "none" << QString()
            << "Cannot create TBP communication for updater named \"BOX_UPDATER_INIT\", abort!";
    }
    void failures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, fault);
        QFETCH(QString, message);
        Link link;
        CLASS_COMMUNICATION_CONF_COM missing("COM_CARD_BOX", 1, m_Dir.filePath("no-such-tty"));
        if (kind.size() == 3)
            QVERIFY(link.Start(kind, m_Dir, {fault}));
        auto* updater = Make(kind == "missing" ? &missing : link.Communication);
        m_Traces.NewErrors();
        Run run(updater);
        QCOMPARE(run.Wait(fault.contains("leading") ? 1500 : 10000), SDWord(UPDATER_STATUS_ERROR));
        QVERIFY(!updater->IsFinished(nullptr));
        QCOMPARE(updater->GetProgress(), DWord(0));
        QCOMPARE(run.Texts().last(), message);
        const QStringList errors = m_Traces.NewErrors();
        QVERIFY(errors.last().endsWith(" " + message));
        QCOMPARE(errors.filter(" Open() Line ").size(), kind == "missing" ? 5 : 0);
    }

private:
    static CLASS_INIT_UPDATER* Make(CLASS_COMMUNICATION_CONF* communication)
    {
        auto* updater = new CLASS_INIT_UPDATER("BOX_UPDATER_INIT", communication);
        updater->SetDelays(ShortDelays());
        return updater;
    }

    QTemporaryDir m_Dir;
    TraceCapture m_Traces;
};

QTEST_GUILESS_MAIN(TestInitUpdater)
#include "tst_init_updater.moc"
