#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVector>

#include "Types.h"

// Third Block Protocol (TBP) codec.
//
// A frame is: header (1 byte), command code (2 bytes LE), attribute count (2 bytes LE),
// then per attribute: id (2 bytes LE), size (2 bytes LE), value (size bytes).
// A frame carries no length and no checksum: one frame is exactly the buffer given
// to Decode, so the transport must deliver frames whole.
//
// The codec knows no command by name: a protocol is a read-only tree of descriptors
// (see THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h for the boot loaders' protocol and
// THIRDBLOCKPROTOCOL_ClassTBPErrorProtocol.h for the error protocol).
// Every failure returns false and writes one TraceError line.

// Type of an attribute value and its wire form.
enum T_TBP_DATA_TYPE
{
    UInt8 = 0,     // 1 byte
    UInt16 = 1,    // 2 bytes, little-endian
    UInt32 = 2,    // 4 bytes, little-endian
    ByteArray = 3, // as many bytes as the size field says
    String = 4     // the text's bytes and one 0x00, the size counting the terminator
};

// Bit 15 of an attribute id marks an attribute whose value is a list of sub-attributes.
const Word TBP_SUB_ATTRIBUT_FLAG = 0x8000;

// One attribute. The value is an unsigned integer, a byte array, a text, or a
// QVariantList of T_THIRD_BLOCK_PROTOCOL_ATTRIBUT (sub-attributes).
struct T_THIRD_BLOCK_PROTOCOL_ATTRIBUT
{
    Word id = 0;
    Word size = 0;
    QVariant value;

    bool operator==(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& other) const
    {
        return id == other.id && size == other.size && value == other.value;
    }
};
Q_DECLARE_METATYPE(T_THIRD_BLOCK_PROTOCOL_ATTRIBUT)

// One command: a code and its attributes, in frame order. A plain value.
struct T_THIRD_BLOCK_PROTOCOL_COMMAND
{
    Word code = 0;
    QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT> attributs;
};
Q_DECLARE_METATYPE(T_THIRD_BLOCK_PROTOCOL_COMMAND)

// Descriptors are created once, never changed and never freed; several commands may share one.
struct TBP_ATTRIBUT_DESCRIPTOR
{
    Word id = 0;
    Bool optional = false; // a mandatory attribute must be present when a command is built or encoded
    T_TBP_DATA_TYPE dataType = UInt8;
    Word maxSubAttributs = 0;
    QVector<const TBP_ATTRIBUT_DESCRIPTOR*> subAttributs; // empty for a plain attribute
};

struct TBP_COMMAND_DESCRIPTOR
{
    Word code = 0;
    Word maxAttributs = 0;
    QVector<const TBP_ATTRIBUT_DESCRIPTOR*> attributs; // the order in which attributes are written
};

struct TBP_PROTOCOL_DESCRIPTOR
{
    Word header = 0; // one byte on the wire
    QVector<const TBP_COMMAND_DESCRIPTOR*> commands;
};

// Function holder of the codec: stateless, callable from any thread.
class CLASS_THIRD_BLOCK_PROTOCOL
{
public:
    CLASS_THIRD_BLOCK_PROTOCOL() = delete;

    // Builds one attribute (id, size = byte count of the value, value). A QVariantList value
    // builds an attribute with sub-attributes, each element being a T_THIRD_BLOCK_PROTOCOL_ATTRIBUT.
    static Bool FormatAttribute(Byte id, const QVariant& value, const TBP_ATTRIBUT_DESCRIPTOR* descriptor,
                                T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut);

    // FormatAttribute, then appends the attribute, wrapped in a variant, to list
    // (prepares the value of an attribute with sub-attributes).
    static Bool AppendSubAttributToList(QVariantList& list, Byte id, const QVariant& value,
                                        const TBP_ATTRIBUT_DESCRIPTOR* descriptor);

    // Builds a command: checks the code and the count, then keeps the given attributes in
    // descriptor order. Attributes that match no descriptor are dropped.
    static Bool FormatCommand(Word code, const QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>& attributs,
                              const TBP_COMMAND_DESCRIPTOR* descriptor,
                              T_THIRD_BLOCK_PROTOCOL_COMMAND& command);

    // Command to frame. On failure data holds nothing (no protocol) or an encoded ERROR frame of
    // the error protocol describing the failure: never send it.
    static Bool Encode(Byte header, const T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                       const TBP_PROTOCOL_DESCRIPTOR* protocol, QByteArray& data);

    // Frame to command. On failure header is 0xFF and command is an ERROR command of the error
    // protocol. A code the protocol does not know succeeds and leaves command as it was.
    // Never reads outside data.
    static Bool Decode(const QByteArray& data, Byte& header, T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                       const TBP_PROTOCOL_DESCRIPTOR* protocol);

    // Inner steps, public for the tests and the tools that need them.
    static Bool EncodeAttributs(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut, QByteArray& data,
                                const TBP_ATTRIBUT_DESCRIPTOR* descriptor);
    static Bool EncodeAttributsData(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut, T_TBP_DATA_TYPE type,
                                    QByteArray& data);
    static Bool DecodeAttributs(const QByteArray& data, QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>& attributs,
                                const QVector<const TBP_ATTRIBUT_DESCRIPTOR*>& descriptors);
    static Bool DecodeAttributsData(T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut, const QByteArray& value,
                                    T_TBP_DATA_TYPE type);

    // Registers T_THIRD_BLOCK_PROTOCOL_ATTRIBUT (and the command) with the meta-type system; done on first
    // use.
    static void RegisterMetaTypes();

private:
    static Bool EncodeAttributsDataUInt(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut, int width,
                                        QByteArray& data);
    static Bool EncodeAttributsDataUInt8(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut, QByteArray& data);
    static Bool EncodeAttributsDataUInt16(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut, QByteArray& data);
    static Bool EncodeAttributsDataUInt32(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut, QByteArray& data);
    static Bool EncodeAttributsDataByteArray(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut,
                                             QByteArray& data);
    static Bool EncodeAttributsDataString(const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut, QByteArray& data);

    // Reading a command from the bytes that follow the header.
    static Bool FormatCommand(const char* data, int size, T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                              const TBP_PROTOCOL_DESCRIPTOR* protocol);
    static Bool DecodeAttributs(const char* data, int size, QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT>& attributs,
                                const QVector<const TBP_ATTRIBUT_DESCRIPTOR*>& descriptors, int depth);
};
