#include "MISC_ClassDeviceVersionRetriever.h"

#include <QStringList>
#include <QThread>

#include "COMDRIVER_ClassUniversalPort.h"
#include "COMDRIVER_ClassUniversalPortSettingsUsb.h"
#include "COMDRIVER_ClassUniversalPortUsb.h"
#include "Traces.h"

namespace
{
const QByteArray VERSION_REQUEST = QByteArrayLiteral("0,0,VEpac\r\n");
const QByteArray ANSWER_PREFIX = QByteArrayLiteral("VEpac");
const QByteArray LINE_END = QByteArrayLiteral("\r\n");
const QString PORT_NAME = QStringLiteral("USB_RETRIEVER_COMM");
} // namespace

CLASS_DEVICE_VERSION_RETRIEVER::CLASS_DEVICE_VERSION_RETRIEVER(QObject* parent)
    : QObject(parent), m_StepTimer(this), m_PortFactory(&CLASS_DEVICE_VERSION_RETRIEVER::CreateUsbPort)
{
    m_StepTimer.setInterval(STEP_INTERVAL_MS);
    connect(&m_StepTimer, &QTimer::timeout, this, &CLASS_DEVICE_VERSION_RETRIEVER::Step);
}

CLASS_DEVICE_VERSION_RETRIEVER::~CLASS_DEVICE_VERSION_RETRIEVER()
{
    m_StepTimer.stop();
    // The port is a child: deleted with this object.
}

void CLASS_DEVICE_VERSION_RETRIEVER::SetPortFactory(const T_PORT_FACTORY& factory)
{
    m_PortFactory = factory;
}

void CLASS_DEVICE_VERSION_RETRIEVER::SetDelays(qint64 answerTimeout, unsigned long openRetryDelay,
                                               unsigned long closeDelay)
{
    m_AnswerTimeout = answerTimeout;
    m_OpenRetryDelay = openRetryDelay;
    m_CloseDelay = closeDelay;
}

CLASS_UNIVERSALPORT* CLASS_DEVICE_VERSION_RETRIEVER::CreateUsbPort(QObject* parent)
{
    auto* port = new CLASS_UNIVERSALPORT_USB(false, false, 0, PORT_NAME, parent);
    const CLASS_UNIVERSALPORT_SETTINGS_USB settings(PRODUCT_IDENTIFIER, VENDOR_IDENTIFIER, 0);
    port->SetConfiguration(settings);
    return port;
}

void CLASS_DEVICE_VERSION_RETRIEVER::GetVersion()
{
    CleanPort();
    m_ReceivedBytes.clear();
    m_Port = m_PortFactory ? m_PortFactory(this) : nullptr;
    const auto* usb = qobject_cast<CLASS_UNIVERSALPORT_USB*>(m_Port);
    if (m_Port)
    {
        for (int attempt = 0; attempt < OPEN_ATTEMPTS; ++attempt)
        {
            if (m_Port->Open())
            {
                m_State = STATE_SEND_REQUEST;
                m_SendAttempts = 0;
                m_StepTimer.start();
                if (usb)
                    emit SIGNAL_SetUsbDevice(usb->GetOpenedDevice(), QString());
                return;
            }
            QThread::msleep(m_OpenRetryDelay);
        }
    }
    const QString problem = usb ? usb->GetOpenFailure() : QString();
    if (!problem.isEmpty())
        emit SIGNAL_SetUsbDevice(QString(), problem);
    ErrorHasBeenEncountered(QStringLiteral("Cannot open communication for version retriever") +
                            (problem.isEmpty() ? QString() : QStringLiteral(": ") + problem));
}

void CLASS_DEVICE_VERSION_RETRIEVER::Step()
{
    if (!m_Port)
    {
        m_StepTimer.stop();
        return;
    }
    switch (m_State)
    {
    case STATE_SEND_REQUEST:
        if (m_Port->SendData(VERSION_REQUEST, QString()))
        {
            m_AnswerTimer.start();
            m_State = STATE_WAIT_ANSWER;
        }
        // A port that refuses every send would be tried for ever.
        else if (++m_SendAttempts >= SEND_ATTEMPTS)
            ErrorHasBeenEncountered(QStringLiteral("Failed to read version."));
        break;
    case STATE_WAIT_ANSWER:
    {
        if (m_Port->HasDataAvailable(QString()))
        {
            QByteArray chunk;
            m_Port->GetReceivedData(chunk, -1, QString());
            m_Port->ConsumeData(chunk.size(), QString());
            m_ReceivedBytes += chunk;
        }
        // Only complete lines count: a line cut between two transfers would
        // give a wrong number.
        QByteArray answer;
        int start = 0;
        for (int end = m_ReceivedBytes.indexOf(LINE_END); end >= 0;
             end = m_ReceivedBytes.indexOf(LINE_END, start))
        {
            const QByteArray line = m_ReceivedBytes.mid(start, end - start);
            start = end + LINE_END.size();
            if (line.startsWith(ANSWER_PREFIX))
            {
                answer = line;
                break;
            }
        }
        if (answer.isEmpty())
        {
            if (m_AnswerTimer.elapsed() >= m_AnswerTimeout)
                ErrorHasBeenEncountered(
                    QStringLiteral("Command timeout encountered for the version retriever"));
            break;
        }
        m_ReceivedBytes.clear();
        QString version;
        if (!ComputeDeviceVersionFromMicAnswer(QString::fromLatin1(answer.trimmed()), version))
        {
            ErrorHasBeenEncountered(QStringLiteral("Unable to compute the version of the device"));
            break;
        }
        m_State = STATE_DONE;
        emit SIGNAL_SetDeviceVersion(version);
        break;
    }
    default:
        CleanPort();
        m_StepTimer.stop();
        m_ReceivedBytes.clear();
        break;
    }
}

Bool CLASS_DEVICE_VERSION_RETRIEVER::ComputeDeviceVersionFromMicAnswer(const QString& answer,
                                                                       QString& version)
{
    const QStringList parts = answer.split(QLatin1Char(','));
    if (parts.isEmpty())
    {
        TraceError(TRACE_POS + "The string list is empty");
        return false;
    }
    bool ok = false;
    const SDWord value = parts.last().trimmed().toInt(&ok, 10);
    if (!ok)
    {
        TraceError(TRACE_POS + "Unable to convert the string to int");
        return false;
    }
    const DWord bits = DWord(value);
    version = QString::number((bits >> 16) & 0xFF) + QLatin1Char('.') + QString::number((bits >> 8) & 0xFF) +
              QLatin1Char('.') + QString::number(bits & 0xFF);
    return true;
}

void CLASS_DEVICE_VERSION_RETRIEVER::CleanPort()
{
    if (!m_Port)
        return;
    if (m_Port->GetConnectionState() == CONNECTION_STATE_CONNECTED)
        m_Port->Close();
    QThread::msleep(m_CloseDelay);
    delete m_Port;
    m_Port = nullptr;
}

void CLASS_DEVICE_VERSION_RETRIEVER::ErrorHasBeenEncountered(const QString& message)
{
    TraceError(TRACE_POS + message);
    CleanPort();
    emit SIGNAL_SetDeviceVersion(QString());
    m_StepTimer.stop();
}
