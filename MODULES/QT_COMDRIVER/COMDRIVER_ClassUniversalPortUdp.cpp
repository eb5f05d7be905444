#include "COMDRIVER_ClassUniversalPortUdp.h"

#include "COMDRIVER_SocketErrorNames.h"
#include "Traces.h"

CLASS_UNIVERSALPORT_UDP::CLASS_UNIVERSALPORT_UDP(Bool receptionMode, const QString& portInfo, QObject* parent)
    : CLASS_UNIVERSALPORT(receptionMode, portInfo, parent), m_Socket(new QUdpSocket(this))
{
    qRegisterMetaType<QAbstractSocket::SocketError>("QAbstractSocket::SocketError");
    SocketErrorName(QAbstractSocket::UnknownSocketError);
    connect(m_Socket, &QUdpSocket::readyRead, this, &CLASS_UNIVERSALPORT_UDP::ReceiveDataFromPort);
    connect(m_Socket, &QUdpSocket::errorOccurred, this, &CLASS_UNIVERSALPORT_UDP::ErrorFromSocket);
}

CLASS_UNIVERSALPORT_UDP::~CLASS_UNIVERSALPORT_UDP()
{
    m_Socket->disconnect(this);
    Close();
}

Bool CLASS_UNIVERSALPORT_UDP::SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_UDP& settings)
{
    m_Settings = settings;
    return true;
}

void CLASS_UNIVERSALPORT_UDP::GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP& settings) const
{
    settings = m_Settings;
}

Bool CLASS_UNIVERSALPORT_UDP::GetDestination(QHostAddress& address, Word& port) const
{
    port = m_Settings.GetRemotePort();
    switch (m_Settings.GetTransmissionMode())
    {
    case CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_UNICAST:
    case CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_ANY_ADDRESS:
        address = m_Settings.GetRemoteAddress();
        return true;
    case CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_BROADCAST:
        address = QHostAddress(QHostAddress::Broadcast);
        return true;
    default:
        return false;
    }
}

Bool CLASS_UNIVERSALPORT_UDP::Open()
{
    Bool bound = false;
    const SDWord mode = m_Settings.GetTransmissionMode();
    // A null address (a text that was no IP address) would bind on every
    // interface, or send nowhere: the link is refused instead.
    const char* missing = nullptr;
    if (mode != CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_ANY_ADDRESS &&
        m_Settings.GetLocalAddress().isNull())
        missing = "local";
    else if (mode == CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_UNICAST &&
             m_Settings.GetRemoteAddress().isNull())
        missing = "remote";
    if (missing)
    {
        TraceError(TRACE_POS + "The " + missing + " address of " + GetPortInfo() +
                   " is not an IP address: the link is not opened");
        m_ConnectionState = CONNECTION_STATE_ERROR;
        SetConnectionState(CONNECTION_STATE_ERROR);
        return false;
    }
    switch (mode)
    {
    case CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_UNICAST:
    case CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_BROADCAST:
        bound = m_Socket->bind(m_Settings.GetLocalAddress(), m_Settings.GetLocalPort());
        break;
    case CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_ANY_ADDRESS:
        bound = m_Socket->bind(QHostAddress(QHostAddress::Any), m_Settings.GetLocalPort());
        break;
    default:
        TraceError(TRACE_POS + "Unknown UDP transmission mode");
        break;
    }
    if (!bound)
    {
        m_ConnectionState = CONNECTION_STATE_ERROR;
        TraceError(TRACE_POS + "Failed to bind with address: " + m_Settings.GetLocalAddress().toString() +
                   " port: " + QString::number(m_Settings.GetLocalPort()) +
                   ". Error: " + m_Socket->errorString());
        SetConnectionState(CONNECTION_STATE_ERROR);
        return false;
    }
    SetConnectionCounter(1);
    SetConnectionState(CONNECTION_STATE_CONNECTED);
    return true;
}

void CLASS_UNIVERSALPORT_UDP::Close()
{
    m_Socket->close();
    m_ConnectionState = CONNECTION_STATE_DISCONNECTED;
    m_ReceiveBuffer.clear();
    SetConnectionCounter(0);
    SetConnectionState(CONNECTION_STATE_DISCONNECTED);
}

Bool CLASS_UNIVERSALPORT_UDP::SendData(QByteArray dataToSend, QString portInfo)
{
    if (m_Socket->state() != QAbstractSocket::BoundState)
    {
        if (IsTxSpyEnabled())
            emit SIGNAL_TxSpyNewRefusedData(dataToSend, portInfo);
        TraceError(TRACE_POS + "Socket is not bound");
        return false;
    }
    QHostAddress address;
    Word port = 0;
    if (!GetDestination(address, port))
    {
        TraceError(TRACE_POS + "Unknown UDP transmission mode");
        return false;
    }
    const qint64 written = m_Socket->writeDatagram(dataToSend, address, port);
    const Bool result = written == dataToSend.size();
    EmitTxSpy(dataToSend, result, written, portInfo);
    return result;
}

namespace
{
// The largest payload of a UDP datagram over IPv4.
const int MAX_DATAGRAM_SIZE = 65507;
} // namespace

void CLASS_UNIVERSALPORT_UDP::ReceiveDataFromPort()
{
    // Every datagram waiting is taken in one go (a device answers a block with two),
    // each read at once into room for the largest one: no size query per datagram.
    if (m_ReadBuffer.size() != MAX_DATAGRAM_SIZE)
        m_ReadBuffer.resize(MAX_DATAGRAM_SIZE);
    while (m_Socket->hasPendingDatagrams())
    {
        const qint64 read = m_Socket->readDatagram(m_ReadBuffer.data(), m_ReadBuffer.size());
        if (read < 0)
            return;
        const QByteArray datagram(m_ReadBuffer.constData(), static_cast<int>(read));
        if (m_ReceptionMode)
            emit SIGNAL_NewDataAvailable(datagram, m_PortInfo);
        else
            m_ReceiveBuffer.append(datagram);
    }
}

void CLASS_UNIVERSALPORT_UDP::ErrorFromSocket(QAbstractSocket::SocketError error)
{
    m_ConnectionState = CONNECTION_STATE_ERROR;
    emit SIGNAL_ErrorFromPort(SocketErrorName(error));
    SetConnectionState(CONNECTION_STATE_ERROR);
}

void CLASS_UNIVERSALPORT_UDP::GetReceivedData(QByteArray& data, SDWord size, QString portInfo)
{
    Q_UNUSED(portInfo);
    CopyChunks(m_ReceiveBuffer, data, size);
}

Bool CLASS_UNIVERSALPORT_UDP::HasDataAvailable(QString portInfo)
{
    Q_UNUSED(portInfo);
    return !m_ReceptionMode && !m_ReceiveBuffer.isEmpty();
}

void CLASS_UNIVERSALPORT_UDP::ConsumeData(SDWord sizeToConsume, QString portInfo)
{
    Q_UNUSED(portInfo);
    if (m_ReceptionMode)
        return;
    ConsumeChunks(m_ReceiveBuffer, sizeToConsume);
}
