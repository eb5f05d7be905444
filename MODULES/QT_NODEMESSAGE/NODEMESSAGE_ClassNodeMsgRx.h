#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <mutex>

#include "NODEMESSAGE_ClassNodeMsgTx.h"
#include "Types.h"

// Receiver of node messages: takes the bytes of a link in chunks of any size, extracts every
// complete message, checks its CRC, acknowledges what asks for it (through the linked
// transmitter), delivers each payload once, and hands messages for other nodes to the linked
// transmitter to be sent on.
//
// The reception buffer stays bounded whatever arrives: bytes outside a start/end marker pair are
// dropped (a trailing 1B that may begin a marker is kept), and a message that grows past
// MAX_MESSAGE_SIZE bytes, or holds an escape followed by anything but 1B, 02 or 03, is dropped
// with an error trace; reception then starts again at the next start marker. A start marker
// inside a message drops the unfinished message and starts the new one.
class CLASS_NODEMESSAGE_RX : public QObject
{
    Q_OBJECT
public:
    static const int MAX_MESSAGE_SIZE = 64 * 1024; // unescaped bytes between the markers
    static const int HISTORY_MAX = 100;            // delivered order numbers kept per sender...
    static const int HISTORY_TRIM = 50;            // ...of which the oldest are dropped past the max

    // nodeAddress: own address; linkedTransmitter: sends acknowledgements and messages for other
    // nodes (may be null: then nothing is acknowledged nor sent on).
    // deliverOnce: a message repeated by its sender (type 1 then 2) is delivered once; when clear,
    // every copy is delivered (each is still acknowledged).
    // deliverForeign: messages for other nodes are also delivered here (after being sent on).
    // The boot loaders' updater uses (0, &its transmitter, true, false).
    CLASS_NODEMESSAGE_RX(Byte nodeAddress, CLASS_NODEMESSAGE_TX* linkedTransmitter, Bool deliverOnce = true,
                         Bool deliverForeign = false, QObject* parent = nullptr);
    ~CLASS_NODEMESSAGE_RX() override;

    // Forgets the order numbers delivered from node: its next messages are delivered whatever
    // their order numbers (used when a link is opened or closed).
    void ClearNodeHistory(Byte node);

    Byte GetNodeAddress() const { return m_NodeAddress; }
    DWord GetReceivedCount() const; // valid messages received (CRC and size correct)
    int GetBufferedSize() const;    // bytes held for an unfinished message

signals:
    // One payload and the address of its sender.
    void SIGNAL_NewMsgAvailable(QByteArray data, Byte nodeId);

public slots:
    // Appends a chunk of received bytes and handles every message completed by it.
    void DecodeReceivedData(QByteArray data);

private:
    enum T_ACTION_KIND
    {
        ACTION_DELIVER,
        ACTION_SEND_ACK,
        ACTION_RECEIVED_ACK,
        ACTION_FORWARD
    };
    struct T_ACTION
    {
        T_ACTION_KIND kind;
        QByteArray data;
        Byte node;
        Word order;
    };

    // Under the mutex; what must be done once it is released goes into actions.
    void HandleMessage(const QByteArray& message, QList<T_ACTION>& actions);
    void ExecuteMsgType(const QByteArray& message, QList<T_ACTION>& actions);
    void DropMessage(const QString& reason, int line);

    const Byte m_NodeAddress;
    CLASS_NODEMESSAGE_TX* const m_LinkedTransmitter;
    const Bool m_DeliverOnce;
    const Bool m_DeliverForeign;

    // Reception state: hunting for a start marker, or inside a message (unescaped so far).
    bool m_InMessage = false;
    bool m_PendingEscape = false;
    QByteArray m_Buffer;

    QHash<Byte, QList<Word>> m_History;
    DWord m_ReceivedCount = 0;
    mutable std::mutex m_Mutex; // std::mutex: visible to ThreadSanitizer
};
