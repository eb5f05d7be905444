#include "BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootRamUpdater.h"

#include <cstdio>

#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassProgFileWithAtmelAscii.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassSambaMonitor.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassUtilsProgFile.h"
#include "COMDRIVER_ClassUniversalPort.h"
#include "Traces.h"

namespace
{
QString Quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}
} // namespace

CLASS_MVR_BOOT_RAM_UPDATER::CLASS_MVR_BOOT_RAM_UPDATER(const QString& name, SDWord step,
                                                       CLASS_COMMUNICATION_CONF* communication,
                                                       QObject* parent)
    : CLASS_ABSTRACT_UPDATER(name, step, communication, parent), m_State(PREPARATION_SET_COMM_MODE_WAIT),
      m_BlockSendFailed(false)
{
}

QString CLASS_MVR_BOOT_RAM_UPDATER::StateName(SDWord state)
{
    switch (state)
    {
    case PREPARATION_SET_COMM_MODE:
        return QStringLiteral("PREPARATION_SET_COMM_MODE");
    case PREPARATION_SET_COMM_MODE_WAIT:
        return QStringLiteral("PREPARATION_SET_COMM_MODE_WAIT");
    case PROGRAMMING_BINARY_PROGRAMMING:
        return QStringLiteral("PROGRAMMING_BINARY_PROGRAMMING");
    case PROGRAMMING_BINARY_JUMP:
        return QStringLiteral("PROGRAMMING_BINARY_JUMP");
    case PROGRAMMING_SUCCESS:
        return QStringLiteral("PROGRAMMING_SUCCESS");
    default:
        return QString();
    }
}

DWord CLASS_MVR_BOOT_RAM_UPDATER::BytesSent() const
{
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file =
        m_ProgFileUtility ? m_ProgFileUtility->GetProgFile() : nullptr;
    return file ? file->GetOffset() : 0;
}

void CLASS_MVR_BOOT_RAM_UPDATER::UpdateProgress()
{
    switch (m_State.load())
    {
    case PREPARATION_SET_COMM_MODE:
        m_Progress.store(10);
        break;
    case PROGRAMMING_BINARY_PROGRAMMING:
    {
        CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file =
            m_ProgFileUtility ? m_ProgFileUtility->GetProgFile() : nullptr;
        const DWord size = (file && file->GetBinary()) ? file->GetBinary()->GetSize() : 0;
        const DWord sent = BytesSent();
        if (sent == 0 || size == 0)
            m_Progress.store(15);
        else
            m_Progress.store(static_cast<DWord>(15.0 + 75.0 * qMin<double>(sent, size) / size));
        break;
    }
    case PROGRAMMING_SUCCESS:
        m_Progress.store(100);
        break;
    default: // the last value stays
        break;
    }
}

DWord CLASS_MVR_BOOT_RAM_UPDATER::GetProgress()
{
    // Kept current by the updater's thread at every step, so a poller on
    // another thread reads one word and touches nothing else.
    return m_Progress.load();
}

void CLASS_MVR_BOOT_RAM_UPDATER::ConnectDebugSignals()
{
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file =
        m_ProgFileUtility ? m_ProgFileUtility->GetProgFile() : nullptr;
    if (!file || !m_Port)
        return;
    connect(file, &CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::SIGNAL_DisplayDebug, this,
            &CLASS_ABSTRACT_UPDATER::SIGNAL_DisplayDebug,
            static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection));
    // Direct, not queued: the block must be on the link before the write
    // command that follows it, or the monitor takes that command as data.
    connect(file,
            QOverload<QByteArray, QString>::of(&CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::SIGNAL_SendData),
            this, &CLASS_MVR_BOOT_RAM_UPDATER::SLOT_ForwardBlock,
            static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection));
}

void CLASS_MVR_BOOT_RAM_UPDATER::SLOT_ForwardBlock(QByteArray block, QString)
{
    if (!m_Port || !m_Port->SendData(block, QString()))
        m_BlockSendFailed = true;
}

