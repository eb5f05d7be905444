#include "COMDRIVER_ClassUniversalPortTcpServer.h"

#include "COMDRIVER_SocketErrorNames.h"
#include "Traces.h"

CLASS_UNIVERSALPORT_TCP_SERVER::CLASS_UNIVERSALPORT_TCP_SERVER(Bool receptionMode, const QString& portInfo,
                                                               QObject* parent)
    : CLASS_UNIVERSALPORT(receptionMode, portInfo, parent), m_Server(new QTcpServer(this))
{
    qRegisterMetaType<QAbstractSocket::SocketError>("QAbstractSocket::SocketError");
    connect(m_Server, &QTcpServer::newConnection, this, &CLASS_UNIVERSALPORT_TCP_SERVER::NewClient);
    connect(m_Server, &QTcpServer::acceptError, this, &CLASS_UNIVERSALPORT_TCP_SERVER::ErrorFromServer);
}

CLASS_UNIVERSALPORT_TCP_SERVER::~CLASS_UNIVERSALPORT_TCP_SERVER()
{
    m_Server->disconnect(this);
    Close();
}

Bool CLASS_UNIVERSALPORT_TCP_SERVER::SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER& settings)
{
    m_Settings = settings;
    return true;
}

void CLASS_UNIVERSALPORT_TCP_SERVER::GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER& settings) const
{
    settings = m_Settings;
}

Bool CLASS_UNIVERSALPORT_TCP_SERVER::Open()
{
    if (!m_Server->listen(m_Settings.GetListenAddress(), m_Settings.GetListenPort()))
    {
        TraceError(TRACE_POS + "Failed to configure TCP Server with Address: " +
                   m_Settings.GetListenAddress().toString() + " Port: " +
                   QString::number(m_Settings.GetListenPort()) + ". Error: " + m_Server->errorString());
        return false;
    }
    SetConnectionState(CONNECTION_STATE_CONNECTED);
    return true;
}

void CLASS_UNIVERSALPORT_TCP_SERVER::NewClient()
{
    while (m_Server->hasPendingConnections())
    {
        QTcpSocket* client = m_Server->nextPendingConnection();
        if (!client)
            return;
        if (m_Settings.GetMaximumClients() != 0 && m_ConnectionCounter >= m_Settings.GetMaximumClients())
        {
            client->abort();
            client->deleteLater();
            continue;
        }
        client->setSocketOption(QAbstractSocket::LowDelayOption, m_Settings.GetLowDelay());
        client->setSocketOption(QAbstractSocket::KeepAliveOption, m_Settings.GetKeepAlive());
        const QString identifier =
            client->peerAddress().toString() + "_" + QString::number(client->peerPort());
        client->setObjectName(identifier);
        m_Clients.insert(identifier, client);
        m_ReceiveBuffers.insert(identifier, QList<QByteArray>());
        connect(client, &QTcpSocket::readyRead, this, &CLASS_UNIVERSALPORT_TCP_SERVER::ReceiveDataFromPort);
        connect(client, &QTcpSocket::disconnected, this, &CLASS_UNIVERSALPORT_TCP_SERVER::DisconnectClient);
        SetConnectionCounter(m_ConnectionCounter + 1);
    }
}

QTcpSocket* CLASS_UNIVERSALPORT_TCP_SERVER::SendingClient(QString& identifier, const char* function, int line)
{
    QTcpSocket* client = qobject_cast<QTcpSocket*>(sender());
    if (!client)
    {
        TraceError(TracePosition(__FILE__, function, line) + "Unknown TcpSocket");
        return nullptr;
    }
    identifier = m_Clients.key(client);
    if (identifier.isEmpty())
    {
        TraceError(TracePosition(__FILE__, function, line) + "Unknown Client");
        return nullptr;
    }
    return client;
}

void CLASS_UNIVERSALPORT_TCP_SERVER::ReceiveDataFromPort()
{
    QString identifier;
    QTcpSocket* client = SendingClient(identifier, __func__, __LINE__);
    if (!client)
        return;
    const QByteArray data = client->readAll();
    if (data.isEmpty())
        return;
    if (m_ReceptionMode)
        emit SIGNAL_NewDataAvailable(data, identifier);
    else
        m_ReceiveBuffers[identifier].append(data);
}

