#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include "THIRDBLOCKPROTOCOL_ClassThirdBlockProtocol.h"
#include "Types.h"

class CLASS_SIM_DEVICE;

// One TBP frame to send back, with what the event log says about it.
struct T_SIM_TBP_REPLY
{
    QByteArray Frame;
    QString Command;
    QJsonObject Attributes;
};

// The cards' TBP boot loader as the boot TBP updater expects it: every command
// it sends is answered (ACK, BUFFER_FULL every K blocks, one VERSION_STATUS or
// FPGA_VERSION_STATUS per SHA block of the stored content, EDID_VALIDITY_STATUS,
// HDCP_VERSION_STATUS, SHA_STATUS over the blocks since the previous check).
// START_SEND erases the target (the component set by SET_COMPONENT, or the
// resident boot loader at the SET_ADDR address when none was set), taking the
// erase time before its ACK; each DATA_FILE is written there at once (taking
// the write time); STOP_SEND checks the size and commits.
class CLASS_SIM_BOOT_LOADER
{
public:
    // Boot-loader error codes used here.
    static constexpr Byte ERROR_INVALID_DATA_WRITE = 2;
    static constexpr Byte ERROR_WRONG_COMMAND = 3;
    static constexpr Byte ERROR_DATA_READ = 8;
    // Announced by INFO_STATUS.
    static constexpr DWord BUFFER_SIZE = 4096;
    // SHA blocks answered for one check at most (bounds the answer to a hostile size).
    static constexpr DWord MAX_STATUS_FRAMES = 65536;

    explicit CLASS_SIM_BOOT_LOADER(CLASS_SIM_DEVICE* device);

    // Name of the TBP command a frame carries (boot protocol), empty when it carries none.
    static QString CommandName(const QByteArray& frame);
    // The decoded attributes of a command, by name, for the event log.
    static QJsonObject DescribeAttributes(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    // The same for a frame; empty when it decodes to no known command.
    static QJsonObject DescribeFrame(const QByteArray& frame);
    // CRC-32/JAMCRC, the EDID content check.
    static DWord JamCrc(const QByteArray& data);

    // Answers one received TBP frame; link names the link for the event log.
    QList<T_SIM_TBP_REPLY> Handle(const QByteArray& frame, const QString& link);
    // The micro restarted (or ABORT came): a programming or a check under way is lost.
    void Restart();

    // A content check answers one status frame per SHA block. They are made one at a
    // time, as the link takes them, so a check of any size holds no queue of replies
    // and ABORT ends it at once.
    Bool HasCheckReply() const { return m_CheckNext < m_CheckBlocks; }
    T_SIM_TBP_REPLY TakeCheckReply();

private:
    void Reply(QList<T_SIM_TBP_REPLY>& replies, const QByteArray& frame, Bool built);
    void ReplyError(QList<T_SIM_TBP_REPLY>& replies, Byte code, const QString& why);
    void StartCheck(const QByteArray& content, Bool fpga, const QString& firstFault);
    void Commit(QList<T_SIM_TBP_REPLY>& replies, const QString& link);

    CLASS_SIM_DEVICE* m_Device;
    Bool m_HasComponent = false;
    Byte m_ComponentId = 0;
    DWord m_Address = 0;
    Bool m_Receiving = false;
    DWord m_ExpectedSize = 0;
    DWord m_ReceivedBytes = 0;
    DWord m_BlocksReceived = 0;
    QCryptographicHash m_ShaSinceCheck{QCryptographicHash::Sha1};

    // Content check under way: the content read at CHECK_*VERSION, the next block to answer.
    QByteArray m_CheckContent;
    Bool m_CheckFpga = false;
    DWord m_CheckNext = 0;
    DWord m_CheckBlocks = 0;
    QString m_CheckFirstFault;
};
