#pragma once

#include <QByteArray>
#include <QString>

#include "Types.h"

// ASCII command set of the SAM-BA monitor in the ROM of Atmel SAM
// microcontrollers, and the texts of its applets' status codes.
// Numbers are upper-case hexadecimal without prefix; only the length of the
// write-file command is zero-padded (8 digits).
class CLASS_SAMBA_MONITOR
{
public:
    static const QByteArray COMMAND_TERMINATOR; // "#"
    static const QByteArray FIELD_SEPARATOR;    // ","
    static const QByteArray PROMPT;             // "\n\r>"
    static const QByteArray LINE_END;           // "\n\r"

    // The monitor takes at most this many raw bytes per write-file command here.
    static constexpr DWord MAX_BLOCK_SIZE = 0xFC00;

    static QByteArray BuildTerminalMode();
    static QByteArray BuildNormalMode();
    static QByteArray BuildVersion();
    static QByteArray BuildGo(DWord address);
    static QByteArray BuildWriteFile(DWord address, DWord length);
    static QByteArray BuildReadFile(DWord address, DWord length);
    static QByteArray BuildWriteWord(DWord address, DWord value);
    static QByteArray BuildReadWord(DWord address);
    static QByteArray BuildWriteHalfWord(DWord address, DWord value);
    static QByteArray BuildReadHalfWord(DWord address);
    static QByteArray BuildWriteByte(DWord address, DWord value);
    static QByteArray BuildReadByte(DWord address);

    // Text of the status word a monitor applet leaves in its mailbox.
    static QString AppletStatusText(SByte statusCode);
};
