#include "SIM_ClassBootLoader.h"

#include <QThread>

#include <zlib.h>

#include "SIM_ClassDevice.h"
#include "SIM_ClassEventLog.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPErrorProtocol.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"

namespace
{
// Code no command of the protocol has: tells an unknown code after Decode.
const Word NO_COMMAND = 0xFFFF;

const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT* Find(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Word id)
{
    for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : command.attributs)
    {
        if (attribut.id == id)
            return &attribut;
    }
    return nullptr;
}

DWord Number(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Word id, Bool& present)
{
    const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT* attribut = Find(command, id);
    present = attribut != nullptr;
    return attribut ? attribut->value.toUInt() : 0;
}

QString Hex(DWord value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}
} // namespace

CLASS_SIM_BOOT_LOADER::CLASS_SIM_BOOT_LOADER(CLASS_SIM_DEVICE* device) : m_Device(device)
{
    CLASS_TBP_ERRORPROTOCOL::CreateDescriptors();
    CLASS_TBP_MVRUPDATER::CreateDescriptors();
}

QString CLASS_SIM_BOOT_LOADER::CommandName(const QByteArray& frame)
{
    if (frame.size() < 5 || Byte(frame.at(0)) != BOOT_PROTOCOL_HEADER)
        return QString();
    return CLASS_TBP_MVRUPDATER::CommandName(Word(Byte(frame.at(1)) | (Byte(frame.at(2)) << 8)));
}

QJsonObject CLASS_SIM_BOOT_LOADER::DescribeAttributes(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    QJsonObject attributes;
    for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : command.attributs)
    {
        QString name = CLASS_TBP_MVRUPDATER::AttributName(attribut.id);
        if (name.isEmpty())
            name = QStringLiteral("ATTRIBUT_%1").arg(attribut.id);
        const QVariant& value = attribut.value;
        if (value.type() == QVariant::ByteArray)
            attributes.insert(name, CLASS_SIM_EVENT_LOG::Bytes(value.toByteArray()));
        else
            attributes.insert(name, double(value.toUInt()));
    }
    return attributes;
}

QJsonObject CLASS_SIM_BOOT_LOADER::DescribeFrame(const QByteArray& frame)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    command.code = NO_COMMAND;
    Byte header = 0;
    if (!CLASS_THIRD_BLOCK_PROTOCOL::Decode(frame, header, command, CLASS_TBP_MVRUPDATER::Protocol()) ||
        command.code == NO_COMMAND)
        return QJsonObject();
    return DescribeAttributes(command);
}

DWord CLASS_SIM_BOOT_LOADER::JamCrc(const QByteArray& data)
{
    // zlib's CRC-32 ends with an inversion that JAMCRC leaves out.
    const uLong crc =
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()));
    return DWord(crc ^ 0xFFFFFFFFu);
}

void CLASS_SIM_BOOT_LOADER::Restart()
{
    m_HasComponent = false;
    m_Receiving = false;
    m_ReceivedBytes = 0;
    m_ExpectedSize = 0;
    m_BlocksReceived = 0;
    m_ShaSinceCheck.reset();
    m_CheckContent.clear();
    m_CheckNext = 0;
    m_CheckBlocks = 0;
}

void CLASS_SIM_BOOT_LOADER::Reply(QList<T_SIM_TBP_REPLY>& replies, const QByteArray& frame, Bool built)
{
    if (!built)
        return;
    T_SIM_TBP_REPLY reply;
    reply.Frame = frame;
    reply.Command = CommandName(frame);
    reply.Attributes = DescribeFrame(frame);
    replies.append(reply);
}

void CLASS_SIM_BOOT_LOADER::ReplyError(QList<T_SIM_TBP_REPLY>& replies, Byte code, const QString& why)
{
    QByteArray frame;
    Reply(replies, frame, CLASS_TBP_MVRUPDATER::FormatError(frame, code));
    if (!replies.isEmpty() && !why.isEmpty())
        replies.last().Attributes.insert(QStringLiteral("why"), why);
}

