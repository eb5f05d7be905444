#pragma once

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConf.h"

// A card on a serial port (115200 baud, 8 data bits, no parity, one stop bit, no flow control).
class CLASS_COMMUNICATION_CONF_COM : public CLASS_COMMUNICATION_CONF
{
    Q_OBJECT
public:
    CLASS_COMMUNICATION_CONF_COM(const QString& name, SDWord nodeAddress, const QString& portName,
                                 QObject* parent = nullptr);
    // Copies every field; the copy has no parent.
    CLASS_COMMUNICATION_CONF_COM(const CLASS_COMMUNICATION_CONF_COM& other);

    const QString& GetPortName() const { return m_PortName; }

    Bool CreatePort(const QString& portNameSuffix, CLASS_UNIVERSALPORT** port,
                    CLASS_UNIVERSALPORT_SETTINGS** settings, Bool receptionMode,
                    QObject* parent) const override;

private:
    const QString m_PortName;
};
