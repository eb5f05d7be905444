#include <QtTest>

#include "BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootTBPUpdater.h"
#include "TraceCapture.h"
#include "UpdaterHarness.h"

using namespace UpdaterHarness;

namespace
{
const DWord APP_BASE = 0x00410000;
const DWord RESIDENT_BASE = 0x00400000;
const DWord RAM_BOOT_BASE = 0x20001000;

QStringList Repeat(const QString& text, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << text;
    return list;
}

QByteArray StateSegment(const QJsonObject& segment)
{
    return QByteArray::fromBase64(segment.value("data").toString().toLatin1());
}

// Content the simulator keeps for a component, from its state file.
QByteArray StoredComponent(const QString& statePath, int id)
{
    QFile file(statePath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    for (const QJsonValue& value : root.value("components").toArray())
        if (value.toObject().value("id").toInt(-1) == id)
            return StateSegment(value.toObject());
    return QByteArray();
}

// A device that already holds content: a state file written before the simulator starts.
bool WriteState(const QString& path, int componentId, DWord componentBase, const QByteArray& component,
                DWord residentBase, const QByteArray& resident)
{
    auto segment = [](DWord address, const QByteArray& data)
    {
        return QJsonObject{{"address", QString("0x%1").arg(address, 8, 16, QLatin1Char('0'))},
                           {"size", data.size()},
                           {"sha1", Sha1Hex(data)},
                           {"data", QString::fromLatin1(data.toBase64())}};
    };
    QJsonArray components;
    if (!component.isEmpty())
    {
        QJsonObject object = segment(componentBase, component);
        object.insert("id", componentId);
        components << object;
    }
    QJsonArray residents;
    if (!resident.isEmpty())
        residents << segment(residentBase, resident);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QJsonObject root{
        {"format", "qrn207-sim-state"}, {"components", components}, {"resident", residents}};
    return file.write(QJsonDocument(root).toJson()) > 0;
}
} // namespace

class TestBootTbpUpdater : public QObject
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

    // APP whose content differs: the whole road, then again with nothing to do.
    void appNormalRoad_data() { links_data(); }
    void appNormalRoad()
    {
        QFETCH(QString, kind);
        const QByteArray content = Pattern(3000, 3);
        const QString path = WriteFile(m_Dir, "app-" + kind + ".bin", content);
        CLASS_BINARY_INFORMATIONS binary(path, APP_BASE, APP_BASE);
        CLASS_BINARY_INFORMATIONS verification(path, APP_BASE, APP_BASE);
        const QString state = m_Dir.filePath("state-app-" + kind + ".json");
        Link link;
        QVERIFY(link.Start(kind, m_Dir, {"--state", state, "--sha-block-size", "1024"}));
        auto* updater = Make(link, "BOX_APP", STEP_RAM_PROGRAM_MAIN, &binary, &verification,
                             COMPONENT_TYPE_APP, END_ACTION_JUMP);
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(updater->GetProgress(), DWord(100));
        QVERIFY(updater->IsFinished(nullptr));
        QCOMPARE(run.Texts(),
                 QStringList({"******", "BOX_APP - Started", "\t Connection opened", "\t ABORT", "\t PING",
                              "\t PING_ACK", "\t CHECK_VERSION", "\t VERSION_STATUS", "\t ABORT",
                              "\t\t SET_COMPONENT", "\t\t SET_ADDR", "\t\t START_SEND", "\t CHECK_SHA",
                              "\t STOP_SEND", "\t JUMP", "\t SUCCESS"}));
        QCOMPARE(link.Received("tbp"), QStringList({"ABORT", "PING", "CHECK_VERSION", "ABORT",
                                                    "SET_COMPONENT", "SET_ADDR", "START_SEND"})
                                           << Repeat("DATA_FILE", 24) << "CHECK_SHA"
                                           << "STOP_SEND"
                                           << "JUMP");
        // Progress as each text went out: PING sent, check sent, check answered, all blocks sent, jump
        // answered.
        QCOMPARE(run.ProgressAt("\t PING"), DWord(5));
        QCOMPARE(run.ProgressAt("\t CHECK_VERSION"), DWord(15));
        QCOMPARE(run.Debug.at(run.Texts().lastIndexOf("\t ABORT")).second, DWord(20));
        QCOMPARE(run.ProgressAt("\t\t SET_COMPONENT"), DWord(15));
        QCOMPARE(run.ProgressAt("\t CHECK_SHA"), DWord(90));
        QCOMPARE(run.ProgressAt("\t SUCCESS"), DWord(95));
        QCOMPARE(StoredComponent(state, 0x01), content);

        // Same content on the card: three blocks compared, then only the jump.
        const int seen = link.Events().size();
        run.ClearDebug();
        updater->Reset();
        QCOMPARE(updater->GetStatus(), SDWord(UPDATER_STATUS_IDLE));
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(link.Received("tbp", seen), QStringList({"ABORT", "PING", "CHECK_VERSION", "JUMP"}));
        QCOMPARE(run.Texts().count("\t VERSION_STATUS"), 3);
        QCOMPARE(updater->GetProgress(), DWord(100));
    }

