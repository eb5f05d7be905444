#include "SIM_ClassLinkSession.h"

#include <QList>

#include "SIM_ClassDevice.h"

namespace
{
const char ESCAPE = 0x1B;
const char FRAME_START = 0x02;
const char FRAME_END = 0x03;

const char* const SAMBA_LINE_END = "\n\r";
const char* const SAMBA_PROMPT = "\n\r>";
const char* const SAMBA_VERSION = "v1.1 QRN207-SIM SAM-BA monitor";

// "S20000000,00000100#" → letter 'S' and the fields 0x20000000, 0x100.
Bool ParseSambaFields(const QByteArray& text, QList<QWord>& fields)
{
    fields.clear();
    if (text.isEmpty())
        return true;
    for (const QByteArray& part : text.split(','))
    {
        bool ok = false;
        const QByteArray digits = part.trimmed();
        const QWord value = digits.toULongLong(&ok, 16);
        if (digits.isEmpty() || !ok || value > 0xFFFFFFFFu)
            return false;
        fields.append(value);
    }
    return true;
}

QJsonObject AddressAttributes(QWord address, QWord length)
{
    QJsonObject attributes;
    attributes.insert(QStringLiteral("address"),
                      QStringLiteral("0x%1").arg(address, 8, 16, QLatin1Char('0')));
    attributes.insert(QStringLiteral("length"), double(length));
    return attributes;
}
} // namespace

CLASS_SIM_LINK_SESSION::CLASS_SIM_LINK_SESSION(CLASS_SIM_DEVICE* device, const QString& linkName, Bool samba,
                                               QObject* parent)
    : QObject(parent), m_Device(device), m_LinkName(linkName), m_Samba(samba)
{
}

void CLASS_SIM_LINK_SESSION::FeedHeld()
{
    const QByteArray held = m_Held;
    m_Held.clear();
    if (!held.isEmpty())
        Feed(held);
}

void CLASS_SIM_LINK_SESSION::Restart()
{
    m_Buffer.clear();
    m_Held.clear();
    m_TerminalMode = false;
    m_RawRemaining = 0;
    m_RawData.clear();
    m_RawKept = false;
    emit SIGNAL_Restarted();
}

void CLASS_SIM_LINK_SESSION::Feed(const QByteArray& bytes)
{
    if (m_Device->IsPoweredOff())
        return;
    if (m_Device->IsBusy())
    {
        const int room = MAX_HELD_BYTES - m_Held.size();
        if (bytes.size() > room)
            LogReceived(QStringLiteral("link"), QStringLiteral("OVERRUN"),
                        QJsonObject{{QStringLiteral("lost"), bytes.size() - qMax(room, 0)}});
        m_Held.append(bytes.left(qMax(room, 0)));
        return;
    }
    m_Buffer.append(bytes);
    for (;;)
    {
        if (m_RawRemaining > 0)
        {
            TakeRawData();
            if (m_RawRemaining > 0)
                break;
        }
        if (m_Buffer.isEmpty())
            break;
        const Bool progressed = m_Buffer.at(0) == ESCAPE ? TakeNodeFrame() : TakeText();
        if (!progressed)
            break;
    }
}

void CLASS_SIM_LINK_SESSION::DropGarbage(int count, const char* why)
{
    QJsonObject attributes;
    attributes.insert(QStringLiteral("size"), count);
    attributes.insert(QStringLiteral("bytes"), CLASS_SIM_EVENT_LOG::Bytes(m_Buffer.left(count)));
    LogReceived(QStringLiteral("garbage"), QString::fromLatin1(why), attributes);
    m_Buffer.remove(0, count);
}

Bool CLASS_SIM_LINK_SESSION::TakeNodeFrame()
{
    const int size = m_Buffer.size();
    if (size < 2)
        return false;
    if (m_Buffer.at(1) != FRAME_START)
    {
        DropGarbage(1, "STRAY_ESCAPE");
        return true;
    }
    for (int i = 2; i < size; ++i)
    {
        if (m_Buffer.at(i) != ESCAPE)
            continue;
        if (i + 1 >= size)
            break;
        const char next = m_Buffer.at(i + 1);
        if (next == ESCAPE)
        {
            ++i;
            continue;
        }
        if (next == FRAME_END)
        {
            const QByteArray frame = m_Buffer.left(i + 2);
            m_Buffer.remove(0, i + 2);
            if (receivers(SIGNAL(SIGNAL_NodeFrame(QByteArray))) > 0)
                emit SIGNAL_NodeFrame(frame);
            else
                LogReceived(QStringLiteral("node"), QStringLiteral("FRAME"),
                            QJsonObject{{QStringLiteral("bytes"), CLASS_SIM_EVENT_LOG::Bytes(frame)}});
            return true;
        }
        // A new start or an unknown escape breaks the message: drop what came before.
        DropGarbage(next == FRAME_START ? i : i + 2, "BROKEN_NODE_MESSAGE");
        return true;
    }
    if (size > MAX_NODE_FRAME_BYTES)
    {
        DropGarbage(size, "NODE_MESSAGE_TOO_LONG");
        return true;
    }
    return false;
}

