#include "SIM_ClassUdpLink.h"

#include <QJsonObject>
#include <QNetworkDatagram>

#include "SIM_ClassDevice.h"
#include "SIM_ClassLinkSession.h"

CLASS_SIM_UDP_LINK::CLASS_SIM_UDP_LINK(CLASS_SIM_DEVICE* device, const QHostAddress& address, Word port,
                                       Bool samba, QObject* parent)
    : CLASS_SIM_LINK(device, samba, parent), m_Socket(this), m_Address(address), m_Port(port)
{
}

Bool CLASS_SIM_UDP_LINK::Open(QString& error)
{
    if (!m_Socket.bind(m_Address, m_Port))
    {
        error = QStringLiteral("Cannot bind UDP %1 port %2: %3")
                    .arg(m_Address.toString())
                    .arg(m_Port)
                    .arg(m_Socket.errorString());
        return false;
    }
    CreateSession(QStringLiteral("udp:%1").arg(m_Socket.localPort()));
    connect(&m_Socket, &QUdpSocket::readyRead, this, &CLASS_SIM_UDP_LINK::ReadDatagrams);
    return true;
}

QString CLASS_SIM_UDP_LINK::AnnounceLine() const
{
    return QStringLiteral("%1udp-port %2")
        .arg(m_Samba ? QStringLiteral("samba-") : QString())
        .arg(BoundPort());
}

void CLASS_SIM_UDP_LINK::ReadDatagrams()
{
    while (m_Socket.hasPendingDatagrams())
    {
        const QNetworkDatagram datagram = m_Socket.receiveDatagram();
        if (!datagram.isValid())
            continue;
        const QHostAddress sender = datagram.senderAddress();
        const Word senderPort = Word(datagram.senderPort());
        if (m_PeerPort != 0 && (sender != m_PeerAddress || senderPort != m_PeerPort))
        {
            DropPendingOutput();
            Session()->Restart();
        }
        if (m_PeerPort == 0 || sender != m_PeerAddress || senderPort != m_PeerPort)
        {
            m_PeerAddress = sender;
            m_PeerPort = senderPort;
            m_Device->Log().Write(Session()->LinkName(), "-", QStringLiteral("link"), QStringLiteral("PEER"),
                                  QJsonObject{{QStringLiteral("address"), sender.toString()},
                                              {QStringLiteral("port"), int(senderPort)}});
        }
        Session()->Feed(datagram.data());
    }
}

void CLASS_SIM_UDP_LINK::WriteChunk(const QByteArray& chunk)
{
    if (m_PeerPort == 0)
        return;
    // A long SAM-BA read answer does not fit one datagram.
    for (int offset = 0; offset < chunk.size(); offset += MAX_DATAGRAM)
        m_Socket.writeDatagram(chunk.mid(offset, MAX_DATAGRAM), m_PeerAddress, m_PeerPort);
}
