#include "SIM_ClassNodeEndpoint.h"

#include "SIM_ClassBootLoader.h"
#include "SIM_ClassDevice.h"
#include "SIM_ClassLinkSession.h"

namespace
{
// The device answers at once and never repeats: the host gives up after its own time-out.
const DWord ANSWER_TIMEOUT_MS = CLASS_NODEMESSAGE_TX::DEFAULT_ANSWER_TIMEOUT_MS;
const Byte NO_REPETITION = 0;
// How often the queue is looked at while a reply is in flight.
const int PUMP_INTERVAL_MS = 100;

QByteArray Unescape(const QByteArray& frame)
{
    QByteArray content;
    content.reserve(frame.size());
    // Between the 1B 02 and 1B 03 markers, every 1B is doubled (the session checked it).
    for (int i = 2; i < frame.size() - 2; ++i)
    {
        content.append(frame.at(i));
        if (Byte(frame.at(i)) == NODE_MSG_ESCAPE)
            ++i;
    }
    return content;
}

QJsonObject NodeAttributes(Byte source, Byte destination, Byte type, Word order)
{
    return QJsonObject{{QStringLiteral("source"), source},
                       {QStringLiteral("destination"), destination},
                       {QStringLiteral("type"), type},
                       {QStringLiteral("order"), order}};
}
} // namespace

CLASS_SIM_NODE_ENDPOINT::CLASS_SIM_NODE_ENDPOINT(CLASS_SIM_DEVICE* device, CLASS_SIM_LINK_SESSION* session)
    : QObject(session), m_Device(device), m_Session(session),
      m_Transmitter(device->Options().NodeAddress, ANSWER_TIMEOUT_MS, false, this)
{
    connect(session, &CLASS_SIM_LINK_SESSION::SIGNAL_NodeFrame, this, &CLASS_SIM_NODE_ENDPOINT::HandleFrame);
    connect(session, &CLASS_SIM_LINK_SESSION::SIGNAL_Restarted, this, &CLASS_SIM_NODE_ENDPOINT::Restart);
    connect(device, &CLASS_SIM_DEVICE::SIGNAL_Restarted, this, &CLASS_SIM_NODE_ENDPOINT::Restart);
    // The answer held by the flash leaves first, then what came meanwhile is taken in.
    connect(device, &CLASS_SIM_DEVICE::SIGNAL_Ready, this,
            [this]()
            {
                Pump();
                m_Session->FeedHeld();
            });
    connect(&m_Transmitter, &CLASS_NODEMESSAGE_TX::SIGNAL_SendDataOnCom, this,
            &CLASS_SIM_NODE_ENDPOINT::SendFramed);
    m_PumpTimer.setInterval(PUMP_INTERVAL_MS);
    connect(&m_PumpTimer, &QTimer::timeout, this, &CLASS_SIM_NODE_ENDPOINT::Pump);
}

void CLASS_SIM_NODE_ENDPOINT::Restart()
{
    m_History.clear();
    m_Outgoing.clear();
    m_CorruptNext = false;
    m_Transmitter.DropPending();
    m_PumpTimer.stop();
}

void CLASS_SIM_NODE_ENDPOINT::Pump()
{
    if (m_Device->IsPoweredOff())
    {
        m_PumpTimer.stop();
        return;
    }
    // The answer of a command leaves once the flash is done (SIGNAL_Ready pumps again).
    if (m_Device->IsBusy())
        return;
    CLASS_SIM_BOOT_LOADER& bootLoader = m_Device->BootLoader();
    if (m_Transmitter.GetPendingCount() == 0 && (!m_Outgoing.isEmpty() || bootLoader.HasCheckReply()))
    {
        const T_SIM_TBP_REPLY reply =
            !m_Outgoing.isEmpty() ? m_Outgoing.takeFirst() : bootLoader.TakeCheckReply();
        m_OutgoingKind = QStringLiteral("tbp");
        m_OutgoingCommand = reply.Command;
        m_OutgoingAttributes = reply.Attributes;
        m_CorruptOutgoing = m_CorruptNext;
        m_CorruptNext = false;
        m_Transmitter.SendMessage(HOST_NODE_ADDRESS, NODE_MSG_TYPE_WITH_ACK, reply.Frame, NO_REPETITION);
    }
    const Bool more = !m_Outgoing.isEmpty() || bootLoader.HasCheckReply();
    if (more && !m_PumpTimer.isActive())
        m_PumpTimer.start();
    else if (!more)
        m_PumpTimer.stop();
}

void CLASS_SIM_NODE_ENDPOINT::SendFramed(const QByteArray& data)
{
    QByteArray frame = data;
    QJsonObject attributes = m_OutgoingAttributes;
    if (m_CorruptOutgoing)
    {
        QByteArray content = Unescape(frame);
        content[content.size() - 1] = char(content.at(content.size() - 1) ^ 0xFF);
        frame = CLASS_NODEMESSAGE_TX::EscapeAndMark(content);
        attributes.insert(QStringLiteral("fault"), QStringLiteral("bad crc"));
        m_CorruptOutgoing = false;
    }
    m_Session->Reply(m_OutgoingKind.isEmpty() ? QStringLiteral("node") : m_OutgoingKind,
                     m_OutgoingCommand.isEmpty() ? QStringLiteral("REPEAT") : m_OutgoingCommand, frame,
                     attributes);
    m_OutgoingKind.clear();
    m_OutgoingCommand.clear();
    m_OutgoingAttributes = QJsonObject();
}

