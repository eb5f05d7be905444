#include "COMDRIVER_ClassUniversalPortSettingsTcpClient.h"

CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT::CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT(const QHostAddress& address,
                                                                                 Word port)
    : m_Address(address), m_Port(port)
{
}
