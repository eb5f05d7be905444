#pragma once

#include <QHostAddress>

#include "COMDRIVER_ClassUniversalPortSettings.h"
#include "Types.h"

class CLASS_UNIVERSALPORT_SETTINGS_UDP : public CLASS_UNIVERSALPORT_SETTINGS
{
public:
    // 0: bind local address, send to remote; 1: bind any address, send to
    // remote; 2: bind local address, broadcast.
    enum T_TRANSMISSION_MODE : SDWord
    {
        TRANSMISSION_MODE_UNICAST = 0,
        TRANSMISSION_MODE_ANY_ADDRESS = 1,
        TRANSMISSION_MODE_BROADCAST = 2
    };
    static constexpr Word DEFAULT_LOCAL_PORT = 5000;
    static constexpr Word DEFAULT_REMOTE_PORT = 5010;

    CLASS_UNIVERSALPORT_SETTINGS_UDP();
    CLASS_UNIVERSALPORT_SETTINGS_UDP(const QHostAddress& localAddress, Word localPort,
                                     const QHostAddress& remoteAddress, Word remotePort,
                                     SDWord transmissionMode);

    Word GetLocalPort() const { return m_LocalPort; }
    const QHostAddress& GetLocalAddress() const { return m_LocalAddress; }
    Word GetRemotePort() const { return m_RemotePort; }
    const QHostAddress& GetRemoteAddress() const { return m_RemoteAddress; }
    SDWord GetTransmissionMode() const { return m_TransmissionMode; }

    void SetLocalPort(Word port) { m_LocalPort = port; }
    void SetLocalAddress(const QHostAddress& address) { m_LocalAddress = address; }
    void SetRemotePort(Word port) { m_RemotePort = port; }
    void SetRemoteAddress(const QHostAddress& address) { m_RemoteAddress = address; }
    void SetTransmissionMode(SDWord mode) { m_TransmissionMode = mode; }

private:
    Word m_LocalPort;
    QHostAddress m_LocalAddress;
    Word m_RemotePort;
    QHostAddress m_RemoteAddress;
    SDWord m_TransmissionMode;
};
