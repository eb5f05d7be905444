#include "BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootTBPUpdater.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <zlib.h>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConf.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassUtilsProgFile.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROTOCOL/PROG_ClassProgFileWithTBP.h"
#include "COMDRIVER_ClassUniversalPort.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPErrorProtocol.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"
#include "Traces.h"

namespace
{
// The transmitter gives up an unacknowledged frame after this long.
constexpr DWord NODE_ANSWER_TIMEOUT_MS = 3000;
// Bound on putting queued frames on the link (a few bytes at any baud rate the cards use).
constexpr SDWord LINK_FLUSH_TIMEOUT_MS = 1000;
constexpr Byte HOST_NODE_ADDRESS = 0;
constexpr Byte NO_NODE_ADDRESS = 0xFF;
constexpr Byte EDID_COMPONENT_ID = 0x20;
constexpr Byte HDCP_COMPONENT_ID = 0x40;
// Code given to a received command before decoding: a frame whose code the
// protocol does not know leaves it, and it matches no expected reply.
constexpr Word UNKNOWN_COMMAND_CODE = 0xFFFF;

QString Quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// CRC-32/JAMCRC: the standard CRC-32 without its final inversion.
DWord JamCrc(const QByteArray& data)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    const char* bytes = data.constData();
    qint64 left = data.size();
    while (left > 0)
    {
        const uInt chunk = static_cast<uInt>(qMin<qint64>(left, 1 << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes), chunk);
        bytes += chunk;
        left -= chunk;
    }
    return static_cast<DWord>(crc) ^ 0xFFFFFFFFu;
}
} // namespace

CLASS_MVR_BOOT_TBP_UPDATER::CLASS_MVR_BOOT_TBP_UPDATER(const QString& name, SDWord step,
                                                       CLASS_COMMUNICATION_CONF* communication, Bool force,
                                                       QObject* parent)
    : CLASS_ABSTRACT_UPDATER(name, step, communication, parent), m_Force(force),
      m_NodeAddress(NO_NODE_ADDRESS), m_Transmitter(HOST_NODE_ADDRESS, NODE_ANSWER_TIMEOUT_MS, true, this),
      m_Receiver(HOST_NODE_ADDRESS, &m_Transmitter, true, false, this), m_State(BOOT_TBP_STATE_IDLE),
      m_NextState(BOOT_TBP_STATE_IDLE), m_CheckOffset(0), m_ResidentReprogrammed(false)
{
    if (communication)
    {
        const SDWord address = communication->GetNodeAddress();
        if (address == -1)
            TraceError(TRACE_POS + QStringLiteral("Node address is not initialized for udpater named ") +
                       Quoted(name));
        else
            m_NodeAddress = static_cast<Byte>(address);
    }
}

QString CLASS_MVR_BOOT_TBP_UPDATER::StateText(SDWord state)
{
    switch (state)
    {
    case BOOT_TBP_STATE_IDLE:
        return QStringLiteral("Etat par défaut du moteur");
    case BOOT_TBP_STATE_REINIT:
        return QStringLiteral("Réinitialisation de la machine d'états sur les cartes");
    case BOOT_TBP_STATE_PING:
        return QStringLiteral("Envoie un ping");
    case BOOT_TBP_STATE_PING_ANSWERED:
        return QStringLiteral("Attend la réponse du ping");
    case BOOT_TBP_STATE_WAIT_VERSION:
        return QStringLiteral("Attend la réponse du calcul du programme courant");
    case BOOT_TBP_STATE_WAIT_FPGA_VERSION:
        return QStringLiteral("Attend la réponse du calcul du FPGA courant");
    case BOOT_TBP_STATE_WAIT_EDID_VALIDITY:
        return QStringLiteral("Attend la réponse du calcul de l'EDID courante");
    case BOOT_TBP_STATE_WAIT_HDCP_VERSION:
        return QStringLiteral("Attend la réponse du calcul de l'HDCP courant");
    case BOOT_TBP_STATE_PROGRAM:
        return QStringLiteral("Programme le binaire");
    case BOOT_TBP_STATE_WAIT_SHA:
        return QStringLiteral("Attend pour la vérification du SHA");
    case BOOT_TBP_STATE_JUMP:
        return QStringLiteral("Envoie la demande de saut");
    case BOOT_TBP_STATE_RESET:
        return QStringLiteral("Envoie la demande de reset");
    case BOOT_TBP_STATE_SUCCESS:
        return QStringLiteral("Programmation terminée avec succès");
    default:
        return QString();
    }
}

