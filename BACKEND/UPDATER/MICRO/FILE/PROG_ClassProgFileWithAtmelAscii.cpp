#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassProgFileWithAtmelAscii.h"

#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassSambaMonitor.h"

CLASS_PROG_FILE_WITH_ATMEL_ASCII::CLASS_PROG_FILE_WITH_ATMEL_ASCII(CLASS_BINARY_INFORMATIONS* binary,
                                                                   QObject* parent)
    : CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL(binary, parent)
{
}

void CLASS_PROG_FILE_WITH_ATMEL_ASCII::NextBlock()
{
    const QByteArray data = BinaryData();
    const DWord size = static_cast<DWord>(data.size());
    const DWord offset = m_Offset.load();
    if (offset < size)
    {
        const DWord length = qMin(size - offset, CLASS_SAMBA_MONITOR::MAX_BLOCK_SIZE);
        // Only the block is copied, never the whole binary.
        const QByteArray block(data.constData() + offset, static_cast<int>(length));
        m_Offset.store(offset + length);
        emit SIGNAL_SendData(block, QString());
    }
    UpdateFinished();
}

void CLASS_PROG_FILE_WITH_ATMEL_ASCII::Rewind()
{
    m_Offset.store(0);
    m_Finished.store(false);
}
