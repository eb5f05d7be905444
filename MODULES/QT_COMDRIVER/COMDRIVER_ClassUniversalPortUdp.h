#pragma once

#include <QList>
#include <QUdpSocket>

#include "COMDRIVER_ClassUniversalPort.h"
#include "COMDRIVER_ClassUniversalPortSettingsUdp.h"

// Single-link port over UDP: each send is one datagram, each datagram received
// is one chunk.
class CLASS_UNIVERSALPORT_UDP : public CLASS_UNIVERSALPORT
{
    Q_OBJECT
public:
    CLASS_UNIVERSALPORT_UDP(Bool receptionMode, const QString& portInfo, QObject* parent = nullptr);
    ~CLASS_UNIVERSALPORT_UDP() override;

    Bool SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_UDP& settings);
    void GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_UDP& settings) const;

    // Where the current settings send every datagram; false for an unknown mode.
    Bool GetDestination(QHostAddress& address, Word& port) const;

public slots:
    void GetReceivedData(QByteArray& data, SDWord size, QString portInfo = QString()) override;
    Bool Open() override;
    void Close() override;
    Bool SendData(QByteArray dataToSend, QString portInfo = QString()) override;
    Bool HasDataAvailable(QString portInfo = QString()) override;
    void ConsumeData(SDWord sizeToConsume, QString portInfo = QString()) override;
    virtual void ReceiveDataFromPort();

private slots:
    void ErrorFromSocket(QAbstractSocket::SocketError error);

private:
    QUdpSocket* m_Socket;
    CLASS_UNIVERSALPORT_SETTINGS_UDP m_Settings;
    QList<QByteArray> m_ReceiveBuffer;
    QByteArray m_ReadBuffer; // room for the largest datagram, reused by every read
};