Bool CLASS_SIM_LINK_SESSION::TakeText()
{
    const int size = m_Buffer.size();
    for (int i = 0; i < size; ++i)
    {
        const char c = m_Buffer.at(i);
        if (c == ESCAPE)
        {
            DropGarbage(i, "UNFINISHED_TEXT");
            return true;
        }
        if (c == '\n' || (m_Samba && c == '#'))
        {
            const QByteArray token = m_Buffer.left(i + 1);
            m_Buffer.remove(0, i + 1);
            if (c == '\n')
                HandleLine(token);
            else
                HandleSambaCommand(token);
            return true;
        }
        if (i + 1 >= MAX_TEXT_BYTES)
        {
            DropGarbage(i + 1, "TEXT_TOO_LONG");
            return true;
        }
    }
    return false;
}

void CLASS_SIM_LINK_SESSION::TakeRawData()
{
    const int count = int(qMin<QWord>(m_RawRemaining, QWord(m_Buffer.size())));
    if (m_RawKept)
        m_RawData.append(m_Buffer.constData(), count);
    m_Buffer.remove(0, count);
    m_RawRemaining -= QWord(count);
    if (m_RawRemaining > 0)
        return;
    QJsonObject attributes = AddressAttributes(m_RawAddress, QWord(m_RawData.size()));
    attributes.insert(QStringLiteral("bytes"), CLASS_SIM_EVENT_LOG::Bytes(m_RawData));
    if (!m_RawKept || !m_Device->Memory().WriteRam(m_RawAddress, m_RawData))
        attributes.insert(QStringLiteral("stored"), false);
    LogReceived(QStringLiteral("samba"), QStringLiteral("DATA"), attributes);
    m_RawData.clear();
    m_RawKept = false;
}

void CLASS_SIM_LINK_SESSION::LogReceived(const QString& kind, const QString& command,
                                         const QJsonObject& attributes)
{
    m_Device->Log().Write(m_LinkName, "rx", kind, command, attributes);
}

void CLASS_SIM_LINK_SESSION::Reply(const QString& kind, const QString& command, const QByteArray& data,
                                   QJsonObject attributes)
{
    if (data.isEmpty())
        return;
    attributes.insert(QStringLiteral("bytes"), CLASS_SIM_EVENT_LOG::Bytes(data));
    m_Device->Log().Write(m_LinkName, "tx", kind, command, attributes);
    emit SIGNAL_Send(data);
}

void CLASS_SIM_LINK_SESSION::HandleLine(const QByteArray& line)
{
    const QByteArray text = line.trimmed();
    if (text.isEmpty())
        return;
    const Bool reset = text == CLASS_SIM_DEVICE::RESET_REQUEST;
    const Bool version = !reset && text.split(',').last() == CLASS_SIM_DEVICE::VERSION_REQUEST;
    const QString kind = reset     ? QStringLiteral("reset")
                         : version ? QStringLiteral("version")
                                   : QStringLiteral("text");
    const QString command = reset     ? QStringLiteral("RESET_REQUEST")
                            : version ? QStringLiteral("VERSION_REQUEST")
                                      : QStringLiteral("UNKNOWN");
    QJsonObject attributes{{QStringLiteral("text"), QString::fromLatin1(text.toPercentEncoding(" ,.:;#"))}};
    if (!reset && !version)
    {
        LogReceived(kind, command, attributes);
        return;
    }
    if (m_Device->OnlyRomMonitor())
    {
        // Nothing but the ROM monitor runs: no firmware to answer.
        attributes.insert(QStringLiteral("rom_monitor"), true);
        LogReceived(kind, command, attributes);
        return;
    }
    const Bool answer = m_Device->Faults().CountFrameAndAnswer();
    if (!answer)
        attributes.insert(QStringLiteral("silenced"), true);
    LogReceived(kind, command, attributes);
    if (!answer)
        return;
    if (reset)
    {
        const QByteArray reply = m_Device->ResetAnswer(m_LinkName);
        Reply(kind,
              reply.endsWith(CLASS_SIM_DEVICE::RESET_ACCEPTED) ? QStringLiteral("RESET_ACCEPTED")
                                                               : QStringLiteral("RESET_REFUSED"),
              reply);
    }
    else
        Reply(kind, QStringLiteral("VERSION_ANSWER"), m_Device->VersionAnswer(),
              QJsonObject{{QStringLiteral("version"), double(m_Device->Options().DeviceVersion)}});
}

