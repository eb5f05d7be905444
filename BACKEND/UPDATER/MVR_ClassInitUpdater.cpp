#include "BACKEND/UPDATER/MVR_ClassInitUpdater.h"

#include <cstdio>

#include "COMDRIVER_ClassUniversalPort.h"
#include "Traces.h"

namespace
{
QString Quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Nothing longer than an answer can ever match; what is kept beyond that only
// proves that the bytes were wrong, so the buffer stops growing there.
constexpr int MAX_KEPT_BYTES = 64;
} // namespace

const QByteArray CLASS_INIT_UPDATER::RESET_REQUEST = QByteArrayLiteral("1SYrst\r\n");
const QByteArray CLASS_INIT_UPDATER::RESET_ACCEPTED = QByteArrayLiteral("SYrst1\r\n");
const QByteArray CLASS_INIT_UPDATER::RESET_REFUSED = QByteArrayLiteral("SYrst0\r\n");

CLASS_INIT_UPDATER::CLASS_INIT_UPDATER(const QString& name, CLASS_COMMUNICATION_CONF* communication,
                                       QObject* parent)
    : CLASS_ABSTRACT_UPDATER(name, UPDATER_STEP_INIT, communication, parent),
      m_ResetState(INIT_RESET_STATE_SEND_RESET)
{
}

DWord CLASS_INIT_UPDATER::GetProgress()
{
    return m_Finished.load() ? 100 : 0;
}

void CLASS_INIT_UPDATER::Process()
{
    m_Status.store(UPDATER_STATUS_RUNNING);
    m_ActivityTimer.start();
    emit SIGNAL_DisplayDebug(QStringLiteral("******"));
    emit SIGNAL_DisplayDebug(m_Name + QStringLiteral(" - Started"));

    if (!m_Port && !m_PortSettings)
    {
        if (!CreatePortFromCommunication(QStringLiteral("BOX_INIT_UPDATER_") + m_Name) && !m_Port &&
            !m_PortSettings)
        {
            ErrorHasBeenEncountered(QStringLiteral("Cannot create TBP communication for updater named ") +
                                    Quoted(m_Name) + QStringLiteral(", abort!"));
            return;
        }
    }
    if (!m_Port || !m_PortSettings)
    {
        ErrorHasBeenEncountered(QStringLiteral("Invalid communication parameters for updater named ") +
                                Quoted(m_Name) + QStringLiteral(", abort!"));
        return;
    }
    ApplyPortSettings(__FILE__, __LINE__, "Start");

    if (!OpenPortWithRetries(m_Delays.InitOpenRetryMs))
    {
        ErrorHasBeenEncountered(QStringLiteral("Cannot open communication for ") + Quoted(m_Name) +
                                PortOpenFailure());
        return;
    }
    emit SIGNAL_DisplayDebug(QStringLiteral("\t Connection opened"));
    connect(m_Port, &CLASS_UNIVERSALPORT::SIGNAL_NewDataAvailable, this,
            &CLASS_INIT_UPDATER::SLOT_DataReceived,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
    m_ResetState.store(INIT_RESET_STATE_SEND_RESET);
    RunStateMachine();
}

void CLASS_INIT_UPDATER::SLOT_DataReceived(QByteArray data, QString)
{
    m_ReceivedBytes.append(data);
    if (m_ReceivedBytes.size() > MAX_KEPT_BYTES)
        m_ReceivedBytes.truncate(MAX_KEPT_BYTES);
    m_ActivityTimer.restart();
    RunStateMachine();
}

void CLASS_INIT_UPDATER::RunStateMachine()
{
    switch (m_ResetState.load())
    {
    case INIT_RESET_STATE_SEND_RESET:
        emit SIGNAL_DisplayDebug(QStringLiteral("\t SEND_RESET"));
        if (!m_Port || !m_Port->SendData(RESET_REQUEST, QString()))
        {
            ErrorHasBeenEncountered(QStringLiteral("Cannot send the reset command to the micro on ") +
                                    Quoted(m_Name));
            return;
        }
        m_ActivityTimer.restart();
        m_ResetState.store(INIT_RESET_STATE_WAIT_FOR_ACK);
        break;

    case INIT_RESET_STATE_WAIT_FOR_ACK:
        emit SIGNAL_DisplayDebug(QStringLiteral("\t WAIT_FOR_ACK"));
        if (m_ReceivedBytes == RESET_ACCEPTED)
        {
            m_ReceivedBytes.clear();
            m_ActivityTimer.restart();
            m_ResetState.store(INIT_RESET_STATE_SUCCESS);
            RunStateMachine();
        }
        else if (m_ReceivedBytes == RESET_REFUSED)
        {
            m_ReceivedBytes.clear();
            ErrorHasBeenEncountered(QStringLiteral("Cannot reset the micro on ") + Quoted(m_Name));
        }
        break;

    case INIT_RESET_STATE_SUCCESS:
        emit SIGNAL_DisplayDebug(QStringLiteral("\t SUCCESS"));
        m_ActivityTimer.restart();
        m_Progress.store(100);
        if (m_Port)
            m_Port->disconnect();
        SleepMs(m_Delays.CloseWaitMs);
        if (IsPortConnected())
            m_Port->Close();
        DeletePortSettings();
        m_Finished.store(true);
        m_Status.store(UPDATER_STATUS_SUCCESS);
        break;

    default:
        break;
    }
}

void CLASS_INIT_UPDATER::ErrorHasBeenEncountered(const QString& message)
{
    SetFailureCause(message);
    const QByteArray line = message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
    emit SIGNAL_DisplayDebug(message);
    TraceError(TracePosition(__FILE__, "ErrorHasBeenEncountered", __LINE__) + message);
    if (m_Port)
    {
        m_Port->disconnect();
        m_Port->Close();
    }
    DeletePortSettings();
    SleepMs(m_Delays.CloseWaitMs);
    m_Status.store(UPDATER_STATUS_ERROR);
}

void CLASS_INIT_UPDATER::SLOT_TimeOut()
{
    // A late time-out must not turn a finished reset into a failure.
    if (m_Status.load() != UPDATER_STATUS_RUNNING)
        return;
    ErrorHasBeenEncountered(QStringLiteral("Command timeout encountered for updater named ") +
                            QLatin1Char('"') + m_Name);
    CLASS_ABSTRACT_UPDATER::SLOT_TimeOut();
}
