#include "COMDRIVER_ClassUniversalPortSettingsUdp.h"

CLASS_UNIVERSALPORT_SETTINGS_UDP::CLASS_UNIVERSALPORT_SETTINGS_UDP()
    : CLASS_UNIVERSALPORT_SETTINGS_UDP(QHostAddress(QHostAddress::LocalHost), DEFAULT_LOCAL_PORT,
                                       QHostAddress(QHostAddress::LocalHost), DEFAULT_REMOTE_PORT,
                                       TRANSMISSION_MODE_UNICAST)
{
}

CLASS_UNIVERSALPORT_SETTINGS_UDP::CLASS_UNIVERSALPORT_SETTINGS_UDP(const QHostAddress& localAddress,
                                                                   Word localPort,
                                                                   const QHostAddress& remoteAddress,
                                                                   Word remotePort, SDWord transmissionMode)
    : m_LocalPort(localPort), m_LocalAddress(localAddress), m_RemotePort(remotePort),
      m_RemoteAddress(remoteAddress), m_TransmissionMode(transmissionMode)
{
}
