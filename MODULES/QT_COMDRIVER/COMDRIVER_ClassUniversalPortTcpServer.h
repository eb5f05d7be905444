#pragma once

#include <QList>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>

#include "COMDRIVER_ClassUniversalPort.h"
#include "COMDRIVER_ClassUniversalPortSettingsTcpServer.h"

// Port that listens and serves any number of clients, each a source of its
// own named "<peer address>_<peer port>". The counter counts the clients.
class CLASS_UNIVERSALPORT_TCP_SERVER : public CLASS_UNIVERSALPORT
{
    Q_OBJECT
public:
    CLASS_UNIVERSALPORT_TCP_SERVER(Bool receptionMode, const QString& portInfo, QObject* parent = nullptr);
    ~CLASS_UNIVERSALPORT_TCP_SERVER() override;

    Bool SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER& settings);
    void GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER& settings) const;

    // Port actually listened on (the configured one, or the one the system chose for 0).
    Word GetListeningPort() const { return m_Server->serverPort(); }
    QStringList GetClients() const { return m_Clients.keys(); }

public slots:
    void GetReceivedData(QByteArray& data, SDWord size, QString portInfo = QString()) override;
    Bool Open() override;
    void Close() override;
    Bool SendData(QByteArray dataToSend, QString portInfo = QString()) override;
    Bool HasDataAvailable(QString portInfo = QString()) override;
    void ConsumeData(SDWord sizeToConsume, QString portInfo = QString()) override;
    virtual void ReceiveDataFromPort();

signals:
    void SIGNAL_DisconnectClient(QString portInfo);

private slots:
    void NewClient();
    void DisconnectClient();
    void ErrorFromServer(QAbstractSocket::SocketError error);

private:
    // The client that sent the current notification; traces when unknown.
    QTcpSocket* SendingClient(QString& identifier, const char* function, int line);
    QList<QByteArray>* FindList(const QString& portInfo);
    Bool WriteTo(QTcpSocket* client, const QByteArray& data, qint64& written);

    QTcpServer* m_Server;
    CLASS_UNIVERSALPORT_SETTINGS_TCP_SERVER m_Settings;
    QMap<QString, QTcpSocket*> m_Clients;
    QMap<QString, QList<QByteArray>> m_ReceiveBuffers;
};