void CLASS_MVR_BOOT_RAM_UPDATER::Process()
{
    m_Status.store(UPDATER_STATUS_RUNNING);
    m_ActivityTimer.start();
    emit SIGNAL_DisplayDebug(m_Name + QStringLiteral(" - Started"));

    if (!m_Port && !m_PortSettings)
    {
        if (!CreatePortFromCommunication(QStringLiteral("BOX_BOOT_RAM_UPDATER_") + m_Name) && !m_Port &&
            !m_PortSettings)
        {
            ErrorHasBeenEncountered(QStringLiteral("Cannot create TBP communication for updater named ") +
                                    Quoted(m_Name) + QStringLiteral(", abort!"));
            return;
        }
    }
    if (!m_Port || !m_PortSettings)
    {
        ErrorHasBeenEncountered(QStringLiteral("Invalid TBP communication parameters for updater named ") +
                                Quoted(m_Name) + QStringLiteral(", abort!"));
        return;
    }
    ApplyPortSettings(__FILE__, __LINE__, "Start");

    if (!OpenPortWithRetries(m_Delays.BootOpenRetryMs))
    {
        ErrorHasBeenEncountered(QStringLiteral("Cannot open communication for ") + Quoted(m_Name) +
                                PortOpenFailure());
        return;
    }
    emit SIGNAL_DisplayDebug(QStringLiteral("\t") + m_Name + QStringLiteral(" - Connection opened"));
    connect(m_Port, &CLASS_UNIVERSALPORT::SIGNAL_NewDataAvailable, this,
            &CLASS_MVR_BOOT_RAM_UPDATER::SLOT_DataReceived,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
    m_ReceptionBuffer.clear();
    m_BlockSendFailed = false;
    m_State.store(PREPARATION_SET_COMM_MODE);
    ConnectDebugSignals();
    m_ActivityTimer.start();
    RunStep();
}

void CLASS_MVR_BOOT_RAM_UPDATER::SLOT_DataReceived(QByteArray data, QString)
{
    if (m_Status.load() != UPDATER_STATUS_RUNNING)
        return;
    m_ReceptionBuffer.append(data);
    m_ActivityTimer.restart();
    RunStep();
}

Bool CLASS_MVR_BOOT_RAM_UPDATER::SendCommand(const QByteArray& command)
{
    SetLastActionTime();
    return m_Port && m_Port->SendData(command, QString());
}

void CLASS_MVR_BOOT_RAM_UPDATER::RunStep()
{
    const SDWord state = m_State.load();
    emit SIGNAL_DisplayDebug(QStringLiteral("\t ") + StateName(state));
    switch (state)
    {
    case PREPARATION_SET_COMM_MODE:
        UpdateProgress();
        SendCommand(CLASS_SAMBA_MONITOR::BuildTerminalMode());
        m_State.store(PREPARATION_SET_COMM_MODE_WAIT);
        break;

    case PREPARATION_SET_COMM_MODE_WAIT:
    {
        const QByteArray& prompt = CLASS_SAMBA_MONITOR::PROMPT;
        const QByteArray& lineEnd = CLASS_SAMBA_MONITOR::LINE_END;
        if (m_ReceptionBuffer == lineEnd + prompt || m_ReceptionBuffer == prompt + lineEnd)
        {
            m_ReceptionBuffer.clear();
            SendBlockCommand();
        }
        break;
    }

    case PROGRAMMING_BINARY_PROGRAMMING:
    {
        // Whatever the monitor said is consumed: it only paces the blocks.
        m_ReceptionBuffer.clear();
        auto* file = qobject_cast<CLASS_PROG_FILE_WITH_ATMEL_ASCII*>(
            m_ProgFileUtility ? m_ProgFileUtility->GetProgFile() : nullptr);
        if (file && !file->IsFinished())
        {
            file->NextBlock();
            if (m_BlockSendFailed)
            {
                ErrorHasBeenEncountered(
                    QStringLiteral("Cannot send a block of the binary to the monitor for ") + Quoted(m_Name));
                return;
            }
            SendBlockCommand();
            UpdateProgress();
            return;
        }
        emit SIGNAL_DisplayDebug(QStringLiteral("\t PROGRAMMING_BINARY_JUMP"));
        m_JumpTimer.SetClock(m_Delays.Clock);
        m_JumpTimer.start();
        const DWord jump = (file && file->GetBinary()) ? file->GetBinary()->GetJumpAddress() : 0;
        SendCommand(CLASS_SAMBA_MONITOR::BuildGo(jump));
        m_State.store(PROGRAMMING_SUCCESS);
        break;
    }

    case PROGRAMMING_SUCCESS:
    {
        emit SIGNAL_DisplayDebug(QStringLiteral("\t") + m_Name + QStringLiteral(" - PROGRAMMING_SUCCESS"));
        UpdateProgress();
        SetErrorText(QStringLiteral("Update complete"));
        DisconnectReception();
        SDWord status = UPDATER_STATUS_SUCCESS;
        if (m_JumpTimer.elapsed() > JUMP_LIMIT_MS)
        {
            CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file =
                m_ProgFileUtility ? m_ProgFileUtility->GetProgFile() : nullptr;
            const DWord jump = (file && file->GetBinary()) ? file->GetBinary()->GetJumpAddress() : 0;
            ErrorStatus(QStringLiteral("Failed to Jump at  : ") + QString::number(jump));
            status = UPDATER_STATUS_ERROR;
        }
        // Success is published after the link is closed, and only when the
        // jump came in time: a poller must neither see a success that turns
        // into a failure nor start the next step on a link still open.
        SleepMs(m_Delays.CloseWaitMs);
        if (m_Port)
            m_Port->Close();
        m_Finished.store(true);
        m_Status.store(status);
        break;
    }

    default:
        break;
    }
}

void CLASS_MVR_BOOT_RAM_UPDATER::SendBlockCommand()
{
    SetLastActionTime();
    if (!m_ProgFileUtility)
        return;
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file = m_ProgFileUtility->GetProgFile();
    if (!file)
    {
        ErrorHasBeenEncountered(QStringLiteral("Cannot found the ") + m_ProgFileUtility->GetName() +
                                QStringLiteral(" binary file for programming the Boot Mini"));
        return;
    }
    CLASS_BINARY_INFORMATIONS* binary = file->GetBinary();
    const DWord size = binary ? binary->GetSize() : 0;
    const DWord sent = qMin(file->GetOffset(), size);
    const DWord address = (binary ? binary->GetBaseAddress() : 0) + sent;
    const DWord length = qMin<DWord>(size - sent, CLASS_SAMBA_MONITOR::MAX_BLOCK_SIZE);
    SendCommand(CLASS_SAMBA_MONITOR::BuildWriteFile(address, length));
    m_State.store(PROGRAMMING_BINARY_PROGRAMMING);
    UpdateProgress();
}

void CLASS_MVR_BOOT_RAM_UPDATER::DisconnectReception()
{
    if (m_Port)
        disconnect(m_Port, &CLASS_UNIVERSALPORT::SIGNAL_NewDataAvailable, this,
                   &CLASS_MVR_BOOT_RAM_UPDATER::SLOT_DataReceived);
}

void CLASS_MVR_BOOT_RAM_UPDATER::ErrorHasBeenEncountered(const QString& message)
{
    SetFailureCause(message);
    const QByteArray line = message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
    TraceError(TracePosition(__FILE__, "ErrorHasBeenEncountered", __LINE__) + message);
    DisconnectReception();
    SleepMs(m_Delays.CloseWaitMs);
    if (IsPortConnected())
        m_Port->Close();
    SleepMs(m_Delays.CloseWaitMs);
    m_Finished.store(true);
    m_Status.store(UPDATER_STATUS_ERROR);
}