QString CLASS_MVR_BOOT_TBP_UPDATER::GetStateText() const
{
    const SDWord state = m_State.load();
    return StateText(state == BOOT_TBP_STATE_WAIT_ACK ? m_NextState.load() : state);
}

DWord CLASS_MVR_BOOT_TBP_UPDATER::GetProgress()
{
    return m_Progress.load();
}

CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* CLASS_MVR_BOOT_TBP_UPDATER::ProgFile() const
{
    return m_ProgFileUtility ? m_ProgFileUtility->GetProgFile() : nullptr;
}

CLASS_PROG_FILE_WITH_TBP* CLASS_MVR_BOOT_TBP_UPDATER::TbpProgFile() const
{
    return qobject_cast<CLASS_PROG_FILE_WITH_TBP*>(ProgFile());
}

CLASS_BINARY_INFORMATIONS* CLASS_MVR_BOOT_TBP_UPDATER::ProgBinary() const
{
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file = ProgFile();
    return file ? file->GetBinary() : nullptr;
}

CLASS_BINARY_INFORMATIONS* CLASS_MVR_BOOT_TBP_UPDATER::VerificationBinary() const
{
    return m_ProgFileUtility ? m_ProgFileUtility->GetVerificationBinary() : nullptr;
}

void CLASS_MVR_BOOT_TBP_UPDATER::ConnectDebugSignals()
{
    CLASS_ABSTRACT_UPDATER::ConnectDebugSignals();
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file = ProgFile();
    if (!file)
        return;
    // Direct: the frame reaches the transmitter before the programming file returns.
    connect(file,
            QOverload<QByteArray, QString>::of(&CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::SIGNAL_SendData),
            this, &CLASS_MVR_BOOT_TBP_UPDATER::SendProgrammingFrame,
            static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection));
}

void CLASS_MVR_BOOT_TBP_UPDATER::Reset()
{
    m_NextState.store(BOOT_TBP_STATE_IDLE);
    m_CheckOffset.store(0);
    m_ResidentReprogrammed.store(false);
    m_State.store(BOOT_TBP_STATE_IDLE);
    CLASS_ABSTRACT_UPDATER::Reset();
}

void CLASS_MVR_BOOT_TBP_UPDATER::SLOT_TimeOut()
{
    m_Force.store(false);
    if (m_Status.load() == UPDATER_STATUS_RUNNING)
        Fail(QStringLiteral("Command timeout encountered for updater named ") + Quoted(m_Name) +
             QStringLiteral(" in step ") + Quoted(GetStateText()));
}

void CLASS_MVR_BOOT_TBP_UPDATER::Process()
{
    m_ActivityTimer.start();
    m_Status.store(UPDATER_STATUS_RUNNING);
    emit SIGNAL_DisplayDebug(QStringLiteral("******"));
    emit SIGNAL_DisplayDebug(m_Name + QStringLiteral(" - Started"));
    ApplyEraseWait();

    // A boot loader that has just been reset needs time before it listens.
    SleepMs(m_Delays.StartWaitMs);
    m_ActivityTimer.restart();
    m_Receiver.ClearNodeHistory(m_NodeAddress);
    if (IsPortConnected())
    {
        SleepMs(m_Delays.CloseWaitMs);
        m_Port->Close();
        m_Receiver.ClearNodeHistory(m_NodeAddress);
        m_Receiver.ClearNodeHistory(HOST_NODE_ADDRESS);
    }

    if (!m_Communication)
    {
        Fail(TracePosition(__FILE__, "Start", __LINE__) +
             QStringLiteral("Cannot create TBP communication for updater named ") + Quoted(m_Name) +
             QStringLiteral(" because we don't have communication data filled' , abort!"));
        return;
    }

    DropLinkConnections();
    DeletePort();
    if (!CreatePortFromCommunication(QStringLiteral("BOX_BOOT_TBP_UPDATER_") + m_Name) && !m_Port)
    {
        Fail(QStringLiteral("Cannot create TBP communication for updater named ") + Quoted(m_Name) +
             QStringLiteral(", abort!"));
        return;
    }
    if (!m_PortSettings)
    {
        Fail(QStringLiteral("Invalid TBP communication parameters for updater named ") + Quoted(m_Name) +
             QStringLiteral(", abort!"));
        return;
    }
    ApplyPortSettings(__FILE__, __LINE__, "Start");

    if (m_Step != STEP_FINAL_RESET && !ProgFile())
    {
        Fail(QStringLiteral("Programmation file isn't initialized for: ") + m_Name);
        return;
    }
    if (!OpenPortWithRetries(m_Delays.BootOpenRetryMs))
    {
        Fail(QStringLiteral("Cannot open communication for ") + Quoted(m_Name) + PortOpenFailure());
        return;
    }

    emit SIGNAL_DisplayDebug(QStringLiteral("\t Connection opened"));
    DropLinkConnections();
    m_Receiver.ClearNodeHistory(m_NodeAddress);
    CLASS_UNIVERSALPORT* port = m_Port;
    // Each pair of queued actions on one signal travels as one event: the port, the
    // receiver and this updater share the thread, so the order is the same and a
    // programmed block costs fewer passes of the event loop.
    m_LinkConnections << connect(
        &m_Transmitter, &CLASS_NODEMESSAGE_TX::SIGNAL_SendDataOnCom, port,
        [this, port](QByteArray data)
        {
            port->SendData(data, QString());
            m_ActivityTimer.restart();
        },
        Qt::QueuedConnection);
    m_LinkConnections << connect(
        port, &CLASS_UNIVERSALPORT::SIGNAL_NewDataAvailable, &m_Receiver,
        [this](QByteArray data, QString) { m_Receiver.DecodeReceivedData(data); }, Qt::QueuedConnection);
    m_LinkConnections << connect(
        &m_Receiver, &CLASS_NODEMESSAGE_RX::SIGNAL_NewMsgAvailable, this,
        [this](QByteArray data, Byte)
        {
            UpdateNewDataReceived(data);
            m_ActivityTimer.restart();
        },
        Qt::QueuedConnection);

    SetState(BOOT_TBP_STATE_REINIT);
    RunStateMachine(T_THIRD_BLOCK_PROTOCOL_COMMAND());
}

