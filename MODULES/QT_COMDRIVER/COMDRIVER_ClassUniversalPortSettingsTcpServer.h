#pragma once

#include <QHostAddress>

#include "COMDRIVER_ClassUniversalPortSettings.h"
#include "Types.h"

class CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER : public CLASS_UNIVERSALPORT_SETTINGS
{
public:
    // Loopback unless told otherwise: a server should not face the network by accident.
    static constexpr Word DEFAULT_LISTEN_PORT = 5020;

    CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER(
        Byte maximumClients = 0, const QHostAddress& listenAddress = QHostAddress(QHostAddress::LocalHost),
        Word listenPort = DEFAULT_LISTEN_PORT, SByte keepAlive = 1, SByte lowDelay = 1,
        SByte flushAfterWrite = 0);

    Byte GetMaximumClients() const { return m_MaximumClients; }
    const QHostAddress& GetListenAddress() const { return m_ListenAddress; }
    Word GetListenPort() const { return m_ListenPort; }
    SByte GetKeepAlive() const { return m_KeepAlive; }
    SByte GetLowDelay() const { return m_LowDelay; }
    SByte GetFlushAfterWrite() const { return m_FlushAfterWrite; }

    void SetMaximumClients(Byte maximumClients) { m_MaximumClients = maximumClients; }
    void SetListenAddress(const QHostAddress& address) { m_ListenAddress = address; }
    void SetListenPort(Word port) { m_ListenPort = port; }
    void SetKeepAlive(SByte keepAlive) { m_KeepAlive = keepAlive; }
    void SetLowDelay(SByte lowDelay) { m_LowDelay = lowDelay; }
    void SetFlushAfterWrite(SByte flushAfterWrite) { m_FlushAfterWrite = flushAfterWrite; }

private:
    Byte m_MaximumClients;
    QHostAddress m_ListenAddress;
    Word m_ListenPort;
    SByte m_KeepAlive;
    SByte m_LowDelay;
    SByte m_FlushAfterWrite;
};
