#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>

#include <cstdint>

// Frames built and read byte by byte, independently of the project's codecs,
// so that the simulator is checked against the wire format itself.
namespace HandFrames
{
inline QByteArray U8(unsigned value)
{
    return QByteArray(1, char(value & 0xFF));
}
inline QByteArray U16(unsigned value)
{
    return U8(value) + U8(value >> 8);
}
inline QByteArray U32(uint32_t value)
{
    return U16(value & 0xFFFF) + U16(value >> 16);
}

// CRC-8, polynomial 0x07, initial 0, no reflection, no final XOR.
inline uint8_t Crc8(const QByteArray& data)
{
    uint8_t crc = 0;
    for (const char c : data)
    {
        crc ^= uint8_t(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = uint8_t((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

inline QByteArray Node(uint8_t source, uint8_t destination, uint8_t type, uint16_t order,
                       const QByteArray& payload, bool goodCrc = true)
{
    QByteArray content = U8(source) + U8(destination) + U8(type) + U8(order >> 8) + U8(order) + payload;
    content += U8(goodCrc ? Crc8(content) : Crc8(content) ^ 0x5A);
    QByteArray wire("\x1B\x02");
    for (const char c : content)
        wire += c == 0x1B ? QByteArray("\x1B\x1B") : QByteArray(1, c);
    return wire + "\x1B\x03";
}

struct T_ATTR
{
    uint16_t Id;
    QByteArray Value;
};

inline QByteArray Tbp(uint16_t code, const QList<T_ATTR>& attributes = {})
{
    QByteArray frame = U8(0x3A) + U16(code) + U16(unsigned(attributes.size()));
    for (const T_ATTR& attribute : attributes)
        frame += U16(attribute.Id) + U16(unsigned(attribute.Value.size())) + attribute.Value;
    return frame;
}

struct T_NODE_MESSAGE
{
    uint8_t Source = 0;
    uint8_t Destination = 0;
    uint8_t Type = 0;
    uint16_t Order = 0;
    QByteArray Payload;
    bool CrcOk = false;
};

// Takes every complete message out of stream.
inline QList<T_NODE_MESSAGE> TakeNodeMessages(QByteArray& stream)
{
    QList<T_NODE_MESSAGE> messages;
    for (;;)
    {
        const int start = stream.indexOf("\x1B\x02");
        if (start < 0)
            return messages;
        QByteArray content;
        int i = start + 2;
        bool complete = false;
        while (i + 1 < stream.size())
        {
            if (stream.at(i) == 0x1B && stream.at(i + 1) == 0x03)
            {
                complete = true;
                break;
            }
            content += stream.at(i);
            i += stream.at(i) == 0x1B ? 2 : 1;
        }
        if (!complete)
            return messages;
        stream.remove(0, i + 2);
        if (content.size() < 6)
            continue;
        T_NODE_MESSAGE message;
        message.Source = uint8_t(content.at(0));
        message.Destination = uint8_t(content.at(1));
        message.Type = uint8_t(content.at(2));
        message.Order = uint16_t((uint8_t(content.at(3)) << 8) | uint8_t(content.at(4)));
        message.Payload = content.mid(5, content.size() - 6);
        message.CrcOk = Crc8(content.left(content.size() - 1)) == uint8_t(content.back());
        messages.append(message);
    }
}

struct T_TBP
{
    int Code = -1;
    QMap<uint16_t, QByteArray> Attributes;
    uint32_t Number(uint16_t id) const
    {
        uint32_t value = 0;
        const QByteArray bytes = Attributes.value(id);
        for (int i = bytes.size() - 1; i >= 0; --i)
            value = (value << 8) | uint8_t(bytes.at(i));
        return value;
    }
};

inline T_TBP ParseTbp(const QByteArray& frame)
{
    T_TBP tbp;
    if (frame.size() < 5 || uint8_t(frame.at(0)) != 0x3A)
        return tbp;
    tbp.Code = uint8_t(frame.at(1)) | (uint8_t(frame.at(2)) << 8);
    int i = 5;
    while (i + 4 <= frame.size())
    {
        const uint16_t id = uint16_t(uint8_t(frame.at(i)) | (uint8_t(frame.at(i + 1)) << 8));
        const int size = uint8_t(frame.at(i + 2)) | (uint8_t(frame.at(i + 3)) << 8);
        tbp.Attributes.insert(id, frame.mid(i + 4, size));
        i += 4 + size;
    }
    return tbp;
}

// Command and attribute codes of the boot loaders' protocol.
enum
{
    PING = 0x00,
    RESET = 0x01,
    ERROR = 0x02,
    ACK = 0x03,
    ABORT = 0x04,
    SET_COMPONENT = 0x11,
    SET_ADDR = 0x12,
    START_SEND = 0x13,
    DATA_FILE = 0x14,
    CHECK_SHA = 0x15,
    SHA_STATUS = 0x16,
    STOP_SEND = 0x17,
    JUMP = 0x18,
    BUFFER_FULL = 0x19,
    CHECK_VERSION = 0x20,
    VERSION_STATUS = 0x21,
    CHECK_FPGA_VERSION = 0x22,
    FPGA_VERSION_STATUS = 0x23,
    CHECK_EDID_VALIDITY = 0x24,
    EDID_VALIDITY_STATUS = 0x25,
    CHECK_HDCP_VERSION = 0x2C,
    HDCP_VERSION_STATUS = 0x2D
};
enum
{
    A_ERROR_CODE = 0x00,
    A_COMPONENT_ID = 0x11,
    A_BASE_ADDR = 0x12,
    A_FILE_SIZE = 0x13,
    A_BLOCK_DATA = 0x14,
    A_BLOCK_DATA_SIZE = 0x15,
    A_SHA_VALUE = 0x16,
    A_JUMP_ADDR = 0x17,
    A_SHA_BLOCK_ID = 0x20,
    A_SHA_BLOCK_SIZE = 0x21,
    A_EDID_STATUS = 0x22,
    A_CRC_VALUE = 0x26
};
} // namespace HandFrames