void CLASS_MVR_BOOT_TBP_UPDATER::ApplyEraseWait()
{
    CLASS_PROG_FILE_WITH_TBP* file = TbpProgFile();
    if (!file)
        return;
    const double factor = m_Delays.EraseWaitFactor;
    file->SetEraseWait(
        [this, factor](DWord milliseconds)
        {
            // The wait is the target's erase: START_SEND must be on the link before it
            // starts, or the target would begin erasing only when the wait is over.
            FlushLink();
            const int wait = static_cast<int>(milliseconds * factor);
            // Told, so that a long wait does not read as a hang (the log window shows it).
            TraceInfo(TracePosition(__FILE__, "ApplyEraseWait", __LINE__) + Quoted(m_Name) +
                      QStringLiteral(" waits %1 ms for the device to erase").arg(wait));
            // The target erases: the wait is planned, not device silence. Neither the
            // inactivity watch nor the answer timers may count it.
            m_ActivityTimer.holdFor(wait);
            SleepMs(wait);
            m_Transmitter.RestartAnswerTimers();
            m_ActivityTimer.restart();
        });
}

void CLASS_MVR_BOOT_TBP_UPDATER::FlushLink()
{
    if (!m_Port)
        return;
    // The transmitter's frames reach the port through queued calls, which a sleeping
    // thread never runs: run the port's now, in their order, then let the port write.
    QCoreApplication::sendPostedEvents(m_Port, QEvent::MetaCall);
    if (!m_Port->FlushOutput(LINK_FLUSH_TIMEOUT_MS))
        TraceError(TRACE_POS + QStringLiteral("Frames still waiting on the link of ") + Quoted(m_Name) +
                   QStringLiteral(" before the erase wait"));
}

void CLASS_MVR_BOOT_TBP_UPDATER::DropLinkConnections()
{
    for (const QMetaObject::Connection& connection : qAsConst(m_LinkConnections))
        disconnect(connection);
    m_LinkConnections.clear();
}

Bool CLASS_MVR_BOOT_TBP_UPDATER::SendFrame(const QString& mixedCaseName, Word code, Bool built,
                                           const QByteArray& frame, Bool withAcknowledgement)
{
    if (!built)
    {
        Fail(QStringLiteral("Cannot encode ") + mixedCaseName + QStringLiteral(" command on ") +
             Quoted(m_Name));
        return false;
    }
    emit SIGNAL_DisplayDebug(QStringLiteral("\t ") + CLASS_TBP_MVRUPDATER::CommandName(code));
    m_Transmitter.SendMessage(m_NodeAddress, withAcknowledgement ? 1 : 0, frame, 0);
    return true;
}

void CLASS_MVR_BOOT_TBP_UPDATER::SendProgrammingFrame(QByteArray frame, QString)
{
    m_Transmitter.SendMessage(m_NodeAddress, 1, frame, 0);
}

