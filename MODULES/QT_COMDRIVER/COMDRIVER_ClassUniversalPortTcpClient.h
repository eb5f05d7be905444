#pragma once

#include <QList>
#include <QTcpSocket>

#include "COMDRIVER_ClassUniversalPort.h"
#include "COMDRIVER_ClassUniversalPortSettingsTcpClient.h"

// Single-link port connected to one TCP server; Open only starts connecting,
// the outcome arrives as a state change.
class CLASS_UNIVERSALPORT_TCP_CLIENT : public CLASS_UNIVERSALPORT
{
    Q_OBJECT
public:
    CLASS_UNIVERSALPORT_TCP_CLIENT(Bool receptionMode, const QString& portInfo, QObject* parent = nullptr);
    ~CLASS_UNIVERSALPORT_TCP_CLIENT() override;

    Bool SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT& settings);
    void GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT& settings) const;

public slots:
    void GetReceivedData(QByteArray& data, SDWord size, QString portInfo = QString()) override;
    Bool Open() override;
    void Close() override;
    Bool SendData(QByteArray dataToSend, QString portInfo = QString()) override;
    Bool HasDataAvailable(QString portInfo = QString()) override;
    void ConsumeData(SDWord sizeToConsume, QString portInfo = QString()) override;
    virtual void ReceiveDataFromPort();

private slots:
    void Connected();
    void Disconnected();
    void ErrorFromSocket(QAbstractSocket::SocketError error);

private:
    QTcpSocket* m_Socket;
    CLASS_UNIVERSALPORT_SETTINGS_TCP_CLIENT m_Settings;
    QList<QByteArray> m_ReceiveBuffer;
    Bool m_Closing = false;
};
