#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"

#include <QPair>

#include "Traces.h"

namespace
{
struct T_ATTRIBUT_ROW
{
    Word id;
    const char* name;
    T_TBP_DATA_TYPE type;
    Bool optional;
};

const T_ATTRIBUT_ROW ATTRIBUT_ROWS[] = {
    {BOOT_ATTR_ERROR_CODE, "ERROR_CODE", UInt8, false},
    {BOOT_ATTR_BUFFER_SIZE, "BUFFER_SIZE", UInt32, false},
    {BOOT_ATTR_SLOT_INDEX, "SLOT_INDEX", UInt8, false},
    {BOOT_ATTR_RESET_TIME, "RESET_TIME", UInt32, true},
    {BOOT_ATTR_TARGET_ID, "TARGET_ID", UInt8, false},
    {BOOT_ATTR_COMPONENT_ID, "COMPONENT_ID", UInt8, false},
    {BOOT_ATTR_BASE_ADDR, "BASE_ADDR", UInt32, false},
    {BOOT_ATTR_FILE_SIZE, "FILE_SIZE", UInt32, false},
    {BOOT_ATTR_BLOCK_DATA, "BLOCK_DATA", ByteArray, false},
    {BOOT_ATTR_BLOCK_DATA_SIZE, "BLOCK_DATA_SIZE", UInt16, false},
    {BOOT_ATTR_SHA_VALUE, "SHA_VALUE", ByteArray, false},
    {BOOT_ATTR_JUMP_ADDR, "JUMP_ADDR", UInt32, true},
    {BOOT_ATTR_PROGRESS_STATUS, "PROGRESS_STATUS", UInt8, false},
    {BOOT_ATTR_SHA_BLOCK_ID, "SHA_BLOCK_ID", UInt16, false},
    {BOOT_ATTR_SHA_BLOCK_SIZE, "SHA_BLOCK_SIZE", UInt32, false},
    {BOOT_ATTR_EDID_STATUS, "EDID_STATUS", UInt8, false},
    {BOOT_ATTR_MICRO_BITFIELD, "MICRO_BITFIELD", UInt32, false},
    {BOOT_ATTR_BACK_END_TYPE, "BACK_END_TYPE", UInt8, false},
    {BOOT_ATTR_HARDWARE_REVISION, "HARDWARE_REVISION", UInt8, false},
    {BOOT_ATTR_CRC_VALUE, "CRC_VALUE", UInt32, true},
};

struct T_COMMAND_ROW
{
    Word code;
    const char* name;
    QVector<Word> attributs; // descriptor order, which is the order in frames
};

const QVector<T_COMMAND_ROW>& CommandRows()
{
    static const QVector<T_COMMAND_ROW> rows = {
        {BOOT_CMD_PING, "PING", {}},
        {BOOT_CMD_RESET, "RESET", {BOOT_ATTR_RESET_TIME}},
        {BOOT_CMD_ERROR, "ERROR", {BOOT_ATTR_ERROR_CODE}},
        {BOOT_CMD_ACK, "ACK", {}},
        {BOOT_CMD_ABORT, "ABORT", {}},
        {BOOT_CMD_GET_INFO, "GET_INFO", {}},
        {BOOT_CMD_INFO_STATUS, "INFO_STATUS", {BOOT_ATTR_BUFFER_SIZE}},
        {BOOT_CMD_BOOT_SAMBA, "BOOT_SAMBA", {}},
        {BOOT_CMD_UPDATE_FAILED, "UPDATE_FAILED", {}},
        {BOOT_CMD_SET_TARGET, "SET_TARGET", {BOOT_ATTR_TARGET_ID}},
        {BOOT_CMD_SET_COMPONENT, "SET_COMPONENT", {BOOT_ATTR_COMPONENT_ID}},
        {BOOT_CMD_SET_ADDR, "SET_ADDR", {BOOT_ATTR_BASE_ADDR}},
        {BOOT_CMD_START_SEND, "START_SEND", {BOOT_ATTR_FILE_SIZE}},
        {BOOT_CMD_DATA_FILE, "DATA_FILE", {BOOT_ATTR_BLOCK_DATA, BOOT_ATTR_BLOCK_DATA_SIZE}},
        {BOOT_CMD_CHECK_SHA, "CHECK_SHA", {}},
        {BOOT_CMD_SHA_STATUS, "SHA_STATUS", {BOOT_ATTR_SHA_VALUE}},
        {BOOT_CMD_STOP_SEND, "STOP_SEND", {BOOT_ATTR_JUMP_ADDR}},
        {BOOT_CMD_JUMP, "JUMP", {BOOT_ATTR_JUMP_ADDR}},
        {BOOT_CMD_BUFFER_FULL, "BUFFER_FULL", {}},
        {BOOT_CMD_PROGRESS_IS_MADE, "PROGRESS_IS_MADE", {BOOT_ATTR_PROGRESS_STATUS}},
        {BOOT_CMD_CHECK_VERSION, "CHECK_VERSION", {BOOT_ATTR_BASE_ADDR, BOOT_ATTR_FILE_SIZE}},
        {BOOT_CMD_VERSION_STATUS,
         "VERSION_STATUS",
         {BOOT_ATTR_SHA_VALUE, BOOT_ATTR_SHA_BLOCK_ID, BOOT_ATTR_SHA_BLOCK_SIZE}},
        {BOOT_CMD_CHECK_FPGA_VERSION, "CHECK_FPGA_VERSION", {BOOT_ATTR_COMPONENT_ID, BOOT_ATTR_FILE_SIZE}},
        {BOOT_CMD_FPGA_VERSION_STATUS,
         "FPGA_VERSION_STATUS",
         {BOOT_ATTR_SHA_VALUE, BOOT_ATTR_SHA_BLOCK_ID, BOOT_ATTR_SHA_BLOCK_SIZE}},
        {BOOT_CMD_CHECK_EDID_VALIDITY, "CHECK_EDID_VALIDITY", {BOOT_ATTR_COMPONENT_ID}},
        {BOOT_CMD_EDID_VALIDITY_STATUS, "EDID_VALIDITY_STATUS", {BOOT_ATTR_EDID_STATUS, BOOT_ATTR_CRC_VALUE}},
        {BOOT_CMD_CHECK_PLUGGED_MICRO, "CHECK_PLUGGED_MICRO", {}},
        {BOOT_CMD_PLUGGED_MICRO_STATUS, "PLUGGED_MICRO_STATUS", {BOOT_ATTR_MICRO_BITFIELD}},
        {BOOT_CMD_CHECK_BACK_END, "CHECK_BACK_END", {BOOT_ATTR_SLOT_INDEX}},
        {BOOT_CMD_BACK_END_STATUS, "BACK_END_STATUS", {BOOT_ATTR_BACK_END_TYPE, BOOT_ATTR_HARDWARE_REVISION}},
        {BOOT_CMD_CHECK_REVISION, "CHECK_REVISION", {}},
        {BOOT_CMD_REVISION_STATUS, "REVISION_STATUS", {BOOT_ATTR_HARDWARE_REVISION}},
        {BOOT_CMD_CHECK_HDCP_VERSION, "CHECK_HDCP_VERSION", {BOOT_ATTR_COMPONENT_ID, BOOT_ATTR_FILE_SIZE}},
        {BOOT_CMD_HDCP_VERSION_STATUS, "HDCP_VERSION_STATUS", {BOOT_ATTR_SHA_VALUE}},
        {BOOT_CMD_ERASE_MICRO, "ERASE_MICRO", {BOOT_ATTR_MICRO_BITFIELD}},
        {BOOT_CMD_RESET_MICRO, "RESET_MICRO", {BOOT_ATTR_MICRO_BITFIELD}},
        {BOOT_CMD_FORCE_BOOT_MICRO, "FORCE_BOOT_MICRO", {BOOT_ATTR_MICRO_BITFIELD}},
    };
    return rows;
}

// Created once, on the heap, and kept for the whole run: builders may be called from any thread.
struct T_BOOT_PROTOCOL_TABLES
{
    QHash<Word, const TBP_ATTRIBUT_DESCRIPTOR*> attributs;
    QHash<Word, const TBP_COMMAND_DESCRIPTOR*> commands;
    QHash<Word, QString> attributNames;
    QHash<Word, QString> commandNames;
    TBP_PROTOCOL_DESCRIPTOR* protocol = nullptr;
};

const T_BOOT_PROTOCOL_TABLES& Tables()
{
    static const T_BOOT_PROTOCOL_TABLES* tables = []
    {
        auto* created = new T_BOOT_PROTOCOL_TABLES;
        for (const T_ATTRIBUT_ROW& row : ATTRIBUT_ROWS)
        {
            created->attributs.insert(row.id,
                                      new TBP_ATTRIBUT_DESCRIPTOR{row.id, row.optional, row.type, 0, {}});
            created->attributNames.insert(row.id, QString::fromLatin1(row.name));
        }
        created->protocol = new TBP_PROTOCOL_DESCRIPTOR{BOOT_PROTOCOL_HEADER, {}};
        for (const T_COMMAND_ROW& row : CommandRows())
        {
            auto* command = new TBP_COMMAND_DESCRIPTOR{row.code, static_cast<Word>(row.attributs.size()), {}};
            for (Word id : row.attributs)
                command->attributs.append(created->attributs.value(id));
            created->commands.insert(row.code, command);
            created->commandNames.insert(row.code, QString::fromLatin1(row.name));
            created->protocol->commands.append(command);
        }
        return created;
    }();
    return *tables;
}

typedef QList<QPair<Word, QVariant>> T_VALUES;

// FormatAttribute for each value in order, then FormatCommand.
Bool BuildCommand(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Word code, const T_VALUES& values)
{
    const T_BOOT_PROTOCOL_TABLES& tables = Tables();
    const QString commandName = tables.commandNames.value(code);
    QList<T_THIRD_BLOCK_PROTOCOL_ATTRIBUT> attributs;
    for (const QPair<Word, QVariant>& value : values)
    {
        T_THIRD_BLOCK_PROTOCOL_ATTRIBUT attribut;
        if (!CLASS_THIRD_BLOCK_PROTOCOL::FormatAttribute(static_cast<Byte>(value.first), value.second,
                                                         tables.attributs.value(value.first), attribut))
        {
            TraceError("Cannot encode " + tables.attributNames.value(value.first) + " attribute for " +
                       commandName + " command");
            return false;
        }
        attributs.append(attribut);
    }
    if (!CLASS_THIRD_BLOCK_PROTOCOL::FormatCommand(code, attributs, tables.commands.value(code), command))
    {
        TraceError("Cannot encode " + commandName + " command");
        return false;
    }
    return true;
}

// The Format half of a pair: data becomes the frame of the built command.
Bool FormatCommand(QByteArray& data, Word code, Bool built, const T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    const QString commandName = Tables().commandNames.value(code);
    if (!built)
    {
        TraceError("Cannot format " + commandName + " command");
        return false;
    }
    data.clear();
    if (!CLASS_THIRD_BLOCK_PROTOCOL::Encode(BOOT_PROTOCOL_HEADER, command, Tables().protocol, data))
    {
        TraceError("Cannot encode " + commandName + " command");
        return false;
    }
    return true;
}

QVariant Integer(DWord value)
{
    return QVariant(static_cast<uint>(value));
}
} // namespace