void CLASS_MVR_BOOT_TBP_UPDATER::UpdateNewDataReceived(QByteArray frame)
{
    Byte header = 0;
    T_THIRD_BLOCK_PROTOCOL_COMMAND command;
    command.code = UNKNOWN_COMMAND_CODE;
    if (!CLASS_THIRD_BLOCK_PROTOCOL::Decode(frame, header, command, CLASS_TBP_MVRUPDATER::Protocol()))
    {
        if (header != ERROR_PROTOCOL_HEADER)
            return;
        for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : qAsConst(command.attributs))
        {
            if (attribut.id == ERROR_PROTOCOL_ATTR_ERROR_LOCATION &&
                attribut.value.toUInt() == TBP_ERROR_LOCATION_PROTOCOL)
            {
                Fail(TracePosition(__FILE__, "UpdateNewDataReceived", __LINE__) +
                     QStringLiteral("An error has been encountered with TBP frame ") +
                     Quoted(CLASS_TBP_ERRORPROTOCOL::ErrorToText(command)));
                return;
            }
        }
        return;
    }

    if (command.code == BOOT_CMD_ERROR)
    {
        for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : qAsConst(command.attributs))
        {
            if (attribut.id == BOOT_ATTR_ERROR_CODE)
            {
                const Byte code = static_cast<Byte>(attribut.value.toUInt());
                Fail(TracePosition(__FILE__, "UpdateNewDataReceived", __LINE__) +
                     QStringLiteral("Error has been encountered with value code ") +
                     Quoted(QString::number(code)) + QStringLiteral(" - Message: ") +
                     CLASS_TBP_ERRORPROTOCOL::BootLoaderErrorToText(code));
            }
            else
            {
                Fail(QStringLiteral("Unrecognized attribut code for and TBP error frame ") +
                     Quoted(QString::number(attribut.id)));
            }
        }
        // The link is already closed: the abort cannot reach the card, but the
        // exchange stays as the boot loader's protocol wants it.
        QByteArray abort;
        if (!CLASS_TBP_MVRUPDATER::FormatAbort(abort))
            Fail(QStringLiteral("Cannot encode Abort command on ") + Quoted(m_Name));
        else
            m_Transmitter.SendMessage(m_NodeAddress, 1, abort, 0);
        Fail(QStringLiteral("Error has been received during TBP programming ") + Quoted(m_Name) +
             QStringLiteral(", abort update!"));
        return;
    }

    if (m_State.load() == BOOT_TBP_STATE_WAIT_ACK)
    {
        switch (command.code)
        {
        case BOOT_CMD_PING:
        case BOOT_CMD_ACK:
        case BOOT_CMD_BUFFER_FULL:
            SetState(GetNextState());
            RunStateMachine(command);
            return;
        case BOOT_CMD_PROGRESS_IS_MADE:
            RunStateMachine(command);
            return;
        case BOOT_CMD_VERSION_STATUS:
        case BOOT_CMD_FPGA_VERSION_STATUS:
        case BOOT_CMD_EDID_VALIDITY_STATUS:
        case BOOT_CMD_HDCP_VERSION_STATUS:
            return;
        default:
            Fail(QStringLiteral("Unrecognized ACK command for updater named ") + Quoted(m_Name));
            return;
        }
    }
    RunStateMachine(command);
}

void CLASS_MVR_BOOT_TBP_UPDATER::RunStateMachine(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    switch (m_State.load())
    {
    case BOOT_TBP_STATE_REINIT:
    {
        QByteArray frame;
        const Bool built = CLASS_TBP_MVRUPDATER::FormatAbort(frame);
        if (!SendFrame(QStringLiteral("Abort"), BOOT_CMD_ABORT, built, frame, false))
            return;
        SetState(BOOT_TBP_STATE_WAIT_ACK);
        if (GetNextState() != BOOT_TBP_STATE_PROGRAM)
            SetNextState(BOOT_TBP_STATE_PING);
        break;
    }
    case BOOT_TBP_STATE_PING:
    {
        m_Progress.store(5);
        QByteArray frame;
        const Bool built = CLASS_TBP_MVRUPDATER::FormatPing(frame);
        if (!SendFrame(QStringLiteral("Ping"), BOOT_CMD_PING, built, frame))
            return;
        SetState(BOOT_TBP_STATE_WAIT_ACK);
        SetNextState(BOOT_TBP_STATE_PING_ANSWERED);
        break;
    }
    case BOOT_TBP_STATE_PING_ANSWERED:
        OnPingAnswered();
        break;
    case BOOT_TBP_STATE_WAIT_VERSION:
        if (command.code == BOOT_CMD_VERSION_STATUS)
            OnVersionStatus(command, false);
        break;
    case BOOT_TBP_STATE_WAIT_FPGA_VERSION:
        if (command.code == BOOT_CMD_FPGA_VERSION_STATUS)
            OnVersionStatus(command, true);
        break;
    case BOOT_TBP_STATE_WAIT_EDID_VALIDITY:
        OnEdidValidityStatus(command);
        break;
    case BOOT_TBP_STATE_WAIT_HDCP_VERSION:
        OnHdcpVersionStatus(command);
        break;
    case BOOT_TBP_STATE_PROGRAM:
        OnProgramming(command);
        break;
    case BOOT_TBP_STATE_WAIT_SHA:
        if (command.code == BOOT_CMD_SHA_STATUS)
            OnShaStatus(command);
        break;
    case BOOT_TBP_STATE_JUMP:
        SendJumpFrame();
        break;
    case BOOT_TBP_STATE_RESET:
        SendResetFrame();
        break;
    case BOOT_TBP_STATE_SUCCESS:
        FinishWithSuccess();
        break;
    default: // idle, and waiting for an acknowledgement
        break;
    }
}