void CLASS_UNIVERSALPORT_TCP_SERVER::DisconnectClient()
{
    QString identifier;
    QTcpSocket* client = SendingClient(identifier, __func__, __LINE__);
    if (!client)
        return;
    m_Clients.remove(identifier);
    client->disconnect(this);
    client->close();
    client->deleteLater();
    SetConnectionCounter(m_ConnectionCounter > 0 ? m_ConnectionCounter - 1 : 0);
    emit SIGNAL_DisconnectClient(identifier);
    m_ReceiveBuffers.remove(identifier);
}

void CLASS_UNIVERSALPORT_TCP_SERVER::ErrorFromServer(QAbstractSocket::SocketError error)
{
    m_ConnectionState = CONNECTION_STATE_ERROR;
    emit SIGNAL_ErrorFromPort(SocketErrorName(error));
    SetConnectionState(CONNECTION_STATE_ERROR);
}

Bool CLASS_UNIVERSALPORT_TCP_SERVER::WriteTo(QTcpSocket* client, const QByteArray& data, qint64& written)
{
    written = client->write(data);
    if (m_Settings.GetFlushAfterWrite())
        client->flush();
    return written == data.size();
}

Bool CLASS_UNIVERSALPORT_TCP_SERVER::SendData(QByteArray dataToSend, QString portInfo)
{
    if (portInfo.isEmpty())
    {
        if (m_Clients.isEmpty())
        {
            if (IsTxSpyEnabled())
                emit SIGNAL_TxSpyNewRefusedData(dataToSend, portInfo);
            return true;
        }
        Bool all = true;
        Bool firstResult = false;
        qint64 firstWritten = 0;
        bool first = true;
        for (QTcpSocket* client : qAsConst(m_Clients))
        {
            qint64 written = 0;
            const Bool result = WriteTo(client, dataToSend, written);
            all = all && result;
            if (first)
            {
                firstResult = result;
                firstWritten = written;
                first = false;
            }
        }
        EmitTxSpy(dataToSend, firstResult, firstWritten, portInfo);
        return all;
    }
    QTcpSocket* client = m_Clients.value(portInfo);
    if (!client)
    {
        if (IsTxSpyEnabled())
            emit SIGNAL_TxSpyNewRefusedData(dataToSend, portInfo);
        return false;
    }
    qint64 written = 0;
    const Bool result = WriteTo(client, dataToSend, written);
    EmitTxSpy(dataToSend, result, written, portInfo);
    return result;
}

QList<QByteArray>* CLASS_UNIVERSALPORT_TCP_SERVER::FindList(const QString& portInfo)
{
    if (portInfo.isEmpty())
        return m_ReceiveBuffers.isEmpty() ? nullptr : &m_ReceiveBuffers.first();
    auto it = m_ReceiveBuffers.find(portInfo);
    return it == m_ReceiveBuffers.end() ? nullptr : &it.value();
}

void CLASS_UNIVERSALPORT_TCP_SERVER::GetReceivedData(QByteArray& data, SDWord size, QString portInfo)
{
    if (const QList<QByteArray>* list = FindList(portInfo))
        CopyChunks(*list, data, size);
}

Bool CLASS_UNIVERSALPORT_TCP_SERVER::HasDataAvailable(QString portInfo)
{
    if (m_ReceptionMode)
        return false;
    const QList<QByteArray>* list = FindList(portInfo);
    return list && !list->isEmpty();
}

void CLASS_UNIVERSALPORT_TCP_SERVER::ConsumeData(SDWord sizeToConsume, QString portInfo)
{
    if (m_ReceptionMode)
        return;
    if (QList<QByteArray>* list = FindList(portInfo))
        ConsumeChunks(*list, sizeToConsume);
}

void CLASS_UNIVERSALPORT_TCP_SERVER::Close()
{
    for (QTcpSocket* client : qAsConst(m_Clients))
    {
        client->disconnect(this);
        client->close();
        client->deleteLater();
    }
    m_Clients.clear();
    m_ReceiveBuffers.clear();
    m_Server->close();
    m_ConnectionState = CONNECTION_STATE_DISCONNECTED;
    SetConnectionCounter(0);
    SetConnectionState(CONNECTION_STATE_DISCONNECTED);
}
