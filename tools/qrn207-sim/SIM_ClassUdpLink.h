#pragma once

#include <QHostAddress>
#include <QUdpSocket>

#include "SIM_ClassLink.h"

// A UDP link: bound to a local port, it answers to the address and port of
// the last datagram received (the host's bound port). A datagram from another
// sender starts a new conversation.
class CLASS_SIM_UDP_LINK : public CLASS_SIM_LINK
{
    Q_OBJECT
public:
    // Largest UDP payload over IPv4.
    static constexpr int MAX_DATAGRAM = 65507;

    CLASS_SIM_UDP_LINK(CLASS_SIM_DEVICE* device, const QHostAddress& address, Word port, Bool samba,
                       QObject* parent = nullptr);

    Bool Open(QString& error) override;
    QString AnnounceLine() const override;
    Word BoundPort() const { return m_Socket.localPort(); }

protected:
    void WriteChunk(const QByteArray& chunk) override;

private:
    void ReadDatagrams();

    QUdpSocket m_Socket;
    QHostAddress m_Address;
    Word m_Port;
    QHostAddress m_PeerAddress;
    Word m_PeerPort = 0;
};
