#include "THIRDBLOCKPROTOCOL_ClassTBPErrorProtocol.h"

#include "Traces.h"

namespace
{
const int LOCATION_UNKNOWN = -1;

// Created once, on the heap, and kept for the whole run: codec calls may come from any thread.
struct T_ERROR_PROTOCOL_TABLES
{
    TBP_ATTRIBUT_DESCRIPTOR* location = nullptr;
    TBP_ATTRIBUT_DESCRIPTOR* code = nullptr;
    TBP_COMMAND_DESCRIPTOR* error = nullptr;
    TBP_PROTOCOL_DESCRIPTOR* protocol = nullptr;
};

const T_ERROR_PROTOCOL_TABLES& Tables()
{
    static const T_ERROR_PROTOCOL_TABLES* tables = []
    {
        auto* created = new T_ERROR_PROTOCOL_TABLES;
        created->location =
            new TBP_ATTRIBUT_DESCRIPTOR{ERROR_PROTOCOL_ATTR_ERROR_LOCATION, false, UInt8, 0, {}};
        created->code = new TBP_ATTRIBUT_DESCRIPTOR{ERROR_PROTOCOL_ATTR_ERROR_CODE, false, UInt8, 0, {}};
        created->error =
            new TBP_COMMAND_DESCRIPTOR{ERROR_PROTOCOL_CMD_ERROR, 2, {created->location, created->code}};
        created->protocol = new TBP_PROTOCOL_DESCRIPTOR{ERROR_PROTOCOL_HEADER, {created->error}};
        return created;
    }();
    return *tables;
}
} // namespace

void CLASS_TBP_ERRORPROTOCOL::CreateDescriptors()
{
    Tables();
}

const TBP_PROTOCOL_DESCRIPTOR* CLASS_TBP_ERRORPROTOCOL::Protocol()
{
    return Tables().protocol;
}

const TBP_COMMAND_DESCRIPTOR* CLASS_TBP_ERRORPROTOCOL::ErrorCommand()
{
    return Tables().error;
}

const TBP_ATTRIBUT_DESCRIPTOR* CLASS_TBP_ERRORPROTOCOL::ErrorLocationAttribut()
{
    return Tables().location;
}

const TBP_ATTRIBUT_DESCRIPTOR* CLASS_TBP_ERRORPROTOCOL::ErrorCodeAttribut()
{
    return Tables().code;
}

Bool CLASS_TBP_ERRORPROTOCOL::BuildError(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, SByte location, SByte code)
{
    QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT> attributs;
    T_THIRD_BLOCK_PROTOCOL_ATTRIBUT attribut;
    if (!CLASS_THIRD_BLOCK_PROTOCOL::FormatAttribute(ERROR_PROTOCOL_ATTR_ERROR_LOCATION,
                                                     static_cast<uint>(static_cast<Byte>(location)),
                                                     ErrorLocationAttribut(), attribut))
    {
        TraceError("Cannot encode ERROR_LOCATION attribute for ERROR command");
        return false;
    }
    attributs.append(attribut);
    if (!CLASS_THIRD_BLOCK_PROTOCOL::FormatAttribute(ERROR_PROTOCOL_ATTR_ERROR_CODE,
                                                     static_cast<uint>(static_cast<Byte>(code)),
                                                     ErrorCodeAttribut(), attribut))
    {
        TraceError("Cannot encode ERROR_CODE attribute for ERROR command");
        return false;
    }
    attributs.append(attribut);
    if (!CLASS_THIRD_BLOCK_PROTOCOL::FormatCommand(ERROR_PROTOCOL_CMD_ERROR, attributs, ErrorCommand(),
                                                   command))
    {
        TraceError("Cannot encode ERROR command");
        return false;
    }
    return true;
}

Bool CLASS_TBP_ERRORPROTOCOL::FormatError(QByteArray& data, SByte location, SByte code)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    if (!BuildError(command, location, code))
    {
        TraceError("Cannot format ERROR command");
        return false;
    }
    data.clear();
    if (!CLASS_THIRD_BLOCK_PROTOCOL::Encode(ERROR_PROTOCOL_HEADER, command, Protocol(), data))
    {
        TraceError("Cannot encode ERROR command");
        return false;
    }
    return true;
}

QString CLASS_TBP_ERRORPROTOCOL::LocationText(int location)
{
    switch (location)
    {
    case TBP_ERROR_LOCATION_FRAME:
        return QStringLiteral("Third Block Protocol Error");
    case TBP_ERROR_LOCATION_PROTOCOL:
        return QStringLiteral("Project Protocol Error");
    default:
        return QString();
    }
}