void CLASS_SIM_NODE_ENDPOINT::HandleFrame(const QByteArray& frame)
{
    const QByteArray content = Unescape(frame);
    if (content.size() < NODE_MSG_HEADER_SIZE + 1)
    {
        m_Session->LogReceived(QStringLiteral("node"), QStringLiteral("TOO_SHORT"),
                               QJsonObject{{QStringLiteral("bytes"), CLASS_SIM_EVENT_LOG::Bytes(frame)}});
        return;
    }
    const Byte crc = Byte(content.at(content.size() - 1));
    const Byte computed = CLASS_NODEMESSAGE_TX::ComputeCrc8(content.constData(), content.size() - 1);
    if (crc != computed)
    {
        m_Session->LogReceived(QStringLiteral("node"), QStringLiteral("BAD_CRC"),
                               QJsonObject{{QStringLiteral("received"), crc},
                                           {QStringLiteral("computed"), computed},
                                           {QStringLiteral("bytes"), CLASS_SIM_EVENT_LOG::Bytes(frame)}});
        return;
    }
    const Byte source = Byte(content.at(0));
    const Byte destination = Byte(content.at(1));
    const Byte type = Byte(content.at(2));
    const Word order = Word((Byte(content.at(3)) << 8) | Byte(content.at(4)));
    const QByteArray payload = content.mid(NODE_MSG_HEADER_SIZE, content.size() - NODE_MSG_HEADER_SIZE - 1);
    QJsonObject attributes = NodeAttributes(source, destination, type, order);

    if (destination != m_Device->Options().NodeAddress)
    {
        m_Session->LogReceived(QStringLiteral("node"), QStringLiteral("OTHER_NODE"), attributes);
        return;
    }
    if (type == NODE_MSG_TYPE_ACK)
    {
        if (payload.size() >= 2)
        {
            const Word acknowledged = Word((Byte(payload.at(0)) << 8) | Byte(payload.at(1)));
            attributes.insert(QStringLiteral("acknowledged"), acknowledged);
            m_Transmitter.ReceivedAck(acknowledged);
        }
        m_Session->LogReceived(QStringLiteral("node"), QStringLiteral("NODE_ACK"), attributes);
        Pump();
        return;
    }
    if (type > NODE_MSG_TYPE_ACK)
    {
        m_Session->LogReceived(QStringLiteral("node"), QStringLiteral("UNKNOWN_TYPE"), attributes);
        return;
    }

    const QString command = CLASS_SIM_BOOT_LOADER::CommandName(payload);
    const QString logged = command.isEmpty() ? QStringLiteral("NO_TBP") : command;
    CLASS_SIM_FAULT_PLAN& faults = m_Device->Faults();
    const QJsonObject tbp = CLASS_SIM_BOOT_LOADER::DescribeFrame(payload);
    for (auto it = tbp.constBegin(); it != tbp.constEnd(); ++it)
        attributes.insert(it.key(), it.value());
    if (m_Device->OnlyRomMonitor())
    {
        // The resident boot loader is torn: only the ROM monitor runs, and it knows no node message.
        attributes.insert(QStringLiteral("rom_monitor"), true);
        m_Session->LogReceived(QStringLiteral("tbp"), logged, attributes);
        return;
    }
    if (!faults.CountFrameAndAnswer())
    {
        attributes.insert(QStringLiteral("silenced"), true);
        m_Session->LogReceived(QStringLiteral("tbp"), logged, attributes);
        return;
    }

    Bool deliver = true;
    if (type != NODE_MSG_TYPE_NO_ACK)
    {
        QList<Word>& history = m_History[source];
        if (history.contains(order))
        {
            if (type == NODE_MSG_TYPE_REPEAT)
            {
                deliver = false;
                attributes.insert(QStringLiteral("repetition"), true);
            }
            else
            {
                // A new updater on the host: its numbering starts again.
                history.clear();
                attributes.insert(QStringLiteral("new_conversation"), true);
            }
        }
        if (deliver)
        {
            history.append(order);
            if (history.size() > HISTORY_MAX)
                history.erase(history.begin(), history.begin() + HISTORY_TRIM);
        }
    }
    const Bool loseAck = type != NODE_MSG_TYPE_NO_ACK && faults.TakeLoseAck(command);
    if (loseAck)
        attributes.insert(QStringLiteral("fault"), QStringLiteral("ack lost"));
    m_Session->LogReceived(QStringLiteral("tbp"), logged, attributes);

    if (type != NODE_MSG_TYPE_NO_ACK && !loseAck)
    {
        m_OutgoingKind = QStringLiteral("node");
        m_OutgoingCommand = QStringLiteral("NODE_ACK");
        m_OutgoingAttributes = QJsonObject{{QStringLiteral("acknowledged"), order}};
        m_Transmitter.SendAck(source, order);
    }
    if (!deliver)
        return;
    m_CorruptNext = faults.TakeBadCrc(command);
    // A new command ends whatever the previous one still had to say.
    m_Outgoing = m_Device->BootLoader().Handle(payload, m_Session->LinkName());
    // Taken in (a block written, an erase begun), then the power fails before any answer.
    if (faults.TakePowerCut(command))
    {
        m_Device->CutPower(m_Session->LinkName(), logged);
        return;
    }
    Pump();
}
