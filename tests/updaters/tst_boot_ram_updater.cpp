#include <QtTest>
#include <atomic>

#include "BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootRamUpdater.h"
#include "TraceCapture.h"
#include "UpdaterHarness.h"

using namespace UpdaterHarness;

namespace
{
const DWord RAM_BASE = 0x20000000;
const DWord RAM_JUMP = 0x20000100;

// Clock of the jump timer; a test moves it forward behind the updater's back.
std::atomic<qint64> g_ClockOffset{0};
qint64 ShiftedClock()
{
    return UpdaterSteadyClockMs() + g_ClockOffset.load();
}

// The write commands and blocks as the monitor received them, checked for
// order: each write command is followed by exactly its block, and the block is
// the part of the binary that the command announced.
QString CheckOrder(const QList<QJsonObject>& events, const QByteArray& binary, QStringList& writes)
{
    QStringList samba;
    for (const QJsonObject& event : events)
        if (event.value("direction").toString() == "rx" && event.value("kind").toString() == "samba")
            samba << event.value("command").toString();
    qint64 expectedData = -1;
    DWord expectedAddress = 0;
    for (const QJsonObject& event : events)
    {
        if (event.value("direction").toString() != "rx" || event.value("kind").toString() != "samba")
            continue;
        const QString command = event.value("command").toString();
        const QJsonObject attributes = event.value("attributes").toObject();
        const DWord address = attributes.value("address").toString().mid(2).toUInt(nullptr, 16);
        const qint64 length = qint64(attributes.value("length").toDouble());
        if (command == "SAMBA_S")
        {
            if (expectedData > 0)
                return "write command before the block of the previous one";
            writes << QString("%1+%2").arg(attributes.value("address").toString()).arg(length);
            expectedData = length;
            expectedAddress = address;
        }
        else if (command == "DATA")
        {
            if (expectedData < 0 || length != expectedData || address != expectedAddress)
                return QString("block of %1 bytes at 0x%2 not announced").arg(length).arg(address, 0, 16);
            const QByteArray part = binary.mid(int(address - RAM_BASE), int(length));
            const QJsonValue bytes = attributes.value("bytes");
            const QString logged =
                bytes.isObject() ? bytes.toObject().value("sha1").toString() : bytes.toString();
            if (logged != (bytes.isObject() ? Sha1Hex(part) : QString::fromLatin1(part.toHex())))
                return QString("block at 0x%1 is not the binary's").arg(address, 0, 16);
            expectedData = -1;
        }
        else if (command == "SAMBA_G" && expectedData > 0)
            return "go command before the last block";
    }
    return QString();
}
} // namespace