void CLASS_MVR_BOOT_TBP_UPDATER::OnPingAnswered()
{
    emit SIGNAL_DisplayDebug(QStringLiteral("\t PING_ACK"));
    m_Progress.store(10);

    if (m_Step == STEP_FINAL_RESET)
    {
        SendResetFrame();
        return;
    }
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file = ProgFile();
    if (!file)
    {
        Fail(QStringLiteral("No binary initialized for ") + Quoted(m_Name));
        return;
    }
    file->ReInitProgrammationWorker();

    CLASS_BINARY_INFORMATIONS* verification = VerificationBinary();
    CLASS_BINARY_INFORMATIONS* binary = ProgBinary();
    const DWord binarySize = binary ? binary->GetSize() : 0;
    if (!verification)
    {
        QByteArray frame;
        switch (m_Step)
        {
        case STEP_RAM_PROGRAM_RESIDENT:
        case STEP_RESIDENT_PROGRAM_RAM:
        case STEP_RAM_PROGRAM_MAIN:
            file->Rewind();
            SetState(BOOT_TBP_STATE_WAIT_ACK);
            SetNextState(BOOT_TBP_STATE_PROGRAM);
            file->ProgrammationWorker();
            return;
        case STEP_RAM_PROGRAM_FPGA_0:
        {
            m_Progress.store(15);
            CLASS_PROG_FILE_WITH_TBP* tbpFile = TbpProgFile();
            const Byte componentId = tbpFile ? static_cast<Byte>(tbpFile->GetComponentId()) : 0xFF;
            const Bool built = CLASS_TBP_MVRUPDATER::FormatCheckFpgaVersion(frame, componentId, binarySize);
            if (!SendFrame(QStringLiteral("FPGAVersion"), BOOT_CMD_CHECK_FPGA_VERSION, built, frame))
                return;
            m_CheckOffset.store(0);
            SetState(BOOT_TBP_STATE_WAIT_FPGA_VERSION);
            return;
        }
        case STEP_RAM_PROGRAM_EDID_0:
        {
            m_Progress.store(15);
            const Bool built = CLASS_TBP_MVRUPDATER::FormatCheckEdidValidity(frame, EDID_COMPONENT_ID);
            if (!SendFrame(QStringLiteral("EDIDValidity"), BOOT_CMD_CHECK_EDID_VALIDITY, built, frame))
                return;
            m_CheckOffset.store(0);
            SetState(BOOT_TBP_STATE_WAIT_EDID_VALIDITY);
            return;
        }
        case STEP_RAM_PROGRAM_HDCP_0:
        {
            m_Progress.store(15);
            const Bool built =
                CLASS_TBP_MVRUPDATER::FormatCheckHdcpVersion(frame, HDCP_COMPONENT_ID, binarySize);
            if (!SendFrame(QStringLiteral("HDCPVersion"), BOOT_CMD_CHECK_HDCP_VERSION, built, frame))
                return;
            m_CheckOffset.store(0);
            SetState(BOOT_TBP_STATE_WAIT_HDCP_VERSION);
            return;
        }
        default:
            Fail(QStringLiteral("Invalid type to determine action after ping ack for ") + Quoted(m_Name));
            return;
        }
    }

    if (m_Step == STEP_RAM_PROGRAM_FPGA_0)
    {
        Fail(QStringLiteral("Binary verification not available for ") + Quoted(m_Name));
        return;
    }
    m_Progress.store(15);
    QByteArray frame;
    const Bool built = CLASS_TBP_MVRUPDATER::FormatCheckVersion(frame, verification->GetBaseAddress(),
                                                                verification->GetSize());
    if (!SendFrame(QStringLiteral("CheckVersion"), BOOT_CMD_CHECK_VERSION, built, frame))
        return;
    m_CheckOffset.store(0);
    SetState(BOOT_TBP_STATE_WAIT_VERSION);
}

