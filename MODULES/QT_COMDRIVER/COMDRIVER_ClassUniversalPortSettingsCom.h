#pragma once

#include <QSerialPort>
#include <QString>

#include "COMDRIVER_ClassUniversalPortSettings.h"
#include "Types.h"

class CLASS_UNIVERSALPORT_SETTINGS_COM : public CLASS_UNIVERSALPORT_SETTINGS
{
public:
    static constexpr SDWord DEFAULT_BAUD_RATE = 115200;

    CLASS_UNIVERSALPORT_SETTINGS_COM(const QString& portName = QString(), SDWord baudRate = DEFAULT_BAUD_RATE,
                                     QSerialPort::DataBits dataBits = QSerialPort::Data8,
                                     QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl,
                                     QSerialPort::Parity parity = QSerialPort::NoParity,
                                     QSerialPort::StopBits stopBits = QSerialPort::OneStop);

    const QString& GetPortName() const { return m_PortName; }
    SDWord GetBaudRate() const { return m_BaudRate; }
    QSerialPort::DataBits GetDataBits() const { return m_DataBits; }
    QSerialPort::FlowControl GetFlowControl() const { return m_FlowControl; }
    QSerialPort::Parity GetParity() const { return m_Parity; }
    QSerialPort::StopBits GetStopBits() const { return m_StopBits; }

    void SetBaudRate(SDWord baudRate) { m_BaudRate = baudRate; }
    void SetDataBits(QSerialPort::DataBits dataBits) { m_DataBits = dataBits; }
    void SetFlowControl(QSerialPort::FlowControl flowControl) { m_FlowControl = flowControl; }
    void SetParity(QSerialPort::Parity parity) { m_Parity = parity; }
    void SetStopBits(QSerialPort::StopBits stopBits) { m_StopBits = stopBits; }

private:
    QString m_PortName;
    SDWord m_BaudRate;
    QSerialPort::DataBits m_DataBits;
    QSerialPort::FlowControl m_FlowControl;
    QSerialPort::Parity m_Parity;
    QSerialPort::StopBits m_StopBits;
};
