#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include "Types.h"

enum T_CONNECTION_STATE
{
    CONNECTION_STATE_CONNECTED = 0,
    CONNECTION_STATE_DISCONNECTED = 1,
    CONNECTION_STATE_CONNECTING = 2,
    CONNECTION_STATE_ERROR = 3
};
Q_DECLARE_METATYPE(T_CONNECTION_STATE)

// The one interface through which every byte reaches a card. Reception is
// chosen once: signal mode emits each chunk as it arrives; buffered mode keeps
// the chunks for peek-then-consume parsing.
class CLASS_UNIVERSALPORT : public QObject
{
    Q_OBJECT
public:
    CLASS_UNIVERSALPORT(Bool receptionMode, const QString& portInfo, QObject* parent = nullptr);
    ~CLASS_UNIVERSALPORT() override;

    T_CONNECTION_STATE GetConnectionState() const { return m_ConnectionState; }
    Bool IsSignalMode() const { return m_ReceptionMode != 0; }

    void EnableTxSpy() { m_TxSpy = 1; }
    void DisableTxSpy() { m_TxSpy = 0; }
    Bool IsTxSpyEnabled() const { return m_TxSpy != 0; }

    // Reports what a write did with data: the accepted part as sent, the rest
    // as refused. Does nothing while the spy is off.
    void EmitTxSpy(const QByteArray& data, Bool success, qint64 writtenCount, const QString& portInfo);

    // Chunk-list algorithms shared by every buffered port.
    static void CopyChunks(const QList<QByteArray>& chunks, QByteArray& data, SDWord size);
    static void ConsumeChunks(QList<QByteArray>& chunks, SDWord sizeToConsume);

    // Waits (at most timeoutMs) until what SendData accepted is on the link. Ports
    // that write at once (UDP datagrams, USB transfers) have nothing to wait for.
    virtual Bool FlushOutput(SDWord timeoutMs);

public slots:
    virtual void GetReceivedData(QByteArray& data, SDWord size, QString portInfo = QString()) = 0;
    virtual DWord GetConnectionCounter();
    virtual const QString& GetPortInfo();
    virtual Bool Open() = 0;
    virtual void Close() = 0;
    virtual Bool SendData(QByteArray dataToSend, QString portInfo = QString()) = 0;
    virtual Bool HasDataAvailable(QString portInfo = QString()) = 0;
    virtual void ConsumeData(SDWord sizeToConsume, QString portInfo = QString()) = 0;

signals:
    void SIGNAL_NewDataAvailable(QByteArray data, QString portInfo);
    void SIGNAL_StatusChanged(T_CONNECTION_STATE connectionState);
    void SIGNAL_ConnectionCounterChanged(DWord connectionCounter);
    void SIGNAL_ErrorFromPort(QString error);
    void SIGNAL_TxSpyNewData(QByteArray data, QString portInfo);
    void SIGNAL_TxSpyNewRefusedData(QByteArray data, QString portInfo);

protected:
    // Set the value and always emit its signal, even when it did not change.
    void SetConnectionState(T_CONNECTION_STATE state);
    void SetConnectionCounter(DWord counter);

    T_CONNECTION_STATE m_ConnectionState;
    Byte m_ReceptionMode;
    DWord m_ConnectionCounter;
    QString m_PortInfo;
    Byte m_TxSpy;
};