void CLASS_MVR_BOOT_TBP_UPDATER::OnVersionStatus(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command, Bool fpga)
{
    emit SIGNAL_DisplayDebug(fpga ? QStringLiteral("\t FPGA_VERSION_STATUS")
                                  : QStringLiteral("\t VERSION_STATUS"));
    m_Progress.store(20);

    DWord blockSize = 0;
    QByteArray shaValue;
    for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : command.attributs)
    {
        switch (attribut.id)
        {
        case BOOT_ATTR_SHA_BLOCK_SIZE:
        {
            Bool ok = false;
            blockSize = attribut.value.toUInt(&ok);
            if (!ok)
            {
                Fail(fpga ? QStringLiteral("Failed to convert FPGA SHA Block Size")
                          : QStringLiteral("Failed to convert Card SHA Block Size"));
                return;
            }
            break;
        }
        case BOOT_ATTR_SHA_VALUE:
            shaValue = attribut.value.toByteArray();
            break;
        case BOOT_ATTR_SHA_BLOCK_ID:
            break;
        default:
            if (fpga)
                Fail(QStringLiteral("Unrecognized attribute with code (0x") +
                     QString::number(attribut.id, 16) + QStringLiteral(") for FPGA version status"));
            else
                Fail(QStringLiteral("Unrecognized attribute with ID ") +
                     Quoted(QString::number(attribut.id)) + QStringLiteral(" for SHA calculation in ") +
                     Quoted(m_Name));
            return;
        }
    }

    CLASS_BINARY_INFORMATIONS* reference = fpga ? ProgBinary() : VerificationBinary();
    const QByteArray content = reference ? reference->GetData() : QByteArray();
    const DWord offset = m_CheckOffset.load();
    const QByteArray block =
        offset < static_cast<DWord>(content.size())
            ? content.mid(static_cast<int>(offset),
                          static_cast<int>(qMin<DWord>(blockSize, content.size() - offset)))
            : QByteArray();
    if (block.isEmpty())
    {
        Fail(QStringLiteral("No data available for SHA calculation in ") + Quoted(m_Name));
        return;
    }

    const Bool equal = QCryptographicHash::hash(block, QCryptographicHash::Sha1) == shaValue;
    if (equal && !m_Force.load())
    {
        if (static_cast<quint64>(offset) + blockSize < static_cast<quint64>(content.size()))
        {
            m_CheckOffset.store(offset + blockSize);
            return;
        }
        if (!fpga && m_Step == STEP_RESIDENT_PROGRAM_RAM)
        {
            // The RAM boot loader is always loaded, even when it is up to date.
            SetState(BOOT_TBP_STATE_PROGRAM);
            NextProgrammationFrame();
            return;
        }
        RunEndAction();
        return;
    }

    m_Force.store(false);
    SetNextState(BOOT_TBP_STATE_PROGRAM);
    QByteArray frame;
    const Bool built = CLASS_TBP_MVRUPDATER::FormatAbort(frame);
    if (!SendFrame(QStringLiteral("Abort"), BOOT_CMD_ABORT, built, frame, false))
        return;
    SetState(BOOT_TBP_STATE_WAIT_ACK);
    if (!fpga && m_Step == STEP_RESIDENT_PROGRAM_RAM)
        m_ResidentReprogrammed.store(true);
}

void CLASS_MVR_BOOT_TBP_UPDATER::OnEdidValidityStatus(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    if (command.code != BOOT_CMD_EDID_VALIDITY_STATUS)
    {
        Fail(QStringLiteral("Received wrong command with code 0x") +
             Quoted(QString::number(command.code, 16).toUpper()) +
             QStringLiteral(" while waiting EDID Validity Status"));
        return;
    }
    m_Progress.store(20);
    DWord validity = 0;
    DWord deviceCrc = 0;
    Bool crcReceived = false;
    for (const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut : command.attributs)
    {
        if (attribut.id == BOOT_ATTR_EDID_STATUS)
            validity = attribut.value.toUInt();
        else if (attribut.id == BOOT_ATTR_CRC_VALUE)
        {
            deviceCrc = attribut.value.toUInt();
            crcReceived = true;
        }
        else
        {
            Fail(QStringLiteral("Unrecognized attribute with code (0x") + QString::number(attribut.id, 16) +
                 QStringLiteral(") for Edid validity status"));
            return;
        }
    }
    CLASS_BINARY_INFORMATIONS* binary = ProgBinary();
    const DWord crc = JamCrc(binary ? binary->GetData() : QByteArray());
    if (crcReceived && crc == deviceCrc && validity == 1)
    {
        RunEndAction();
        return;
    }
    SetState(BOOT_TBP_STATE_WAIT_ACK);
    SetNextState(BOOT_TBP_STATE_PROGRAM);
    NextProgrammationFrame();
}

