#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "BACKEND/MISC/Configurations_Helpers.h"
#include "BACKEND/MISC/MISC_ClassConfigurationParser.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardsManager.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUsb.h"
#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "TestSupport.h"
#include "TraceCapture.h"
#include "TraceMessages.h"

using namespace CONFIGURATIONS;

namespace
{
QString Missing(const QString& key)
{
    return QStringLiteral("CONFIGURATIONS_FormatMissingConfigurationParameterErrorMessage|Error has been "
                          "encountered during parsing configuration file \"") +
           key + QStringLiteral("\" is missing !");
}

// node with the value at path ("a.0.b": key a, index 0, key b) replaced;
// an undefined value removes the key or the array element.
QJsonValue With(const QJsonValue& node, QStringList path, const QJsonValue& value)
{
    if (path.isEmpty())
        return value;
    const QString token = path.takeFirst();
    bool isIndex = false;
    const int index = token.toInt(&isIndex);
    if (isIndex)
    {
        QJsonArray array = node.toArray();
        while (array.size() <= index)
            array.append(QJsonValue());
        const QJsonValue child = With(array.at(index), path, value);
        if (child.isUndefined())
            array.removeAt(index);
        else
            array[index] = child;
        return array;
    }
    QJsonObject object = node.toObject();
    const QJsonValue child = With(object.value(token), path, value);
    if (child.isUndefined())
        object.remove(token);
    else
        object[token] = child;
    return object;
}

QJsonObject With(const QJsonObject& root, const QString& path, const QJsonValue& value)
{
    return With(QJsonValue(root), path.split(QLatin1Char('.')), value).toObject();
}

QJsonObject Component(const QString& name, const QString& path, const QString& type, const QString& base,
                      const QString& endAction)
{
    return QJsonObject{
        {"name", name}, {"communication_type", "USB"}, {"programmation", "MICRO"}, {"path", path},
        {"type", type}, {"base-addr", base},           {"jump-addr", base},        {"end-action", endAction}};
}

// The smallest useful file: one box card over USB, a main program and a final reset.
QJsonObject WorkedExample()
{
    const QJsonObject usb{
        {"type", "USB"}, {"node-addr", 1}, {"parameters", QJsonObject{{"vid", "1A2B"}, {"pid", "3C4D"}}}};
    const QJsonObject details{{"type", "BOX"}, {"communication", QJsonArray{usb}}};
    const QJsonObject info{{"backend_slot", 0}, {"details", QJsonArray{details}}};
    const QJsonArray basics{Component("STEP_RAM_PROGRAM_MAIN", "BIN/main.bin", "APP", "0x100", "jump"),
                            Component("STEP_FINAL_RESET", "", "RESIDENT", "0", "reset")};
    const QJsonObject card{{"info", info},
                           {"components", QJsonObject{{"basics", basics}, {"revisions", QJsonArray()}}}};
    return QJsonObject{{"box_updater_cards", QJsonArray{card}}};
}

QByteArray Json(const QJsonObject& root)
{
    return QJsonDocument(root).toJson();
}

// A parser and the cards it builds, with no other link in use.
struct T_MODEL
{
    CLASS_CARDS_MANAGER manager;
    const QList<CLASS_COMMUNICATION_CONF*> links;
    CLASS_CONFIGURATION_PARSER parser{&manager, links, false, false};
};

const char* const CARDS = "box_updater_cards.0";
const char* const BASICS = "box_updater_cards.0.components.basics";
const char* const COMMUNICATION = "box_updater_cards.0.info.details.0.communication.0";

QString At(const char* prefix, const QString& rest)
{
    return QLatin1String(prefix) + QLatin1Char('.') + rest;
}

const QString INVALID_COMPONENTS = QStringLiteral(
    "ParsingConfigurationsFile|Invalid component parameters for components in card named \"CARD_BOX\"");
const QString COMMUNICATIONS_FAILED = QStringLiteral("ParsingConfigurationsFile|Error(s) has been encoutered "
                                                     "during \"communications\" parsing in the configuration "
                                                     "file at: %PATH%");
} // namespace

