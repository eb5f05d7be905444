#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>

#include "BACKEND/UPDATER/ClassAbstractUpdater.h"

enum T_BOOT_RAM_STATE : SDWord
{
    PREPARATION_SET_COMM_MODE = 1,
    PREPARATION_SET_COMM_MODE_WAIT = 2,
    PROGRAMMING_BINARY_PROGRAMMING = 3,
    PROGRAMMING_BINARY_JUMP = 4,
    PROGRAMMING_SUCCESS = 5
};

// Loads a boot program into the RAM of a microcontroller through the SAM-BA
// monitor in its ROM and starts it there: terminal mode, one write-file
// command per block followed by exactly that block, then the go command.
class CLASS_MVR_BOOT_RAM_UPDATER : public CLASS_ABSTRACT_UPDATER
{
    Q_OBJECT
public:
    CLASS_MVR_BOOT_RAM_UPDATER(const QString& name, SDWord step, CLASS_COMMUNICATION_CONF* communication,
                               QObject* parent = nullptr);

    DWord GetProgress() override;
    void Process() override;
    SDWord GetExtendedStatus() override { return 0; }
    void ConnectDebugSignals() override;

    T_BOOT_RAM_STATE GetState() const { return static_cast<T_BOOT_RAM_STATE>(m_State.load()); }
    static QString StateName(SDWord state);
    // A jump that answers later than this after the go command is a failure.
    static constexpr qint64 JUMP_LIMIT_MS = 14999;

public slots:
    void SLOT_DataReceived(QByteArray data, QString portInfo);

private slots:
    // Writes one block handed over by the programming file to the port.
    void SLOT_ForwardBlock(QByteArray block, QString portInfo);

private:
    void RunStep();
    void SendBlockCommand();
    Bool SendCommand(const QByteArray& command);
    void UpdateProgress();
    void ErrorHasBeenEncountered(const QString& message);
    void DisconnectReception();
    DWord BytesSent() const;

    std::atomic<SDWord> m_State;
    QByteArray m_ReceptionBuffer;
    CLASS_ACTIVITY_TIMER m_JumpTimer;
    Bool m_BlockSendFailed;
};
