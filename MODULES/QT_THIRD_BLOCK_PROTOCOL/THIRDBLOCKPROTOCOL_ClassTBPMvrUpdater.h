#pragma once

#include <QByteArray>
#include <QString>

#include "THIRDBLOCKPROTOCOL_ClassThirdBlockProtocol.h"
#include "Types.h"

// The boot loaders' protocol (header 0x3A, ':'): 20 attribute descriptors, 37 command
// descriptors, and a Build/Format pair per command.
//
//   BuildXxx(command, args...)  builds the command (FormatAttribute per attribute, then FormatCommand);
//   FormatXxx(data, args...)    BuildXxx, then Encode with header 0x3A: data is the frame to send.
//
// Integer arguments are typed by the attribute: Byte (UInt8), Word (UInt16), DWord (UInt32).
// Failures trace "Cannot encode <ATTR> attribute for <CMD> command", "Cannot encode <CMD> command"
// or "Cannot format <CMD> command" and return false.

const Byte BOOT_PROTOCOL_HEADER = 0x3A;

// Value meaning "leave the optional attribute out" for BuildReset and BuildStopSend.
const SDWord TBP_OPTIONAL_ABSENT = -1;

enum T_TBP_BOOT_COMMAND
{
    BOOT_CMD_PING = 0x00,
    BOOT_CMD_RESET = 0x01,
    BOOT_CMD_ERROR = 0x02,
    BOOT_CMD_ACK = 0x03,
    BOOT_CMD_ABORT = 0x04,
    BOOT_CMD_GET_INFO = 0x05,
    BOOT_CMD_INFO_STATUS = 0x06,
    BOOT_CMD_BOOT_SAMBA = 0x07,
    BOOT_CMD_UPDATE_FAILED = 0x08,
    BOOT_CMD_SET_TARGET = 0x10,
    BOOT_CMD_SET_COMPONENT = 0x11,
    BOOT_CMD_SET_ADDR = 0x12,
    BOOT_CMD_START_SEND = 0x13,
    BOOT_CMD_DATA_FILE = 0x14,
    BOOT_CMD_CHECK_SHA = 0x15,
    BOOT_CMD_SHA_STATUS = 0x16,
    BOOT_CMD_STOP_SEND = 0x17,
    BOOT_CMD_JUMP = 0x18,
    BOOT_CMD_BUFFER_FULL = 0x19,
    BOOT_CMD_PROGRESS_IS_MADE = 0x1A,
    BOOT_CMD_CHECK_VERSION = 0x20,
    BOOT_CMD_VERSION_STATUS = 0x21,
    BOOT_CMD_CHECK_FPGA_VERSION = 0x22,
    BOOT_CMD_FPGA_VERSION_STATUS = 0x23,
    BOOT_CMD_CHECK_EDID_VALIDITY = 0x24,
    BOOT_CMD_EDID_VALIDITY_STATUS = 0x25,
    BOOT_CMD_CHECK_PLUGGED_MICRO = 0x26,
    BOOT_CMD_PLUGGED_MICRO_STATUS = 0x27,
    BOOT_CMD_CHECK_BACK_END = 0x28,
    BOOT_CMD_BACK_END_STATUS = 0x29,
    BOOT_CMD_CHECK_REVISION = 0x2A,
    BOOT_CMD_REVISION_STATUS = 0x2B,
    BOOT_CMD_CHECK_HDCP_VERSION = 0x2C,
    BOOT_CMD_HDCP_VERSION_STATUS = 0x2D,
    BOOT_CMD_ERASE_MICRO = 0x30,
    BOOT_CMD_RESET_MICRO = 0x31,
    BOOT_CMD_FORCE_BOOT_MICRO = 0x32
};

enum T_TBP_BOOT_ATTRIBUT
{
    BOOT_ATTR_ERROR_CODE = 0x00,
    BOOT_ATTR_BUFFER_SIZE = 0x01,
    BOOT_ATTR_SLOT_INDEX = 0x02,
    BOOT_ATTR_RESET_TIME = 0x03,
    BOOT_ATTR_TARGET_ID = 0x10,
    BOOT_ATTR_COMPONENT_ID = 0x11,
    BOOT_ATTR_BASE_ADDR = 0x12,
    BOOT_ATTR_FILE_SIZE = 0x13,
    BOOT_ATTR_BLOCK_DATA = 0x14,
    BOOT_ATTR_BLOCK_DATA_SIZE = 0x15,
    BOOT_ATTR_SHA_VALUE = 0x16,
    BOOT_ATTR_JUMP_ADDR = 0x17,
    BOOT_ATTR_PROGRESS_STATUS = 0x18,
    BOOT_ATTR_SHA_BLOCK_ID = 0x20,
    BOOT_ATTR_SHA_BLOCK_SIZE = 0x21,
    BOOT_ATTR_EDID_STATUS = 0x22,
    BOOT_ATTR_MICRO_BITFIELD = 0x23,
    BOOT_ATTR_BACK_END_TYPE = 0x24,
    BOOT_ATTR_HARDWARE_REVISION = 0x25,
    BOOT_ATTR_CRC_VALUE = 0x26
};

class CLASS_TBP_MVRUPDATER
{
public:
    CLASS_TBP_MVRUPDATER() = delete;

    // Creates the descriptors (idempotent, thread-safe). The accessors create them on first use too.
    static void CreateDescriptors();
    static const TBP_PROTOCOL_DESCRIPTOR* Protocol();
    static const TBP_COMMAND_DESCRIPTOR* CommandDescriptor(Word code); // null when unknown
    static const TBP_ATTRIBUT_DESCRIPTOR* AttributDescriptor(Word id); // null when unknown
    static QString CommandName(Word code);                             // "DATA_FILE"; empty when unknown
    static QString AttributName(Word id);                              // "BLOCK_DATA"; empty when unknown

