#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassSambaMonitor.h"

const QByteArray CLASS_SAMBA_MONITOR::COMMAND_TERMINATOR = QByteArrayLiteral("#");
const QByteArray CLASS_SAMBA_MONITOR::FIELD_SEPARATOR = QByteArrayLiteral(",");
const QByteArray CLASS_SAMBA_MONITOR::PROMPT = QByteArrayLiteral("\n\r>");
const QByteArray CLASS_SAMBA_MONITOR::LINE_END = QByteArrayLiteral("\n\r");

namespace
{
QByteArray Hex(DWord value)
{
    return QByteArray::number(value, 16).toUpper();
}

QByteArray Hex8(DWord value)
{
    return Hex(value).rightJustified(8, '0');
}

// Letter + address [+ "," + field] + "#".
QByteArray Command(char letter, DWord address)
{
    return QByteArray(1, letter) + Hex(address) + CLASS_SAMBA_MONITOR::COMMAND_TERMINATOR;
}

QByteArray Command(char letter, DWord address, const QByteArray& field)
{
    return QByteArray(1, letter) + Hex(address) + CLASS_SAMBA_MONITOR::FIELD_SEPARATOR + field +
           CLASS_SAMBA_MONITOR::COMMAND_TERMINATOR;
}
} // namespace

QByteArray CLASS_SAMBA_MONITOR::BuildTerminalMode()
{
    return QByteArrayLiteral("T") + COMMAND_TERMINATOR;
}

QByteArray CLASS_SAMBA_MONITOR::BuildNormalMode()
{
    return QByteArrayLiteral("N") + COMMAND_TERMINATOR;
}

QByteArray CLASS_SAMBA_MONITOR::BuildVersion()
{
    return QByteArrayLiteral("V") + COMMAND_TERMINATOR;
}

QByteArray CLASS_SAMBA_MONITOR::BuildGo(DWord address)
{
    return Command('G', address);
}

QByteArray CLASS_SAMBA_MONITOR::BuildWriteFile(DWord address, DWord length)
{
    return Command('S', address, Hex8(length));
}

QByteArray CLASS_SAMBA_MONITOR::BuildReadFile(DWord address, DWord length)
{
    return Command('R', address, Hex(length));
}

QByteArray CLASS_SAMBA_MONITOR::BuildWriteWord(DWord address, DWord value)
{
    return Command('W', address, Hex(value));
}

QByteArray CLASS_SAMBA_MONITOR::BuildReadWord(DWord address)
{
    return Command('w', address, QByteArrayLiteral("4"));
}

QByteArray CLASS_SAMBA_MONITOR::BuildWriteHalfWord(DWord address, DWord value)
{
    return Command('H', address, Hex(value & 0xFFFFu));
}

QByteArray CLASS_SAMBA_MONITOR::BuildReadHalfWord(DWord address)
{
    return Command('h', address, QByteArray());
}

QByteArray CLASS_SAMBA_MONITOR::BuildWriteByte(DWord address, DWord value)
{
    return Command('O', address, Hex(value & 0xFFu));
}

QByteArray CLASS_SAMBA_MONITOR::BuildReadByte(DWord address)
{
    return Command('o', address, QByteArray());
}

QString CLASS_SAMBA_MONITOR::AppletStatusText(SByte statusCode)
{
    switch (statusCode)
    {
    case 0:
        return QStringLiteral("Operation was successful");
    case 1:
        return QStringLiteral("Device unknown");
    case 2:
        return QStringLiteral("Write operation failed");
    case 3:
        return QStringLiteral("Read operation failed");
    case 4:
        return QStringLiteral("Protect operation failed");
    case 5:
        return QStringLiteral("Unprotect operation failed");
    case 6:
        return QStringLiteral("Erase operation failed");
    case 7:
        return QStringLiteral("No device defined in board.h");
    case 8:
        return QStringLiteral("Read / write address is not aligned");
    case 9:
        return QStringLiteral("Read / write found bad block");
    case 15:
        return QStringLiteral("Applet failure");
    case 18:
        return QStringLiteral("Cancel operation");
    default:
        return QStringLiteral("Unrecognized SAM-BA Monitor Applets status code");
    }
}
