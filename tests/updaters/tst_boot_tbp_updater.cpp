#include <QtTest>

#include "BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootTBPUpdater.h"
#include "TraceCapture.h"
#include "UpdaterHarness.h"

using namespace UpdaterHarness;

namespace
{
const DWord APP_BASE = 0x00410000;

// Content the simulator keeps for a component, from its state file.
QByteArray StoredComponent(const QString& statePath, int id)
{
    QFile file(statePath);
    file.open(QIODevice::ReadOnly);
    for (const QJsonValue& value :
         QJsonDocument::fromJson(file.readAll()).object().value("components").toArray())
        if (value.toObject().value("id").toInt(-1) == id)
            return QByteArray::fromBase64(value.toObject().value("data").toString().toLatin1());
    return QByteArray();
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

    // The waits the devices need, as every updater starts with them: tests shorten them only
    // through SetDelays (the box updater's own are tst_box_updater's).
    void prescribedDefaults()
    {
        CLASS_MVR_BOOT_TBP_UPDATER updater("BOX_DEFAULTS", STEP_RAM_PROGRAM_MAIN, nullptr, false);
        QCOMPARE(updater.GetDelays().StartWaitMs, 5000);
        QCOMPARE(updater.GetDelays().CloseWaitMs, 500);
        QCOMPARE(updater.GetDelays().EraseWaitFactor, 1.0);
        QCOMPARE(updater.GetNodeAnswerTimeoutMs(), DWord(3000));
    }

    // APP whose content differs: the whole road, then again with nothing to do.
    void appNormalRoad_data() { AddLinkRows(); }
    void appNormalRoad()
    {
        QFETCH(QString, kind);
        const QByteArray content = Pattern(3000, 3);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "app-" + kind + ".bin", content), APP_BASE,
                                         APP_BASE);
        const QString state = m_Dir.filePath("state-app-" + kind + ".json");
        Link link;
        QVERIFY(link.Start(kind, m_Dir, {"--state", state, "--sha-block-size", "1024"}));
        auto* updater =
            Make(link, STEP_RAM_PROGRAM_MAIN, &binary, &binary, COMPONENT_TYPE_APP, END_ACTION_JUMP);
        Run run(updater);
        QCOMPARE(run.Wait(), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(run.Texts(),
                 QStringList({"******", "BOX_APP - Started", "\t Connection opened", "\t ABORT", "\t PING",
                              "\t PING_ACK", "\t CHECK_VERSION", "\t VERSION_STATUS", "\t ABORT",
                              "\t\t SET_COMPONENT", "\t\t SET_ADDR", "\t\t START_SEND", "\t CHECK_SHA",
                              "\t STOP_SEND", "\t JUMP", "\t SUCCESS"}));
        QCOMPARE(link.Received("tbp").join(' '),
                 "ABORT PING CHECK_VERSION ABORT SET_COMPONENT SET_ADDR START_SEND " +
                     QString("DATA_FILE ").repeated(24) + "CHECK_SHA STOP_SEND JUMP");
        // Progress as each text went out: PING sent, check sent, all blocks sent, jump answered.
        QCOMPARE(run.ProgressAt("\t PING"), DWord(5));
        QCOMPARE(run.ProgressAt("\t CHECK_SHA"), DWord(90));
        QCOMPARE(run.ProgressAt("\t SUCCESS"), DWord(95));
        QCOMPARE(StoredComponent(state, 0x01), content);

        // Same content on the card: all three blocks compared, then only the jump.
        const int seen = link.Events().size();
        updater->Reset();
        QCOMPARE(run.Wait(), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(link.Received("tbp", seen), QStringList({"ABORT", "PING", "CHECK_VERSION", "JUMP"}));
        QCOMPARE(run.Texts().count("\t VERSION_STATUS"), 1 + 3);

        // Forced: the same content is programmed again, and the flag is then cleared.
        run.Stop();
        const int forcedFrom = link.Events().size();
        auto* forced =
            Make(link, STEP_RAM_PROGRAM_MAIN, &binary, &binary, COMPONENT_TYPE_APP, END_ACTION_JUMP, true);
        Run forcedRun(forced);
        QCOMPARE(forcedRun.Wait(), SDWord(UPDATER_STATUS_SUCCESS));
        QVERIFY(!forced->GetForce());
        QCOMPARE(link.Received("tbp", forcedFrom).mid(0, 5),
                 QStringList({"ABORT", "PING", "CHECK_VERSION", "ABORT", "SET_COMPONENT"}));
    }

    // The erase wait after START_SEND outlasts the inactivity watch (as a main firmware
    // of 1.1 MB does): it does not count it. The
    // wait is the target's erase, so START_SEND reaches it before the wait begins,
    // whatever the port buffers: the first block comes the whole wait after it.
    void eraseWaitIsNotSilence_data() { AddLinkRows(); }
    void eraseWaitIsNotSilence()
    {
        QFETCH(QString, kind);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "erase.bin", Pattern(30000, 5)), APP_BASE,
                                         APP_BASE);
        Link link;
        // The device erases 1.5 s of the host's 2.2 s.
        QVERIFY(link.Start(kind, m_Dir, {"--erase-ms-per-128000", "6400"}));
        auto* updater =
            Make(link, STEP_RAM_PROGRAM_MAIN, &binary, nullptr, COMPONENT_TYPE_APP, END_ACTION_NONE);
        T_UPDATER_DELAYS delays = ShortDelays();
        delays.EraseWaitFactor = 5.0; // 438 ms for 30000 bytes: about 2.2 s
        updater->SetDelays(delays);
        m_Traces.NewErrors();
        Run run(updater);
        QCOMPARE(run.Wait(1500), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(m_Traces.NewErrors(), QStringList());
        auto received = [&link](const QString& command)
        {
            for (const QJsonObject& event : link.Events())
                if (event.value("direction") == "rx" && event.value("command") == command)
                    return QDateTime::fromString(event.value("time").toString(), Qt::ISODateWithMs);
            return QDateTime();
        };
        const QDateTime startSend = received("START_SEND"), firstBlock = received("DATA_FILE");
        QVERIFY2(startSend.msecsTo(firstBlock) >= 2150,
                 qPrintable(QString::number(startSend.msecsTo(firstBlock))));
    }

