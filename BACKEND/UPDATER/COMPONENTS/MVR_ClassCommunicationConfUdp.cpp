#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QMetaType>

#include "COMDRIVER_ClassUniversalPortSettingsUdp.h"
#include "COMDRIVER_ClassUniversalPortUdp.h"
#include "Traces.h"

CLASS_COMMUNICATION_CONF_UDP::CLASS_COMMUNICATION_CONF_UDP(const QString& name, SDWord nodeAddress,
                                                           const QString& localAddress, SDWord localPort,
                                                           const QString& remoteAddress, SDWord remotePort,
                                                           QObject* parent)
    : CLASS_COMMUNICATION_CONF(name, COMMUNICATION_TYPE_UDP, nodeAddress, parent),
      m_LocalAddress(localAddress), m_LocalPort(localPort), m_RemoteAddress(remoteAddress),
      m_RemotePort(remotePort)
{
    RegisterSocketErrorType();
}

CLASS_COMMUNICATION_CONF_UDP::CLASS_COMMUNICATION_CONF_UDP(const CLASS_COMMUNICATION_CONF_UDP& other)
    : CLASS_COMMUNICATION_CONF(other.GetName(), other.GetType(), other.GetNodeAddress()),
      m_LocalAddress(other.m_LocalAddress), m_LocalPort(other.m_LocalPort),
      m_RemoteAddress(other.m_RemoteAddress), m_RemotePort(other.m_RemotePort)
{
}

void CLASS_COMMUNICATION_CONF_UDP::RegisterSocketErrorType()
{
    // Socket errors of the UDP port travel through queued signals.
    qRegisterMetaType<QAbstractSocket::SocketError>("QAbstractSocket::SocketError");
}

Bool CLASS_COMMUNICATION_CONF_UDP::CreatePort(const QString& portNameSuffix, CLASS_UNIVERSALPORT** port,
                                              CLASS_UNIVERSALPORT_SETTINGS** settings, Bool receptionMode,
                                              QObject* parent) const
{
    // The port refuses to open on a null address; the text is named here,
    // where it is still known.
    for (const QString* text : {&m_LocalAddress, &m_RemoteAddress})
    {
        if (QHostAddress(*text).isNull())
            TraceError(TRACE_POS + QStringLiteral("The ") +
                       (text == &m_LocalAddress ? QStringLiteral("local") : QStringLiteral("remote")) +
                       QStringLiteral(" address \"") + *text + QStringLiteral("\" of \"") + GetName() +
                       QStringLiteral("\" is not an IP address"));
    }
    auto* newSettings = new CLASS_UNIVERSALPORT_SETTINGS_UDP(
        QHostAddress(m_LocalAddress), static_cast<Word>(m_LocalPort & 0xFFFF), QHostAddress(m_RemoteAddress),
        static_cast<Word>(m_RemotePort & 0xFFFF),
        CLASS_UNIVERSALPORT_SETTINGS_UDP::TRANSMISSION_MODE_UNICAST);
    auto* newPort =
        new CLASS_UNIVERSALPORT_UDP(receptionMode, QStringLiteral("UDP_") + portNameSuffix, parent);
    return HandOver(newPort, newSettings, port, settings);
}
