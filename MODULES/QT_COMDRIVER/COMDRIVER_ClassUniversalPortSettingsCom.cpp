#include "COMDRIVER_ClassUniversalPortSettingsCom.h"

CLASS_UNIVERSALPORT_SETTINGS_COM::CLASS_UNIVERSALPORT_SETTINGS_COM(const QString& portName, SDWord baudRate,
                                                                   QSerialPort::DataBits dataBits,
                                                                   QSerialPort::FlowControl flowControl,
                                                                   QSerialPort::Parity parity,
                                                                   QSerialPort::StopBits stopBits)
    : m_PortName(portName), m_BaudRate(baudRate), m_DataBits(dataBits), m_FlowControl(flowControl),
      m_Parity(parity), m_StopBits(stopBits)
{
}
