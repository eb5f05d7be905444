#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QTimer>
#include <mutex>

#include "Types.h"

// Node messages: the link layer that carries every TBP frame.
//
// Message before escaping: source (1), destination (1), type (1), order number (2, high byte
// first), payload (n), CRC-8 (1) of all the bytes before it (polynomial 0x07, initial 0, no
// reflection, no final XOR). On the wire: 1B 02, the message with every 1B doubled, 1B 03.

enum T_NODE_MESSAGE_TYPE
{
    NODE_MSG_TYPE_NO_ACK = 0,   // message without acknowledgement
    NODE_MSG_TYPE_WITH_ACK = 1, // message with acknowledgement requested
    NODE_MSG_TYPE_REPEAT = 2,   // repetition of a type 1 message, emitted by the retry timer
    NODE_MSG_TYPE_ACK = 3       // acknowledgement; payload = the acknowledged order number
};

const Byte NODE_MSG_ESCAPE = 0x1B;
const Byte NODE_MSG_START = 0x02;
const Byte NODE_MSG_END = 0x03;
const int NODE_MSG_HEADER_SIZE = 5; // source, destination, type, order

// Transmitter: frames and numbers messages, keeps those awaiting acknowledgement and repeats
// them. Thread-safe: SendMessage, ReceivedAck, SendAck and ForwardMessage may be called from
// any thread; the retry timer runs on the object's thread. Signals are emitted outside the lock.
class CLASS_NODEMESSAGE_TX : public QObject
{
    Q_OBJECT
public:
    // Answer time-out used by the boot loaders' updater.
    static const DWord DEFAULT_ANSWER_TIMEOUT_MS = 3000;
    // Period of the retry check.
    static const int RETRY_TIMER_INTERVAL_MS = 100;

    // nodeAddress: own (source) address; answerTimeoutMs: time after which an unacknowledged
    // message is repeated or given up; oneAtATime: at most one message awaits its acknowledgement,
    // the others wait their turn and go in the order they were given.
    CLASS_NODEMESSAGE_TX(Byte nodeAddress, DWord answerTimeoutMs = DEFAULT_ANSWER_TIMEOUT_MS,
                         Bool oneAtATime = true, QObject* parent = nullptr);
    ~CLASS_NODEMESSAGE_TX() override;

    // type 0: framed and emitted at once. type 1: kept until acknowledged; repeated (type 2) up to
    // repetitions times after each time-out, then dropped with a trace. The order number advances
    // by one either way. Returns false (and traces) for any other type.
    Bool SendMessage(Byte destination, Byte type, const QByteArray& payload, Byte repetitions);

    // Acknowledgement received for order: the message leaves the table and, when nothing else
    // awaits its acknowledgement, the message that has waited longest goes out.
    void ReceivedAck(Word order);

    // The messages in flight get their whole answer time again, counted from now: the
    // thread was held on purpose (the target erases) and could not read their answers.
    void RestartAnswerTimers();

    // Forgets every message awaiting its acknowledgement or its turn (the peer restarted).
    void DropPending();

    // Sends the acknowledgement (type 3) of order to destination.
    void SendAck(Byte destination, Word order);

    // Emits an already framed message again (a message received for another node).
    void ForwardMessage(const QByteArray& framedMessage);

    Byte GetNodeAddress() const { return m_NodeAddress; }
    DWord GetAnswerTimeoutMs() const { return m_AnswerTimeoutMs; }
    Word GetNextOrder() const;
    int GetPendingCount() const; // messages kept for an acknowledgement, sent or waiting
    DWord GetRepetitionCount() const;

    // Framing helpers shared with the receiver and the tools.
    static Byte ComputeCrc8(const char* data, int size);
    static Byte ComputeCrc8(const QByteArray& data) { return ComputeCrc8(data.constData(), data.size()); }
    // Escaped message with its start and end markers, CRC added.
    static QByteArray FrameMessage(Byte source, Byte destination, Byte type, Word order,
                                   const QByteArray& payload);
    // Start marker, content with every 1B doubled, end marker.
    static QByteArray EscapeAndMark(const QByteArray& content);

signals:
    void SIGNAL_SendDataOnCom(QByteArray data);

public slots:
    void RetryTimerEvent();

private slots:
    void StartRetryTimer();

private:
    struct T_PENDING_MESSAGE
    {
        Byte destination = 0;
        Byte type = NODE_MSG_TYPE_WITH_ACK;
        Bool sent = false; // false: waiting for its turn (one at a time)
        QByteArray payload;
        QElapsedTimer elapsed;
        Byte repetitions = 0;
        quint64 sequence = 0; // order of arrival, to release the longest-waiting message first
    };

    // Under the mutex: the frame of the waiting message that goes next, or nothing.
    QByteArray ReleaseNextWaiting();
    bool HasMessageInFlight() const;

    const Byte m_NodeAddress;
    const DWord m_AnswerTimeoutMs;
    const Bool m_OneAtATime;
    Word m_NextOrder = 0;
    quint64 m_NextSequence = 0;
    DWord m_RepetitionCount = 0;
    QMap<Word, T_PENDING_MESSAGE> m_Pending;
    QTimer m_RetryTimer;
    mutable std::mutex m_Mutex; // std::mutex: visible to ThreadSanitizer
};
