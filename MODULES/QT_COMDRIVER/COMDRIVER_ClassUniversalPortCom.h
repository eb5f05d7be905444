#pragma once

#include <QList>
#include <QSerialPort>

#include "COMDRIVER_ClassUniversalPort.h"
#include "COMDRIVER_ClassUniversalPortSettingsCom.h"

// Single-link port over a serial line.
class CLASS_UNIVERSALPORT_COM : public CLASS_UNIVERSALPORT
{
    Q_OBJECT
public:
    CLASS_UNIVERSALPORT_COM(Bool receptionMode, const QString& portInfo, QObject* parent = nullptr);
    ~CLASS_UNIVERSALPORT_COM() override;

    Bool SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_COM& settings);
    void GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_COM& settings) const;

    // Name of a serial error enumerator; empty for a value outside the table.
    static QString ErrorName(int error);

    // The serial port keeps written bytes until its event loop runs: a sleeping thread
    // would hold them back.
    Bool FlushOutput(SDWord timeoutMs) override;

public slots:
    void GetReceivedData(QByteArray& data, SDWord size, QString portInfo = QString()) override;
    Bool Open() override;
    void Close() override;
    Bool SendData(QByteArray dataToSend, QString portInfo = QString()) override;
    Bool HasDataAvailable(QString portInfo = QString()) override;
    void ConsumeData(SDWord sizeToConsume, QString portInfo = QString()) override;

private slots:
    void ReceiveDataFromDevice();
    void ErrorFromDevice(QSerialPort::SerialPortError error);

private:
    QSerialPort* m_Device;
    CLASS_UNIVERSALPORT_SETTINGS_COM m_Settings;
    QList<QByteArray> m_ReceiveBuffer;
};
