#include <QtTest>

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

// The monitor commands received, in order: "T", each write as "address+length"
// followed by "=" when its block is that part of the binary, "G address".
QStringList Commands(const QList<QJsonObject>& events, const QByteArray& binary)
{
    QStringList commands;
    for (const QJsonObject& event : events)
    {
        const QString command = event.value("command").toString();
        const QJsonObject attributes = event.value("attributes").toObject();
        const QString address = attributes.value("address").toString();
        const QString length = QString::number(attributes.value("length").toInt());
        const QByteArray part =
            binary.mid(int(address.mid(2).toUInt(nullptr, 16) - RAM_BASE), length.toInt());
        const QJsonValue bytes = attributes.value("bytes");
        if (event.value("direction").toString() != "rx" || event.value("kind").toString() != "samba")
            continue;
        if (command == "DATA")
            commands << (commands.last() == address + "+" + length &&
                                 (bytes.isObject()
                                      ? bytes.toObject().value("sha1").toString() ==
                                            QCryptographicHash::hash(part, QCryptographicHash::Sha1).toHex()
                                      : bytes.toString() == part.toHex())
                             ? "="
                             : "block " + address + "+" + length);
        else
            commands << (command == "SAMBA_S" ? address + "+" + length
                                              : (command.mid(6) + " " + address).trimmed());
    }
    return commands;
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
    // A second run after Reset writes every block once again, in order (a monitor
    // left in terminal mode answers its prompt differently: not with split replies).
    void writesBinary_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("split");
        QTest::addColumn<QStringList>("writes");
        const QStringList split{"--fault-split"};
        const QStringList three{"0x20000000+64512", "0x2000fc00+1", "0x2000fc01+0"};
        QTest::newRow("udp 64512") << "udp" << 64512 << QStringList()
                                   << QStringList{"0x20000000+64512", "0x2000fc00+0"};
        QTest::newRow("pty 64513") << "pty" << 64513 << QStringList() << three;
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
        auto* updater = Make(link.Communication, binary);
        Run run(updater);
        for (int round = 0; round < (split.isEmpty() ? 2 : 1); ++round)
        {
            const int seen = link.Events().size();
            updater->Reset();
            QCOMPARE(run.Wait(), SDWord(UPDATER_STATUS_SUCCESS));
            QCOMPARE(updater->GetProgress(), DWord(100));
            QCOMPARE(Commands(link.Events().mid(seen), content).join(' '),
                     "T " + writes.join(" = ") + " = G 0x20000100");
        }
        // Progress as each step began: terminal mode outstanding, first block, all blocks.
        QCOMPARE(run.ProgressAt("\t PREPARATION_SET_COMM_MODE_WAIT"), DWord(10));
        QCOMPARE(run.ProgressAt("\t PROGRAMMING_BINARY_PROGRAMMING"), DWord(15));
        QCOMPARE(run.ProgressAt("\t PROGRAMMING_BINARY_JUMP"), DWord(90));
        QCOMPARE(run.Texts().last(), QString("\tBOX_SAMBA - PROGRAMMING_SUCCESS"));
    }

    // The monitor may answer terminal mode with its prompt before the line end.
    void promptInEitherOrder()
    {
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "order.bin", Pattern(100, 5)), RAM_BASE, RAM_JUMP);
        RawUdpDevice monitor;
        auto* updater = Make(monitor.Communication.get(), binary);
        Run run(updater);
        emit updater->SIGNAL_Start();
        QCOMPARE(monitor.Receive(), QByteArray("T#"));
        monitor.Reply("\n\r>\n\r");
        QVERIFY(monitor.Receive().startsWith("S20000000,"));
    }

    // The monitor answers the go command later than the limit: a failure.
    void lateJump()
    {
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "late.bin", Pattern(300, 7)), RAM_BASE, RAM_JUMP);
        Link link;
        QVERIFY(link.Start("udp", m_Dir, {}, true));
        auto* updater = Make(link.Communication, binary);
        T_UPDATER_DELAYS delays = ShortDelays();
        delays.Clock = &ShiftedClock;
        updater->SetDelays(delays);
        // The monitor answers the go command 15 s later, as far as the updater can tell.
        Run run(updater,
                [](const QString& text)
                {
                    if (text.endsWith(" - PROGRAMMING_SUCCESS"))
                        g_ClockOffset += 15000;
                });
        m_Traces.NewErrors();
        QCOMPARE(run.Wait(60000), SDWord(UPDATER_STATUS_ERROR));
        QCOMPARE(updater->GetErrorMessage(), QString("Updater Error"));
        const QString errors = m_Traces.NewErrors().join('\n');
        QVERIFY2(errors.endsWith(
                     QString("Updater Error: \"Failed to Jump at  : %1\" for BOX_SAMBA").arg(RAM_JUMP)),
                 qPrintable(errors));
    }

    // A silent monitor keeps it waiting for the prompt until the time-out.
    void silentMonitor()
    {
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "silent.bin", Pattern(10, 1)), RAM_BASE, RAM_JUMP);
        Link link;
        QVERIFY(link.Start("pty", m_Dir, {"--fault-silence-after", "0"}, true));
        auto* updater = Make(link.Communication, binary);
        Run run(updater);
        QCOMPARE(run.Wait(1000), SDWord(UPDATER_STATUS_ERROR));
        QCOMPARE(updater->GetState(), PREPARATION_SET_COMM_MODE_WAIT);
        QCOMPARE(updater->GetProgress(), DWord(10));
    }

private:
    static CLASS_MVR_BOOT_RAM_UPDATER* Make(CLASS_COMMUNICATION_CONF* communication,
                                            CLASS_BINARY_INFORMATIONS& binary)
    {
        const T_END_ACTION jump = END_ACTION_JUMP;
        auto* updater = new CLASS_MVR_BOOT_RAM_UPDATER("BOX_SAMBA", STEP_SAMBA_PROGRAM_RAM, communication);
        updater->Configure(&binary, nullptr, 1, &jump, nullptr, nullptr);
        updater->SetDelays(ShortDelays());
        return updater;
    }

    QTemporaryDir m_Dir;
    TraceCapture m_Traces;
};

QTEST_GUILESS_MAIN(TestBootRamUpdater)
#include "tst_boot_ram_updater.moc"