void CLASS_MVR_BOOT_TBP_UPDATER::OnHdcpVersionStatus(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    if (command.code != BOOT_CMD_HDCP_VERSION_STATUS)
    {
        Fail(QStringLiteral("Received wrong command with code 0x") +
             Quoted(QString::number(command.code, 16).toUpper()) +
             QStringLiteral(" while waiting HDCP Version Status"));
        return;
    }
    m_Progress.store(20);
    if (command.attributs.size() != 1)
    {
        Fail(QStringLiteral("Invalid attribute number for HDCP version SHA comparison"));
        return;
    }
    const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut = command.attributs.first();
    if (attribut.id != BOOT_ATTR_SHA_VALUE)
    {
        Fail(QStringLiteral("Invalid attribute ID for HDCP version SHA comparison ") +
             QString::number(attribut.id) + QStringLiteral(" instead of ") +
             QString::number(BOOT_ATTR_SHA_VALUE));
        return;
    }
    CLASS_BINARY_INFORMATIONS* binary = ProgBinary();
    const QByteArray sha =
        QCryptographicHash::hash(binary ? binary->GetData() : QByteArray(), QCryptographicHash::Sha1);
    if (sha == attribut.value.toByteArray() && !m_Force.load())
    {
        RunEndAction();
        return;
    }
    m_Force.store(false);
    SetState(BOOT_TBP_STATE_WAIT_ACK);
    SetNextState(BOOT_TBP_STATE_PROGRAM);
    NextProgrammationFrame();
}

void CLASS_MVR_BOOT_TBP_UPDATER::UpdateProgrammingProgress()
{
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file = ProgFile();
    CLASS_BINARY_INFORMATIONS* binary = ProgBinary();
    const DWord size = binary ? binary->GetSize() : 0;
    if (!file || size == 0)
    {
        m_Progress.store(15);
        return;
    }
    const double sent = qMin<double>(file->GetOffset(), size);
    m_Progress.store(static_cast<DWord>(15.0 + sent / size * 75.0));
}

void CLASS_MVR_BOOT_TBP_UPDATER::NextProgrammationFrame()
{
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file = ProgFile();
    if (!file)
    {
        Fail(QStringLiteral("No binary initialized for ") + Quoted(m_Name));
        return;
    }
    file->ProgrammationWorker();
    UpdateProgrammingProgress();
}

void CLASS_MVR_BOOT_TBP_UPDATER::OnProgramming(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    UpdateProgrammingProgress();
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file = ProgFile();
    if (!file)
    {
        Fail(QStringLiteral("No binary initialized for ") + Quoted(m_Name));
        return;
    }
    if (command.code != BOOT_CMD_BUFFER_FULL && !file->IsFinished())
    {
        NextProgrammationFrame();
        return;
    }
    QByteArray frame;
    const Bool built = CLASS_TBP_MVRUPDATER::FormatCheckSha(frame);
    if (!SendFrame(QStringLiteral("CheckSHA"), BOOT_CMD_CHECK_SHA, built, frame))
        return;
    SetState(BOOT_TBP_STATE_WAIT_SHA);
}

