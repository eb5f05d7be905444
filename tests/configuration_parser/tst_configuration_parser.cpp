#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "BACKEND/MISC/Configurations_Helpers.h"
#include "TraceCapture.h"

using namespace CONFIGURATIONS;

namespace
{
// "function|text" for each captured error line, the line number dropped.
QStringList Messages(const QStringList& lines)
{
    static const QRegularExpression position(QStringLiteral("^\\S+ (\\w+)\\(\\) Line \\d+ (.*)$"));
    QStringList messages;
    for (const QString& line : lines)
    {
        const QRegularExpressionMatch match = position.match(line);
        messages << (match.hasMatch() ? match.captured(1) + QLatin1Char('|') + match.captured(2) : line);
    }
    return messages;
}

QString Missing(const QString& key)
{
    return QStringLiteral("CONFIGURATIONS_FormatMissingConfigurationParameterErrorMessage|Error has been "
                          "encountered during parsing configuration file \"") +
           key + QStringLiteral("\" is missing !");
}
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
    }

    void checkKeysReportsEveryMissingKey()
    {
        m_Traces.NewErrors();
        QJsonObject entry{{"name", "STEP_FINAL_RESET"}, {"path", ""}, {"type", "RESIDENT"}, {"unknown", 1}};
        QVERIFY(!CheckConfigurationKeys(entry, ComponentKeys()));
        // Key order; the optional "binary-verification" is not asked for.
        QCOMPARE(Messages(m_Traces.NewErrors()),
                 QStringList({Missing("base-addr"), Missing("communication_type"), Missing("end-action"),
                              Missing("jump-addr"), Missing("programmation")}));

        QJsonObject values;
        QJsonObject communication{{"type", "USB"}, {"parameters", QJsonObject()}};
        QVERIFY(CheckConfigurationKeys(communication, CommunicationKeys(), &values));
        QCOMPARE(values, communication);
        QVERIFY(!CheckConfigurationKeys(communication, T_CONFIGURATION_KEYS()));
        QVERIFY(m_Traces.NewErrors().isEmpty());
    }

    void conversions()
    {
        DWord value = 0;
        QVERIFY(HexadecimalToDWord("0x0x10", &value));
        QCOMPARE(value, DWord(16));
        QVERIFY(HexadecimalToDWord("FFFFFFFF", &value));
        QCOMPARE(value, DWord(0xFFFFFFFF));
        QVERIFY(!HexadecimalToDWord("0x", &value));
        QVERIFY(!HexadecimalToDWord("100000000", &value));
        QVERIFY(!HexadecimalToDWord("0xZZ", &value));

        Word word = 0;
        QVERIFY(HexadecimalToWord("1A2B", &word));
        QCOMPARE(word, Word(0x1A2B));
        QVERIFY(!HexadecimalToWord("12345", &word));
        QVERIFY(!HexadecimalToWord("XYZ", &word));

        QCOMPARE(ReadSignedByte(QJsonValue(2)), SByte(2));
        QCOMPARE(ReadSignedByte(QJsonValue("2")), SByte(-1));
        QCOMPARE(ReadSignedByte(QJsonValue(1.5)), SByte(-1));
        QCOMPARE(ReadSignedByte(QJsonValue(1e300)), SByte(-1));
        QCOMPARE(ReadSignedByte(QJsonValue()), SByte(-1));

        T_BACKEND_TYPE backend = BACKEND_TYPE_TEST;
        QVERIFY(BackendTypeFromText("NO_BACK_END", &backend));
        QCOMPARE(backend, BACKEND_TYPE_NO_BACK_END);
        QVERIFY(!BackendTypeFromText("dp"));

        QCOMPARE(BinaryBaseFolder(), QDir::tempPath() + "/BOX_UPDATER/PackageExtraction/");
    }

private:
    QTemporaryDir m_TraceFolder;
    TraceCapture m_Traces;
};

QTEST_GUILESS_MAIN(TestConfigurationParser)
#include "tst_configuration_parser.moc"