    // The erase wait after START_SEND outlasts the inactivity watch and the node
    // answer time-out (as a main firmware of 1.1 MB does): neither counts it.
    void eraseWaitIsNotSilence()
    {
        const QString path = WriteFile(m_Dir, "erase.bin", Pattern(3000, 5));
        CLASS_BINARY_INFORMATIONS binary(path, APP_BASE, APP_BASE);
        Link link;
        QVERIFY(link.Start("udp", m_Dir, {}));
        auto* updater = Make(link, "BOX_ERASE", STEP_RAM_PROGRAM_MAIN, &binary, nullptr, COMPONENT_TYPE_APP,
                             END_ACTION_NONE);
        T_UPDATER_DELAYS delays = ShortDelays();
        delays.EraseWaitFactor = 100.0; // 43 ms for 3000 bytes: about 4.3 s
        updater->SetDelays(delays);
        m_Traces.NewErrors();
        Run run(updater);
        QCOMPARE(run.StartAndWait(1500), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(m_Traces.NewErrors(), QStringList());
    }

    // FPGA: checked by the device without verification binary, refused with one.
    void fpga()
    {
        const QByteArray content = Pattern(700, 4);
        const QString path = WriteFile(m_Dir, "fpga.bin", content);
        CLASS_BINARY_INFORMATIONS binary(path, 0, 0);
        const QString state = m_Dir.filePath("state-fpga.json");
        Link link;
        QVERIFY(link.Start("udp", m_Dir, {"--state", state, "--sha-block-size", "256"}));
        auto* updater = Make(link, "BOX_FPGA", STEP_RAM_PROGRAM_FPGA_0, &binary, nullptr,
                             COMPONENT_TYPE_FPGA_0, END_ACTION_NONE);
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(link.Received("tbp").mid(0, 5),
                 QStringList({"ABORT", "PING", "CHECK_FPGA_VERSION", "ABORT", "SET_COMPONENT"}));
        QCOMPARE(link.Received("tbp").last(), QString("STOP_SEND"));
        QVERIFY(run.Texts().contains("\t FPGA_VERSION_STATUS"));
        QCOMPARE(StoredComponent(state, 0x10), content);
        run.Stop();

        const int seen = link.Events().size();
        auto* verified = Make(link, "BOX_FPGA_V", STEP_RAM_PROGRAM_FPGA_0, &binary, &binary,
                              COMPONENT_TYPE_FPGA_0, END_ACTION_NONE);
        Run second(verified);
        QCOMPARE(second.StartAndWait(), SDWord(UPDATER_STATUS_ERROR));
        QCOMPARE(second.Texts().last(), QString("Binary verification not available for \"BOX_FPGA_V\""));
        QCOMPARE(link.Received("tbp", seen), QStringList({"ABORT", "PING"}));
        QVERIFY(!verified->IsFinished(nullptr));
    }

    // EDID by its CRC, HDCP by its SHA-1: programmed on an empty card, spared afterwards.
    void edidAndHdcp_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("check");
        QTest::addColumn<int>("componentId");
        QTest::newRow("edid pty") << "pty" << int(STEP_RAM_PROGRAM_EDID_0) << int(COMPONENT_TYPE_EDID_0)
                                  << "CHECK_EDID_VALIDITY" << 0x20;
        QTest::newRow("hdcp udp") << "udp" << int(STEP_RAM_PROGRAM_HDCP_0) << int(COMPONENT_TYPE_HDCP_0)
                                  << "CHECK_HDCP_VERSION" << 0x40;
    }
    void edidAndHdcp()
    {
        QFETCH(QString, kind);
        QFETCH(int, step);
        QFETCH(int, type);
        QFETCH(QString, check);
        QFETCH(int, componentId);
        const QByteArray content = Pattern(256, step);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, check + ".bin", content), 0, 0);
        const QString state = m_Dir.filePath("state-" + check + ".json");
        Link link;
        QVERIFY(link.Start(kind, m_Dir, {"--state", state}));
        auto* updater =
            Make(link, "BOX_" + check, step, &binary, nullptr, T_COMPONENT_TYPE(type), END_ACTION_RESET);
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        const QStringList first = link.Received("tbp");
        QCOMPARE(first.mid(0, 4), QStringList({"ABORT", "PING", check, "SET_COMPONENT"}));
        QCOMPARE(first.mid(first.size() - 3), QStringList({"CHECK_SHA", "STOP_SEND", "RESET"}));
        QCOMPARE(StoredComponent(state, componentId), content);

        const int seen = link.Events().size();
        run.ClearDebug();
        updater->Reset();
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(link.Received("tbp", seen), QStringList({"ABORT", "PING", check, "RESET"}));
        // The check's answer counts as progress, for either kind.
        QCOMPARE(run.ProgressAt("\t RESET"), DWord(20));
    }

    // An EDID the card reports invalid is programmed even when the CRC happens to
    // match: an empty card answers CRC 0, the CRC of four 0xFF bytes.
    void invalidEdidIsProgrammed()
    {
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "edid-ff.bin", QByteArray(4, '\xFF')), 0, 0);
        Link link;
        QVERIFY(link.Start("udp", m_Dir, {}));
        auto* updater = Make(link, "BOX_EDID", STEP_RAM_PROGRAM_EDID_0, &binary, nullptr,
                             COMPONENT_TYPE_EDID_0, END_ACTION_NONE);
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        QVERIFY(link.Received("tbp").contains("DATA_FILE"));
    }

    // The RAM boot loader is loaded whatever the check says; a differing
    // resident boot loader turns the end into status 3 (recovery road).
    void residentStep_data()
    {
        QTest::addColumn<bool>("matching");
        QTest::addColumn<int>("status");
        QTest::newRow("matching") << true << int(UPDATER_STATUS_SUCCESS);
        QTest::newRow("differing") << false << int(UPDATER_STATUS_ERROR);
    }
    void residentStep()
    {
        QFETCH(bool, matching);
        QFETCH(int, status);
        const QByteArray resident = Pattern(2048, 20);
        const QByteArray ramBoot = Pattern(1000, 21);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "ramboot.bin", ramBoot), RAM_BOOT_BASE,
                                         RAM_BOOT_BASE);
        CLASS_BINARY_INFORMATIONS verification(WriteFile(m_Dir, "resident.bin", resident), RESIDENT_BASE,
                                               RESIDENT_BASE);
        const QString state = m_Dir.filePath(QString("state-resident-%1.json").arg(matching));
        QVERIFY(WriteState(state, 0, 0, QByteArray(), RESIDENT_BASE, matching ? resident : QByteArray()));
        Link link;
        QVERIFY(link.Start("udp", m_Dir, {"--state", state}));
        auto* updater = Make(link, "BOX_RAM", STEP_RESIDENT_PROGRAM_RAM, &binary, &verification,
                             COMPONENT_TYPE_RAM, END_ACTION_JUMP);
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(status));
        QVERIFY(updater->IsFinished(nullptr));
        QCOMPARE(updater->IsResidentReprogrammed(), !matching);
        QCOMPARE(updater->GetProgress(), DWord(100));
        const QStringList received = link.Received("tbp");
        QCOMPARE(received.count("ABORT"), matching ? 1 : 2);
        QVERIFY(received.contains("DATA_FILE"));
        QCOMPARE(received.last(), QString("JUMP"));
    }

    // Force reprograms a card whose content matches, and is then cleared.
    void forceReprograms()
    {
        const QByteArray content = Pattern(500, 30);
        const QString path = WriteFile(m_Dir, "forced.bin", content);
        CLASS_BINARY_INFORMATIONS binary(path, APP_BASE, APP_BASE);
        const QString state = m_Dir.filePath("state-force.json");
        QVERIFY(WriteState(state, 0x01, APP_BASE, content, 0, QByteArray()));
        Link link;
        QVERIFY(link.Start("pty", m_Dir, {"--state", state}));
        auto* updater = Make(link, "BOX_APP", STEP_RAM_PROGRAM_MAIN, &binary, &binary, COMPONENT_TYPE_APP,
                             END_ACTION_RESET, true);
        QVERIFY(updater->GetForce());
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        QVERIFY(!updater->GetForce());
        QCOMPARE(link.Received("tbp").mid(0, 5),
                 QStringList({"ABORT", "PING", "CHECK_VERSION", "ABORT", "SET_COMPONENT"}));
        QCOMPARE(link.Received("tbp").last(), QString("RESET"));
    }

    // A full buffer mid-file: the running SHA-1 is checked, then the file goes on.
    void bufferFull()
    {
        const QByteArray content = Pattern(2000, 40);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "buffer.bin", content), APP_BASE, APP_BASE);
        const QString state = m_Dir.filePath("state-buffer.json");
        Link link;
        QVERIFY(link.Start("pty", m_Dir, {"--state", state, "--buffer-full-every", "5"}));
        auto* updater = Make(link, "BOX_APP", STEP_RAM_PROGRAM_MAIN, &binary, nullptr, COMPONENT_TYPE_APP,
                             END_ACTION_NONE);
        Run run(updater);
        QCOMPARE(run.StartAndWait(), SDWord(UPDATER_STATUS_SUCCESS));
        const QStringList received = link.Received("tbp");
        QCOMPARE(received.count("DATA_FILE"), 16);
        QCOMPARE(received.count("CHECK_SHA"), 4);
        // The first check comes right after the fifth block, and the file goes on after it.
        QCOMPARE(received.indexOf("CHECK_SHA"), received.indexOf("DATA_FILE") + 5);
        QCOMPARE(received.at(received.indexOf("CHECK_SHA") + 1), QString("DATA_FILE"));
        QCOMPARE(StoredComponent(state, 0x01), content);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong sha") << "udp" << QStringList{"--fault-wrong-sha", "1"}
                                   << "Invalid SHA comparison ";
        QTest::newRow("error 5 udp")
            << "udp" << QStringList{"--fault-error", "5@DATA_FILE:2"}
            << "Error has been received during TBP programming \"BOX_APP\", abort update!";
        QTest::newRow("silent")
            << "pty" << QStringList{"--fault-silence-after", "6"}
            << "Command timeout encountered for updater named \"BOX_APP\" in step \"Programme "
               "le binaire\"";
    }
    void failures()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, faults);
        QFETCH(QString, message);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "fail.bin", Pattern(1000, 50)), APP_BASE, APP_BASE);
        Link link;
        QVERIFY(link.Start(kind, m_Dir, faults));
        auto* updater = Make(link, "BOX_APP", STEP_RAM_PROGRAM_MAIN, &binary, nullptr, COMPONENT_TYPE_APP,
                             END_ACTION_JUMP);
        Run run(updater);
        // Only the silent device is meant to meet the inactivity watch.
        const qint64 inactivity = faults.first() == "--fault-silence-after" ? 1500 : 10000;
        QCOMPARE(run.StartAndWait(inactivity), SDWord(UPDATER_STATUS_ERROR));
        QVERIFY(!updater->IsFinished(nullptr));
        QCOMPARE(updater->GetState(), BOOT_TBP_STATE_IDLE);
        const QStringList texts = run.Texts();
        QVERIFY2(texts.last().startsWith(message), qPrintable(texts.last()));
        if (faults.first() == "--fault-error")
        {
            const QString code = texts.at(texts.size() - 2);
            QVERIFY2(code.startsWith(
                         "../BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootTBPUpdater UpdateNewDataReceived() "
                         "Line "),
                     qPrintable(code));
            QVERIFY(code.endsWith(
                " Error has been encountered with value code \"5\" - Message: Micro is busy(5)"));
        }
    }

    // Frames the boot loader should never send while an acknowledgement is awaited.
    void unexpectedFrames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("message");
        // A code the protocol does not know must not pass for PING (code 0).
        QTest::newRow("unknown code") << QByteArray::fromHex("3a0900000000")
                                      << "Unrecognized ACK command for updater named \"BOX_APP\"";
        // PING announcing an attribute it cannot have: a protocol error.
        QTest::newRow("protocol error") << QByteArray::fromHex("3a00000100")
                                        << " An error has been encountered with TBP frame \"Error message "
                                           "location: Project Protocol Error - "
                                           "Error message code: Duplicate Attributes or overflow\"";
    }
    void unexpectedFrames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, message);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "frames.bin", Pattern(100, 60)), APP_BASE,
                                         APP_BASE);
        Link link;
        QVERIFY(link.Start("udp", m_Dir, {"--fault-silence-after", "0"}));
        auto* updater = Make(link, "BOX_APP", STEP_RAM_PROGRAM_MAIN, &binary, nullptr, COMPONENT_TYPE_APP,
                             END_ACTION_JUMP);
        Run run(updater);
        emit updater->SIGNAL_Start();
        QTRY_COMPARE_WITH_TIMEOUT(updater->GetState(), BOOT_TBP_STATE_WAIT_ACK, 20000);
        QCOMPARE(updater->GetStateText(), QString("Envoie un ping"));
        QMetaObject::invokeMethod(updater, "UpdateNewDataReceived", Q_ARG(QByteArray, frame));
        QCOMPARE(run.Wait(), SDWord(UPDATER_STATUS_ERROR));
        QVERIFY2(run.Texts().last().endsWith(message), qPrintable(run.Texts().last()));
        QVERIFY(!run.Texts().contains("\t PING"));
    }

private:
    CLASS_MVR_BOOT_TBP_UPDATER* Make(Link& link, const QString& name, int step,
                                     CLASS_BINARY_INFORMATIONS* binary,
                                     CLASS_BINARY_INFORMATIONS* verification, T_COMPONENT_TYPE type,
                                     T_END_ACTION endAction, bool force = false)
    {
        auto* updater = new CLASS_MVR_BOOT_TBP_UPDATER(name, step, link.Communication, force);
        const T_CARD_TYPE card = CARD_TYPE_BOX;
        if (!updater->Configure(binary, verification, 0, &endAction, &type, &card))
            qWarning("Configure failed for %s", qPrintable(name));
        updater->SetDelays(ShortDelays());
        return updater;
    }

    QTemporaryDir m_Dir;
    TraceCapture m_Traces;
};

QTEST_GUILESS_MAIN(TestBootTbpUpdater)
#include "tst_boot_tbp_updater.moc"
