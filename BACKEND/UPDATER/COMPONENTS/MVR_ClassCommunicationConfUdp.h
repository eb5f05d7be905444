#pragma once

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConf.h"

// A card reached over UDP between a local and a remote address and port.
class CLASS_COMMUNICATION_CONF_UDP : public CLASS_COMMUNICATION_CONF
{
    Q_OBJECT
public:
    CLASS_COMMUNICATION_CONF_UDP(const QString& name, SDWord nodeAddress, const QString& localAddress,
                                 SDWord localPort, const QString& remoteAddress, SDWord remotePort,
                                 QObject* parent = nullptr);
    // Copies every field; the copy has no parent.
    CLASS_COMMUNICATION_CONF_UDP(const CLASS_COMMUNICATION_CONF_UDP& other);

    const QString& GetLocalAddress() const { return m_LocalAddress; }
    SDWord GetLocalPort() const { return m_LocalPort; }
    const QString& GetRemoteAddress() const { return m_RemoteAddress; }
    SDWord GetRemotePort() const { return m_RemotePort; }

    // Port numbers are cut to their low 16 bits; an address text that is not an
    // IP address gives a null address, refused when the port opens.
    Bool CreatePort(const QString& portNameSuffix, CLASS_UNIVERSALPORT** port,
                    CLASS_UNIVERSALPORT_SETTINGS** settings, Bool receptionMode,
                    QObject* parent) const override;

private:
    static void RegisterSocketErrorType();

    const QString m_LocalAddress;
    const SDWord m_LocalPort;
    const QString m_RemoteAddress;
    const SDWord m_RemotePort;
};
