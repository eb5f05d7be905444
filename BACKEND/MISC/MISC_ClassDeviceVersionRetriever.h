#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

#include "Types.h"

class CLASS_UNIVERSALPORT;

// Asks the device for its firmware version over USB ("0,0,VEpac\r\n") and
// reports it as "a.b.c", or an empty text after a failure. Lives on its own
// thread and is driven by a repeating step timer.
class CLASS_DEVICE_VERSION_RETRIEVER : public QObject
{
    Q_OBJECT
public:
    static constexpr int STEP_INTERVAL_MS = 25;
    static constexpr qint64 ANSWER_TIMEOUT_MS = 15000;
    static constexpr int OPEN_ATTEMPTS = 5;
    // Refused sends of the request, one per step, before the exchange fails.
    static constexpr int SEND_ATTEMPTS = 40;
    static constexpr unsigned long OPEN_RETRY_DELAY_MS = 500;
    static constexpr unsigned long CLOSE_DELAY_MS = 500;
    static constexpr Word VENDOR_IDENTIFIER = 0x03EB;
    static constexpr Word PRODUCT_IDENTIFIER = 0x6124;

    // Creates a configured, not yet opened port owned by parent; null when
    // it cannot. The default one makes the USB port of the device.
    using T_PORT_FACTORY = std::function<CLASS_UNIVERSALPORT*(QObject* parent)>;

    explicit CLASS_DEVICE_VERSION_RETRIEVER(QObject* parent = nullptr);
    ~CLASS_DEVICE_VERSION_RETRIEVER() override;

    // For tests: another link and shorter waits. The defaults never change.
    void SetPortFactory(const T_PORT_FACTORY& factory);
    void SetDelays(qint64 answerTimeout, unsigned long openRetryDelay, unsigned long closeDelay);

    static Bool ComputeDeviceVersionFromMicAnswer(const QString& answer, QString& version);
    static CLASS_UNIVERSALPORT* CreateUsbPort(QObject* parent);

signals:
    void SIGNAL_SetDeviceVersion(QString deviceVersion);
    // The USB device the exchange talks to (path and serial number) once the
    // port is open; or, when it cannot be opened, why (devices to choose
    // from, another program holding it) as problem.
    void SIGNAL_SetUsbDevice(QString device, QString problem);

public slots:
    void GetVersion();

private:
    enum T_STATE
    {
        STATE_SEND_REQUEST = 0,
        STATE_WAIT_ANSWER = 1,
        STATE_DONE = 2
    };

    void Step();
    void ErrorHasBeenEncountered(const QString& message);
    void CleanPort();

    SDWord m_State = STATE_SEND_REQUEST;
    QByteArray m_ReceivedBytes;
    int m_SendAttempts = 0;
    CLASS_UNIVERSALPORT* m_Port = nullptr;
    QTimer m_StepTimer;
    QElapsedTimer m_AnswerTimer;

    T_PORT_FACTORY m_PortFactory;
    qint64 m_AnswerTimeout = ANSWER_TIMEOUT_MS;
    unsigned long m_OpenRetryDelay = OPEN_RETRY_DELAY_MS;
    unsigned long m_CloseDelay = CLOSE_DELAY_MS;
};
