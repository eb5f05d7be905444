#include "BACKEND/UPDATER/ClassAbstractUpdater.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConf.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassAbstractProgFileWithProtocol.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassUtilsProgFile.h"
#include "COMDRIVER_ClassUniversalPort.h"
#include "COMDRIVER_ClassUniversalPortCom.h"
#include "COMDRIVER_ClassUniversalPortSettings.h"
#include "COMDRIVER_ClassUniversalPortSettingsCom.h"
#include "COMDRIVER_ClassUniversalPortSettingsUdp.h"
#include "COMDRIVER_ClassUniversalPortSettingsUsb.h"
#include "COMDRIVER_ClassUniversalPortUdp.h"
#include "COMDRIVER_ClassUniversalPortUsb.h"
#include "Traces.h"

CLASS_ABSTRACT_UPDATER::CLASS_ABSTRACT_UPDATER(const QString& name, SDWord step,
                                               CLASS_COMMUNICATION_CONF* communication, QObject* parent)
    : QObject(parent), m_Progress(0), m_Name(name), m_Step(step), m_Finished(false),
      m_Status(UPDATER_STATUS_IDLE), m_EndAction(END_ACTION_NOT_RECOGNIZED), m_Communication(communication),
      m_Port(nullptr), m_PortSettings(nullptr), m_CardType(CARD_TYPE_NOT_RECOGNIZED)
{
    // Queued even on the updater's own thread: the work always starts from the
    // event loop of the thread the updater lives on, whoever emits.
    connect(this, &CLASS_ABSTRACT_UPDATER::SIGNAL_TimeOut, this, &CLASS_ABSTRACT_UPDATER::SLOT_TimeOut,
            Qt::QueuedConnection);
    connect(this, &CLASS_ABSTRACT_UPDATER::SIGNAL_Start, this, &CLASS_ABSTRACT_UPDATER::Process,
            Qt::QueuedConnection);
}

CLASS_ABSTRACT_UPDATER::~CLASS_ABSTRACT_UPDATER()
{
    DeletePortSettings();
}

Bool CLASS_ABSTRACT_UPDATER::Configure(CLASS_BINARY_INFORMATIONS* binary,
                                       CLASS_BINARY_INFORMATIONS* verificationBinary, SDWord isRam,
                                       const T_END_ACTION* endAction, const T_COMPONENT_TYPE* componentType,
                                       const T_CARD_TYPE* cardType)
{
    if (endAction)
        m_EndAction = *endAction;
    if (cardType)
        m_CardType = *cardType;

    const QString path = binary ? binary->GetName() : QString();
    if (path.isEmpty())
        return true;

    const QFileInfo info(path);
    if (info.exists() && info.isFile() && info.isReadable())
    {
        const T_COMPONENT_TYPE type = componentType ? *componentType : COMPONENT_TYPE_NOT_RECOGNIZED;
        m_ProgFileUtility.reset(
            new CLASS_UTILS_PROG_FILE(binary, verificationBinary, isRam, type, m_CardType));
        ConnectDebugSignals();
        return true;
    }
    TraceError(TRACE_POS + QStringLiteral("Invalid binary path or read right: ") + path);
    return false;
}

void CLASS_ABSTRACT_UPDATER::SetCommunicationData(CLASS_COMMUNICATION_CONF* communication)
{
    m_Communication = communication;
    if (m_Port)
        TraceError(TRACE_POS + QStringLiteral("You want to create communication for \"") + m_Name +
                   QStringLiteral("\", but communication is already created"));
}

void CLASS_ABSTRACT_UPDATER::ErrorStatus(const QString& message)
{
    SetErrorText(QStringLiteral("Updater Error"));
    SetFailureCause(message);
    m_Status.store(UPDATER_STATUS_ERROR);
    TraceError(TRACE_POS + QStringLiteral("Updater Error: \"") + message + QStringLiteral("\" for ") +
               m_Name);
}

SDWord CLASS_ABSTRACT_UPDATER::GetStatus()
{
    return m_Status.load();
}

QString CLASS_ABSTRACT_UPDATER::GetErrorMessage()
{
    QMutexLocker lock(&m_ErrorTextMutex);
    return m_ErrorText;
}

void CLASS_ABSTRACT_UPDATER::SetErrorText(const QString& text)
{
    QMutexLocker lock(&m_ErrorTextMutex);
    m_ErrorText = text;
}

QString CLASS_ABSTRACT_UPDATER::GetFailureCause() const
{
    QMutexLocker lock(&m_ErrorTextMutex);
    return m_FailureCause;
}

void CLASS_ABSTRACT_UPDATER::SetFailureCause(const QString& cause)
{
    // The first failure names the cause; what follows it (the abort, the closing) only repeats it.
    QMutexLocker lock(&m_ErrorTextMutex);
    if (m_FailureCause.isEmpty())
        m_FailureCause = cause;
}

Bool CLASS_ABSTRACT_UPDATER::IsFinished(SDWord* status)
{
    if (status)
        *status = m_Status.load();
    return m_Finished.load();
}

