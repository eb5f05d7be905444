#include "THIRDBLOCKPROTOCOL_ClassThirdBlockProtocol.h"

#include "THIRDBLOCKPROTOCOL_ClassTBPErrorProtocol.h"
#include "Traces.h"

namespace
{
// Sub-attributes may nest; descriptors bound the depth, this guards against a hostile frame anyway.
const int MAX_SUB_ATTRIBUT_DEPTH = 8;
const int FRAME_HEADER_SIZE = 5;    // header, code, count
const int ATTRIBUT_HEADER_SIZE = 4; // id, size
const qulonglong MAX_FIELD_VALUE = 0xFFFF;

QString HexUpper(qulonglong value)
{
    return QString::number(value, 16).toUpper();
}

QString HexLower(qulonglong value)
{
    return QString::number(value, 16);
}

Word ReadWord(const char* data)
{
    return static_cast<Word>(static_cast<Byte>(data[0]) | (static_cast<Byte>(data[1]) << 8));
}

void AppendWord(QByteArray& data, Word value)
{
    data.append(static_cast<char>(value & 0xFF));
    data.append(static_cast<char>((value >> 8) & 0xFF));
}

// Bit 15 only says that sub-attributes follow; descriptors are matched on the other bits.
bool SameAttributId(Word a, Word b)
{
    return (a & ~TBP_SUB_ATTRIBUT_FLAG) == (b & ~TBP_SUB_ATTRIBUT_FLAG);
}

const TBP_ATTRIBUT_DESCRIPTOR*
FindAttributDescriptor(const QVector<const TBP_ATTRIBUT_DESCRIPTOR*>& descriptors, Word id)
{
    for (const TBP_ATTRIBUT_DESCRIPTOR* descriptor : descriptors)
    {
        if (descriptor && SameAttributId(descriptor->id, id))
            return descriptor;
    }
    return nullptr;
}

const TBP_COMMAND_DESCRIPTOR* FindCommandDescriptor(const TBP_PROTOCOL_DESCRIPTOR* protocol, Word code)
{
    for (const TBP_COMMAND_DESCRIPTOR* descriptor : protocol->commands)
    {
        if (descriptor && descriptor->code == code)
            return descriptor;
    }
    return nullptr;
}

bool IsList(const QVariant& value)
{
    return value.userType() == QMetaType::QVariantList;
}
} // namespace

