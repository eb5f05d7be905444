#include "COMDRIVER_ClassUniversalPort.h"

CLASS_UNIVERSALPORT::CLASS_UNIVERSALPORT(Bool receptionMode, const QString& portInfo, QObject* parent)
    : QObject(parent), m_ConnectionState(CONNECTION_STATE_DISCONNECTED),
      m_ReceptionMode(receptionMode ? 1 : 0), m_ConnectionCounter(0), m_PortInfo(portInfo), m_TxSpy(0)
{
    qRegisterMetaType<T_CONNECTION_STATE>("T_CONNECTION_STATE");
    RegisterTypeAliases();
}

CLASS_UNIVERSALPORT::~CLASS_UNIVERSALPORT() = default;

DWord CLASS_UNIVERSALPORT::GetConnectionCounter()
{
    return m_ConnectionCounter;
}

Bool CLASS_UNIVERSALPORT::FlushOutput(SDWord)
{
    return true;
}

const QString& CLASS_UNIVERSALPORT::GetPortInfo()
{
    return m_PortInfo;
}

void CLASS_UNIVERSALPORT::SetConnectionState(T_CONNECTION_STATE state)
{
    m_ConnectionState = state;
    emit SIGNAL_StatusChanged(state);
}

void CLASS_UNIVERSALPORT::SetConnectionCounter(DWord counter)
{
    m_ConnectionCounter = counter;
    emit SIGNAL_ConnectionCounterChanged(counter);
}

void CLASS_UNIVERSALPORT::EmitTxSpy(const QByteArray& data, Bool success, qint64 writtenCount,
                                    const QString& portInfo)
{
    if (!m_TxSpy)
        return;
    if (success || writtenCount == data.size())
    {
        emit SIGNAL_TxSpyNewData(data, portInfo);
    }
    else if (writtenCount < 1)
    {
        emit SIGNAL_TxSpyNewRefusedData(data, portInfo);
    }
    else
    {
        const int written = static_cast<int>(qMin<qint64>(writtenCount, data.size()));
        emit SIGNAL_TxSpyNewData(data.left(written), portInfo);
        emit SIGNAL_TxSpyNewRefusedData(data.mid(written), portInfo);
    }
}

void CLASS_UNIVERSALPORT::CopyChunks(const QList<QByteArray>& chunks, QByteArray& data, SDWord size)
{
    if (size < 0)
    {
        for (const QByteArray& chunk : chunks)
            data.append(chunk);
        return;
    }
    SDWord remaining = size;
    int index = 0;
    while (remaining >= 1 && index < chunks.size() && remaining >= chunks.at(index).size())
    {
        data.append(chunks.at(index));
        remaining -= chunks.at(index).size();
        ++index;
    }
    if (remaining >= 1 && index < chunks.size())
        data.append(chunks.at(index).left(remaining));
}

void CLASS_UNIVERSALPORT::ConsumeChunks(QList<QByteArray>& chunks, SDWord sizeToConsume)
{
    if (sizeToConsume < 0)
    {
        chunks.clear();
        return;
    }
    SDWord remaining = sizeToConsume;
    while (remaining >= 1 && !chunks.isEmpty() && remaining >= chunks.first().size())
    {
        remaining -= chunks.first().size();
        chunks.removeFirst();
    }
    if (remaining >= 1 && !chunks.isEmpty())
        chunks.first().remove(0, remaining);
}