void CLASS_TBP_MVRUPDATER::CreateDescriptors()
{
    Tables();
}

const TBP_PROTOCOL_DESCRIPTOR* CLASS_TBP_MVRUPDATER::Protocol()
{
    return Tables().protocol;
}

const TBP_COMMAND_DESCRIPTOR* CLASS_TBP_MVRUPDATER::CommandDescriptor(Word code)
{
    return Tables().commands.value(code);
}

const TBP_ATTRIBUT_DESCRIPTOR* CLASS_TBP_MVRUPDATER::AttributDescriptor(Word id)
{
    return Tables().attributs.value(id);
}

QString CLASS_TBP_MVRUPDATER::CommandName(Word code)
{
    return Tables().commandNames.value(code);
}

QString CLASS_TBP_MVRUPDATER::AttributName(Word id)
{
    return Tables().attributNames.value(id);
}

Bool CLASS_TBP_MVRUPDATER::BuildPing(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_PING, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatPing(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildPing(command);
    return FormatCommand(data, BOOT_CMD_PING, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildReset(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, SDWord resetTime)
{
    T_VALUES values;
    if (resetTime != TBP_OPTIONAL_ABSENT)
        values.append({BOOT_ATTR_RESET_TIME, Integer(static_cast<DWord>(resetTime))});
    return BuildCommand(command, BOOT_CMD_RESET, values);
}

Bool CLASS_TBP_MVRUPDATER::FormatReset(QByteArray& data, SDWord resetTime)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildReset(command, resetTime);
    return FormatCommand(data, BOOT_CMD_RESET, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildError(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte errorCode)
{
    return BuildCommand(command, BOOT_CMD_ERROR, {{BOOT_ATTR_ERROR_CODE, Integer(errorCode)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatError(QByteArray& data, Byte errorCode)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildError(command, errorCode);
    return FormatCommand(data, BOOT_CMD_ERROR, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildAck(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_ACK, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatAck(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildAck(command);
    return FormatCommand(data, BOOT_CMD_ACK, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildAbort(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_ABORT, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatAbort(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildAbort(command);
    return FormatCommand(data, BOOT_CMD_ABORT, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildGetInfo(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_GET_INFO, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatGetInfo(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildGetInfo(command);
    return FormatCommand(data, BOOT_CMD_GET_INFO, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildInfoStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord bufferSize)
{
    return BuildCommand(command, BOOT_CMD_INFO_STATUS, {{BOOT_ATTR_BUFFER_SIZE, Integer(bufferSize)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatInfoStatus(QByteArray& data, DWord bufferSize)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildInfoStatus(command, bufferSize);
    return FormatCommand(data, BOOT_CMD_INFO_STATUS, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildBootSamba(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_BOOT_SAMBA, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatBootSamba(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildBootSamba(command);
    return FormatCommand(data, BOOT_CMD_BOOT_SAMBA, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildUpdateFailed(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_UPDATE_FAILED, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatUpdateFailed(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildUpdateFailed(command);
    return FormatCommand(data, BOOT_CMD_UPDATE_FAILED, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildSetTarget(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte targetId)
{
    return BuildCommand(command, BOOT_CMD_SET_TARGET, {{BOOT_ATTR_TARGET_ID, Integer(targetId)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatSetTarget(QByteArray& data, Byte targetId)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildSetTarget(command, targetId);
    return FormatCommand(data, BOOT_CMD_SET_TARGET, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildSetComponent(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte componentId)
{
    return BuildCommand(command, BOOT_CMD_SET_COMPONENT, {{BOOT_ATTR_COMPONENT_ID, Integer(componentId)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatSetComponent(QByteArray& data, Byte componentId)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildSetComponent(command, componentId);
    return FormatCommand(data, BOOT_CMD_SET_COMPONENT, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildSetAddr(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord baseAddr)
{
    return BuildCommand(command, BOOT_CMD_SET_ADDR, {{BOOT_ATTR_BASE_ADDR, Integer(baseAddr)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatSetAddr(QByteArray& data, DWord baseAddr)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildSetAddr(command, baseAddr);
    return FormatCommand(data, BOOT_CMD_SET_ADDR, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildStartSend(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord fileSize)
{
    return BuildCommand(command, BOOT_CMD_START_SEND, {{BOOT_ATTR_FILE_SIZE, Integer(fileSize)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatStartSend(QByteArray& data, DWord fileSize)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildStartSend(command, fileSize);
    return FormatCommand(data, BOOT_CMD_START_SEND, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildDataFile(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, const QByteArray& blockData,
                                         Word blockDataSize)
{
    return BuildCommand(
        command, BOOT_CMD_DATA_FILE,
        {{BOOT_ATTR_BLOCK_DATA, blockData}, {BOOT_ATTR_BLOCK_DATA_SIZE, Integer(blockDataSize)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatDataFile(QByteArray& data, const QByteArray& blockData, Word blockDataSize)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildDataFile(command, blockData, blockDataSize);
    return FormatCommand(data, BOOT_CMD_DATA_FILE, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildCheckSha(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_CHECK_SHA, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatCheckSha(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildCheckSha(command);
    return FormatCommand(data, BOOT_CMD_CHECK_SHA, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildShaStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, const QByteArray& shaValue)
{
    return BuildCommand(command, BOOT_CMD_SHA_STATUS, {{BOOT_ATTR_SHA_VALUE, shaValue}});
}

Bool CLASS_TBP_MVRUPDATER::FormatShaStatus(QByteArray& data, const QByteArray& shaValue)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildShaStatus(command, shaValue);
    return FormatCommand(data, BOOT_CMD_SHA_STATUS, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildStopSend(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, SDWord jumpAddr)
{
    T_VALUES values;
    if (jumpAddr != TBP_OPTIONAL_ABSENT)
        values.append({BOOT_ATTR_JUMP_ADDR, Integer(static_cast<DWord>(jumpAddr))});
    return BuildCommand(command, BOOT_CMD_STOP_SEND, values);
}

Bool CLASS_TBP_MVRUPDATER::FormatStopSend(QByteArray& data, SDWord jumpAddr)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildStopSend(command, jumpAddr);
    return FormatCommand(data, BOOT_CMD_STOP_SEND, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildJump(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord jumpAddr)
{
    return BuildCommand(command, BOOT_CMD_JUMP, {{BOOT_ATTR_JUMP_ADDR, Integer(jumpAddr)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatJump(QByteArray& data, DWord jumpAddr)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildJump(command, jumpAddr);
    return FormatCommand(data, BOOT_CMD_JUMP, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildBufferFull(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_BUFFER_FULL, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatBufferFull(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildBufferFull(command);
    return FormatCommand(data, BOOT_CMD_BUFFER_FULL, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildProgressIsMade(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte progressStatus)
{
    return BuildCommand(command, BOOT_CMD_PROGRESS_IS_MADE,
                        {{BOOT_ATTR_PROGRESS_STATUS, Integer(progressStatus)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatProgressIsMade(QByteArray& data, Byte progressStatus)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildProgressIsMade(command, progressStatus);
    return FormatCommand(data, BOOT_CMD_PROGRESS_IS_MADE, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildCheckVersion(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord baseAddr,
                                             DWord fileSize)
{
    return BuildCommand(command, BOOT_CMD_CHECK_VERSION,
                        {{BOOT_ATTR_BASE_ADDR, Integer(baseAddr)}, {BOOT_ATTR_FILE_SIZE, Integer(fileSize)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatCheckVersion(QByteArray& data, DWord baseAddr, DWord fileSize)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildCheckVersion(command, baseAddr, fileSize);
    return FormatCommand(data, BOOT_CMD_CHECK_VERSION, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildVersionStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                                              const QByteArray& shaValue, Word shaBlockId, DWord shaBlockSize)
{
    return BuildCommand(command, BOOT_CMD_VERSION_STATUS,
                        {{BOOT_ATTR_SHA_VALUE, shaValue},
                         {BOOT_ATTR_SHA_BLOCK_ID, Integer(shaBlockId)},
                         {BOOT_ATTR_SHA_BLOCK_SIZE, Integer(shaBlockSize)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatVersionStatus(QByteArray& data, const QByteArray& shaValue, Word shaBlockId,
                                               DWord shaBlockSize)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildVersionStatus(command, shaValue, shaBlockId, shaBlockSize);
    return FormatCommand(data, BOOT_CMD_VERSION_STATUS, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildCheckFpgaVersion(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte componentId,
                                                 DWord fileSize)
{
    return BuildCommand(
        command, BOOT_CMD_CHECK_FPGA_VERSION,
        {{BOOT_ATTR_COMPONENT_ID, Integer(componentId)}, {BOOT_ATTR_FILE_SIZE, Integer(fileSize)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatCheckFpgaVersion(QByteArray& data, Byte componentId, DWord fileSize)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildCheckFpgaVersion(command, componentId, fileSize);
    return FormatCommand(data, BOOT_CMD_CHECK_FPGA_VERSION, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildFpgaVersionStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                                                  const QByteArray& shaValue, Word shaBlockId,
                                                  DWord shaBlockSize)
{
    return BuildCommand(command, BOOT_CMD_FPGA_VERSION_STATUS,
                        {{BOOT_ATTR_SHA_VALUE, shaValue},
                         {BOOT_ATTR_SHA_BLOCK_ID, Integer(shaBlockId)},
                         {BOOT_ATTR_SHA_BLOCK_SIZE, Integer(shaBlockSize)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatFpgaVersionStatus(QByteArray& data, const QByteArray& shaValue,
                                                   Word shaBlockId, DWord shaBlockSize)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildFpgaVersionStatus(command, shaValue, shaBlockId, shaBlockSize);
    return FormatCommand(data, BOOT_CMD_FPGA_VERSION_STATUS, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildCheckEdidValidity(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte componentId)
{
    return BuildCommand(command, BOOT_CMD_CHECK_EDID_VALIDITY,
                        {{BOOT_ATTR_COMPONENT_ID, Integer(componentId)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatCheckEdidValidity(QByteArray& data, Byte componentId)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildCheckEdidValidity(command, componentId);
    return FormatCommand(data, BOOT_CMD_CHECK_EDID_VALIDITY, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildEdidValidityStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte edidStatus,
                                                   DWord crcValue)
{
    return BuildCommand(
        command, BOOT_CMD_EDID_VALIDITY_STATUS,
        {{BOOT_ATTR_EDID_STATUS, Integer(edidStatus)}, {BOOT_ATTR_CRC_VALUE, Integer(crcValue)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatEdidValidityStatus(QByteArray& data, Byte edidStatus, DWord crcValue)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildEdidValidityStatus(command, edidStatus, crcValue);
    return FormatCommand(data, BOOT_CMD_EDID_VALIDITY_STATUS, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildCheckPluggedMicro(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_CHECK_PLUGGED_MICRO, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatCheckPluggedMicro(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildCheckPluggedMicro(command);
    return FormatCommand(data, BOOT_CMD_CHECK_PLUGGED_MICRO, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildPluggedMicroStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                                                   DWord microBitfield)
{
    return BuildCommand(command, BOOT_CMD_PLUGGED_MICRO_STATUS,
                        {{BOOT_ATTR_MICRO_BITFIELD, Integer(microBitfield)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatPluggedMicroStatus(QByteArray& data, DWord microBitfield)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildPluggedMicroStatus(command, microBitfield);
    return FormatCommand(data, BOOT_CMD_PLUGGED_MICRO_STATUS, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildCheckBackEnd(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte slotIndex)
{
    return BuildCommand(command, BOOT_CMD_CHECK_BACK_END, {{BOOT_ATTR_SLOT_INDEX, Integer(slotIndex)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatCheckBackEnd(QByteArray& data, Byte slotIndex)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildCheckBackEnd(command, slotIndex);
    return FormatCommand(data, BOOT_CMD_CHECK_BACK_END, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildBackEndStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte backEndType,
                                              Byte hardwareRevision)
{
    return BuildCommand(command, BOOT_CMD_BACK_END_STATUS,
                        {{BOOT_ATTR_BACK_END_TYPE, Integer(backEndType)},
                         {BOOT_ATTR_HARDWARE_REVISION, Integer(hardwareRevision)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatBackEndStatus(QByteArray& data, Byte backEndType, Byte hardwareRevision)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildBackEndStatus(command, backEndType, hardwareRevision);
    return FormatCommand(data, BOOT_CMD_BACK_END_STATUS, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildCheckRevision(T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    return BuildCommand(command, BOOT_CMD_CHECK_REVISION, {});
}

Bool CLASS_TBP_MVRUPDATER::FormatCheckRevision(QByteArray& data)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildCheckRevision(command);
    return FormatCommand(data, BOOT_CMD_CHECK_REVISION, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildRevisionStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte hardwareRevision)
{
    return BuildCommand(command, BOOT_CMD_REVISION_STATUS,
                        {{BOOT_ATTR_HARDWARE_REVISION, Integer(hardwareRevision)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatRevisionStatus(QByteArray& data, Byte hardwareRevision)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildRevisionStatus(command, hardwareRevision);
    return FormatCommand(data, BOOT_CMD_REVISION_STATUS, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildCheckHdcpVersion(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte componentId,
                                                 DWord fileSize)
{
    return BuildCommand(
        command, BOOT_CMD_CHECK_HDCP_VERSION,
        {{BOOT_ATTR_COMPONENT_ID, Integer(componentId)}, {BOOT_ATTR_FILE_SIZE, Integer(fileSize)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatCheckHdcpVersion(QByteArray& data, Byte componentId, DWord fileSize)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildCheckHdcpVersion(command, componentId, fileSize);
    return FormatCommand(data, BOOT_CMD_CHECK_HDCP_VERSION, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildHdcpVersionStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command,
                                                  const QByteArray& shaValue)
{
    return BuildCommand(command, BOOT_CMD_HDCP_VERSION_STATUS, {{BOOT_ATTR_SHA_VALUE, shaValue}});
}

Bool CLASS_TBP_MVRUPDATER::FormatHdcpVersionStatus(QByteArray& data, const QByteArray& shaValue)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildHdcpVersionStatus(command, shaValue);
    return FormatCommand(data, BOOT_CMD_HDCP_VERSION_STATUS, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildEraseMicro(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord microBitfield)
{
    return BuildCommand(command, BOOT_CMD_ERASE_MICRO, {{BOOT_ATTR_MICRO_BITFIELD, Integer(microBitfield)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatEraseMicro(QByteArray& data, DWord microBitfield)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildEraseMicro(command, microBitfield);
    return FormatCommand(data, BOOT_CMD_ERASE_MICRO, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildResetMicro(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord microBitfield)
{
    return BuildCommand(command, BOOT_CMD_RESET_MICRO, {{BOOT_ATTR_MICRO_BITFIELD, Integer(microBitfield)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatResetMicro(QByteArray& data, DWord microBitfield)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildResetMicro(command, microBitfield);
    return FormatCommand(data, BOOT_CMD_RESET_MICRO, built, command);
}

Bool CLASS_TBP_MVRUPDATER::BuildForceBootMicro(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord microBitfield)
{
    return BuildCommand(command, BOOT_CMD_FORCE_BOOT_MICRO,
                        {{BOOT_ATTR_MICRO_BITFIELD, Integer(microBitfield)}});
}

Bool CLASS_TBP_MVRUPDATER::FormatForceBootMicro(QByteArray& data, DWord microBitfield)
{
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    const Bool built = BuildForceBootMicro(command, microBitfield);
    return FormatCommand(data, BOOT_CMD_FORCE_BOOT_MICRO, built, command);
}