void CLASS_MVR_BOOT_TBP_UPDATER::OnShaStatus(const T_THIRD_BLOCK_PROTOCOL_COMMAND& command)
{
    if (command.attributs.size() != 1)
    {
        Fail(QStringLiteral("Invalid attribute number for SHA comparison"));
        return;
    }
    const T_THIRD_BLOCK_PROTOCOL_ATTRIBUT& attribut = command.attributs.first();
    if (attribut.id != BOOT_ATTR_SHA_VALUE)
    {
        Fail(QStringLiteral("Invalid attribute ID for SHA comparison ") + QString::number(attribut.id) +
             QStringLiteral(" instead of ") + QString::number(BOOT_ATTR_SHA_VALUE));
        return;
    }
    CLASS_PROG_FILE_WITH_TBP* file = TbpProgFile();
    if (!file)
    {
        Fail(QStringLiteral("No binary initialized for ") + Quoted(m_Name));
        return;
    }
    const QByteArray received = attribut.value.toByteArray();
    const QByteArray computed = file->GetShaResult();
    if (received != computed)
    {
        Fail(QStringLiteral("Invalid SHA comparison ") + QString::fromLatin1(received.toHex()) +
             QStringLiteral(" instead of ") + QString::fromLatin1(computed.toHex()));
        return;
    }
    if (!file->IsFinished())
    {
        SetState(BOOT_TBP_STATE_PROGRAM);
        NextProgrammationFrame();
        return;
    }

    T_BOOT_TBP_STATE next = BOOT_TBP_STATE_SUCCESS;
    switch (m_EndAction)
    {
    case END_ACTION_JUMP:
        next = BOOT_TBP_STATE_JUMP;
        break;
    case END_ACTION_RESET:
        next = BOOT_TBP_STATE_RESET;
        break;
    case END_ACTION_NONE:
        next = BOOT_TBP_STATE_SUCCESS;
        break;
    default:
        Fail(QStringLiteral("Unrecognized end action for binary: ") +
             (m_ProgFileUtility ? m_ProgFileUtility->GetName() : QString()));
        return;
    }
    QByteArray frame;
    const Bool built = CLASS_TBP_MVRUPDATER::FormatStopSend(frame, TBP_OPTIONAL_ABSENT);
    if (!SendFrame(QStringLiteral("StopSend"), BOOT_CMD_STOP_SEND, built, frame))
        return;
    SetState(BOOT_TBP_STATE_WAIT_ACK);
    SetNextState(next);
}

void CLASS_MVR_BOOT_TBP_UPDATER::SendJumpFrame()
{
    CLASS_BINARY_INFORMATIONS* binary = ProgBinary();
    if (!binary)
    {
        Fail(QStringLiteral("No binary initialized for ") + Quoted(m_Name));
        return;
    }
    QByteArray frame;
    const Bool built = CLASS_TBP_MVRUPDATER::FormatJump(frame, binary->GetJumpAddress());
    if (!SendFrame(QStringLiteral("Jump"), BOOT_CMD_JUMP, built, frame))
        return;
    m_Progress.store(95);
    SetState(BOOT_TBP_STATE_WAIT_ACK);
    SetNextState(BOOT_TBP_STATE_SUCCESS);
}

void CLASS_MVR_BOOT_TBP_UPDATER::SendResetFrame()
{
    QByteArray frame;
    const Bool built = CLASS_TBP_MVRUPDATER::FormatReset(frame, TBP_OPTIONAL_ABSENT);
    if (!SendFrame(QStringLiteral("Reset"), BOOT_CMD_RESET, built, frame))
        return;
    m_Progress.store(95);
    SetState(BOOT_TBP_STATE_WAIT_ACK);
    SetNextState(BOOT_TBP_STATE_SUCCESS);
}

void CLASS_MVR_BOOT_TBP_UPDATER::RunEndAction()
{
    switch (m_EndAction)
    {
    case END_ACTION_JUMP:
        SendJumpFrame();
        break;
    case END_ACTION_RESET:
        SendResetFrame();
        break;
    case END_ACTION_NONE:
        FinishWithSuccess();
        break;
    default:
        Fail(QStringLiteral("Unrecognized end action for binary: ") +
             (m_ProgFileUtility ? m_ProgFileUtility->GetName() : QString()));
        break;
    }
}

void CLASS_MVR_BOOT_TBP_UPDATER::FinishWithSuccess()
{
    emit SIGNAL_DisplayDebug(QStringLiteral("\t SUCCESS"));
    m_Progress.store(100);
    SetState(BOOT_TBP_STATE_SUCCESS);
    DropLinkConnections();
    m_Receiver.ClearNodeHistory(m_NodeAddress);
    SleepMs(m_Delays.CloseWaitMs);
    if (m_Port)
        m_Port->Close();
    SleepMs(m_Delays.CloseWaitMs);
    m_Finished.store(true);
    // Last: the box updater moves on as soon as it sees the final status.
    m_Status.store(m_ResidentReprogrammed.load() ? UPDATER_STATUS_ERROR : UPDATER_STATUS_SUCCESS);
}

void CLASS_MVR_BOOT_TBP_UPDATER::Fail(const QString& message)
{
    SetFailureCause(message);
    emit SIGNAL_DisplayDebug(message);
    if (m_Port)
    {
        DropLinkConnections();
        m_Receiver.ClearNodeHistory(m_NodeAddress);
        if (IsPortConnected())
        {
            SleepMs(m_Delays.CloseWaitMs);
            m_Port->Close();
        }
    }
    SleepMs(m_Delays.CloseWaitMs);
    SetState(BOOT_TBP_STATE_IDLE);
    m_Status.store(UPDATER_STATUS_ERROR);
}
