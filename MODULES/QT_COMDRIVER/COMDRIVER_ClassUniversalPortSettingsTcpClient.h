#pragma once

#include <QHostAddress>

#include "COMDRIVER_ClassUniversalPortSettings.h"
#include "Types.h"

class CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT : public CLASS_UNIVERSALPORT_SETTINGS
{
public:
    static constexpr Word DEFAULT_PORT = 5020;

    CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT(
        const QHostAddress& address = QHostAddress(QHostAddress::LocalHost), Word port = DEFAULT_PORT);

    const QHostAddress& GetAddress() const { return m_Address; }
    Word GetPort() const { return m_Port; }
    void SetAddress(const QHostAddress& address) { m_Address = address; }
    void SetPort(Word port) { m_Port = port; }

private:
    QHostAddress m_Address;
    Word m_Port;
};