    static Bool BuildPing(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatPing(QByteArray& data);
    // resetTime -1: RESET_TIME left out.
    static Bool BuildReset(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, SDWord resetTime);
    static Bool FormatReset(QByteArray& data, SDWord resetTime);
    static Bool BuildError(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte errorCode);
    static Bool FormatError(QByteArray& data, Byte errorCode);
    static Bool BuildAck(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatAck(QByteArray& data);
    static Bool BuildAbort(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatAbort(QByteArray& data);
    static Bool BuildGetInfo(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatGetInfo(QByteArray& data);
    static Bool BuildInfoStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord bufferSize);
    static Bool FormatInfoStatus(QByteArray& data, DWord bufferSize);
    static Bool BuildBootSamba(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatBootSamba(QByteArray& data);
    static Bool BuildUpdateFailed(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatUpdateFailed(QByteArray& data);
    static Bool BuildSetTarget(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte targetId);
    static Bool FormatSetTarget(QByteArray& data, Byte targetId);
    static Bool BuildSetComponent(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte componentId);
    static Bool FormatSetComponent(QByteArray& data, Byte componentId);
    static Bool BuildSetAddr(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord baseAddr);
    static Bool FormatSetAddr(QByteArray& data, DWord baseAddr);
    static Bool BuildStartSend(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord fileSize);
    static Bool FormatStartSend(QByteArray& data, DWord fileSize);
    // BLOCK_DATA then BLOCK_DATA_SIZE.
    static Bool BuildDataFile(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, const QByteArray& blockData,
                              Word blockDataSize);
    static Bool FormatDataFile(QByteArray& data, const QByteArray& blockData, Word blockDataSize);
    static Bool BuildCheckSha(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatCheckSha(QByteArray& data);
    static Bool BuildShaStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, const QByteArray& shaValue);
    static Bool FormatShaStatus(QByteArray& data, const QByteArray& shaValue);
    // jumpAddr -1: JUMP_ADDR left out.
    static Bool BuildStopSend(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, SDWord jumpAddr);
    static Bool FormatStopSend(QByteArray& data, SDWord jumpAddr);
    // JUMP_ADDR always present.
    static Bool BuildJump(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord jumpAddr);
    static Bool FormatJump(QByteArray& data, DWord jumpAddr);
    static Bool BuildBufferFull(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatBufferFull(QByteArray& data);
    static Bool BuildProgressIsMade(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte progressStatus);
    static Bool FormatProgressIsMade(QByteArray& data, Byte progressStatus);
    static Bool BuildCheckVersion(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord baseAddr, DWord fileSize);
    static Bool FormatCheckVersion(QByteArray& data, DWord baseAddr, DWord fileSize);
    static Bool BuildVersionStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, const QByteArray& shaValue,
                                   Word shaBlockId, DWord shaBlockSize);
    static Bool FormatVersionStatus(QByteArray& data, const QByteArray& shaValue, Word shaBlockId,
                                    DWord shaBlockSize);
    static Bool BuildCheckFpgaVersion(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte componentId,
                                      DWord fileSize);
    static Bool FormatCheckFpgaVersion(QByteArray& data, Byte componentId, DWord fileSize);
    static Bool BuildFpgaVersionStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, const QByteArray& shaValue,
                                       Word shaBlockId, DWord shaBlockSize);
    static Bool FormatFpgaVersionStatus(QByteArray& data, const QByteArray& shaValue, Word shaBlockId,
                                        DWord shaBlockSize);
    static Bool BuildCheckEdidValidity(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte componentId);
    static Bool FormatCheckEdidValidity(QByteArray& data, Byte componentId);
    // CRC_VALUE always present.
    static Bool BuildEdidValidityStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte edidStatus,
                                        DWord crcValue);
    static Bool FormatEdidValidityStatus(QByteArray& data, Byte edidStatus, DWord crcValue);
    static Bool BuildCheckPluggedMicro(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatCheckPluggedMicro(QByteArray& data);
    static Bool BuildPluggedMicroStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord microBitfield);
    static Bool FormatPluggedMicroStatus(QByteArray& data, DWord microBitfield);
    static Bool BuildCheckBackEnd(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte slotIndex);
    static Bool FormatCheckBackEnd(QByteArray& data, Byte slotIndex);
    static Bool BuildBackEndStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte backEndType,
                                   Byte hardwareRevision);
    static Bool FormatBackEndStatus(QByteArray& data, Byte backEndType, Byte hardwareRevision);
    static Bool BuildCheckRevision(T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    static Bool FormatCheckRevision(QByteArray& data);
    static Bool BuildRevisionStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte hardwareRevision);
    static Bool FormatRevisionStatus(QByteArray& data, Byte hardwareRevision);
    static Bool BuildCheckHdcpVersion(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Byte componentId,
                                      DWord fileSize);
    static Bool FormatCheckHdcpVersion(QByteArray& data, Byte componentId, DWord fileSize);
    static Bool BuildHdcpVersionStatus(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, const QByteArray& shaValue);
    static Bool FormatHdcpVersionStatus(QByteArray& data, const QByteArray& shaValue);
    static Bool BuildEraseMicro(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord microBitfield);
    static Bool FormatEraseMicro(QByteArray& data, DWord microBitfield);
    static Bool BuildResetMicro(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord microBitfield);
    static Bool FormatResetMicro(QByteArray& data, DWord microBitfield);
    static Bool BuildForceBootMicro(T_THIRD_BLOCK_PROTOCOL_COMMAND& command, DWord microBitfield);
    static Bool FormatForceBootMicro(QByteArray& data, DWord microBitfield);
};