class TestConfigurationParser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_TraceFolder.isValid());
        QVERIFY(m_Traces.Start(m_TraceFolder.path() + "/traces"));
        InitEnumerationTables();
        // Binaries where the extracted package would put them.
        m_Base = BinaryBaseFolder();
        QDir(m_Base).removeRecursively();
        QVERIFY(QDir().mkpath(m_Base + "BIN"));
        for (const char* name : {"BIN/main.bin", "BIN/fpga.bin", "BIN/verif.bin"})
        {
            QFile file(m_Base + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(64, 'x') + name);
        }
        // Passes every check on the path, yet reading it fails (EIO at offset 0).
        QVERIFY(QFile::link("/proc/self/mem", m_Base + "BIN/unreadable.bin"));
    }

    void cleanupTestCase() { QDir(m_Base).removeRecursively(); }

    void init() { m_Traces.NewErrors(); }

    void workedExample()
    {
        const QString path = WriteConfiguration(Json(WorkedExample()));
        T_MODEL model;
        QVERIFY(model.parser.ParsingConfigurationsFile(path));
        QCOMPARE(m_Traces.NewErrors(), QStringList());

        QCOMPARE(model.manager.GetCards().size(), 1);
        CLASS_CARD* card = model.manager.GetCards().first();
        QCOMPARE(card->GetName(), QStringLiteral("CARD_BOX"));
        auto* usb =
            qobject_cast<CLASS_COMMUNICATION_CONF_USB*>(card->GetCommunication(COMMUNICATION_TYPE_USB));
        QVERIFY(usb);
        QCOMPARE(usb->GetName(), QStringLiteral("USB_CARD_BOX"));
        QCOMPARE(usb->GetNodeAddress(), 1);
        QCOMPARE(usb->GetVendorId(), Word(0x1A2B));
        QCOMPARE(usb->GetProductId(), Word(0x3C4D));

        const QList<CLASS_CARD_COMPONENT*>& components = card->GetComponents();
        QCOMPARE(components.size(), 2);
        QVERIFY2(QRegularExpression("^BOX_STEP_RAM_PROGRAM_MAIN_\\d+$")
                     .match(components.at(0)->GetName())
                     .hasMatch(),
                 qPrintable(components.at(0)->GetName()));
        QCOMPARE(components.at(1)->GetName(), QStringLiteral("BOX_STEP_FINAL_RESET"));
        for (CLASS_CARD_COMPONENT* component : components)
        {
            QVERIFY(component->GetUpdater());
            QCOMPARE(component->GetUpdater()->GetCommunication(), usb);
            QCOMPARE(component->GetUpdater()->thread(), card->GetThread());
        }
        QCOMPARE(card->GetLastStep(), STEP_RAM_PROGRAM_MAIN);
        QCOMPARE(components.at(0)->GetUpdater()->GetEndAction(), END_ACTION_JUMP);
        QCOMPARE(components.at(1)->GetUpdater()->GetEndAction(), END_ACTION_RESET);

        // The final reset has no binary: it is registered under the empty path, unloaded.
        const QHash<QString, CLASS_BINARY_INFORMATIONS*>& binaries = model.parser.GetBinaries();
        QCOMPARE(binaries.size(), 2);
        CLASS_BINARY_INFORMATIONS* main = binaries.value(m_Base + "BIN/main.bin");
        QVERIFY(main && main->IsLoaded());
        QCOMPARE(main->GetBaseAddress(), DWord(0x100));
        QVERIFY(!binaries.value(QString())->IsLoaded());
    }

    // Each mistake gives its messages, in order, and its result.
    void configurations_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("messages");
        const QJsonObject example = WorkedExample();
        const QJsonValue removed(QJsonValue::Undefined);
        const QString P = "ParsingConfigurationsFile|", C = "ParsingCommunicationsEntry|";
        const QString E = "ParsingComponentEntry|", B = "CreateBinaryInformations|";
        const auto raw =
            [](const char* name, const char* kind, const QByteArray& content, QStringList messages)
        { QTest::newRow(name) << kind << content << false << messages; };
        const auto row = [](const char* name, const QJsonObject& root, bool result, QStringList messages)
        { QTest::newRow(name) << "file" << Json(root) << result << messages; };
        const auto failing = [&row](const char* name, const QJsonObject& root, QStringList messages)
        { row(name, root, false, messages); };

        raw("missing file", "missing", {}, {P + "Cannot find the configuration file at: %PATH%"});
        raw("unreadable file", "folder", {},
            {P + "Cannot open the configuration file at: %PATH% because: file to open is a directory"});
        raw("malformed JSON", "file", "{\"box_updater_cards\": []",
            {P + "Updater configuration file has encountered JSON parsing error (unterminated objectat "
                 "offset 24) at: %PATH%"});
        raw("empty document", "file", "\n",
            {P + "Updater configuration file is empty or is not valid at: %PATH%"});
        raw("no root item", "file", "{\"cards\": []}",
            {Missing("box_updater_cards"),
             P + "Cannot found root itembox_updater_cards in the configuration file at: %PATH%"});
        failing("component without end-action", With(example, At(BASICS, "0.end-action"), removed),
                {Missing("end-action"), INVALID_COMPONENTS});
        row("card without info", With(example, At(CARDS, "info"), removed), true, {Missing("info")});
        const QString slot0 = At(CARDS, "backends.0.revisions.0.backend_slots.0.backend_slot");
        QJsonObject withSlots = With(example, At(CARDS, "info.backend_slot"), 2);
        withSlots = With(withSlots, At(CARDS, "backends.0.backend"), "DP");
        withSlots = With(withSlots, At(CARDS, "backends.0.revisions.0.revision"), 0);
        withSlots = With(withSlots, slot0, 1);
        withSlots =
            With(withSlots, At(CARDS, "backends.0.revisions.0.backend_slots.0.components"), QJsonArray());
        row("slot in range", withSlots, true, {});
        failing("slot out of range", With(withSlots, slot0, 2),
                {P + "BackEnd slot value is out-of-range (2) for components in card named \"CARD_BOX\" who "
                     "have only 2 inside!"});
        failing("unknown backend", With(withSlots, At(CARDS, "backends.0.backend"), "VGA"),
                {P + "BackEnd is not recognized \"VGA\" for backends in card named \"CARD_BOX\""});

        QJsonObject checkedMain = Component("STEP_RAM_PROGRAM_MAIN", "BIN/main.bin", "APP", "0x100", "jump");
        checkedMain["binary-verification"] = QJsonObject{{"path", "BIN/verif.bin"}, {"base-addr", "0"}};
        const QJsonObject edid = Component("STEP_RAM_PROGRAM_EDID_0", "BIN/verif.bin", "EDID_0", "0", "none");
        const QJsonObject reset = Component("STEP_FINAL_RESET", "", "RESIDENT", "0", "reset");
        const QJsonObject verified = With(example, BASICS, QJsonArray{checkedMain, edid, reset});
        failing("unregistered verification binary", verified,
                {E + "The verification binary at the path: %BASE%BIN/verif.bin is not registered",
                 INVALID_COMPONENTS});
        row("verification binary registered before",
            With(example, BASICS, QJsonArray{edid, checkedMain, reset}), true, {});

        const QJsonValue card = example["box_updater_cards"].toArray().at(0);
        failing("second BOX card", QJsonObject{{"box_updater_cards", QJsonArray{card, card}}},
                {"AddCard|A card with the same type 0 already exists!",
                 P + "Card type \"BOX\" is not added to list"});
        failing("unknown card type", With(example, At(CARDS, "info.details.0.type"), "box"),
                {"CLASS_CARD|Unrecognized card type: 1", P + "Card named \"CARD_\" is not initialized!"});
        failing("unknown communication type", With(example, At(COMMUNICATION, "type"), "SPI"),
                {C + "Unrecognized communication type: SPI", COMMUNICATIONS_FAILED});
        failing("bad PID", With(example, At(COMMUNICATION, "parameters.pid"), "XYZ"),
                {C + "Cannot convert PID (XYZ) for one USB communication", COMMUNICATIONS_FAILED});
        failing(
            "second USB link on the card",
            With(example, "box_updater_cards.0.info.details.0.communication.1",
                 card["info"]["details"][0]["communication"][0]),
            {"AddCommunication|Communication type USB is already affected for the card named \"CARD_BOX\"",
             COMMUNICATIONS_FAILED});
        row("RAM_SAMBA and any type on the final reset",
            With(With(example, At(BASICS, "0.type"), "RAM_SAMBA"), At(BASICS, "1.type"), "whatever"), true,
            {});
        failing("missing binary", With(example, At(BASICS, "0.path"), "BIN/absent.bin"),
                {E + "Invalid binary file path: %BASE%BIN/absent.bin for entry STEP_RAM_PROGRAM_MAIN",
                 INVALID_COMPONENTS});
        // Left unloaded, it would be sent as zero-length writes for ever (row named by docs/RELIABILITY.md).
        QTest::newRow("binary that cannot be read")
            << "file" << Json(With(example, At(BASICS, "0.path"), "BIN/unreadable.bin")) << false
            << QStringList{"CLASS_BINARY_INFORMATIONS|Cannot read programmation file at path "
                           "\"%BASE%BIN/unreadable.bin\": Input/output error",
                           B + "Cannot read the binary at the path: \"%BASE%BIN/unreadable.bin\"",
                           E + "Could not create the binary informations for the one at the path: "
                               "%BASE%BIN/unreadable.bin",
                           INVALID_COMPONENTS};
        // Nothing could ever program it, so the update must not run.
        failing("unknown programmation", With(example, At(BASICS, "1.programmation"), "FLASH"),
                {"CLASS_CARD_COMPONENT|Unrecognized programmation name FLASH for component card "
                 "namedBOX_STEP_FINAL_RESET",
                 INVALID_COMPONENTS});

        // The other texts, spellings included: operators' log filters match them as they are.
        const QString inCard = " for components in card named \"CARD_BOX\"";
        failing("revision below 0",
                With(example, At(CARDS, "components.revisions.0"),
                     QJsonObject{{"revision", -1}, {"components", QJsonArray()}}),
                {P + "Revision value is invalid (-1)" + inCard});
        failing("backend revision below 0", With(withSlots, At(CARDS, "backends.0.revisions.0.revision"), -1),
                {P + "Revision value is invalid (-1)" + inCard});
        failing("slot below 0", With(withSlots, slot0, -1),
                {P + "BackEnd slot value is invalid (-1)" + inCard});
        failing("empty backend", With(withSlots, At(CARDS, "backends.0.backend"), ""),
                {P + "BackEnd is invalid \"\" for backends in card named \"CARD_BOX\""});
        failing(
            "link without parameters", With(example, At(COMMUNICATION, "parameters"), removed),
            {Missing("parameters"), C + "Invalid parameter(s) for one communication", COMMUNICATIONS_FAILED});
        failing(
            "COM without port", With(example, At(COMMUNICATION, "type"), "COM"),
            {Missing("port"), C + "Invalid parameter(s) for one COM communication", COMMUNICATIONS_FAILED});
        failing("UDP without addresses", With(example, At(COMMUNICATION, "type"), "UDP"),
                {Missing("local-addr"), Missing("local-port"), Missing("remote-addr"), Missing("remote-port"),
                 C + "Invalid parameter(s) for one UDP communication", COMMUNICATIONS_FAILED});
        failing(
            "USB without vid", With(example, At(COMMUNICATION, "parameters.vid"), removed),
            {Missing("vid"), C + "Invalid parameter(s) for one USB communication", COMMUNICATIONS_FAILED});
        failing("bad VID", With(example, At(COMMUNICATION, "parameters.vid"), "G1"),
                {C + "Cannot convert VID (G1) for one USB communcation", COMMUNICATIONS_FAILED});
        failing("unknown step", With(example, At(BASICS, "0.name"), "STEP_MAIN"),
                {E + "Cannot recognized component STEP_MAIN with valid name", INVALID_COMPONENTS});
        failing("unknown component type", With(example, At(BASICS, "0.type"), "MAIN"),
                {E + "Cannot recognized component type MAIN", INVALID_COMPONENTS});
        failing("unknown end action", With(example, At(BASICS, "0.end-action"), "jmp"),
                {E + "Cannot recognized updater end action jmp", INVALID_COMPONENTS});
        const QString followingMain = " for the binary at the following path: %BASE%BIN/main.bin";
        const QString notCreated =
            E + "Could not create the binary informations for the one at the path: %BASE%BIN/main.bin";
        failing("empty base address", With(example, At(BASICS, "0.base-addr"), ""),
                {B + "The base address information is empty for the binary at the path: %BASE%BIN/main.bin",
                 notCreated, INVALID_COMPONENTS});
        failing("empty jump address", With(example, At(BASICS, "0.jump-addr"), ""),
                {B + "The jump address information is empt=y for the binary at the path: %BASE%BIN/main.bin",
                 notCreated, INVALID_COMPONENTS});
        failing("bad base address", With(example, At(BASICS, "0.base-addr"), "0xG"),
                {B + "Cannot convert base address: 0xG" + followingMain, notCreated, INVALID_COMPONENTS});
        failing(
            "bad jump address", With(example, At(BASICS, "0.jump-addr"), "0xG"),
            {B + "Cannot convert jump address: 0xG for the binary at the folowwing path: %BASE%BIN/main.bin",
             notCreated, INVALID_COMPONENTS});
        failing("verification without base-addr",
                With(verified, At(BASICS, "0.binary-verification.base-addr"), removed),
                {Missing("base-addr"), E + "Invalid parameter(s) for component on card named: CARD_BOX",
                 INVALID_COMPONENTS});
        failing("verification binary missing",
                With(verified, At(BASICS, "0.binary-verification.path"), "BIN/none.bin"),
                {E + "Invalid verification binary data in the configuration file at: BIN/none.bin",
                 INVALID_COMPONENTS});
        failing("verified component with a bad address", With(verified, At(BASICS, "0.base-addr"), "zz"),
                {B + "Cannot convert base address: zz" + followingMain,
                 E + "Count not create the binary information for the one at the path:%BASE%BIN/main.bin",
                 INVALID_COMPONENTS});
        failing(
            "same step twice", With(example, At(BASICS, "2"), reset),
            {"AddComponent|The component named STEP_FINAL_RESET already exists in the card named CARD_BOX",
             E + "Invalid parameter(s) for component: STEP_FINAL_RESET on card named: CARD_BOX",
             INVALID_COMPONENTS});
    }

    void configurations()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(bool, result);
        QFETCH(QStringList, messages);

        QString path = m_Scratch.filePath(QStringLiteral("components.json"));
        QFile::remove(path);
        QDir(path).removeRecursively();
        if (kind == "file")
            path = WriteConfiguration(content);
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));

        T_MODEL model;
        QCOMPARE(model.parser.ParsingConfigurationsFile(path), result);
        messages.replaceInStrings("%PATH%", path);
        messages.replaceInStrings("%BASE%", m_Base);
        QCOMPARE(TraceMessages(m_Traces.NewErrors()), messages);
        // A file that cannot be read as a configuration builds nothing.
        static const QStringList unreadable{"missing file", "unreadable file", "malformed JSON",
                                            "empty document", "no root item"};
        if (unreadable.contains(QString::fromLatin1(QTest::currentDataTag())))
            QVERIFY(model.manager.GetCards().isEmpty());
    }

    // One object per distinct binary, with the addresses of the first entry
    // naming it; every "0x" goes before conversion.
    void binaryRegistry()
    {
        QJsonObject root = WorkedExample();
        root = With(root, At(BASICS, "0.base-addr"), "0x0x10");
        root = With(root, At(BASICS, "2"),
                    Component("STEP_RAM_PROGRAM_FPGA_0", "BIN/../BIN/main.bin", "FPGA_0", "0x200", "none"));
        root = With(
            root, At(BASICS, "3"),
            Component("STEP_RAM_PROGRAM_EDID_0", m_Base + "BIN/fpga.bin", "EDID_0", "0x0x0x300", "none"));
        T_MODEL model;
        QVERIFY(model.parser.ParsingConfigurationsFile(WriteConfiguration(Json(root))));
        QCOMPARE(m_Traces.NewErrors(), QStringList());
        QCOMPARE(model.manager.GetCards().first()->GetComponents().size(), 4);

        const QHash<QString, CLASS_BINARY_INFORMATIONS*>& binaries = model.parser.GetBinaries();
        QCOMPARE(binaries.size(), 3);
        QCOMPARE(binaries.value(m_Base + "BIN/main.bin")->GetBaseAddress(), DWord(16));
        QCOMPARE(binaries.value(m_Base + "BIN/fpga.bin")->GetBaseAddress(), DWord(0x300));
    }

    // A failed components revision does not stop the next one; a bad slot ends
    // its back-end revision only. Every component found goes to the same card.
    void failuresSkipOnlyTheirOwnList()
    {
        QJsonObject root = WorkedExample();
        root = With(root, At(CARDS, "info.backend_slot"), 2);
        const auto list = [](const QJsonObject& component) { return QJsonArray{component}; };
        const QJsonObject badName = Component("STEP_X", "", "RESIDENT", "0", "none");
        root = With(
            root, At(CARDS, "components.revisions"),
            QJsonArray{QJsonObject{{"revision", 0}, {"components", list(badName)}},
                       QJsonObject{{"revision", 1},
                                   {"components", list(Component("STEP_RAM_PROGRAM_FPGA_0", "BIN/fpga.bin",
                                                                 "FPGA_0", "0", "none"))}}});
        const auto slot = [](int index, const QJsonArray& components) {
            return QJsonObject{{"backend_slot", index}, {"components", components}};
        };
        const QJsonObject edid = Component("STEP_RAM_PROGRAM_EDID_0", "BIN/verif.bin", "EDID_0", "0", "none");
        const QJsonObject hdcp = Component("STEP_RAM_PROGRAM_HDCP_0", "BIN/verif.bin", "HDCP_0", "0", "none");
        const QJsonArray revisions{
            QJsonObject{{"revision", 0}, {"backend_slots", QJsonArray{slot(2, {}), slot(0, list(edid))}}},
            QJsonObject{{"revision", 1}, {"backend_slots", QJsonArray{slot(1, list(hdcp))}}}};
        root = With(root, At(CARDS, "backends.0"), QJsonObject{{"backend", "SDI"}, {"revisions", revisions}});
        T_MODEL model;
        QVERIFY(!model.parser.ParsingConfigurationsFile(WriteConfiguration(Json(root))));
        QCOMPARE(
            TraceMessages(m_Traces.NewErrors()),
            QStringList({"ParsingComponentEntry|Cannot recognized component STEP_X with valid name",
                         INVALID_COMPONENTS,
                         "ParsingConfigurationsFile|BackEnd slot value is out-of-range (2) for components in "
                         "card named \"CARD_BOX\" who have only 2 inside!"}));
        QStringList steps;
        for (CLASS_CARD_COMPONENT* component : model.manager.GetCards().first()->GetComponents())
            steps << UpdateStepToText(T_UPDATE_STEP(component->GetStep()));
        QCOMPARE(steps, QStringList({"STEP_RAM_PROGRAM_MAIN", "STEP_FINAL_RESET", "STEP_RAM_PROGRAM_FPGA_0",
                                     "STEP_RAM_PROGRAM_HDCP_0"}));
    }

    // A UDP link keeps its addresses and ports as written.
    void udpLink()
    {
        const QJsonObject parameters{{"local-addr", "127.0.0.1"},
                                     {"local-port", 5001},
                                     {"remote-addr", "127.0.0.2"},
                                     {"remote-port", 5002}};
        const QJsonObject udp{{"type", "UDP"}, {"node-addr", 2}, {"parameters", parameters}};
        T_MODEL model;
        QVERIFY(model.parser.ParsingConfigurationsFile(
            WriteConfiguration(Json(With(WorkedExample(), COMMUNICATION, udp)))));
        auto* conf = qobject_cast<CLASS_COMMUNICATION_CONF_UDP*>(
            model.manager.GetCards().first()->GetCommunication(COMMUNICATION_TYPE_UDP));
        QVERIFY(conf);
        QCOMPARE(QStringList({conf->GetName(), QString::number(conf->GetNodeAddress()),
                              conf->GetLocalAddress(), QString::number(conf->GetLocalPort()),
                              conf->GetRemoteAddress(), QString::number(conf->GetRemotePort())}),
                 QStringList({"UDP_CARD_BOX", "2", "127.0.0.1", "5001", "127.0.0.2", "5002"}));
    }

private:
    QString WriteConfiguration(const QByteArray& content)
    {
        return TestSupport::WriteFile(m_Scratch, QStringLiteral("components.json"), content);
    }

    QTemporaryDir m_Scratch;
    QString m_Base;
    QTemporaryDir m_TraceFolder;
    TraceCapture m_Traces;
};

QTEST_GUILESS_MAIN(TestConfigurationParser)
#include "tst_configuration_parser.moc"