void CLASS_THIRD_BLOCK_PROTOCOL::RegisterMetaTypes()
{
    static const bool registered = []
    {
        qRegisterMetaType<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>("T_THIRD_BLOCK_PROTOCOL_ATTRIBUT");
        qRegisterMetaType<T_THIRD_BLOCK_PROTOCOL_COMMAND>("T_THIRD_BLOCK_PROTOCOL_COMMAND");
        return true;
    }();
    Q_UNUSED(registered);
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::FormatAttribute(Byte id, const QVariant& value,
                                                 const TBP_ATTRIBUT_DESCRIPTOR* descriptor,
                                                 T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut)
{
    RegisterMetaTypes();
    if (!descriptor)
    {
        TraceError(TRACE_POS + "The attribut descriptor is null");
        return false;
    }
    if (!SameAttributId(id, descriptor->id))
    {
        TraceError(TRACE_POS + "Wrong attribut code:" + " " + HexUpper(id));
        return false;
    }
    if (!IsList(value))
    {
        attribut.id = id;
        attribut.size = static_cast<Word>(value.toByteArray().size());
        attribut.value = value;
        return true;
    }

    // Attribute with sub-attributes: every element is rebuilt and encoded against its descriptor.
    QVariantList built;
    int encodedSize = 0;
    for (const QVariant& element : value.toList())
    {
        if (!element.canConvert<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>())
        {
            TraceError(TRACE_POS + "Unable to found a corresponding attribut with id: " + HexUpper(id));
            return false;
        }
        const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT sub = element.value<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>();
        const TBP_ATTRIBUT_DESCRIPTOR* subDescriptor =
            FindAttributDescriptor(descriptor->subAttributs, sub.id);
        if (!subDescriptor)
        {
            TraceError(TRACE_POS + "Unable to found a corresponding attribut with id: " + HexUpper(sub.id));
            return false;
        }
        T_THIRD_BLOCK_PROTOCOL_ATTRIBUT rebuilt;
        if (!FormatAttribute(static_cast<Byte>(sub.id), sub.value, subDescriptor, rebuilt))
        {
            TraceError(TRACE_POS + "Unable to format the TBP attribut with id:" + " " + HexUpper(sub.id));
            return false;
        }
        QByteArray encoded;
        if (!EncodeAttributs(rebuilt, encoded, subDescriptor))
        {
            TraceError(TRACE_POS + "Unable to encode the TBP attribut with id: " + HexUpper(sub.id));
            return false;
        }
        encodedSize += encoded.size();
        built.append(QVariant::fromValue(rebuilt));
    }
    if (built.size() > descriptor->maxSubAttributs)
    {
        TraceError(TRACE_POS + "Too many sub attributs for the attribut with code: " + HexUpper(id));
        return false;
    }
    attribut.id = static_cast<Word>(id | TBP_SUB_ATTRIBUT_FLAG);
    attribut.size = static_cast<Word>(encodedSize + 2);
    attribut.value = built;
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::AppendSubAttributToList(QVariantList& list, Byte id, const QVariant& value,
                                                         const TBP_ATTRIBUT_DESCRIPTOR* descriptor)
{
    if (!descriptor)
    {
        TraceError(TRACE_POS + "The reference attribut is null");
        return false;
    }
    T_THIRD_BLOCK_PROTOCOL_ATTRIBUT attribut;
    if (!FormatAttribute(id, value, descriptor, attribut))
    {
        TraceError(TRACE_POS +
                   "Unable to append sub-attribut to attribut with id: " + HexUpper(descriptor->id));
        return false;
    }
    list.append(QVariant::fromValue(attribut));
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::FormatCommand(Word code,
                                               const QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>& attributs,
                                               const TBP_COMMAND_DESCRIPTOR* descriptor,
                                               T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    if (!descriptor)
    {
        TraceError(TRACE_POS + "The reference command is null");
        return false;
    }
    if (code != descriptor->code)
    {
        TraceError(TRACE_POS + "Wrong command code: " + HexUpper(code));
        return false;
    }
    command.code = code;
    if (attributs.size() > descriptor->maxAttributs)
    {
        TraceError(TRACE_POS + "Too much attributs for the given command with code: " + HexUpper(code));
        return false;
    }
    QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT> ordered;
    for (const TBP_ATTRIBUT_DESCRIPTOR* attributDescriptor : descriptor->attributs)
    {
        if (!attributDescriptor)
            continue;
        bool found = false;
        for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : attributs)
        {
            if (SameAttributId(attribut.id, attributDescriptor->id))
            {
                ordered.append(attribut);
                found = true;
            }
        }
        if (!found && !attributDescriptor->optional)
        {
            TraceError(TRACE_POS + "Missing mandatory attribut with id: " + HexUpper(attributDescriptor->id));
            return false;
        }
    }
    command.attributs = ordered;
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::Encode(Byte header, const T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                                        const TBP_PROTOCOL_DESCRIPTOR* protocol, QByteArray& data)
{
    if (!protocol)
    {
        TraceError(TRACE_POS + "The protocol descriptor is null");
        return false;
    }
    if (header != protocol->header)
    {
        data.clear();
        if (CLASS_TBP_ERRORPROTOCOL::FormatError(data, TBP_ERROR_LOCATION_PROTOCOL,
                                                 TBP_PROTOCOL_ERROR_HEADER))
            TraceError(TRACE_POS + "Wrong header: 0x" + HexUpper(header) + " in TBP object when encoding");
        return false;
    }
    const TBP_COMMAND_DESCRIPTOR* descriptor = FindCommandDescriptor(protocol, command.code);
    if (!descriptor)
    {
        data.clear();
        if (CLASS_TBP_ERRORPROTOCOL::FormatError(data, TBP_ERROR_LOCATION_PROTOCOL,
                                                 TBP_PROTOCOL_ERROR_COMMAND_ID))
            TraceError(TRACE_POS + "This command: 0x" + HexUpper(command.code) +
                       " does not exist in the protocol: " + HexUpper(header));
        return false;
    }

    data.append(static_cast<char>(header));
    AppendWord(data, command.code);
    AppendWord(data, static_cast<Word>(command.attributs.size()));
    for (const TBP_ATTRIBUT_DESCRIPTOR* attributDescriptor : descriptor->attributs)
    {
        if (!attributDescriptor)
            continue;
        const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT* found = nullptr;
        for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : command.attributs)
        {
            if (SameAttributId(attribut.id, attributDescriptor->id))
            {
                found = &attribut;
                break;
            }
        }
        if (found)
        {
            if (!EncodeAttributs(*found, data, attributDescriptor))
            {
                data.clear();
                // Attribute failures are reported under location 2, outside the two named locations.
                if (CLASS_TBP_ERRORPROTOCOL::FormatError(data, 2, TBP_PROTOCOL_ERROR_ATTRIBUT_ID))
                    TraceError(TRACE_POS + "Unable to encode attribut with id: " + HexUpper(found->id));
                return false;
            }
        }
        else if (!attributDescriptor->optional)
        {
            data.clear();
            if (CLASS_TBP_ERRORPROTOCOL::FormatError(data, 2, TBP_PROTOCOL_ERROR_ATTRIBUT_ID))
                TraceError(TRACE_POS + "Unable to find a corresponding attribut for the id: " +
                           HexUpper(attributDescriptor->id));
            return false;
        }
    }
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::EncodeAttributs(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                                 QByteArray& data, const TBP_ATTRIBUT_DESCRIPTOR* descriptor)
{
    if (!descriptor)
    {
        TraceError(TRACE_POS + "The attribut descriptor is null");
        return false;
    }
    const int start = data.size();
    AppendWord(data, attribut.id);
    if (descriptor->subAttributs.isEmpty())
    {
        if (!EncodeAttributsData(attribut, descriptor->dataType, data))
        {
            data.truncate(start);
            return false;
        }
        return true;
    }

    // Sub-attributes: size, count, then each sub-attribute.
    const QVariantList subs = attribut.value.toList();
    QByteArray encoded;
    for (const QVariant& element : subs)
    {
        const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT sub = element.value<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>();
        const TBP_ATTRIBUT_DESCRIPTOR* subDescriptor =
            FindAttributDescriptor(descriptor->subAttributs, sub.id);
        if (!subDescriptor || !element.canConvert<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>())
        {
            TraceError(TRACE_POS + "Unable to find a corresponding attribut with id: " + HexUpper(sub.id));
            data.truncate(start);
            return false;
        }
        if (!EncodeAttributs(sub, encoded, subDescriptor))
        {
            data.truncate(start);
            return false;
        }
    }
    if (static_cast<qulonglong>(encoded.size()) + 2 > MAX_FIELD_VALUE)
    {
        TraceError(TRACE_POS + "Value too long for the attribut with code: " + HexLower(attribut.id));
        data.truncate(start);
        return false;
    }
    AppendWord(data, static_cast<Word>(encoded.size() + 2));
    AppendWord(data, static_cast<Word>(subs.size()));
    data.append(encoded);
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::EncodeAttributsData(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                                     T_TBP_DATA_TYPE type, QByteArray& data)
{
    switch (type)
    {
    case UInt8:
        return EncodeAttributsDataUInt8(attribut, data);
    case UInt16:
        return EncodeAttributsDataUInt16(attribut, data);
    case UInt32:
        return EncodeAttributsDataUInt32(attribut, data);
    case ByteArray:
        return EncodeAttributsDataByteArray(attribut, data);
    case String:
        return EncodeAttributsDataString(attribut, data);
    }
    TraceError(TRACE_POS + "Unrecognized attribute data type");
    return false;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::EncodeAttributsDataUInt(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                                         int width, QByteArray& data)
{
    const QString typeName = QStringLiteral("uint") + QString::number(width * 8);
    bool ok = false;
    const qulonglong value = IsList(attribut.value) ? 0 : attribut.value.toULongLong(&ok);
    if (!ok)
    {
        TraceError(TRACE_POS + "Unable to convert the value in " + typeName +
                   " for the attribut with code: " + HexLower(attribut.id));
        return false;
    }
    // A value that does not fit would be cut silently on the wire: refuse it.
    const qulonglong max = width >= 8 ? ~0ULL : (1ULL << (width * 8)) - 1;
    if (value > max)
    {
        TraceError(TRACE_POS + "Value 0x" + HexUpper(value) + " out of range for " + typeName +
                   " for the attribut with code: " + HexLower(attribut.id));
        return false;
    }
    AppendWord(data, static_cast<Word>(width));
    for (int i = 0; i < width; ++i)
        data.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::EncodeAttributsDataUInt8(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                                          QByteArray& data)
{
    return EncodeAttributsDataUInt(attribut, 1, data);
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::EncodeAttributsDataUInt16(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                                           QByteArray& data)
{
    return EncodeAttributsDataUInt(attribut, 2, data);
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::EncodeAttributsDataUInt32(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                                           QByteArray& data)
{
    return EncodeAttributsDataUInt(attribut, 4, data);
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::EncodeAttributsDataByteArray(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                                              QByteArray& data)
{
    if (IsList(attribut.value) || !attribut.value.canConvert(QMetaType::QByteArray))
    {
        TraceError(TRACE_POS + "Cannot convert to byte array the data of the attribut with code: " +
                   HexLower(attribut.id));
        return false;
    }
    const QByteArray bytes = attribut.value.toByteArray();
    // The size written is the byte count itself, so a hand-made attribute with a stale size
    // field cannot produce a frame that lies about its length.
    if (static_cast<qulonglong>(bytes.size()) > MAX_FIELD_VALUE)
    {
        TraceError(TRACE_POS + "Value too long for the attribut with code: " + HexLower(attribut.id));
        return false;
    }
    AppendWord(data, static_cast<Word>(bytes.size()));
    data.append(bytes);
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::EncodeAttributsDataString(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                                           QByteArray& data)
{
    if (IsList(attribut.value) || !attribut.value.canConvert(QMetaType::QByteArray))
    {
        TraceError(TRACE_POS +
                   "Cannot convert to string the data of the attribut with code: " + HexLower(attribut.id));
        return false;
    }
    QByteArray bytes = attribut.value.toByteArray();
    bytes.append('\0');
    if (static_cast<qulonglong>(bytes.size()) > MAX_FIELD_VALUE)
    {
        TraceError(TRACE_POS + "Value too long for the attribut with code: " + HexLower(attribut.id));
        return false;
    }
    AppendWord(data, static_cast<Word>(bytes.size()));
    data.append(bytes);
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::Decode(const QByteArray& data, Byte& header,
                                        T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                                        const TBP_PROTOCOL_DESCRIPTOR* protocol)
{
    if (!protocol)
    {
        TraceError(TRACE_POS + "The protocol descriptor is null");
        return false;
    }
    if (data.size() < FRAME_HEADER_SIZE)
    {
        if (!CLASS_TBP_ERRORPROTOCOL::BuildError(command, TBP_ERROR_LOCATION_FRAME, TBP_FRAME_ERROR_FORMAT))
            return false;
        header = ERROR_PROTOCOL_HEADER;
        TraceError(TRACE_POS + "Too few data");
        return false;
    }
    const Byte received = static_cast<Byte>(data.at(0));
    if (received == protocol->header)
    {
        header = received;
        const Bool ok = FormatCommand(data.constData() + 1, data.size() - 1, command, protocol);
        if (!ok)
            header = ERROR_PROTOCOL_HEADER;
        return ok;
    }
    if (CLASS_TBP_ERRORPROTOCOL::BuildError(command, TBP_ERROR_LOCATION_FRAME, TBP_FRAME_ERROR_FORMAT))
    {
        header = ERROR_PROTOCOL_HEADER;
        TraceError(TRACE_POS + "Wrong protocol header: 0x" + HexUpper(received));
    }
    return false;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::FormatCommand(const char* data, int size,
                                               T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                                               const TBP_PROTOCOL_DESCRIPTOR* protocol)
{
    if (!protocol)
    {
        TraceError(TRACE_POS + "The reference protocol is null");
        return false;
    }
    if (size < FRAME_HEADER_SIZE - 1)
    {
        if (CLASS_TBP_ERRORPROTOCOL::BuildError(command, TBP_ERROR_LOCATION_FRAME, TBP_FRAME_ERROR_FORMAT))
            TraceError(TRACE_POS + "Too few data");
        return false;
    }
    const Word code = ReadWord(data);
    const TBP_COMMAND_DESCRIPTOR* descriptor = FindCommandDescriptor(protocol, code);
    if (!descriptor)
        return true; // not a command of this protocol: the caller sees none of the codes it expects

    command.code = code;
    const Word count = ReadWord(data + 2);
    if (count > descriptor->maxAttributs)
    {
        if (CLASS_TBP_ERRORPROTOCOL::BuildError(command, TBP_ERROR_LOCATION_PROTOCOL,
                                                TBP_PROTOCOL_ERROR_DUPLICATE_OR_OVERFLOW))
            TraceError(TRACE_POS + "Wrong number of attributes with command code: " + HexUpper(code));
        return false;
    }
    QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT> attributs;
    if (!DecodeAttributs(data + 4, size - 4, attributs, descriptor->attributs, 0))
    {
        if (CLASS_TBP_ERRORPROTOCOL::BuildError(command, TBP_ERROR_LOCATION_FRAME, TBP_FRAME_ERROR_FORMAT))
            TraceError(TRACE_POS + "Unable to decode attributes with command code: " + HexUpper(code));
        return false;
    }
    command.attributs = attributs;
    if (attributs.size() != count)
    {
        if (CLASS_TBP_ERRORPROTOCOL::BuildError(command, TBP_ERROR_LOCATION_FRAME,
                                                TBP_FRAME_ERROR_ATTRIBUT_NUMBER))
            TraceError(TRACE_POS +
                       "Concordency problem with attributes number with command code: " + HexUpper(code));
        return false;
    }
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::DecodeAttributs(const QByteArray& data,
                                                 QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>& attributs,
                                                 const QVector<const TBP_ATTRIBUT_DESCRIPTOR*>& descriptors)
{
    return DecodeAttributs(data.constData(), data.size(), attributs, descriptors, 0);
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::DecodeAttributs(const char* data, int size,
                                                 QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>& attributs,
                                                 const QVector<const TBP_ATTRIBUT_DESCRIPTOR*>& descriptors,
                                                 int depth)
{
    RegisterMetaTypes();
    while (size > 0)
    {
        if (size < 2)
        {
            TraceError(TRACE_POS + "Incomplete attribut: " + QString::number(size) + " byte left");
            return false;
        }
        const Word id = ReadWord(data);
        const TBP_ATTRIBUT_DESCRIPTOR* descriptor = FindAttributDescriptor(descriptors, id);
        // Bit 15 announces sub-attributes: on a plain attribute it is no id we know.
        if (!descriptor || ((id & TBP_SUB_ATTRIBUT_FLAG) && descriptor->subAttributs.isEmpty()))
        {
            TraceError(TRACE_POS + "Unrecognized attribut id: " + HexLower(id));
            return false;
        }
        if (size < ATTRIBUT_HEADER_SIZE)
        {
            TraceError(TRACE_POS + "Incomplete attribut with id: " + HexLower(id) + ", no size field");
            return false;
        }
        T_THIRD_BLOCK_PROTOCOL_ATTRIBUT attribut;
        attribut.id = id;
        attribut.size = ReadWord(data + 2);
        data += ATTRIBUT_HEADER_SIZE;
        size -= ATTRIBUT_HEADER_SIZE;
        // A value cut short by the end of the frame keeps the bytes that are there.
        const int available = qMin<int>(attribut.size, size);
        const char* value = data;
        data += available;
        size -= available;

        if (id & TBP_SUB_ATTRIBUT_FLAG)
        {
            if (available < 2)
            {
                TraceError(TRACE_POS +
                           "Missing sub attributs number for the attribut with code: " + HexUpper(id));
                return false;
            }
            const Word count = ReadWord(value);
            if (count > descriptor->maxSubAttributs || depth >= MAX_SUB_ATTRIBUT_DEPTH)
            {
                TraceError(TRACE_POS + "Too many sub attributs for the attribut with code: " + HexUpper(id));
                return false;
            }
            QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT> subs;
            if (!DecodeAttributs(value + 2, available - 2, subs, descriptor->subAttributs, depth + 1))
                return false;
            QVariantList list;
            for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& sub : subs)
                list.append(QVariant::fromValue(sub));
            attribut.value = list;
        }
        else if (!DecodeAttributsData(attribut, QByteArray(value, available), descriptor->dataType))
        {
            return false;
        }
        attributs.append(attribut);
    }
    return true;
}

Bool CLASS_THIRD_BLOCK_PROTOCOL::DecodeAttributsData(T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                                     const QByteArray& value, T_TBP_DATA_TYPE type)
{
    int width = 0;
    switch (type)
    {
    case UInt8:
        width = 1;
        break;
    case UInt16:
        width = 2;
        break;
    case UInt32:
        width = 4;
        break;
    case ByteArray:
    case String:
        attribut.value = value;
        return true;
    default:
        TraceError(TRACE_POS + "Unrecognized attribute data type");
        attribut.value = value;
        return true;
    }
    // A short integer would otherwise be read past its bytes: the frame is malformed.
    if (value.size() < width)
    {
        TraceError(TRACE_POS + "Value of " + QString::number(value.size()) + " byte(s) too short for uint" +
                   QString::number(width * 8) + " for the attribut with code: " + HexLower(attribut.id));
        return false;
    }
    uint result = 0;
    for (int i = 0; i < width; ++i)
        result |= static_cast<uint>(static_cast<Byte>(value.at(i))) << (8 * i);
    attribut.value = result;
    return true;
}
