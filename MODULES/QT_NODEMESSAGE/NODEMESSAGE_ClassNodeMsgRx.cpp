#include "NODEMESSAGE_ClassNodeMsgRx.h"

#include <QMetaType>

#include "Traces.h"

namespace
{
Word ReadOrder(const QByteArray& data, int index)
{
    return static_cast<Word>((static_cast<Byte>(data.at(index)) << 8) |
                             static_cast<Byte>(data.at(index + 1)));
}

// Traces of reception carry the name of the entry point, whatever helper found the fault.
QString ReceptionPosition(int line)
{
    return TracePosition(__FILE__, "DecodeReceivedData", line);
}
} // namespace

CLASS_NODEMESSAGE_RX::CLASS_NODEMESSAGE_RX(Byte nodeAddress, CLASS_NODEMESSAGE_TX* linkedTransmitter,
                                           Bool deliverOnce, Bool deliverForeign, QObject* parent)
    : QObject(parent), m_NodeAddress(nodeAddress), m_LinkedTransmitter(linkedTransmitter),
      m_DeliverOnce(deliverOnce), m_DeliverForeign(deliverForeign)
{
    qRegisterMetaType<Byte>("Byte");
}

CLASS_NODEMESSAGE_RX::~CLASS_NODEMESSAGE_RX() = default;

void CLASS_NODEMESSAGE_RX::ClearNodeHistory(Byte node)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_History.remove(node);
}

DWord CLASS_NODEMESSAGE_RX::GetReceivedCount() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_ReceivedCount;
}

int CLASS_NODEMESSAGE_RX::GetBufferedSize() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Buffer.size() + (m_PendingEscape ? 1 : 0);
}

void CLASS_NODEMESSAGE_RX::DropMessage(const QString& reason, int line)
{
    TraceError(ReceptionPosition(line) + reason);
    m_Buffer.clear();
    m_InMessage = false;
}

void CLASS_NODEMESSAGE_RX::DecodeReceivedData(QByteArray data)
{
    QList<T_ACTION> actions;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        for (const char raw : data)
        {
            const Byte byte = static_cast<Byte>(raw);
            if (!m_InMessage)
            {
                // Hunting: only a start marker matters; 1B 1B 02 still starts at the second 1B.
                if (m_PendingEscape && byte == NODE_MSG_START)
                {
                    m_InMessage = true;
                    m_PendingEscape = false;
                    m_Buffer.clear();
                }
                else
                {
                    m_PendingEscape = byte == NODE_MSG_ESCAPE;
                }
                continue;
            }
            if (m_PendingEscape)
            {
                m_PendingEscape = false;
                if (byte == NODE_MSG_ESCAPE)
                {
                    m_Buffer.append(raw);
                }
                else if (byte == NODE_MSG_END)
                {
                    const QByteArray message = m_Buffer;
                    m_Buffer.clear();
                    m_InMessage = false;
                    HandleMessage(message, actions);
                    continue;
                }
                else if (byte == NODE_MSG_START)
                {
                    TraceError(ReceptionPosition(__LINE__) +
                               "Message dropped: start marker before its end marker");
                    m_Buffer.clear();
                    continue;
                }
                else
                {
                    DropMessage("Message dropped: invalid escape sequence 0x1B 0x" +
                                    QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0')),
                                __LINE__);
                    continue;
                }
            }
            else if (byte == NODE_MSG_ESCAPE)
            {
                m_PendingEscape = true;
                continue;
            }
            else
            {
                m_Buffer.append(raw);
            }
            if (m_Buffer.size() > MAX_MESSAGE_SIZE)
                DropMessage("Message dropped: no end marker within " + QString::number(MAX_MESSAGE_SIZE) +
                                " bytes",
                            __LINE__);
        }
    }

    for (const T_ACTION& action : actions)
    {
        switch (action.kind)
        {
        case ACTION_DELIVER:
            emit SIGNAL_NewMsgAvailable(action.data, action.node);
            break;
        case ACTION_SEND_ACK:
            m_LinkedTransmitter->SendAck(action.node, action.order);
            break;
        case ACTION_RECEIVED_ACK:
            m_LinkedTransmitter->ReceivedAck(action.order);
            break;
        case ACTION_FORWARD:
            m_LinkedTransmitter->ForwardMessage(action.data);
            break;
        }
    }
}

void CLASS_NODEMESSAGE_RX::HandleMessage(const QByteArray& message, QList<T_ACTION>& actions)
{
    if (message.isEmpty())
    {
        TraceError(ReceptionPosition(__LINE__) + "Data size is incorrect and less than 5 bytes");
        return;
    }
    const Byte received = static_cast<Byte>(message.at(message.size() - 1));
    const Byte computed = CLASS_NODEMESSAGE_TX::ComputeCrc8(message.constData(), message.size() - 1);
    if (received != computed)
    {
        TraceError(ReceptionPosition(__LINE__) +
                   "CRC Failed between message CRC : " + QString::number(static_cast<SByte>(received)) +
                   " and calculate CRC : " + QString::number(static_cast<SByte>(computed)));
        return;
    }
    const QByteArray body = message.left(message.size() - 1);
    if (body.size() < NODE_MSG_HEADER_SIZE)
    {
        TraceError(ReceptionPosition(__LINE__) + "Data size is incorrect and less than 5 bytes");
        return;
    }
    ++m_ReceivedCount;
    const Byte source = static_cast<Byte>(body.at(0));
    const Byte destination = static_cast<Byte>(body.at(1));
    if (destination == m_NodeAddress)
    {
        ExecuteMsgType(body, actions);
        return;
    }
    if (m_LinkedTransmitter)
        actions.append({ACTION_FORWARD, CLASS_NODEMESSAGE_TX::EscapeAndMark(message), destination, 0});
    if (m_DeliverForeign)
        actions.append({ACTION_DELIVER, body.mid(NODE_MSG_HEADER_SIZE), source, 0});
}

void CLASS_NODEMESSAGE_RX::ExecuteMsgType(const QByteArray& message, QList<T_ACTION>& actions)
{
    const Byte source = static_cast<Byte>(message.at(0));
    const Byte type = static_cast<Byte>(message.at(2));
    const Word order = ReadOrder(message, 3);
    switch (type)
    {
    case NODE_MSG_TYPE_NO_ACK:
        actions.append({ACTION_DELIVER, message.mid(NODE_MSG_HEADER_SIZE), source, 0});
        break;
    case NODE_MSG_TYPE_WITH_ACK:
    case NODE_MSG_TYPE_REPEAT:
    {
        if (m_LinkedTransmitter)
            actions.append({ACTION_SEND_ACK, QByteArray(), source, order});
        if (m_DeliverOnce)
        {
            QList<Word>& delivered = m_History[source];
            if (delivered.contains(order))
                break; // a repetition: acknowledged again, delivered once
            delivered.append(order);
            if (delivered.size() > HISTORY_MAX)
                delivered.erase(delivered.begin(), delivered.begin() + HISTORY_TRIM);
        }
        actions.append({ACTION_DELIVER, message.mid(NODE_MSG_HEADER_SIZE), source, 0});
        break;
    }
    case NODE_MSG_TYPE_ACK:
        if (message.size() < NODE_MSG_HEADER_SIZE + 2)
        {
            TraceError(TRACE_POS + "Received ack without order");
            break;
        }
        if (m_LinkedTransmitter)
            actions.append(
                {ACTION_RECEIVED_ACK, QByteArray(), source, ReadOrder(message, NODE_MSG_HEADER_SIZE)});
        break;
    default:
        TraceError(TRACE_POS + "Unknow Message data type");
        break;
    }
}
