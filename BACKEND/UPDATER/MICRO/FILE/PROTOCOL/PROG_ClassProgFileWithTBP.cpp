#include "BACKEND/UPDATER/MICRO/FILE/PROTOCOL/PROG_ClassProgFileWithTBP.h"

#include <QThread>

#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"
#include "Traces.h"

CLASS_PROG_FILE_WITH_TBP::CLASS_PROG_FILE_WITH_TBP(CLASS_BINARY_INFORMATIONS* binary,
                                                   T_COMPONENT_TYPE componentType, T_CARD_TYPE cardType,
                                                   QObject* parent)
    : CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL(binary, parent), m_Hash(QCryptographicHash::Sha1),
      m_NextCommand(COMMAND_SET_COMPONENT), m_ComponentId(0xFF), m_CardType(cardType),
      m_ComponentType(componentType), m_EraseWait([](DWord milliseconds) { QThread::msleep(milliseconds); })
{
}

DWord CLASS_PROG_FILE_WITH_TBP::EraseWaitMs(DWord sizeInBytes)
{
    // 64-bit product: in 32 bits it wraps above 2,863,311 bytes and gives far too short a wait.
    const quint64 units = quint64(sizeInBytes) * ERASE_MS_PER_UNIT / ERASE_UNIT_BYTES;
    return static_cast<DWord>(static_cast<float>(units) * ERASE_MARGIN);
}

void CLASS_PROG_FILE_WITH_TBP::SetEraseWait(T_ERASE_WAIT eraseWait)
{
    if (eraseWait)
        m_EraseWait = std::move(eraseWait);
}

void CLASS_PROG_FILE_WITH_TBP::SendFrame(const QByteArray& frame, const char* debugText)
{
    if (debugText)
        emit SIGNAL_DisplayDebug(QString::fromLatin1(debugText));
    emit SIGNAL_SendData(frame, QString());
}

void CLASS_PROG_FILE_WITH_TBP::ProgrammationWorker()
{
    if (!m_Finished.load())
    {
        const QString quotedPath = QLatin1Char('"') + BinaryPath() + QLatin1Char('"');
        QByteArray frame;
        switch (m_NextCommand.load())
        {
        case COMMAND_SET_COMPONENT:
            if (CLASS_TBP_MVRUPDATER::FormatSetComponent(frame, static_cast<Byte>(m_ComponentId)))
            {
                SendFrame(frame, "\t\t SET_COMPONENT");
                m_NextCommand.store(COMMAND_SET_ADDR);
            }
            else
                LogError("Cannot encode SetComponent command on " + quotedPath);
            break;

        case COMMAND_SET_ADDR:
            if (CLASS_TBP_MVRUPDATER::FormatSetAddr(frame, m_Binary ? m_Binary->GetBaseAddress() : 0))
            {
                SendFrame(frame, "\t\t SET_ADDR");
                m_NextCommand.store(COMMAND_START_SEND);
            }
            else
                LogError("Cannot encode SetAddr command on " + quotedPath);
            break;

        case COMMAND_START_SEND:
            if (CLASS_TBP_MVRUPDATER::FormatStartSend(frame, BinarySize()))
            {
                SendFrame(frame, "\t\t START_SEND");
                m_NextCommand.store(COMMAND_DATA_FILE);
                // The target erases its flash before taking data; an FPGA image goes elsewhere.
                if (m_ComponentType != COMPONENT_TYPE_FPGA_0)
                    m_EraseWait(EraseWaitMs(BinarySize()));
            }
            else
                LogError("Cannot encode StartSend command on " + quotedPath);
            break;

        case COMMAND_DATA_FILE:
        {
            const QByteArray data = BinaryData();
            const DWord size = static_cast<DWord>(data.size());
            const DWord offset = m_Offset.load();
            if (offset >= size)
            {
                // Only an unloaded binary gets here; empty DATA_FILE frames would never end.
                LogError("Cannot encode DataFile command on " + quotedPath + ": no data left to send");
                break;
            }
            const DWord length = qMin(size - offset, DATA_FILE_BLOCK_SIZE);
            // A view into the binary's buffer: the block is copied only into the frame.
            const QByteArray block =
                QByteArray::fromRawData(data.constData() + offset, static_cast<int>(length));
            if (CLASS_TBP_MVRUPDATER::FormatDataFile(frame, block, static_cast<Word>(length)))
            {
                SendFrame(frame, nullptr);
                m_Hash.addData(block.constData(), block.size());
                m_Offset.store(offset + length);
            }
            else
                LogError("Cannot encode DataFile command on " + quotedPath);
            break;
        }

        default:
            break;
        }
    }
    UpdateFinished();
}

void CLASS_PROG_FILE_WITH_TBP::Rewind()
{
    m_Offset.store(0);
    m_Finished.store(false);
    // Blocks of an interrupted run must not count in the next check.
    m_Hash.reset();
}

void CLASS_PROG_FILE_WITH_TBP::SendJump()
{
    QByteArray frame;
    if (CLASS_TBP_MVRUPDATER::FormatJump(frame, m_Binary ? m_Binary->GetJumpAddress() : 0))
        SendFrame(frame, "\t\t JUMP");
    else
        LogError("Cannot encode Jump command on \"" + BinaryPath() + "\"");
    m_NextCommand.store(COMMAND_START_SEND);
}

void CLASS_PROG_FILE_WITH_TBP::ReInitProgrammationWorker()
{
    CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::ReInitProgrammationWorker();
    m_Hash.reset();
    switch (m_ComponentType)
    {
    case COMPONENT_TYPE_RESIDENT:
        // The resident boot loader has no component id: it starts at SET_ADDR.
        m_NextCommand.store(COMMAND_SET_ADDR);
        break;
    case COMPONENT_TYPE_APP:
        m_NextCommand.store(COMMAND_SET_COMPONENT);
        m_ComponentId = 0x01;
        break;
    case COMPONENT_TYPE_FPGA_0:
        m_NextCommand.store(COMMAND_SET_COMPONENT);
        m_ComponentId = 0x10;
        break;
    case COMPONENT_TYPE_EDID_0:
        // A second run starts from the beginning as a fresh one does.
        m_NextCommand.store(COMMAND_SET_COMPONENT);
        m_ComponentId = 0x20;
        break;
    case COMPONENT_TYPE_HDCP_0:
        m_NextCommand.store(COMMAND_SET_COMPONENT);
        m_ComponentId = 0x40;
        break;
    case COMPONENT_TYPE_RAM:
        m_NextCommand.store(COMMAND_SET_COMPONENT);
        m_ComponentId = 0x00;
        break;
    default:
    {
        const QString name = ComponentTypeToText(m_ComponentType);
        TraceError(TRACE_POS + "Unrecognized component type:" +
                   (name.isEmpty() ? QString::number(m_ComponentType) : name));
        break;
    }
    }
}

QByteArray CLASS_PROG_FILE_WITH_TBP::GetShaResult()
{
    const QByteArray digest = m_Hash.result();
    m_Hash.reset();
    return digest;
}
