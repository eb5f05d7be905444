#include "NODEMESSAGE_ClassNodeMsgTx.h"

#include <QThread>

#include "Traces.h"

namespace
{
struct T_CRC8_TABLE
{
    Byte values[256];
    T_CRC8_TABLE()
    {
        for (int i = 0; i < 256; ++i)
        {
            Byte crc = static_cast<Byte>(i);
            for (int bit = 0; bit < 8; ++bit)
                crc = static_cast<Byte>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
            values[i] = crc;
        }
    }
};
const T_CRC8_TABLE CRC8_TABLE;
} // namespace

CLASS_NODEMESSAGE_TX::CLASS_NODEMESSAGE_TX(Byte nodeAddress, DWord answerTimeoutMs, Bool oneAtATime,
                                           QObject* parent)
    : QObject(parent), m_NodeAddress(nodeAddress), m_AnswerTimeoutMs(answerTimeoutMs),
      m_OneAtATime(oneAtATime), m_RetryTimer(this)
{
    m_RetryTimer.setInterval(RETRY_TIMER_INTERVAL_MS);
    connect(&m_RetryTimer, &QTimer::timeout, this, &CLASS_NODEMESSAGE_TX::RetryTimerEvent);
}

CLASS_NODEMESSAGE_TX::~CLASS_NODEMESSAGE_TX() = default;

Byte CLASS_NODEMESSAGE_TX::ComputeCrc8(const char* data, int size)
{
    Byte crc = 0;
    for (int i = 0; i < size; ++i)
        crc = CRC8_TABLE.values[crc ^ static_cast<Byte>(data[i])];
    return crc;
}

QByteArray CLASS_NODEMESSAGE_TX::EscapeAndMark(const QByteArray& content)
{
    QByteArray framed;
    framed.reserve(content.size() + content.size() / 8 + 4);
    framed.append(static_cast<char>(NODE_MSG_ESCAPE));
    framed.append(static_cast<char>(NODE_MSG_START));
    for (char byte : content)
    {
        framed.append(byte);
        if (static_cast<Byte>(byte) == NODE_MSG_ESCAPE)
            framed.append(byte);
    }
    framed.append(static_cast<char>(NODE_MSG_ESCAPE));
    framed.append(static_cast<char>(NODE_MSG_END));
    return framed;
}

QByteArray CLASS_NODEMESSAGE_TX::FrameMessage(Byte source, Byte destination, Byte type, Word order,
                                              const QByteArray& payload)
{
    QByteArray content;
    content.reserve(NODE_MSG_HEADER_SIZE + payload.size() + 1);
    content.append(static_cast<char>(source));
    content.append(static_cast<char>(destination));
    content.append(static_cast<char>(type));
    content.append(static_cast<char>(order >> 8));
    content.append(static_cast<char>(order & 0xFF));
    content.append(payload);
    content.append(static_cast<char>(ComputeCrc8(content)));
    return EscapeAndMark(content);
}

Bool CLASS_NODEMESSAGE_TX::SendMessage(Byte destination, Byte type, const QByteArray& payload,
                                       Byte repetitions)
{
    if (type != NODE_MSG_TYPE_NO_ACK && type != NODE_MSG_TYPE_WITH_ACK)
    {
        TraceError(TRACE_POS + "Unsupported message type " + QString::number(type) +
                   " for Node : " + QString::number(destination));
        return false;
    }
    QByteArray frame;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        const Word order = m_NextOrder++;
        if (type == NODE_MSG_TYPE_NO_ACK)
        {
            frame = FrameMessage(m_NodeAddress, destination, type, order, payload);
        }
        else
        {
            T_PENDING_MESSAGE message;
            message.destination = destination;
            message.type = type;
            // A copy of its own: the caller's array may be shared with another thread.
            message.payload = QByteArray(payload.constData(), payload.size());
            message.repetitions = repetitions;
            message.sequence = m_NextSequence++;
            message.elapsed.start();
            message.sent = !(m_OneAtATime && HasMessageInFlight());
            if (message.sent)
                frame = FrameMessage(m_NodeAddress, destination, type, order, payload);
            m_Pending.insert(order, message);
        }
    }
    if (type == NODE_MSG_TYPE_WITH_ACK)
        QMetaObject::invokeMethod(this, "StartRetryTimer", Qt::AutoConnection);
    if (!frame.isEmpty())
        emit SIGNAL_SendDataOnCom(frame);
    return true;
}