void CLASS_ABSTRACT_UPDATER::ConnectDebugSignals()
{
    if (!m_ProgFileUtility || !m_ProgFileUtility->GetProgFile())
        return;
    connect(m_ProgFileUtility->GetProgFile(), &CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::SIGNAL_DisplayDebug,
            this, &CLASS_ABSTRACT_UPDATER::SIGNAL_DisplayDebug,
            static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection));
}

void CLASS_ABSTRACT_UPDATER::Reset()
{
    m_Finished.store(false);
    m_Progress.store(0);
    {
        QMutexLocker lock(&m_ErrorTextMutex);
        m_FailureCause.clear();
    }
    if (m_ProgFileUtility && m_ProgFileUtility->GetProgFile())
        m_ProgFileUtility->GetProgFile()->Rewind();
    // Last, so that a poller that sees idle also sees the rest cleared.
    m_Status.store(UPDATER_STATUS_IDLE);
}

void CLASS_ABSTRACT_UPDATER::SLOT_TimeOut()
{
    m_Status.store(UPDATER_STATUS_ERROR);
}

void CLASS_ABSTRACT_UPDATER::SetDelays(const T_UPDATER_DELAYS& delays)
{
    m_Delays = delays;
    m_ActivityTimer.SetClock(delays.Clock);
}

void CLASS_ABSTRACT_UPDATER::SleepMs(int milliseconds)
{
    // In slices, so that a thread asked to end (the program is closing) does
    // not sit out a 5 s wait first.
    constexpr int SLICE_MS = 20;
    QThread* thread = QThread::currentThread();
    QDeadlineTimer deadline(milliseconds > 0 ? milliseconds : 0);
    while (!deadline.hasExpired() && !thread->isInterruptionRequested())
        QThread::msleep(static_cast<unsigned long>(qBound<qint64>(1, deadline.remainingTime(), SLICE_MS)));
}

Bool CLASS_ABSTRACT_UPDATER::CreatePortFromCommunication(const QString& suffix)
{
    if (!m_Communication)
        return false;
    CLASS_UNIVERSALPORT* port = nullptr;
    CLASS_UNIVERSALPORT_SETTINGS* settings = nullptr;
    const Bool created = m_Communication->CreatePort(suffix, &port, &settings, true, this);
    if (!created)
    {
        delete port;
        delete settings;
        return false;
    }
    m_Port = port;
    m_PortSettings = settings;
    return m_Port && m_PortSettings;
}

void CLASS_ABSTRACT_UPDATER::ApplyPortSettings(const char* file, int line, const char* functionName)
{
    if (!m_Port || !m_PortSettings || !m_Communication)
        return;
    Bool applied = false;
    switch (m_Communication->GetType())
    {
    case COMMUNICATION_TYPE_COM:
    {
        auto* port = qobject_cast<CLASS_UNIVERSALPORT_COM*>(m_Port);
        auto* settings = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_COM*>(m_PortSettings);
        if (port && settings)
            applied = port->SetConfiguration(*settings);
        break;
    }
    case COMMUNICATION_TYPE_UDP:
    {
        auto* port = qobject_cast<CLASS_UNIVERSALPORT_UDP*>(m_Port);
        auto* settings = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_UDP*>(m_PortSettings);
        if (port && settings)
            applied = port->SetConfiguration(*settings);
        break;
    }
    case COMMUNICATION_TYPE_USB:
    {
        auto* port = qobject_cast<CLASS_UNIVERSALPORT_USB*>(m_Port);
        auto* settings = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_USB*>(m_PortSettings);
        if (port && settings)
            applied = port->SetConfiguration(*settings);
        break;
    }
    default:
        TraceError(TracePosition(file, functionName, line) +
                   QStringLiteral("Unrecognized communication type for updater named: ") + m_Name);
        return;
    }
    Q_UNUSED(applied); // the port traces its own refusal; the open attempts tell the rest
}

Bool CLASS_ABSTRACT_UPDATER::OpenPortWithRetries(int retryMs)
{
    if (!m_Port)
        return false;
    for (int attempt = 0; attempt < UPDATER_OPEN_ATTEMPTS; ++attempt)
    {
        if (m_Port->Open())
            return true;
        SleepMs(retryMs);
    }
    return false;
}

QString CLASS_ABSTRACT_UPDATER::PortOpenFailure() const
{
    const auto* usb = qobject_cast<const CLASS_UNIVERSALPORT_USB*>(m_Port);
    const QString failure = usb ? usb->GetOpenFailure() : QString();
    return failure.isEmpty() ? QString() : QStringLiteral(": ") + failure;
}

Bool CLASS_ABSTRACT_UPDATER::IsPortConnected() const
{
    return m_Port && m_Port->GetConnectionState() == CONNECTION_STATE_CONNECTED;
}

void CLASS_ABSTRACT_UPDATER::DeletePort()
{
    if (m_Port)
    {
        m_Port->disconnect();
        delete m_Port;
        m_Port = nullptr;
    }
    DeletePortSettings();
}

void CLASS_ABSTRACT_UPDATER::DeletePortSettings()
{
    delete m_PortSettings;
    m_PortSettings = nullptr;
}
