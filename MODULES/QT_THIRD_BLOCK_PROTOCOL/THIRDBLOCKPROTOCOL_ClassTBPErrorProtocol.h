#pragma once

#include <QByteArray>
#include <QString>

#include "THIRDBLOCKPROTOCOL_ClassThirdBlockProtocol.h"
#include "Types.h"

// Error protocol: failures met while encoding or decoding TBP frames, expressed as the
// one command (ERROR) of a protocol of their own with header 0xFF. Also holds the texts
// of the error codes that a boot loader reports in its own ERROR command (header 0x3A).

const Byte ERROR_PROTOCOL_HEADER = 0xFF;

enum T_TBP_ERROR_PROTOCOL_COMMAND
{
    ERROR_PROTOCOL_CMD_ERROR = 0x00
};

enum T_TBP_ERROR_PROTOCOL_ATTRIBUT
{
    ERROR_PROTOCOL_ATTR_ERROR_LOCATION = 0x00,
    ERROR_PROTOCOL_ATTR_ERROR_CODE = 0x01
};

// Error locations, and the codes of each location.
enum T_TBP_ERROR_LOCATION
{
    TBP_ERROR_LOCATION_FRAME = 0,   // "Third Block Protocol Error"
    TBP_ERROR_LOCATION_PROTOCOL = 1 // "Project Protocol Error"
};

enum T_TBP_FRAME_ERROR_CODE
{
    TBP_FRAME_ERROR_FORMAT = 0,
    TBP_FRAME_ERROR_ATTRIBUT_NUMBER = 1,
    TBP_FRAME_ERROR_TOO_BIG = 2,
    TBP_FRAME_ERROR_UNKNOWN = 255
};

enum T_TBP_PROTOCOL_ERROR_CODE
{
    TBP_PROTOCOL_ERROR_HEADER = 0,
    TBP_PROTOCOL_ERROR_COMMAND_ID = 1,
    TBP_PROTOCOL_ERROR_ATTRIBUT_ID = 2,
    TBP_PROTOCOL_ERROR_DUPLICATE_OR_OVERFLOW = 3,
    TBP_PROTOCOL_ERROR_MISSING_ATTRIBUT = 4,
    TBP_PROTOCOL_ERROR_DATA_SIZE = 5,
    TBP_PROTOCOL_ERROR_UNKNOWN = 255
};

class CLASS_TBP_ERRORPROTOCOL
{
public:
    CLASS_TBP_ERRORPROTOCOL() = delete;

    // Creates the descriptors of the error protocol; idempotent and thread-safe. The accessors
    // below create them on first use too, so calling this early only fixes when it happens.
    static void CreateDescriptors();
    static const TBP_PROTOCOL_DESCRIPTOR* Protocol();
    static const TBP_COMMAND_DESCRIPTOR* ErrorCommand();
    static const TBP_ATTRIBUT_DESCRIPTOR* ErrorLocationAttribut();
    static const TBP_ATTRIBUT_DESCRIPTOR* ErrorCodeAttribut();

    // ERROR command (ERROR_LOCATION = location, ERROR_CODE = code).
    static Bool BuildError(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, SByte location, SByte code);
    // BuildError, then Encode with header 0xFF; data becomes FF 00 00 02 00 00 00 01 00 L 01 00 01 00 C.
    static Bool FormatError(QByteArray& data, SByte location, SByte code);

    // Readable form of an ERROR command of the error protocol.
    static QString ErrorToText(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command);

    // Text of a boot loader's error code followed by "(" code ")", e.g. "Micro is busy(5)".
    static QString BootLoaderErrorToText(Byte code);

    // The tables' texts; empty when the value is not in the table.
    static QString LocationText(int location);
    static QString FrameErrorText(int code);
    static QString ProtocolErrorText(int code);
};