void CLASS_NODEMESSAGE_TX::ReceivedAck(Word order)
{
    QByteArray frame;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Pending.remove(order) == 0)
            TraceError(TRACE_POS + "Received Ack for Unknow message for order : " + QString::number(order));
        frame = ReleaseNextWaiting();
    }
    if (!frame.isEmpty())
        emit SIGNAL_SendDataOnCom(frame);
}

void CLASS_NODEMESSAGE_TX::RestartAnswerTimers()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (T_PENDING_MESSAGE& message : m_Pending)
    {
        if (message.sent)
            message.elapsed.restart();
    }
}

void CLASS_NODEMESSAGE_TX::DropPending()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Pending.clear();
}

void CLASS_NODEMESSAGE_TX::SendAck(Byte destination, Word order)
{
    QByteArray payload;
    payload.append(static_cast<char>(order >> 8));
    payload.append(static_cast<char>(order & 0xFF));
    QByteArray frame;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        frame = FrameMessage(m_NodeAddress, destination, NODE_MSG_TYPE_ACK, m_NextOrder++, payload);
    }
    emit SIGNAL_SendDataOnCom(frame);
}

void CLASS_NODEMESSAGE_TX::ForwardMessage(const QByteArray& framedMessage)
{
    emit SIGNAL_SendDataOnCom(framedMessage);
}

Word CLASS_NODEMESSAGE_TX::GetNextOrder() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_NextOrder;
}

int CLASS_NODEMESSAGE_TX::GetPendingCount() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Pending.size();
}

DWord CLASS_NODEMESSAGE_TX::GetRepetitionCount() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_RepetitionCount;
}

bool CLASS_NODEMESSAGE_TX::HasMessageInFlight() const
{
    for (const T_PENDING_MESSAGE& message : m_Pending)
    {
        if (message.sent)
            return true;
    }
    return false;
}

QByteArray CLASS_NODEMESSAGE_TX::ReleaseNextWaiting()
{
    if (HasMessageInFlight())
        return QByteArray();
    auto next = m_Pending.end();
    for (auto it = m_Pending.begin(); it != m_Pending.end(); ++it)
    {
        if (!it->sent && (next == m_Pending.end() || it->sequence < next->sequence))
            next = it;
    }
    if (next == m_Pending.end())
        return QByteArray();
    next->sent = true;
    next->elapsed.restart();
    return FrameMessage(m_NodeAddress, next->destination, next->type, next.key(), next->payload);
}

void CLASS_NODEMESSAGE_TX::StartRetryTimer()
{
    if (!m_RetryTimer.isActive())
        m_RetryTimer.start();
}

void CLASS_NODEMESSAGE_TX::RetryTimerEvent()
{
    QList<QByteArray> frames;
    bool empty = false;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        bool givenUp = false;
        for (auto it = m_Pending.begin(); it != m_Pending.end();)
        {
            if (!it->sent || it->elapsed.elapsed() <= static_cast<qint64>(m_AnswerTimeoutMs))
            {
                ++it;
                continue;
            }
            if (it->repetitions == 0)
            {
                TraceError(TRACE_POS + "Timeout Order : " + QString::number(it.key()) +
                           " for Node : " + QString::number(it->destination));
                it = m_Pending.erase(it);
                givenUp = true;
                continue;
            }
            --it->repetitions;
            it->elapsed.restart();
            ++m_RepetitionCount;
            frames.append(
                FrameMessage(m_NodeAddress, it->destination, NODE_MSG_TYPE_REPEAT, it.key(), it->payload));
            ++it;
        }
        // A message given up must not hold back the ones queued behind it for ever.
        if (givenUp)
        {
            const QByteArray released = ReleaseNextWaiting();
            if (!released.isEmpty())
                frames.append(released);
        }
        empty = m_Pending.isEmpty();
    }
    if (empty)
        m_RetryTimer.stop();
    for (const QByteArray& frame : frames)
        emit SIGNAL_SendDataOnCom(frame);
}
