#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfCom.h"

#include "COMDRIVER_ClassUniversalPortCom.h"
#include "COMDRIVER_ClassUniversalPortSettingsCom.h"

CLASS_COMMUNICATION_CONF_COM::CLASS_COMMUNICATION_CONF_COM(const QString& name, SDWord nodeAddress,
                                                           const QString& portName, QObject* parent)
    : CLASS_COMMUNICATION_CONF(name, COMMUNICATION_TYPE_COM, nodeAddress, parent), m_PortName(portName)
{
}

CLASS_COMMUNICATION_CONF_COM::CLASS_COMMUNICATION_CONF_COM(const CLASS_COMMUNICATION_CONF_COM& other)
    : CLASS_COMMUNICATION_CONF(other.GetName(), other.GetType(), other.GetNodeAddress()),
      m_PortName(other.m_PortName)
{
}

Bool CLASS_COMMUNICATION_CONF_COM::CreatePort(const QString& portNameSuffix, CLASS_UNIVERSALPORT** port,
                                              CLASS_UNIVERSALPORT_SETTINGS** settings, Bool receptionMode,
                                              QObject* parent) const
{
    auto* newSettings = new CLASS_UNIVERSALPORT_SETTINGS_COM(m_PortName, 115200, QSerialPort::Data8,
                                                             QSerialPort::NoFlowControl,
                                                             QSerialPort::NoParity, QSerialPort::OneStop);
    auto* newPort =
        new CLASS_UNIVERSALPORT_COM(receptionMode, QStringLiteral("COM_") + portNameSuffix, parent);
    return HandOver(newPort, newSettings, port, settings);
}