void CLASS_SIM_BOOT_LOADER::StartCheck(const QByteArray& content, Bool fpga, const QString& firstFault)
{
    const DWord blockSize = m_Device->Options().ShaBlockSize;
    const DWord blocks = qMax<DWord>(1, DWord((QWord(content.size()) + blockSize - 1) / blockSize));
    m_CheckContent = content;
    m_CheckFpga = fpga;
    m_CheckNext = 0;
    m_CheckBlocks = qMin(blocks, MAX_STATUS_FRAMES);
    m_CheckFirstFault = firstFault;
}

T_SIM_TBP_REPLY CLASS_SIM_BOOT_LOADER::TakeCheckReply()
{
    QList<T_SIM_TBP_REPLY> replies;
    if (!HasCheckReply())
        return T_SIM_TBP_REPLY();
    const DWord blockSize = m_Device->Options().ShaBlockSize;
    const DWord block = m_CheckNext++;
    const QByteArray sha = QCryptographicHash::hash(
        m_CheckContent.mid(int(block * blockSize), int(blockSize)), QCryptographicHash::Sha1);
    QByteArray frame;
    const Bool built = m_CheckFpga
                           ? CLASS_TBP_MVRUPDATER::FormatFpgaVersionStatus(frame, sha, Word(block), blockSize)
                           : CLASS_TBP_MVRUPDATER::FormatVersionStatus(frame, sha, Word(block), blockSize);
    Reply(replies, frame, built);
    if (!HasCheckReply())
        m_CheckContent.clear();
    if (replies.isEmpty())
        return T_SIM_TBP_REPLY();
    if (block == 0 && !m_CheckFirstFault.isEmpty())
        replies[0].Attributes.insert(QStringLiteral("fault"), m_CheckFirstFault);
    return replies.takeFirst();
}

void CLASS_SIM_BOOT_LOADER::Commit(QList<T_SIM_TBP_REPLY>& replies, const QString& link)
{
    if (!m_Receiving || m_ReceivedBytes != m_ExpectedSize)
    {
        ReplyError(replies, ERROR_INVALID_DATA_WRITE,
                   m_Receiving
                       ? QStringLiteral("received %1 of %2 bytes").arg(m_ReceivedBytes).arg(m_ExpectedSize)
                       : QStringLiteral("nothing is being received"));
        m_Receiving = false;
        return;
    }
    CLASS_SIM_DEVICE_MEMORY& memory = m_Device->Memory();
    const QByteArray stored =
        m_HasComponent ? memory.Component(m_ComponentId).Data : memory.ReadAddress(m_Address, m_ExpectedSize);
    QJsonObject attributes{
        {QStringLiteral("address"), Hex(m_Address)},
        {QStringLiteral("size"), stored.size()},
        {QStringLiteral("sha1"),
         QString::fromLatin1(QCryptographicHash::hash(stored, QCryptographicHash::Sha1).toHex())}};
    if (m_HasComponent)
        attributes.insert(QStringLiteral("component"), CLASS_SIM_DEVICE_MEMORY::ComponentName(m_ComponentId));
    else
    {
        memory.MendResident();
        attributes.insert(QStringLiteral("component"), QStringLiteral("RESIDENT"));
    }
    m_Device->Log().Write(link, "-", QStringLiteral("memory"), QStringLiteral("COMMIT"), attributes);
    m_Device->SaveState(link);
    m_HasComponent = false;
    m_Receiving = false;
    QByteArray frame;
    Reply(replies, frame, CLASS_TBP_MVRUPDATER::FormatAck(frame));
}