QByteArray CLASS_SIM_LINK_SESSION::Prompt() const
{
    return m_TerminalMode ? QByteArray(SAMBA_PROMPT) : QByteArray();
}

void CLASS_SIM_LINK_SESSION::HandleSambaCommand(const QByteArray& token)
{
    // Line ends between commands are tolerated, as the monitor does.
    const QByteArray command = token.trimmed();
    const char letter = command.isEmpty() ? '#' : command.at(0);
    QList<QWord> fields;
    const Bool parsed = command.size() >= 2 && ParseSambaFields(command.mid(1, command.size() - 2), fields);
    const QString name = QStringLiteral("SAMBA_") + QLatin1Char(letter == '#' ? '_' : letter);
    QJsonObject attributes{{QStringLiteral("text"), QString::fromLatin1(command.toPercentEncoding(",#"))}};
    if (!parsed)
    {
        LogReceived(QStringLiteral("samba"), QStringLiteral("BAD_COMMAND"), attributes);
        return;
    }
    const Bool answer = m_Device->Faults().CountFrameAndAnswer();
    if (!answer)
        attributes.insert(QStringLiteral("silenced"), true);
    auto field = [&](int index) { return index < fields.size() ? fields.at(index) : QWord(0); };
    CLASS_SIM_DEVICE_MEMORY& memory = m_Device->Memory();
    QByteArray reply;
    switch (letter)
    {
    case 'T':
        m_TerminalMode = true;
        reply = QByteArray(SAMBA_LINE_END) + SAMBA_PROMPT;
        break;
    case 'N':
        m_TerminalMode = false;
        reply = SAMBA_LINE_END;
        break;
    case 'V':
        reply = QByteArray(SAMBA_VERSION) + SAMBA_LINE_END + Prompt();
        break;
    case 'S':
        // The raw bytes follow whatever the answer: the stream must stay in step.
        attributes = AddressAttributes(field(0), field(1));
        m_RawAddress = DWord(field(0));
        m_RawRemaining = field(1);
        m_RawKept = m_RawRemaining <= CLASS_SIM_DEVICE_MEMORY::MAX_CONTENT_SIZE;
        m_RawData.clear();
        reply = Prompt();
        break;
    case 'G':
        attributes = AddressAttributes(field(0), 0);
        attributes.insert(QStringLiteral("loaded"), memory.RamHoldsAddress(DWord(field(0))));
        if (memory.RamHoldsAddress(DWord(field(0))))
            m_Device->StartRamBootLoader(m_LinkName);
        reply = Prompt();
        break;
    case 'R':
        reply = memory.ReadRam(DWord(field(0)), DWord(qMin<QWord>(field(1), MAX_SAMBA_READ))) + Prompt();
        break;
    case 'W':
    case 'H':
    case 'O':
    {
        const int width = letter == 'W' ? 4 : letter == 'H' ? 2 : 1;
        QByteArray value;
        for (int i = 0; i < width; ++i)
            value.append(char((field(1) >> (8 * i)) & 0xFF));
        memory.WriteRam(DWord(field(0)), value);
        reply = Prompt();
        break;
    }
    case 'w':
    case 'h':
    case 'o':
    {
        const int width = letter == 'w' ? 4 : letter == 'h' ? 2 : 1;
        const QByteArray bytes = memory.ReadRam(DWord(field(0)), DWord(width));
        DWord value = 0;
        for (int i = width - 1; i >= 0; --i)
            value = (value << 8) | Byte(bytes.at(i));
        reply = "0x" + QByteArray::number(value, 16).rightJustified(2 * width, '0').toUpper() +
                SAMBA_LINE_END + Prompt();
        break;
    }
    default:
        LogReceived(QStringLiteral("samba"), QStringLiteral("UNKNOWN_COMMAND"), attributes);
        return;
    }
    LogReceived(QStringLiteral("samba"), name, attributes);
    if (letter == 'S' && m_RawRemaining == 0)
        TakeRawData(); // an empty write is complete at once
    if (answer)
        Reply(QStringLiteral("samba"), name, reply);
}
