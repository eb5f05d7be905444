#include <QtTest>

#include <QTemporaryDir>

#include <functional>

#include "THIRDBLOCKPROTOCOL_ClassTBPErrorProtocol.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"
#include "THIRDBLOCKPROTOCOL_ClassThirdBlockProtocol.h"
#include "TraceCapture.h"

typedef CLASS_THIRD_BLOCK_PROTOCOL TBP;
typedef CLASS_TBP_MVRUPDATER MVR;
typedef CLASS_TBP_ERRORPROTOCOL ERR;
typedef std::function<Bool(QByteArray&)> T_FORMATTER;
Q_DECLARE_METATYPE(T_FORMATTER)

namespace
{
QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

T_THIRD_BLOCK_PROTOCOL_ATTRIBUT Attr(Word id, const QVariant& value)
{
    return {id, 0, value};
}

// (location, code) of an ERROR command of the error protocol.
QPair<uint, uint> ErrorOf(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    if (command.code != ERROR_PROTOCOL_CMD_ERROR || command.attributs.size() != 2)
        return {999, 999};
    return {command.attributs.at(0).value.toUInt(), command.attributs.at(1).value.toUInt()};
}

// A formatter with its arguments after the frame bound.
template <typename F, typename... A> T_FORMATTER With(F format, A... arguments)
{
    return [=](QByteArray& frame) { return format(frame, arguments...); };
}
} // namespace

class TestTbp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;

