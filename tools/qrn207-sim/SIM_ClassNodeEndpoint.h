#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QTimer>

#include "NODEMESSAGE_ClassNodeMsgTx.h"
#include "SIM_ClassBootLoader.h"
#include "Types.h"

class CLASS_SIM_DEVICE;
class CLASS_SIM_LINK_SESSION;

// The device's node-message layer on one link. Received messages for the
// device's node are checked (CRC-8), acknowledged when asked for, and their
// TBP frames handed to the boot loader; the answers leave through the
// transmitter, with acknowledgement requested, from the device's node to node
// 0, one at a time: the next leaves when the host acknowledged the previous one
// (or it was given up), so a long check never floods the link, and a new
// command (ABORT above all) drops what has not left yet. Each host updater numbers its messages from 0 again
// and a UDP link shows no reopen, so a type-1 message whose order was already seen starts a new conversation;
// only a type-2 repetition of a handled order is dropped.
class CLASS_SIM_NODE_ENDPOINT : public QObject
{
    Q_OBJECT
public:
    static constexpr Byte HOST_NODE_ADDRESS = 0;
    // Delivered orders kept per sender, and how many of the oldest go past that.
    static constexpr int HISTORY_MAX = 100;
    static constexpr int HISTORY_TRIM = 50;

    CLASS_SIM_NODE_ENDPOINT(CLASS_SIM_DEVICE* device, CLASS_SIM_LINK_SESSION* session);

public slots:
    // One whole message as received: 1B 02, escaped content, 1B 03.
    void HandleFrame(const QByteArray& frame);
    // The link was closed and opened again: what was delivered is forgotten.
    void Restart();

private:
    void SendFramed(const QByteArray& data);
    // Sends the next reply when none awaits its acknowledgement.
    void Pump();

    CLASS_SIM_DEVICE* m_Device;
    CLASS_SIM_LINK_SESSION* m_Session;
    CLASS_NODEMESSAGE_TX m_Transmitter;
    QHash<Byte, QList<Word>> m_History;
    // Replies not sent yet; after them, the boot loader's check answers, made on demand.
    QList<T_SIM_TBP_REPLY> m_Outgoing;
    Bool m_CorruptNext = false; // the CRC fault hits the next reply that leaves
    // Looks again while a reply is in flight: one given up frees the link too.
    QTimer m_PumpTimer;

    // What the next frame emitted by the transmitter is, for the event log and the CRC fault.
    QString m_OutgoingKind;
    QString m_OutgoingCommand;
    QJsonObject m_OutgoingAttributes;
    Bool m_CorruptOutgoing = false;
};