    // What the device checks itself: FPGA and HDCP by SHA-1, EDID by its CRC and
    // validity. Programmed on an empty card, spared afterwards. An empty card answers
    // CRC 0, the CRC of four 0xFF bytes, but reports its EDID invalid: programmed.
    void checkedByDevice_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("check");
        QTest::addColumn<int>("componentId");
        const int edid = STEP_RAM_PROGRAM_EDID_0;
        const int edidType = COMPONENT_TYPE_EDID_0;
        QTest::newRow("fpga") << "udp" << int(STEP_RAM_PROGRAM_FPGA_0) << int(COMPONENT_TYPE_FPGA_0)
                              << Pattern(700, 4) << "CHECK_FPGA_VERSION" << 0x10;
        QTest::newRow("edid") << "pty" << edid << edidType << Pattern(256, 5) << "CHECK_EDID_VALIDITY"
                              << 0x20;
        QTest::newRow("edid ff") << "udp" << edid << edidType << QByteArray(4, '\xFF')
                                 << "CHECK_EDID_VALIDITY" << 0x20;
        QTest::newRow("hdcp") << "udp" << int(STEP_RAM_PROGRAM_HDCP_0) << int(COMPONENT_TYPE_HDCP_0)
                              << Pattern(256, 6) << "CHECK_HDCP_VERSION" << 0x40;
    }
    void checkedByDevice()
    {
        QFETCH(QString, kind);
        QFETCH(int, step);
        QFETCH(int, type);
        QFETCH(QByteArray, content);
        QFETCH(QString, check);
        QFETCH(int, componentId);
        const QString name = QTest::currentDataTag();
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, name + ".bin", content), 0, 0);
        const QString state = m_Dir.filePath("state-" + name + ".json");
        Link link;
        QVERIFY(link.Start(kind, m_Dir, {"--state", state, "--sha-block-size", "256"}));
        auto* updater = Make(link, step, &binary, nullptr, T_COMPONENT_TYPE(type), END_ACTION_RESET);
        Run run(updater);
        QCOMPARE(run.Wait(), SDWord(UPDATER_STATUS_SUCCESS));
        const QStringList first = link.Received("tbp");
        QCOMPARE(first.mid(0, 3), QStringList({"ABORT", "PING", check}));
        QCOMPARE(first.mid(first.size() - 2), QStringList({"STOP_SEND", "RESET"}));
        QCOMPARE(StoredComponent(state, componentId), content);

        const int seen = link.Events().size();
        const int texts = run.Texts().size();
        updater->Reset();
        QCOMPARE(run.Wait(), SDWord(UPDATER_STATUS_SUCCESS));
        QCOMPARE(link.Received("tbp", seen), QStringList({"ABORT", "PING", check, "RESET"}));
        // The check's answer counts as progress, for any kind.
        QCOMPARE(run.ProgressAt("\t RESET", texts), DWord(20));
    }

    // The RAM boot loader is loaded whatever the check says; a differing resident
    // boot loader turns the end into status 3 (recovery road).
    void residentStep_data()
    {
        QTest::addColumn<bool>("matching");
        QTest::newRow("matching") << true;
        QTest::newRow("differing") << false;
    }
    void residentStep()
    {
        QFETCH(bool, matching);
        const QByteArray resident = Pattern(2048, 20);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "ramboot.bin", Pattern(1000, 21)), 0x20001000,
                                         0x20001000);
        CLASS_BINARY_INFORMATIONS verification(WriteFile(m_Dir, "resident.bin", resident), 0x00400000,
                                               0x00400000);
        // The card already holds a resident boot loader: the same one, or another.
        const QJsonObject held{{"address", "0x00400000"},
                               {"data", QString((matching ? resident : Pattern(2048, 22)).toBase64())}};
        const QString state = WriteFile(
            m_Dir, "state-resident.json",
            QJsonDocument(QJsonObject{{"format", "qrn207-sim-state"}, {"resident", QJsonArray{held}}})
                .toJson());
        Link link;
        QVERIFY(link.Start("udp", m_Dir, {"--state", state}));
        auto* updater = Make(link, STEP_RESIDENT_PROGRAM_RAM, &binary, &verification, COMPONENT_TYPE_RAM,
                             END_ACTION_JUMP);
        Run run(updater);
        QCOMPARE(run.Wait(), SDWord(matching ? UPDATER_STATUS_SUCCESS : UPDATER_STATUS_ERROR));
        QCOMPARE(updater->IsResidentReprogrammed(), !matching);
        const QStringList received = link.Received("tbp");
        QCOMPARE(received.count("ABORT"), matching ? 1 : 2);
        QVERIFY(received.contains("DATA_FILE"));
        QCOMPARE(received.last(), QString("JUMP"));
    }

    // A full buffer mid-file: the running SHA-1 is checked, then the file goes on.
    void bufferFull()
    {
        const QByteArray content = Pattern(2000, 40);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "buffer.bin", content), APP_BASE, APP_BASE);
        const QString state = m_Dir.filePath("state-buffer.json");
        Link link;
        QVERIFY(link.Start("pty", m_Dir, {"--state", state, "--buffer-full-every", "5"}));
        Run run(Make(link, STEP_RAM_PROGRAM_MAIN, &binary, nullptr, COMPONENT_TYPE_APP, END_ACTION_NONE));
        QCOMPARE(run.Wait(), SDWord(UPDATER_STATUS_SUCCESS));
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
        QTest::newRow("error 5")
            << "udp" << QStringList{"--fault-error", "5@DATA_FILE:2"}
            << "Error has been received during TBP programming \"BOX_APP\", abort update!";
        QTest::newRow("silent") << "pty" << QStringList{"--fault-silence-after", "6"}
                                << "Command timeout encountered for updater named \"BOX_APP\" in step "
                                   "\"Programme le binaire\"";
    }
    void failures()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, faults);
        QFETCH(QString, message);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "fail.bin", Pattern(1000, 50)), APP_BASE, APP_BASE);
        Link link;
        QVERIFY(link.Start(kind, m_Dir, faults));
        auto* updater =
            Make(link, STEP_RAM_PROGRAM_MAIN, &binary, nullptr, COMPONENT_TYPE_APP, END_ACTION_JUMP);
        Run run(updater);
        // Only the silent device is meant to meet the inactivity watch.
        QCOMPARE(run.Wait(kind == "pty" ? 1500 : 10000), SDWord(UPDATER_STATUS_ERROR));
        QVERIFY(!updater->IsFinished(nullptr));
        const QStringList texts = run.Texts();
        QVERIFY2(texts.last().startsWith(message), qPrintable(texts.last()));
        // The device's error code reaches the operator.
        const QString code = " with value code \"5\" - Message: Micro is busy(5)";
        QVERIFY(faults.first() != "--fault-error" || texts.at(texts.size() - 2).endsWith(code));
        // The failure the operator reads is the first one, not the abort that follows it.
        QVERIFY(faults.first() != "--fault-error" || updater->GetFailureCause().endsWith(code));
    }

    // Frames met while a step waits for an acknowledgement that end it, and the text the
    // operator reads: an acknowledgement of a code the protocol does not know (not PING, code 0),
    // too many attributes for a command (the decoder's ERROR of location 1).
    void unexpectedFrameEndsTheStep_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown acknowledgement") << QByteArray::fromHex("3a0900000000")
                                                 << "Unrecognized ACK command for updater named \"BOX_APP\"";
        QTest::newRow("too many attributes, location 1")
            << QByteArray::fromHex("3a21000400")
            << "An error has been encountered with TBP frame \"Error message location: Project Protocol "
               "Error - Error message code: Duplicate Attributes or overflow\"";
    }
    void unexpectedFrameEndsTheStep()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, text);
        CLASS_BINARY_INFORMATIONS binary(WriteFile(m_Dir, "frames.bin", Pattern(100, 60)), APP_BASE,
                                         APP_BASE);
        Link link;
        QVERIFY(link.Start("udp", m_Dir, {"--fault-silence-after", "0"}));
        auto* updater =
            Make(link, STEP_RAM_PROGRAM_MAIN, &binary, nullptr, COMPONENT_TYPE_APP, END_ACTION_JUMP);
        Run run(updater);
        emit updater->SIGNAL_Start();
        QTRY_COMPARE_WITH_TIMEOUT(updater->GetState(), BOOT_TBP_STATE_WAIT_ACK, 20000);
        QMetaObject::invokeMethod(updater, "UpdateNewDataReceived", Q_ARG(QByteArray, frame));
        QCOMPARE(run.Wait(10000, false), SDWord(UPDATER_STATUS_ERROR));
        const QString texts = run.Texts().join('\n');
        QVERIFY2(texts.endsWith(text), qPrintable(texts));
        QVERIFY(!run.Texts().contains("\t PING"));
    }

private:
    CLASS_MVR_BOOT_TBP_UPDATER* Make(Link& link, int step, CLASS_BINARY_INFORMATIONS* binary,
                                     CLASS_BINARY_INFORMATIONS* verification, T_COMPONENT_TYPE type,
                                     T_END_ACTION endAction, bool force = false)
    {
        auto* updater = new CLASS_MVR_BOOT_TBP_UPDATER("BOX_APP", step, link.Communication, force);
        const T_CARD_TYPE card = CARD_TYPE_BOX;
        updater->Configure(binary, verification, 0, &endAction, &type, &card);
        updater->SetDelays(ShortDelays());
        return updater;
    }

    QTemporaryDir m_Dir;
    TraceCapture m_Traces;
};

QTEST_GUILESS_MAIN(TestBootTbpUpdater)
#include "tst_boot_tbp_updater.moc"
