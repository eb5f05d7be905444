#include "COMDRIVER_ClassUniversalPortUsb.h"

#include <QCoreApplication>

#include "COMDRIVER_ClassUniversalPortUsbLibusb.h"
#include "Traces.h"

CLASS_UNIVERSALPORT_USB::CLASS_UNIVERSALPORT_USB(Bool receptionMode, Bool autoReconnection, int libraryKind,
                                                 const QString& portInfo, QObject* parent)
    : CLASS_UNIVERSALPORT(receptionMode, portInfo, parent), m_Library(nullptr),
      m_LibraryThread(new QThread(this)), m_DataReceiver(new QObject(this))
{
    m_LibraryThread->setObjectName(QStringLiteral("THREAD_USB_") + portInfo);
    if (libraryKind == USB_LIBRARY_LIBUSB)
        m_Library = new CLASS_UNIVERSALPORT_USB_LIBUSB(autoReconnection);
    else
        TraceError(TRACE_POS + "Management library for the desired USB not recognized.");
    if (!m_Library)
    {
        m_ConnectionState = CONNECTION_STATE_ERROR;
        TraceError(TRACE_POS + "UsbLibrary Failed to initialize");
        return;
    }

    m_Library->moveToThread(m_LibraryThread);
    connect(m_LibraryThread, &QThread::finished, m_Library, &QObject::deleteLater);
    connect(
        m_Library, &CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::SIGNAL_NewDataAvailable, m_DataReceiver,
        [this](QByteArray data, QString portInfo) { ReceiveDataFromLibrary(data, portInfo); },
        Qt::QueuedConnection);
    connect(m_Library, &CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::SIGNAL_ErrorFromUsb, this,
            &CLASS_UNIVERSALPORT_USB::ErrorFromLibrary, Qt::QueuedConnection);
    connect(m_Library, &CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::SIGNAL_OpenEvent, this,
            &CLASS_UNIVERSALPORT_USB::Open, Qt::QueuedConnection);
    connect(m_Library, &CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::SIGNAL_CloseEvent, this,
            &CLASS_UNIVERSALPORT_USB::CloseEventFromLibrary, Qt::QueuedConnection);
    if (autoReconnection)
        connect(this, &CLASS_UNIVERSALPORT_USB::SIGNAL_StartUsbProcess, m_Library,
                &CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::SLOT_UsbProcessAutoConnect, Qt::QueuedConnection);
    else
        connect(this, &CLASS_UNIVERSALPORT_USB::SIGNAL_StartUsbProcess, m_Library,
                &CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::SLOT_UsbProcess, Qt::QueuedConnection);
    m_LibraryThread->start(QThread::InheritPriority);
}

CLASS_UNIVERSALPORT_USB::~CLASS_UNIVERSALPORT_USB()
{
    Close();
    if (m_Library)
    {
        m_Library->disconnect(this);
        m_Library->disconnect(m_DataReceiver);
    }
    if (m_LibraryThread->isRunning())
    {
        // The loop ends within one event-handling pass once the port is closed.
        m_LibraryThread->quit();
        m_LibraryThread->wait();
    }
    else if (!m_LibraryThread->isFinished())
    {
        delete m_Library; // the thread never ran, so nobody deletes it later
    }
    m_Library = nullptr;
}

Bool CLASS_UNIVERSALPORT_USB::SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_USB& settings)
{
    if (!m_Library)
    {
        TraceError(TRACE_POS + "UsbLibrary is nullptr : Failed to configure");
        return false;
    }
    m_Library->SetSettings(settings);
    return true;
}

void CLASS_UNIVERSALPORT_USB::GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_USB& settings) const
{
    if (m_Library)
        settings = m_Library->GetSettings();
}

QString CLASS_UNIVERSALPORT_USB::GetOpenFailure() const
{
    return m_Library ? m_Library->GetOpenFailure() : QStringLiteral("UsbLibrary Failed to initialize");
}

QString CLASS_UNIVERSALPORT_USB::GetOpenedDevice() const
{
    return m_Library ? m_Library->GetOpenedDevice() : QString();
}

Bool CLASS_UNIVERSALPORT_USB::Open()
{
    if (!m_Library)
    {
        TraceError(TRACE_POS + "UsbLibrary is nullptr : Failed to open");
        return false;
    }
    // Already open: one session, one event loop, no second CONNECTED.
    if (m_ConnectionState == CONNECTION_STATE_CONNECTED && m_Library->IsRunning())
        return true;
    if (!m_Library->Open())
    {
        TraceError(TRACE_POS + "Cannot open USB device.");
        SetConnectionState(CONNECTION_STATE_DISCONNECTED);
        return false;
    }
    SetConnectionState(CONNECTION_STATE_CONNECTED);
    emit SIGNAL_StartUsbProcess();
    SetConnectionCounter(1);
    return true;
}

void CLASS_UNIVERSALPORT_USB::Close()
{
    if (!m_Library)
        return;
    if (!m_Library->Close())
    {
        TraceError(TRACE_POS + "Cannot close USB device.");
        return;
    }
    SetConnectionState(CONNECTION_STATE_DISCONNECTED);
    SetConnectionCounter(0);
    m_ReceiveBuffers.clear();
    // What the closed session posted and this thread has not handled yet
    // must not reach the next session.
    QCoreApplication::removePostedEvents(m_DataReceiver, QEvent::MetaCall);
}

void CLASS_UNIVERSALPORT_USB::CloseEventFromLibrary()
{
    // A loop that ended before the port was opened again must not close the
    // new session.
    if (m_Library && m_Library->IsRunning())
        return;
    Close();
}

Bool CLASS_UNIVERSALPORT_USB::SendData(QByteArray dataToSend, QString portInfo)
{
    if (!m_Library)
    {
        TraceError(TRACE_POS + "UsbLibrary is nullptr : Failed to send data");
        return false;
    }
    return m_Library->SendData(dataToSend, portInfo);
}

void CLASS_UNIVERSALPORT_USB::ReceiveDataFromLibrary(QByteArray data, QString portInfo)
{
    if (m_ReceptionMode)
        emit SIGNAL_NewDataAvailable(data, portInfo);
    else
        m_ReceiveBuffers[portInfo].append(data);
}

void CLASS_UNIVERSALPORT_USB::ErrorFromLibrary(QString errorMessage)
{
    SetConnectionState(CONNECTION_STATE_ERROR);
    emit SIGNAL_ErrorFromPort(errorMessage);
}

QList<QByteArray>* CLASS_UNIVERSALPORT_USB::FindList(const QString& portInfo)
{
    if (portInfo.isEmpty())
        return m_ReceiveBuffers.isEmpty() ? nullptr : &m_ReceiveBuffers.begin().value();
    auto it = m_ReceiveBuffers.find(portInfo);
    return it == m_ReceiveBuffers.end() ? nullptr : &it.value();
}

void CLASS_UNIVERSALPORT_USB::GetReceivedData(QByteArray& data, SDWord size, QString portInfo)
{
    if (const QList<QByteArray>* list = FindList(portInfo))
        CopyChunks(*list, data, size);
}

Bool CLASS_UNIVERSALPORT_USB::HasDataAvailable(QString portInfo)
{
    if (m_ReceptionMode)
        return false;
    const QList<QByteArray>* list = FindList(portInfo);
    return list && !list->isEmpty();
}

void CLASS_UNIVERSALPORT_USB::ConsumeData(SDWord sizeToConsume, QString portInfo)
{
    if (m_ReceptionMode)
        return;
    if (QList<QByteArray>* list = FindList(portInfo))
        ConsumeChunks(*list, sizeToConsume);
}
