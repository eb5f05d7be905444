#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>

#include "BACKEND/UPDATER/ClassAbstractUpdater.h"

enum T_INIT_RESET_STATE : SDWord
{
    INIT_RESET_STATE_SEND_RESET = 0,
    INIT_RESET_STATE_SUCCESS = 1,
    INIT_RESET_STATE_WAIT_FOR_ACK = 2
};

// Resets the device's main micro at the start of an update, so that it
// restarts into its boot loader: one ASCII request, one ASCII answer.
class CLASS_INIT_UPDATER : public CLASS_ABSTRACT_UPDATER
{
    Q_OBJECT
public:
    static const QByteArray RESET_REQUEST;  // "1SYrst\r\n"
    static const QByteArray RESET_ACCEPTED; // "SYrst1\r\n"
    static const QByteArray RESET_REFUSED;  // "SYrst0\r\n"

    CLASS_INIT_UPDATER(const QString& name, CLASS_COMMUNICATION_CONF* communication,
                       QObject* parent = nullptr);

    DWord GetProgress() override;
    void Process() override;
    SDWord GetExtendedStatus() override { return 0; }
    T_INIT_RESET_STATE GetResetState() const { return static_cast<T_INIT_RESET_STATE>(m_ResetState.load()); }

public slots:
    void SLOT_TimeOut() override;
    void SLOT_DataReceived(QByteArray data, QString portInfo);

private:
    void RunStateMachine();
    void ErrorHasBeenEncountered(const QString& message);

    std::atomic<SDWord> m_ResetState;
    QByteArray m_ReceivedBytes;
};
