#include "COMDRIVER_ClassUniversalPortTcpClient.h"

#include "COMDRIVER_SocketErrorNames.h"
#include "Traces.h"

CLASS_UNIVERSALPORT_TCP_CLIENT::CLASS_UNIVERSALPORT_TCP_CLIENT(Bool receptionMode, const QString& portInfo,
                                                               QObject* parent)
    : CLASS_UNIVERSALPORT(receptionMode, portInfo, parent), m_Socket(new QTcpSocket(this))
{
    qRegisterMetaType<QAbstractSocket::SocketError>("QAbstractSocket::SocketError");
    connect(m_Socket, &QTcpSocket::connected, this, &CLASS_UNIVERSALPORT_TCP_CLIENT::Connected);
    connect(m_Socket, &QTcpSocket::disconnected, this, &CLASS_UNIVERSALPORT_TCP_CLIENT::Disconnected);
    connect(m_Socket, &QTcpSocket::errorOccurred, this, &CLASS_UNIVERSALPORT_TCP_CLIENT::ErrorFromSocket);
    connect(m_Socket, &QTcpSocket::readyRead, this, &CLASS_UNIVERSALPORT_TCP_CLIENT::ReceiveDataFromPort);
}

CLASS_UNIVERSALPORT_TCP_CLIENT::~CLASS_UNIVERSALPORT_TCP_CLIENT()
{
    m_Socket->disconnect(this);
    Close();
}

Bool CLASS_UNIVERSALPORT_TCP_CLIENT::SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT& settings)
{
    m_Settings = settings;
    return true;
}

void CLASS_UNIVERSALPORT_TCP_CLIENT::GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT& settings) const
{
    settings = m_Settings;
}

Bool CLASS_UNIVERSALPORT_TCP_CLIENT::Open()
{
    // Open on an open (or opening) link keeps that session and its state: the
    // socket would ignore the request and no state change would ever follow.
    if (m_Socket->state() != QAbstractSocket::UnconnectedState)
        return true;
    m_Socket->connectToHost(m_Settings.GetAddress(), m_Settings.GetPort(), QIODevice::ReadWrite);
    SetConnectionState(CONNECTION_STATE_CONNECTING);
    return true;
}

void CLASS_UNIVERSALPORT_TCP_CLIENT::Connected()
{
    m_ConnectionState = CONNECTION_STATE_CONNECTED;
    SetConnectionCounter(1);
    SetConnectionState(CONNECTION_STATE_CONNECTED);
}

void CLASS_UNIVERSALPORT_TCP_CLIENT::Disconnected()
{
    // Close reports the end once itself.
    if (m_Closing)
        return;
    m_ConnectionState = CONNECTION_STATE_DISCONNECTED;
    SetConnectionCounter(0);
    SetConnectionState(CONNECTION_STATE_DISCONNECTED);
}

void CLASS_UNIVERSALPORT_TCP_CLIENT::Close()
{
    m_Closing = true;
    m_Socket->close();
    m_Closing = false;
    m_ReceiveBuffer.clear();
    Disconnected();
}

void CLASS_UNIVERSALPORT_TCP_CLIENT::ErrorFromSocket(QAbstractSocket::SocketError error)
{
    m_ConnectionState = CONNECTION_STATE_ERROR;
    emit SIGNAL_ErrorFromPort(SocketErrorName(error));
    SetConnectionState(CONNECTION_STATE_ERROR);
}

Bool CLASS_UNIVERSALPORT_TCP_CLIENT::SendData(QByteArray dataToSend, QString portInfo)
{
    if (m_Socket->state() != QAbstractSocket::ConnectedState)
    {
        if (IsTxSpyEnabled())
            emit SIGNAL_TxSpyNewRefusedData(dataToSend, portInfo);
        TraceError(TRACE_POS + "Socket is not connected");
        return false;
    }
    const qint64 written = m_Socket->write(dataToSend);
    const Bool result = written == dataToSend.size();
    EmitTxSpy(dataToSend, result, written, portInfo);
    return result;
}

void CLASS_UNIVERSALPORT_TCP_CLIENT::ReceiveDataFromPort()
{
    const QByteArray data = m_Socket->readAll();
    if (data.isEmpty())
        return;
    if (m_ReceptionMode)
        emit SIGNAL_NewDataAvailable(data, m_PortInfo);
    else
        m_ReceiveBuffer.append(data);
}

void CLASS_UNIVERSALPORT_TCP_CLIENT::GetReceivedData(QByteArray& data, SDWord size, QString portInfo)
{
    Q_UNUSED(portInfo);
    CopyChunks(m_ReceiveBuffer, data, size);
}

Bool CLASS_UNIVERSALPORT_TCP_CLIENT::HasDataAvailable(QString portInfo)
{
    Q_UNUSED(portInfo);
    return !m_ReceptionMode && !m_ReceiveBuffer.isEmpty();
}

void CLASS_UNIVERSALPORT_TCP_CLIENT::ConsumeData(SDWord sizeToConsume, QString portInfo)
{
    Q_UNUSED(portInfo);
    if (m_ReceptionMode)
        return;
    ConsumeChunks(m_ReceiveBuffer, sizeToConsume);
}