QString CLASS_TBP_ERRORPROTOCOL::FrameErrorText(int code)
{
    switch (code)
    {
    case TBP_FRAME_ERROR_FORMAT:
        return QStringLiteral("Frame formatting problem (inconsistent header or data size)");
    case TBP_FRAME_ERROR_ATTRIBUT_NUMBER:
        return QStringLiteral("The given attribute number is inconsistent considering the size of the frame "
                              "(too large or too small)");
    case TBP_FRAME_ERROR_TOO_BIG:
        return QStringLiteral("Frame size is too big compared to what the receiver can handle");
    case TBP_FRAME_ERROR_UNKNOWN:
        return QStringLiteral("Unknown error");
    default:
        return QString();
    }
}

QString CLASS_TBP_ERRORPROTOCOL::ProtocolErrorText(int code)
{
    switch (code)
    {
    case TBP_PROTOCOL_ERROR_HEADER:
        return QStringLiteral("Unrecognized header value or unsupported protocol");
    case TBP_PROTOCOL_ERROR_COMMAND_ID:
        return QStringLiteral("Unrecognized ID Value of the command");
    case TBP_PROTOCOL_ERROR_ATTRIBUT_ID:
        return QStringLiteral("Unrecognized Attribut ID value");
    case TBP_PROTOCOL_ERROR_DUPLICATE_OR_OVERFLOW:
        return QStringLiteral("Duplicate Attributes or overflow");
    case TBP_PROTOCOL_ERROR_MISSING_ATTRIBUT:
        return QStringLiteral("Missing non-optional attributes");
    case TBP_PROTOCOL_ERROR_DATA_SIZE:
        return QStringLiteral("Incorrect data size");
    case TBP_PROTOCOL_ERROR_UNKNOWN:
        return QStringLiteral("Unknown error");
    default:
        return QString();
    }
}

QString CLASS_TBP_ERRORPROTOCOL::ErrorToText(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    QString text;
    int location = LOCATION_UNKNOWN;
    for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : command.attributs)
    {
        const uint value = attribut.value.toUInt();
        if (attribut.id == ERROR_PROTOCOL_ATTR_ERROR_LOCATION)
        {
            text += QStringLiteral("Error message location: ");
            const QString locationText = LocationText(static_cast<int>(value));
            if (locationText.isEmpty())
            {
                text += QStringLiteral("Unrecognized location(") + QString::number(value) + QLatin1Char(')');
                location = LOCATION_UNKNOWN;
            }
            else
            {
                text += locationText;
                location = static_cast<int>(value);
            }
            text += QStringLiteral(" - ");
        }
        else if (attribut.id == ERROR_PROTOCOL_ATTR_ERROR_CODE)
        {
            text += QStringLiteral("Error message code: ");
            if (location == LOCATION_UNKNOWN)
            {
                text += QStringLiteral("Unlocated error message") + QStringLiteral(" - ");
                return text;
            }
            const QString codeText = location == TBP_ERROR_LOCATION_FRAME
                                         ? FrameErrorText(static_cast<int>(value))
                                         : ProtocolErrorText(static_cast<int>(value));
            text += codeText.isEmpty()
                        ? QStringLiteral("Unrecognized Third Block Protocol Error error code(") +
                              QString::number(value) + QLatin1Char(')')
                        : codeText;
            if (location == TBP_ERROR_LOCATION_FRAME)
                text += QStringLiteral(" - ");
        }
        else
        {
            text += QStringLiteral("Unrecognized error attribut code: ") + QString::number(attribut.id);
        }
    }
    return text;
}

QString CLASS_TBP_ERRORPROTOCOL::BootLoaderErrorToText(Byte code)
{
    static const char* const TEXTS[] = {"Invalid base write address",
                                        "Invalid jump address",
                                        "Invalid data write",
                                        "Invalid wrong command",
                                        "Invalid during SHA micro calculation",
                                        "Micro is busy",
                                        "Error during address verification",
                                        "Error during composant identification verification",
                                        "Error during data read",
                                        "Wrong target identification"};
    const QString text = code < sizeof(TEXTS) / sizeof(TEXTS[0]) ? QString::fromLatin1(TEXTS[code])
                                                                 : QStringLiteral("Unrecognized error code");
    return text + QLatin1Char('(') + QString::number(code) + QLatin1Char(')');
}
