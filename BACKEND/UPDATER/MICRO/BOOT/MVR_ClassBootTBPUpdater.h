#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaObject>
#include <QString>
#include <atomic>

#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "NODEMESSAGE_ClassNodeMsgRx.h"
#include "NODEMESSAGE_ClassNodeMsgTx.h"
#include "THIRDBLOCKPROTOCOL_ClassThirdBlockProtocol.h"

class CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL;
class CLASS_PROG_FILE_WITH_TBP;

enum T_BOOT_TBP_STATE : SDWord
{
    BOOT_TBP_STATE_IDLE = 0,
    BOOT_TBP_STATE_REINIT = 1,
    BOOT_TBP_STATE_PING = 2,
    BOOT_TBP_STATE_PING_ANSWERED = 3,
    BOOT_TBP_STATE_WAIT_VERSION = 4,
    BOOT_TBP_STATE_WAIT_FPGA_VERSION = 5,
    BOOT_TBP_STATE_WAIT_EDID_VALIDITY = 6,
    BOOT_TBP_STATE_WAIT_HDCP_VERSION = 7,
    BOOT_TBP_STATE_PROGRAM = 8,
    BOOT_TBP_STATE_WAIT_SHA = 9,
    BOOT_TBP_STATE_JUMP = 10,
    BOOT_TBP_STATE_RESET = 11,
    BOOT_TBP_STATE_SUCCESS = 12,
    BOOT_TBP_STATE_WAIT_ACK = 13
};

// Programs one card component through the card's TBP boot loader: resets the
// boot loader's state machine, pings it, compares the content already on the
// card, sends the binary block by block and ends with the configured action.
// Every TBP frame travels in a node message to the card's node address.
class CLASS_MVR_BOOT_TBP_UPDATER : public CLASS_ABSTRACT_UPDATER
{
    Q_OBJECT
public:
    CLASS_MVR_BOOT_TBP_UPDATER(const QString& name, SDWord step, CLASS_COMMUNICATION_CONF* communication,
                               Bool force, QObject* parent = nullptr);

    DWord GetProgress() override;
    void Process() override;
    SDWord GetExtendedStatus() override { return 0; }
    void ConnectDebugSignals() override;
    void Reset() override;
    void SLOT_TimeOut() override;

    T_BOOT_TBP_STATE GetState() const { return static_cast<T_BOOT_TBP_STATE>(m_State.load()); }
    T_BOOT_TBP_STATE GetNextState() const { return static_cast<T_BOOT_TBP_STATE>(m_NextState.load()); }
    QString GetStateText() const;
    static QString StateText(SDWord state);
    Bool GetForce() const { return m_Force.load(); }
    Byte GetNodeAddress() const { return m_NodeAddress; }
    DWord GetNodeAnswerTimeoutMs() const { return m_Transmitter.GetAnswerTimeoutMs(); }
    Bool IsResidentReprogrammed() const { return m_ResidentReprogrammed.load(); }

public slots:
    // One TBP frame taken out of a received node message.
    void UpdateNewDataReceived(QByteArray frame);

private:
    void RunStateMachine(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    void OnPingAnswered();
    void OnVersionStatus(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Bool fpga);
    void OnEdidValidityStatus(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    void OnHdcpVersionStatus(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    void OnProgramming(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    void OnShaStatus(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command);
    void SendJumpFrame();
    void SendResetFrame();
    void RunEndAction();
    void NextProgrammationFrame();
    void FinishWithSuccess();
    void Fail(const QString& message);

    // Announces the command, then hands the frame to the transmitter; a frame
    // that could not be built fails the updater. False when nothing was sent.
    Bool SendFrame(const QString& mixedCaseName, Word code, Bool built, const QByteArray& frame,
                   Bool withAcknowledgement = true);
    // A frame produced by the programming file, sent with acknowledgement.
    void SendProgrammingFrame(QByteArray frame, QString portInfo);
    void DropLinkConnections();
    // The erase wait of the programming file: scaled by the delays. factor, and not counted as silence.
    void ApplyEraseWait();
    // Puts the frames already handed to the transmitter on the link now.
    void FlushLink();
    void UpdateProgrammingProgress();
    void SetState(T_BOOT_TBP_STATE state) { m_State.store(state); }
    void SetNextState(T_BOOT_TBP_STATE state) { m_NextState.store(state); }

    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* ProgFile() const;
    CLASS_PROG_FILE_WITH_TBP* TbpProgFile() const;
    CLASS_BINARY_INFORMATIONS* ProgBinary() const;
    CLASS_BINARY_INFORMATIONS* VerificationBinary() const;

    std::atomic<Bool> m_Force;
    Byte m_NodeAddress;
    CLASS_NODEMESSAGE_TX m_Transmitter;
    CLASS_NODEMESSAGE_RX m_Receiver;
    std::atomic<SDWord> m_State;
    std::atomic<SDWord> m_NextState;
    std::atomic<DWord> m_CheckOffset;
    std::atomic<Bool> m_ResidentReprogrammed;
    QList<QMetaObject::Connection> m_LinkConnections;
};