QList<T_SIM_TBP_REPLY> CLASS_SIM_BOOT_LOADER::Handle(const QByteArray& frame, const QString& link)
{
    QList<T_SIM_TBP_REPLY> replies;
    Byte header = 0;
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    command.code = NO_COMMAND;
    if (!CLASS_THIRD_BLOCK_PROTOCOL::Decode(frame, header, command, CLASS_TBP_MVRUPDATER::Protocol()))
    {
        // Answered in the error protocol, as the codec describes the failure.
        SByte location = 0;
        SByte code = 0;
        for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : command.attributs)
            (attribut.id == 0 ? location : code) = SByte(attribut.value.toInt());
        QByteArray error;
        if (CLASS_TBP_ERRORPROTOCOL::FormatError(error, location, code))
        {
            T_SIM_TBP_REPLY reply;
            reply.Frame = error;
            reply.Command = QStringLiteral("PROTOCOL_ERROR");
            reply.Attributes = QJsonObject{{QStringLiteral("ERROR_LOCATION"), location},
                                           {QStringLiteral("ERROR_CODE"), code}};
            replies.append(reply);
        }
        return replies;
    }
    if (command.code == NO_COMMAND)
    {
        ReplyError(replies, ERROR_WRONG_COMMAND, QStringLiteral("unknown command code"));
        return replies;
    }
    const QString name = CLASS_TBP_MVRUPDATER::CommandName(command.code);
    Byte faultCode = 0;
    if (m_Device->Faults().TakeError(name, faultCode))
    {
        ReplyError(replies, faultCode, QStringLiteral("fault"));
        return replies;
    }

    CLASS_SIM_DEVICE_MEMORY& memory = m_Device->Memory();
    Bool present = false;
    QByteArray reply;
    switch (command.code)
    {
    case BOOT_CMD_PING:
    case BOOT_CMD_JUMP:
    case BOOT_CMD_SET_TARGET:
    case BOOT_CMD_ERASE_MICRO:
    case BOOT_CMD_RESET_MICRO:
    case BOOT_CMD_FORCE_BOOT_MICRO:
    case BOOT_CMD_BOOT_SAMBA:
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatAck(reply));
        break;
    case BOOT_CMD_ABORT:
        // The programming under way (if any) is dropped; the memory keeps its content.
        Restart();
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatAck(reply));
        break;
    case BOOT_CMD_RESET:
        Restart();
        m_Device->ClearRam();
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatAck(reply));
        break;
    case BOOT_CMD_SET_COMPONENT:
        m_ComponentId = Byte(Number(command, BOOT_ATTR_COMPONENT_ID, present));
        m_HasComponent = true;
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatAck(reply));
        break;
    case BOOT_CMD_SET_ADDR:
        m_Address = Number(command, BOOT_ATTR_BASE_ADDR, present);
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatAck(reply));
        break;
    case BOOT_CMD_START_SEND:
        m_ExpectedSize = Number(command, BOOT_ATTR_FILE_SIZE, present);
        if (m_ExpectedSize > CLASS_SIM_DEVICE_MEMORY::MAX_CONTENT_SIZE)
        {
            m_Receiving = false;
            ReplyError(replies, ERROR_INVALID_DATA_WRITE, QStringLiteral("file too large"));
            break;
        }
        m_Receiving = true;
        m_ReceivedBytes = 0;
        m_BlocksReceived = 0;
        m_ShaSinceCheck.reset();
        if (m_HasComponent)
            memory.EraseComponent(m_ComponentId, m_Address, m_ExpectedSize);
        else
            memory.EraseResident(m_Address, m_ExpectedSize);
        m_Device->MarkChanged();
        // An FPGA image goes to a flash that is erased as it is written.
        if (!m_HasComponent || m_ComponentId != CLASS_SIM_DEVICE_MEMORY::FPGA_COMPONENT_ID)
            m_Device->BeginBusy(DWord(QWord(m_ExpectedSize) * m_Device->Options().Timing.EraseMsPerUnit /
                                      T_SIM_TIMING::ERASE_UNIT_BYTES),
                                link, QStringLiteral("ERASE"));
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatAck(reply));
        break;
    case BOOT_CMD_DATA_FILE:
    {
        const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT* block = Find(command, BOOT_ATTR_BLOCK_DATA);
        const QByteArray data = block ? block->value.toByteArray() : QByteArray();
        const DWord declared = Number(command, BOOT_ATTR_BLOCK_DATA_SIZE, present);
        if (!m_Receiving || !block || !present || declared != DWord(data.size()) ||
            QWord(m_ReceivedBytes) + QWord(data.size()) > m_ExpectedSize)
        {
            ReplyError(replies, ERROR_INVALID_DATA_WRITE,
                       !m_Receiving ? QStringLiteral("no START_SEND")
                                    : QStringLiteral("block inconsistent with its size or the file size"));
            break;
        }
        if (m_HasComponent)
            memory.WriteComponent(m_ComponentId, m_ReceivedBytes, data);
        else
            memory.WriteResident(m_Address + m_ReceivedBytes, data);
        m_ReceivedBytes += DWord(data.size());
        if (const DWord writeUs = m_Device->Options().Timing.WriteUsPerBlock)
            QThread::usleep(writeUs); // a block's write is short: the device is simply not there meanwhile
        m_ShaSinceCheck.addData(data);
        ++m_BlocksReceived;
        const DWord every = m_Device->Options().BufferFullEvery;
        if (every != 0 && m_BlocksReceived % every == 0)
            Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatBufferFull(reply));
        else
            Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatAck(reply));
        break;
    }
    case BOOT_CMD_CHECK_SHA:
    {
        QByteArray sha = m_ShaSinceCheck.result();
        m_ShaSinceCheck.reset();
        const Bool wrong = m_Device->Faults().TakeWrongSha();
        if (wrong)
            sha[0] = char(sha.at(0) ^ 0xFF);
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatShaStatus(reply, sha));
        if (wrong && !replies.isEmpty())
            replies.last().Attributes.insert(QStringLiteral("fault"), QStringLiteral("wrong digest"));
        break;
    }
    case BOOT_CMD_STOP_SEND:
        Commit(replies, link);
        break;
    case BOOT_CMD_CHECK_VERSION:
    {
        const DWord address = Number(command, BOOT_ATTR_BASE_ADDR, present);
        const DWord size = Number(command, BOOT_ATTR_FILE_SIZE, present);
        if (size > CLASS_SIM_DEVICE_MEMORY::MAX_CONTENT_SIZE)
        {
            ReplyError(replies, ERROR_DATA_READ, QStringLiteral("size too large"));
            break;
        }
        QByteArray content = memory.ReadAddress(address, size);
        const Bool stale = memory.OverlapsResident(address, size) && m_Device->Faults().TakeStaleResident();
        if (stale && !content.isEmpty())
            content[0] = char(content.at(0) ^ 0xFF);
        StartCheck(content, false, stale ? QStringLiteral("stale resident") : QString());
        break;
    }
    case BOOT_CMD_CHECK_FPGA_VERSION:
    {
        const Byte component = Byte(Number(command, BOOT_ATTR_COMPONENT_ID, present));
        const DWord size = Number(command, BOOT_ATTR_FILE_SIZE, present);
        if (size > CLASS_SIM_DEVICE_MEMORY::MAX_CONTENT_SIZE)
        {
            ReplyError(replies, ERROR_DATA_READ, QStringLiteral("size too large"));
            break;
        }
        StartCheck(memory.ReadComponent(component, size), true, QString());
        break;
    }
    case BOOT_CMD_CHECK_EDID_VALIDITY:
    {
        const Byte component = Byte(Number(command, BOOT_ATTR_COMPONENT_ID, present));
        const Bool stored = memory.HasComponent(component);
        Reply(replies, reply,
              CLASS_TBP_MVRUPDATER::FormatEdidValidityStatus(
                  reply, stored ? 1 : 0, stored ? JamCrc(memory.Component(component).Data) : 0));
        break;
    }
    case BOOT_CMD_CHECK_HDCP_VERSION:
    {
        const Byte component = Byte(Number(command, BOOT_ATTR_COMPONENT_ID, present));
        const DWord size = Number(command, BOOT_ATTR_FILE_SIZE, present);
        if (size > CLASS_SIM_DEVICE_MEMORY::MAX_CONTENT_SIZE)
        {
            ReplyError(replies, ERROR_DATA_READ, QStringLiteral("size too large"));
            break;
        }
        const QByteArray sha =
            QCryptographicHash::hash(memory.ReadComponent(component, size), QCryptographicHash::Sha1);
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatHdcpVersionStatus(reply, sha));
        break;
    }
    case BOOT_CMD_GET_INFO:
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatInfoStatus(reply, BUFFER_SIZE));
        break;
    case BOOT_CMD_CHECK_PLUGGED_MICRO:
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatPluggedMicroStatus(reply, 1));
        break;
    case BOOT_CMD_CHECK_BACK_END:
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatBackEndStatus(reply, 255, 0));
        break;
    case BOOT_CMD_CHECK_REVISION:
        Reply(replies, reply, CLASS_TBP_MVRUPDATER::FormatRevisionStatus(reply, 0));
        break;
    default:
        // Answers and reports (ACK, ERROR, *_STATUS, ...) are what the device sends, not what it obeys.
        break;
    }
    return replies;
}