class TestBootRamUpdater : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Dir.isValid());
        QVERIFY(m_Traces.Start(m_Dir.filePath("traces")));
    }

    // One block exactly fills a write command; one byte more needs a second.
    void writesBinary_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("split");
        QTest::addColumn<QStringList>("writes");
        const QStringList none;
        const QStringList split{"--fault-split"};
        const QStringList two{"0x20000000+64512", "0x2000fc00+0"};
        const QStringList three{"0x20000000+64512", "0x2000fc00+1", "0x2000fc01+0"};
        QTest::newRow("udp 64512") << "udp" << 64512 << none << two;
        QTest::newRow("pty 64513") << "pty" << 64513 << none << three;
        QTest::newRow("udp split prompt") << "udp" << 64513 << split << three;
        QTest::newRow("pty split prompt")
            << "pty" << 100 << split << QStringList{"0x20000000+100", "0x20000064+0"};
    }
    void writesBinary()
    {
        QFETCH(QString, kind);
        QFETCH(int, size);
        QFETCH(QStringList, split);
        QFETCH(QStringList, writes);
        const QByteArray content = Pattern(size, size);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, QString("boot-%1.bin").arg(size), content),
                                         RAM_BASE, RAM_JUMP);
        Link link;
        QVERIFY(link.Start(kind, m_Dir, split, true));
        auto* updater =
            new CLASS_MVR_BOOT_RAM_UPDATER("BOX_SAMBA", STEP_SAMBA_PROGRAM_RAM, link.Communication);
        const T_END_ACTION jump = END_ACTION_JUMP;
        const T_COMPONENT_TYPE type = COMPONENT_TYPE_NOT_RECOGNIZED;
        const T_CARD_TYPE card = CARD_TYPE_BOX;
        QVERIFY(updater->Configure(&binary, nullptr, 1, &jump, &type, &card));
        updater->SetDelays(ShortDelays());
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        QVERIFY(updater->IsFinished(nullptr));
        QCOMPARE(updater->GetProgress(), DWord(100));
        QCOMPARE(updater->GetErrorMessage(), QString("Update complete"));

        QStringList sent;
        const QString order = CheckOrder(link.Events(), content, sent);
        QVERIFY2(order.isEmpty(), qPrintable(order));
        QCOMPARE(sent, writes);
        const QStringList received = link.Received("samba");
        QCOMPARE(received.first(), QString("SAMBA_T"));
        QCOMPARE(received.last(), QString("SAMBA_G"));
        bool loaded = false;
        for (const QJsonObject& event : link.Events())
            if (event.value("command").toString() == "SAMBA_G" && event.value("direction").toString() == "rx")
                loaded = event.value("attributes").toObject().value("address").toString() == "0x20000100";
        QVERIFY(loaded);

        // Progress as each step began: terminal mode outstanding, first block, all blocks, end.
        QCOMPARE(run.ProgressAt("\t PREPARATION_SET_COMM_MODE_WAIT"), DWord(10));
        QCOMPARE(run.ProgressAt("\t PROGRAMMING_BINARY_PROGRAMMING"), DWord(15));
        QCOMPARE(run.ProgressAt("\t PROGRAMMING_BINARY_JUMP"), DWord(90));
        QCOMPARE(run.Texts().first(), QString("BOX_SAMBA - Started"));
        QVERIFY(run.Texts().contains("\tBOX_SAMBA - Connection opened"));
        QCOMPARE(run.Texts().last(), QString("\tBOX_SAMBA - PROGRAMMING_SUCCESS"));
    }

    // The monitor may answer terminal mode with its prompt before the line end.
    void promptInEitherOrder()
    {
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "order.bin", Pattern(100, 5)), RAM_BASE, RAM_JUMP);
        RawUdpDevice monitor;
        auto* updater =
            new CLASS_MVR_BOOT_RAM_UPDATER("BOX_SAMBA", STEP_SAMBA_PROGRAM_RAM, monitor.Communication);
        QVERIFY(updater->Configure(&binary, nullptr, 1, nullptr, nullptr, nullptr));
        updater->SetDelays(ShortDelays());
        Run run(updater);
        emit updater->SIGNAL_Start();
        QCOMPARE(monitor.Receive(), QByteArray("T#"));
        monitor.Reply("\n\r>\n\r");
        QVERIFY(monitor.Receive().startsWith("S20000000,"));
    }

    // A second run after Reset writes every block once again, still in order.
    void secondRun()
    {
        const QByteArray content = Pattern(70000, 9);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "again.bin", content), RAM_BASE, RAM_JUMP);
        Link link;
        QVERIFY(link.Start("pty", m_Dir, {}, true));
        auto* updater =
            new CLASS_MVR_BOOT_RAM_UPDATER("BOX_SAMBA", STEP_SAMBA_PROGRAM_RAM, link.Communication);
        QVERIFY(updater->Configure(&binary, nullptr, 1, nullptr, nullptr, nullptr));
        updater->SetDelays(ShortDelays());
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        const int seen = link.Events().size();
        updater->Reset();
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        QStringList writes;
        const QString order = CheckOrder(link.Events().mid(seen), content, writes);
        QVERIFY2(order.isEmpty(), qPrintable(order));
        QCOMPARE(writes, QStringList({"0x20000000+64512", "0x2000fc00+5488", "0x20011170+0"}));
    }

    // The monitor answers the go command later than the limit: a failure.
    void lateJump()
    {
        const QByteArray content = Pattern(300, 7);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "late.bin", content), RAM_BASE, RAM_JUMP);
        Link link;
        QVERIFY(link.Start("udp", m_Dir, {}, true));
        auto* updater =
            new CLASS_MVR_BOOT_RAM_UPDATER("BOX_SAMBA", STEP_SAMBA_PROGRAM_RAM, link.Communication);
        const T_END_ACTION jump = END_ACTION_JUMP;
        QVERIFY(updater->Configure(&binary, nullptr, 1, &jump, nullptr, nullptr));
        T_UPDATER_DELAYS delays = ShortDelays();
        delays.Clock = &ShiftedClock;
        updater->SetDelays(delays);
        g_ClockOffset = 0;
        // The monitor answers the go command 15 s later, as far as the updater can tell.
        auto late = [](const QString& text)
        {
            if (text.endsWith(" - PROGRAMMING_SUCCESS"))
                g_ClockOffset += 15000;
        };
        Run run(updater, late);
        m_Traces.NewErrors();
        QCOMPARE(run.StartAndWait(60000), SDWord(UPDATER_STATUS_ERROR));
        QVERIFY(updater->IsFinished(nullptr));
        QCOMPARE(updater->GetErrorMessage(), QString("Updater Error"));
        const QStringList errors = m_Traces.NewErrors();
        QVERIFY(!errors.isEmpty());
        QVERIFY2(errors.last().endsWith(
                     QString("Updater Error: \"Failed to Jump at  : %1\" for BOX_SAMBA").arg(RAM_JUMP)),
                 qPrintable(errors.last()));
    }

    // A silent monitor keeps it waiting for the prompt until the time-out.
    void silentMonitor()
    {
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "silent.bin", Pattern(10, 1)), RAM_BASE, RAM_JUMP);
        Link link;
        QVERIFY(link.Start("pty", m_Dir, {"--fault-silence-after", "0"}, true));
        auto* updater =
            new CLASS_MVR_BOOT_RAM_UPDATER("BOX_SAMBA", STEP_SAMBA_PROGRAM_RAM, link.Communication);
        QVERIFY(updater->Configure(&binary, nullptr, 1, nullptr, nullptr, nullptr));
        updater->SetDelays(ShortDelays());
        Run run(updater);
        QCOMPARE(run.StartAndWait(1000), SDWord(UPDATER_STATUS_ERROR));
        QCOMPARE(updater->GetState(), PREPARATION_SET_COMM_MODE_WAIT);
        QCOMPARE(updater->GetProgress(), DWord(10));
    }

    void missingPort()
    {
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "port.bin", Pattern(10, 2)), RAM_BASE, RAM_JUMP);
        CLASS_COMMUNICATION_CONF_COM communication("COM_CARD_BOX", 1, m_Dir.filePath("no-such-tty"));
        auto* updater = new CLASS_MVR_BOOT_RAM_UPDATER("BOX_SAMBA", STEP_SAMBA_PROGRAM_RAM, &communication);
        QVERIFY(updater->Configure(&binary, nullptr, 1, nullptr, nullptr, nullptr));
        updater->SetDelays(ShortDelays());
        Run run(updater);
        m_Traces.NewErrors();
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_ERROR));
        QVERIFY(updater->IsFinished(nullptr));
        const QStringList errors = m_Traces.NewErrors();
        QVERIFY(!errors.isEmpty());
        QVERIFY(errors.last().endsWith(" ErrorHasBeenEncountered() Line " + errors.last().section(' ', 3, 3) +
                                       " Cannot open communication for \"BOX_SAMBA\""));
    }

private:
    QTemporaryDir m_Dir;
    TraceCapture m_Traces;
};

QTEST_GUILESS_MAIN(TestBootRamUpdater)
#include "tst_boot_ram_updater.moc"
