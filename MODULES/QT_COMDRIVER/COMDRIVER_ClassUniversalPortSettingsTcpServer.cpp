#include "COMDRIVER_ClassUniversalPortSettingsTcpServer.h"

CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER::CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER(
    Byte maximumClients, const QHostAddress& listenAddress, Word listenPort, SByte keepAlive, SByte lowDelay,
    SByte flushAfterWrite)
    : m_MaximumClients(maximumClients), m_ListenAddress(listenAddress), m_ListenPort(listenPort),
      m_KeepAlive(keepAlive), m_LowDelay(lowDelay), m_FlushAfterWrite(flushAfterWrite)
{
}
