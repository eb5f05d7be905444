#include "COMDRIVER_ClassUniversalPortCom.h"

#include <QElapsedTimer>
#include <QHash>

#include "Traces.h"

namespace
{
const QHash<int, QString>& SerialErrorNames()
{
    static const QHash<int, QString> names = {
        {QSerialPort::NoError, QStringLiteral("NoError")},
        {QSerialPort::DeviceNotFoundError, QStringLiteral("DeviceNotFoundError")},
        {QSerialPort::PermissionError, QStringLiteral("PermissionError")},
        {QSerialPort::OpenError, QStringLiteral("OpenError")},
        {QSerialPort::ParityError, QStringLiteral("ParityError")},
        {QSerialPort::FramingError, QStringLiteral("FramingError")},
        {QSerialPort::BreakConditionError, QStringLiteral("BreakConditionError")},
        {QSerialPort::WriteError, QStringLiteral("WriteError")},
        {QSerialPort::ReadError, QStringLiteral("ReadError")},
        {QSerialPort::ResourceError, QStringLiteral("ResourceError")},
        {QSerialPort::UnsupportedOperationError, QStringLiteral("UnsupportedOperationError")},
        {QSerialPort::UnknownError, QStringLiteral("UnknownError")},
        {QSerialPort::TimeoutError, QStringLiteral("TimeoutError")},
        {QSerialPort::NotOpenError, QStringLiteral("NotOpenError")},
    };
    return names;
}
} // namespace

CLASS_UNIVERSALPORT_COM::CLASS_UNIVERSALPORT_COM(Bool receptionMode, const QString& portInfo, QObject* parent)
    : CLASS_UNIVERSALPORT(receptionMode, portInfo, parent), m_Device(new QSerialPort(this))
{
    SerialErrorNames();
    connect(m_Device, &QSerialPort::readyRead, this, &CLASS_UNIVERSALPORT_COM::ReceiveDataFromDevice);
    connect(m_Device, &QSerialPort::errorOccurred, this, &CLASS_UNIVERSALPORT_COM::ErrorFromDevice);
}

CLASS_UNIVERSALPORT_COM::~CLASS_UNIVERSALPORT_COM()
{
    // No notification may reach a half-destroyed port.
    m_Device->disconnect(this);
    Close();
}

QString CLASS_UNIVERSALPORT_COM::ErrorName(int error)
{
    return SerialErrorNames().value(error);
}

Bool CLASS_UNIVERSALPORT_COM::SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_COM& settings)
{
    m_Settings = settings;
    m_Device->setPortName(m_Settings.GetPortName());
    if (!m_Device->setBaudRate(m_Settings.GetBaudRate(), QSerialPort::AllDirections))
    {
        TraceError(TRACE_POS + "Baudrate failed for : " + QString::number(m_Settings.GetBaudRate()));
        Close();
        return false;
    }
    if (!m_Device->setDataBits(m_Settings.GetDataBits()))
    {
        TraceError(TRACE_POS + "DataBits failed for : " + QString::number(m_Settings.GetDataBits()));
        Close();
        return false;
    }
    if (!m_Device->setFlowControl(m_Settings.GetFlowControl()))
    {
        TraceError(TRACE_POS + "FlowControl failed for : " + QString::number(m_Settings.GetFlowControl()));
        Close();
        return false;
    }
    if (!m_Device->setParity(m_Settings.GetParity()))
    {
        TraceError(TRACE_POS + "Parity failed for : " + QString::number(m_Settings.GetParity()));
        Close();
        return false;
    }
    if (!m_Device->setStopBits(m_Settings.GetStopBits()))
    {
        TraceError(TRACE_POS + "StopBits failed for : " + QString::number(m_Settings.GetStopBits()));
        Close();
        return false;
    }
    return true;
}

void CLASS_UNIVERSALPORT_COM::GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_COM& settings) const
{
    settings = m_Settings;
}

Bool CLASS_UNIVERSALPORT_COM::Open()
{
    if (!m_Device->open(QIODevice::ReadWrite))
    {
        TraceError(TRACE_POS + "Failed to open port com: " + m_Device->portName() +
                   ". Error: " + m_Device->errorString());
        return false;
    }
    SetConnectionCounter(1);
    SetConnectionState(CONNECTION_STATE_CONNECTED);
    return true;
}

void CLASS_UNIVERSALPORT_COM::Close()
{
    m_Device->close();
    m_ConnectionState = CONNECTION_STATE_DISCONNECTED;
    m_ReceiveBuffer.clear();
    SetConnectionCounter(0);
    SetConnectionState(CONNECTION_STATE_DISCONNECTED);
}

Bool CLASS_UNIVERSALPORT_COM::SendData(QByteArray dataToSend, QString portInfo)
{
    if (!m_Device->isOpen())
    {
        if (IsTxSpyEnabled())
            emit SIGNAL_TxSpyNewRefusedData(dataToSend, portInfo);
        TraceError(TRACE_POS + "Can't send port is not open : " + m_Device->portName());
        return false;
    }
    const qint64 written = m_Device->write(dataToSend);
    const Bool result = written == dataToSend.size();
    EmitTxSpy(dataToSend, result, written, portInfo);
    return result;
}

Bool CLASS_UNIVERSALPORT_COM::FlushOutput(SDWord timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (m_Device->isOpen() && m_Device->bytesToWrite() > 0)
    {
        const qint64 left = timeoutMs - elapsed.elapsed();
        if (left <= 0 || !m_Device->waitForBytesWritten(int(left)))
            return m_Device->bytesToWrite() == 0;
    }
    return true;
}

void CLASS_UNIVERSALPORT_COM::ReceiveDataFromDevice()
{
    if (m_Device->bytesAvailable() <= 0)
        return;
    const QByteArray data = m_Device->readAll();
    if (m_ReceptionMode)
        emit SIGNAL_NewDataAvailable(data, m_PortInfo);
    else
        m_ReceiveBuffer.append(data);
}

void CLASS_UNIVERSALPORT_COM::ErrorFromDevice(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    m_ConnectionState = CONNECTION_STATE_ERROR;
    emit SIGNAL_ErrorFromPort(ErrorName(error));
    SetConnectionState(CONNECTION_STATE_ERROR);
}

void CLASS_UNIVERSALPORT_COM::GetReceivedData(QByteArray& data, SDWord size, QString portInfo)
{
    Q_UNUSED(portInfo);
    CopyChunks(m_ReceiveBuffer, data, size);
}

Bool CLASS_UNIVERSALPORT_COM::HasDataAvailable(QString portInfo)
{
    Q_UNUSED(portInfo);
    return !m_ReceptionMode && !m_ReceiveBuffer.isEmpty();
}

void CLASS_UNIVERSALPORT_COM::ConsumeData(SDWord sizeToConsume, QString portInfo)
{
    Q_UNUSED(portInfo);
    if (m_ReceptionMode)
        return;
    ConsumeChunks(m_ReceiveBuffer, sizeToConsume);
}