private slots:
    void initTestCase()
    {
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.filePath("traces")));
        ERR::CreateDescriptors();
        MVR::CreateDescriptors();
    }

    // Every command of the catalogue, byte for byte as the boot loaders expect it;
    // the decoder must read the same bytes back into the same frame.
    void everyCommandIsExact_data()
    {
        QTest::addColumn<T_FORMATTER>("format");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray sha = Hex("C0FFEE");
        auto row = [](const char* name, T_FORMATTER format, const char* frame)
        { QTest::newRow(name) << format << Hex(frame); };
        row("PING", &MVR::FormatPing, "3A 00 00 00 00");
        row("RESET", With(&MVR::FormatReset, 1500), "3A 01 00 01 00 03 00 04 00 DC 05 00 00");
        row("RESET without time", With(&MVR::FormatReset, -1), "3A 01 00 00 00");
        row("ERROR", With(&MVR::FormatError, 9), "3A 02 00 01 00 00 00 01 00 09");
        row("ACK", &MVR::FormatAck, "3A 03 00 00 00");
        row("ABORT", &MVR::FormatAbort, "3A 04 00 00 00");
        row("GET_INFO", &MVR::FormatGetInfo, "3A 05 00 00 00");
        row("INFO_STATUS", With(&MVR::FormatInfoStatus, 0xDEADBEEF),
            "3A 06 00 01 00 01 00 04 00 EF BE AD DE");
        row("BOOT_SAMBA", &MVR::FormatBootSamba, "3A 07 00 00 00");
        row("UPDATE_FAILED", &MVR::FormatUpdateFailed, "3A 08 00 00 00");
        row("SET_TARGET", With(&MVR::FormatSetTarget, 0xFE), "3A 10 00 01 00 10 00 01 00 FE");
        row("SET_COMPONENT", With(&MVR::FormatSetComponent, 0x40), "3A 11 00 01 00 11 00 01 00 40");
        row("SET_ADDR", With(&MVR::FormatSetAddr, 0x00400000), "3A 12 00 01 00 12 00 04 00 00 00 40 00");
        row("START_SEND", With(&MVR::FormatStartSend, 128000), "3A 13 00 01 00 13 00 04 00 00 F4 01 00");
        row("DATA_FILE", With(&MVR::FormatDataFile, Hex("AABBCC"), 3),
            "3A 14 00 02 00 14 00 03 00 AA BB CC 15 00 02 00 03 00");
        row("CHECK_SHA", &MVR::FormatCheckSha, "3A 15 00 00 00");
        row("SHA_STATUS", With(&MVR::FormatShaStatus, sha), "3A 16 00 01 00 16 00 03 00 C0 FF EE");
        row("STOP_SEND", With(&MVR::FormatStopSend, 0x00400000), "3A 17 00 01 00 17 00 04 00 00 00 40 00");
        row("STOP_SEND without jump", With(&MVR::FormatStopSend, -1), "3A 17 00 00 00");
        row("JUMP", With(&MVR::FormatJump, 0x12345678), "3A 18 00 01 00 17 00 04 00 78 56 34 12");
        row("BUFFER_FULL", &MVR::FormatBufferFull, "3A 19 00 00 00");
        row("PROGRESS_IS_MADE", With(&MVR::FormatProgressIsMade, 42), "3A 1A 00 01 00 18 00 01 00 2A");
        row("CHECK_VERSION", With(&MVR::FormatCheckVersion, 0x1000, 3000),
            "3A 20 00 02 00 12 00 04 00 00 10 00 00 13 00 04 00 B8 0B 00 00");
        row("VERSION_STATUS", With(&MVR::FormatVersionStatus, sha, 0xABCD, 1024),
            "3A 21 00 03 00 16 00 03 00 C0 FF EE 20 00 02 00 CD AB 21 00 04 00 00 04 00 00");
        row("CHECK_FPGA_VERSION", With(&MVR::FormatCheckFpgaVersion, 0x10, 70000),
            "3A 22 00 02 00 11 00 01 00 10 13 00 04 00 70 11 01 00");
        row("FPGA_VERSION_STATUS", With(&MVR::FormatFpgaVersionStatus, sha, 2, 4096),
            "3A 23 00 03 00 16 00 03 00 C0 FF EE 20 00 02 00 02 00 21 00 04 00 00 10 00 00");
        row("CHECK_EDID_VALIDITY", With(&MVR::FormatCheckEdidValidity, 0x20),
            "3A 24 00 01 00 11 00 01 00 20");
        row("EDID_VALIDITY_STATUS", With(&MVR::FormatEdidValidityStatus, 1, 0x12345678),
            "3A 25 00 02 00 22 00 01 00 01 26 00 04 00 78 56 34 12");
        row("CHECK_PLUGGED_MICRO", &MVR::FormatCheckPluggedMicro, "3A 26 00 00 00");
        row("PLUGGED_MICRO_STATUS", With(&MVR::FormatPluggedMicroStatus, 5),
            "3A 27 00 01 00 23 00 04 00 05 00 00 00");
        row("CHECK_BACK_END", With(&MVR::FormatCheckBackEnd, 3), "3A 28 00 01 00 02 00 01 00 03");
        row("BACK_END_STATUS", With(&MVR::FormatBackEndStatus, 2, 7),
            "3A 29 00 02 00 24 00 01 00 02 25 00 01 00 07");
        row("CHECK_REVISION", &MVR::FormatCheckRevision, "3A 2A 00 00 00");
        row("REVISION_STATUS", With(&MVR::FormatRevisionStatus, 0x1B), "3A 2B 00 01 00 25 00 01 00 1B");
        row("CHECK_HDCP_VERSION", With(&MVR::FormatCheckHdcpVersion, 0x40, 1234),
            "3A 2C 00 02 00 11 00 01 00 40 13 00 04 00 D2 04 00 00");
        row("HDCP_VERSION_STATUS", With(&MVR::FormatHdcpVersionStatus, sha),
            "3A 2D 00 01 00 16 00 03 00 C0 FF EE");
        row("ERASE_MICRO", With(&MVR::FormatEraseMicro, 0x80000001),
            "3A 30 00 01 00 23 00 04 00 01 00 00 80");
        row("RESET_MICRO", With(&MVR::FormatResetMicro, 2), "3A 31 00 01 00 23 00 04 00 02 00 00 00");
        row("FORCE_BOOT_MICRO", With(&MVR::FormatForceBootMicro, 4),
            "3A 32 00 01 00 23 00 04 00 04 00 00 00");
        row("error protocol ERROR", With(&ERR::FormatError, 1, 1),
            "FF 00 00 02 00 00 00 01 00 01 01 00 01 00 01");
    }

    void everyCommandIsExact()
    {
        QFETCH(T_FORMATTER, format);
        QFETCH(QByteArray, expected);
        QByteArray frame("stale");
        QVERIFY(format(frame));
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
        const TBP_PROTOCOL_DESCRIPTOR* protocol =
            expected.at(0) == '\xFF' ? ERR::Protocol() : MVR::Protocol();
        Byte header = 0;
        T_THIRD_BLOCK_PROTOCOL_COMMAND command;
        QVERIFY(TBP::Decode(expected, header, command, protocol));
        QByteArray again;
        QVERIFY(TBP::Encode(header, command, protocol, again));
        QCOMPARE(again.toHex(' '), expected.toHex(' '));
    }

    void formatCommandOrdersAndChecks()
    {
        const TBP_COMMAND_DESCRIPTOR* versionStatus = MVR::CommandDescriptor(BOOT_CMD_VERSION_STATUS);
        T_THIRD_BLOCK_PROTOCOL_COMMAND command;
        QVERIFY(TBP::FormatCommand(0x21, {Attr(0x21, 5u), Attr(0x16, QByteArray("x")), Attr(0x20, 1u)},
                                   versionStatus, command));
        QCOMPARE(command.attributs.at(0).id, Word(0x16));
        QCOMPARE(command.attributs.at(2).id, Word(0x21));
        QVERIFY(TBP::FormatCommand(0x21, {Attr(0x16, QByteArray("x")), Attr(0x20, 1u), Attr(0x99, 1u)},
                                   versionStatus, command) == false);
        QVERIFY(m_Traces.NewErrorEndsWith("Missing mandatory attribut with id: 21"));
        QVERIFY(!TBP::FormatCommand(0x00, {Attr(0x00, 1u)}, MVR::CommandDescriptor(BOOT_CMD_PING), command));
        QVERIFY(m_Traces.NewErrorEndsWith("Too much attributs for the given command with code: 0"));
    }

    void encodeFailuresLeaveAnErrorFrame_data()
    {
        QTest::addColumn<int>("header");
        QTest::addColumn<int>("code");
        QTest::addColumn<QVariantList>("attributs"); // id, value...
        QTest::addColumn<QByteArray>("errorFrame");
        QTest::addColumn<QString>("trace");
        QTest::newRow("unknown command")
            << 0x3A << 0x09 << QVariantList{} << Hex("FF 00 00 02 00 00 00 01 00 01 01 00 01 00 01")
            << "This command: 0x9 does not exist in the protocol: 3A";
        QTest::newRow("value out of range")
            << 0x3A << 0x11 << QVariantList{0x11, 0x100}
            << Hex("FF 00 00 02 00 00 00 01 00 02 01 00 01 00 02") << "Unable to encode attribut with id: 11";
    }

    void encodeFailuresLeaveAnErrorFrame()
    {
        QFETCH(int, header);
        QFETCH(int, code);
        QFETCH(QVariantList, attributs);
        QFETCH(QByteArray, errorFrame);
        QFETCH(QString, trace);
        T_THIRD_BLOCK_PROTOCOL_COMMAND command;
        command.code = Word(code);
        for (int i = 0; i + 1 < attributs.size(); i += 2)
            command.attributs.append(Attr(Word(attributs.at(i).toInt()), attributs.at(i + 1)));
        QByteArray data("previous");
        QVERIFY(!TBP::Encode(Byte(header), command, MVR::Protocol(), data));
        QCOMPARE(data.toHex(' '), errorFrame.toHex(' '));
        QVERIFY(m_Traces.NewErrorEndsWith(trace));
    }

    // A block that its 16-bit size field cannot describe is refused, not cut.
    void oversizedBlockIsRefused()
    {
        QByteArray data;
        QVERIFY(!MVR::FormatDataFile(data, QByteArray(70000, 'a'), 0));
        QVERIFY(m_Traces.NewErrorEndsWith("Cannot encode DATA_FILE command"));
    }

    void decodeEdgeCases_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("location");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("trace");
        const auto row = [](const char* name, const char* frame, int location, int code, const QString& trace)
        { QTest::newRow(name) << Hex(frame) << location << code << trace; };
        const QString undecodable = "Unable to decode attributes with command code: ";
        const QString discordant = "Concordency problem with attributes number with command code: ";
        row("4 bytes", "3A 00 00 00", 0, 0, "Too few data");
        row("4 bytes, another header", "3B 00 00 00", 0, 0, "Too few data");
        row("wrong header", "3B 00 00 00 00", 0, 0, "Wrong protocol header: 0x3B");
        row("4 attributes for 3", "3A 21 00 04 00", 1, 3, "Wrong number of attributes with command code: 21");
        row("unknown attribute", "3A 12 00 01 00 13 00 04 00 00 00 40 00", 0, 0, undecodable + "12");
        row("plain attribute with bit 15", "3A 12 00 01 00 12 80 02 00 00 00", 0, 0, undecodable + "12");
        row("short integer", "3A 12 00 01 00 12 00 02 00 00 40", 0, 0, undecodable + "12");
        row("id without size", "3A 16 00 01 00 16 00", 0, 0, undecodable + "16");
        row("fewer than announced", "3A 20 00 02 00 12 00 04 00 00 00 40 00", 0, 1, discordant + "20");
        row("more than announced", "3A 16 00 00 00 16 00 01 00 AA", 0, 1, discordant + "16");
    }

    void decodeEdgeCases()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, location);
        QFETCH(int, code);
        QFETCH(QString, trace);
        // Copied into a buffer of its exact size, so ASan catches any read past the frame.
        QByteArray exact(frame.constData(), frame.size());
        Byte header = 0x3A;
        T_THIRD_BLOCK_PROTOCOL_COMMAND command;
        QVERIFY(!TBP::Decode(exact, header, command, MVR::Protocol()));
        QCOMPARE(header, Byte(0xFF));
        QCOMPARE(ErrorOf(command), qMakePair(uint(location), uint(code)));
        QVERIFY(m_Traces.NewErrorEndsWith(trace));
    }

    void decodeAcceptsWhatTheLoadersSend()
    {
        Byte header = 0;
        T_THIRD_BLOCK_PROTOCOL_COMMAND command;
        // Frame order, whatever the descriptor order.
        QVERIFY(TBP::Decode(Hex("3A 21 00 03 00 21 00 04 00 00 04 00 00 20 00 02 00 01 00 16 00 01 00 EE"),
                            header, command, MVR::Protocol()));
        QCOMPARE(command.attributs.at(0).id, Word(0x21));
        QCOMPARE(command.attributs.at(0).value.toUInt(), 1024u);
        QCOMPARE(command.attributs.at(1).id, Word(0x20));
        QCOMPARE(command.attributs.at(2).id, Word(0x16));

        // A byte array cut by the end of the frame keeps the bytes that are there.
        QVERIFY(TBP::Decode(Hex("3A 16 00 01 00 16 00 14 00 01 02 03"), header, command, MVR::Protocol()));
        QCOMPARE(command.attributs.at(0).size, Word(20));
        QCOMPARE(command.attributs.at(0).value.toByteArray(), Hex("010203"));

        // The same id twice is kept twice; longer integers are read on their width.
        QVERIFY(TBP::Decode(Hex("3A 25 00 02 00 22 00 02 00 01 FF 22 00 01 00 00"), header, command,
                            MVR::Protocol()));
        QCOMPARE(command.attributs.size(), 2);
        QCOMPARE(command.attributs.at(0).value.toUInt(), 1u);
    }

    void errorTexts_data()
    {
        QTest::addColumn<QVariantList>("attributs"); // id, value...
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, const QVariantList& attributs, const QString& text)
        { QTest::newRow(name) << attributs << text; };
        const QString project = "Error message location: Project Protocol Error - Error message code: ";
        row("location 1 code 1", {0, 1, 1, 1}, project + "Unrecognized ID Value of the command");
        row("location 0 code 2", {0, 0, 1, 2},
            "Error message location: Third Block Protocol Error - Error message code: Frame size is too big "
            "compared to what the receiver can handle - ");
        row("code before location", {1, 1, 0, 1}, "Error message code: Unlocated error message - ");
        row("unknown code location 1", {0, 1, 1, 9},
            project + "Unrecognized Third Block Protocol Error error code(9)");
        row("unknown attribute", {5, 1}, "Unrecognized error attribut code: 5");
    }

    void errorTexts()
    {
        QFETCH(QVariantList, attributs);
        QFETCH(QString, text);
        T_THIRD_BLOCK_PROTOCOL_COMMAND command;
        for (int i = 0; i + 1 < attributs.size(); i += 2)
            command.attributs.append(Attr(Word(attributs.at(i).toInt()), attributs.at(i + 1).toUInt()));
        QCOMPARE(ERR::ErrorToText(command), text);
    }

    // The boot loader's own error codes, as the operator reads them; past the table, the number.
    void bootLoaderErrorTexts()
    {
        QCOMPARE(ERR::BootLoaderErrorToText(0), QString("Invalid base write address(0)"));
        QCOMPARE(ERR::BootLoaderErrorToText(9), QString("Wrong target identification(9)"));
        QCOMPARE(ERR::BootLoaderErrorToText(10), QString("Unrecognized error code(10)"));
        QCOMPARE(ERR::BootLoaderErrorToText(12), QString("Unrecognized error code(12)"));
    }
};

QTEST_GUILESS_MAIN(TestTbp)
#include "tst_tbp.moc"
