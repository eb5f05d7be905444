#include "COMDRIVER_ClassUniversalPortUsbLibusb.h"

#include <QThread>

#include <algorithm>

#include "COMDRIVER_UsbDevices.h"
#include "Platform.h"
#include "Traces.h"

namespace
{
QString ErrorName(int code)
{
    return QString::fromLatin1(libusb_error_name(code));
}

QString Quoted(int value)
{
    return QLatin1Char('"') + QString::number(value) + QLatin1Char('"');
}
} // namespace

CLASS_UNIVERSALPORT_USB_LIBUSB::CLASS_UNIVERSALPORT_USB_LIBUSB(Bool autoReconnection, QObject* parent)
    : CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER(parent), m_Context(nullptr), m_DeviceList(nullptr),
      m_ConfigurationValue(CONFIGURATION_VALUE), m_AutoReconnection(autoReconnection),
      m_AutoReconnectionDeviceArrived(false), m_AutoReconnectionDeviceLeft(false), m_DeviceHandle(nullptr),
      m_Running(false), m_HotplugHandle(0), m_Closing(false)
{
    const int result = libusb_init(&m_Context);
    if (result < 0)
    {
        TraceError(TRACE_POS + "USB initialization. Error: " + ErrorName(result));
        if (m_Context)
            libusb_exit(m_Context);
        m_Context = nullptr;
    }
    else
    {
        libusb_set_option(m_Context, LIBUSB_OPTION_LOG_LEVEL, DEBUG_LEVEL);
    }
    if (m_AutoReconnection && !Platform::UsbAutoReconnectionAllowed())
    {
        TraceError(TRACE_POS + "The auto reconnection feature is not available on windows operating systems");
        m_AutoReconnection = false;
    }
}

CLASS_UNIVERSALPORT_USB_LIBUSB::~CLASS_UNIVERSALPORT_USB_LIBUSB()
{
    {
        std::lock_guard<std::mutex> owner(m_OwnerMutex);
        m_AutoReconnection = false;
    }
    Close();
    FreeReadTransfers();
    FreeDeviceList();
    if (m_Context)
        libusb_exit(m_Context);
    m_Context = nullptr;
}

void CLASS_UNIVERSALPORT_USB_LIBUSB::FreeDeviceList()
{
    if (m_DeviceList)
        libusb_free_device_list(m_DeviceList, 1);
    m_DeviceList = nullptr;
}

libusb_device* CLASS_UNIVERSALPORT_USB_LIBUSB::SetDeviceConfiguration()
{
    FreeDeviceList();
    const ssize_t count = libusb_get_device_list(m_Context, &m_DeviceList);
    if (count < 1)
    {
        FreeDeviceList();
        return nullptr;
    }
    QList<libusb_device*> matches;
    for (ssize_t i = 0; i < count; ++i)
    {
        libusb_device_descriptor descriptor{};
        const int result = libusb_get_device_descriptor(m_DeviceList[i], &descriptor);
        if (result < 0)
        {
            TraceError(TRACE_POS + "Failed to get device descriptor - Error code: " + ErrorName(result));
            return nullptr;
        }
        if (descriptor.idVendor == m_Settings.GetVendorId() &&
            descriptor.idProduct == m_Settings.GetProductId())
            matches << m_DeviceList[i];
    }
    libusb_device* device = ChooseDevice(matches);
    if (!device)
        return nullptr;
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(device, &descriptor); // read above already
    m_Settings.SetControlPacketSize(descriptor.bMaxPacketSize0);
    libusb_config_descriptor* configuration = nullptr;
    const int result = libusb_get_config_descriptor(device, 0, &configuration);
    if (result < 0)
    {
        TraceError(TRACE_POS +
                   "Failed to get device configuration descriptor - Error code: " + ErrorName(result));
        return nullptr;
    }
    const QList<T_USB_RECEIVE_ENDPOINT> knownReceive = m_Settings.GetReceiveEndpoints();
    const QList<T_USB_SEND_ENDPOINT> knownSend = m_Settings.GetSendEndpoints();
    for (int f = 0; f < configuration->bNumInterfaces; ++f)
    {
        const libusb_interface& interface = configuration->interface[f];
        for (int a = 0; a < interface.num_altsetting; ++a)
        {
            const libusb_interface_descriptor& setting = interface.altsetting[a];
            for (int e = 0; e < setting.bNumEndpoints; ++e)
            {
                const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
                if (endpoint.bmAttributes != LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                const Byte number = endpoint.bEndpointAddress & 0x0F;
                // Another open of the same port finds the same endpoints:
                // listing them twice would put two reads on one endpoint.
                if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN)
                {
                    const T_USB_RECEIVE_ENDPOINT entry{setting.bInterfaceNumber, number,
                                                       endpoint.wMaxPacketSize};
                    if (!knownReceive.contains(entry))
                        m_Settings.AddReceiveEndpoint(entry.interfaceNumber, number, entry.packetSize);
                }
                else
                {
                    const T_USB_SEND_ENDPOINT entry{0, number, endpoint.wMaxPacketSize};
                    if (!knownSend.contains(entry))
                        m_Settings.AddSendEndpoint(number, entry.packetSize);
                }
            }
        }
    }
    libusb_free_config_descriptor(configuration);
    return device;
}

libusb_device* CLASS_UNIVERSALPORT_USB_LIBUSB::ChooseDevice(const QList<libusb_device*>& matches)
{
    const QString identifiers =
        UsbDevices::IdentifiersText(m_Settings.GetVendorId(), m_Settings.GetProductId());
    const QString selector = m_Settings.GetDeviceSelector();
    if (matches.isEmpty())
    {
        m_OpenFailure = QStringLiteral("Cannot find USB device: ") + identifiers;
        return nullptr;
    }
    if (selector.isEmpty() && matches.size() == 1)
        return matches.first();

    // Never an arbitrary one of several: the operator names it.
    QList<QPair<T_USB_DEVICE_IDENTITY, libusb_device*>> found;
    for (libusb_device* device : matches)
    {
        libusb_device_descriptor descriptor{};
        libusb_get_device_descriptor(device, &descriptor);
        found << qMakePair(UsbDevices::IdentityOf(device, descriptor), device);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first.Path < b.first.Path; });
    QList<T_USB_DEVICE_IDENTITY> all;
    QList<libusb_device*> chosen;
    for (const auto& entry : found)
    {
        all << entry.first;
        if (UsbDevices::Matches(entry.first, selector))
            chosen << entry.second;
    }
    if (chosen.size() == 1)
        return chosen.first();
    if (selector.isEmpty())
        m_OpenFailure = QStringLiteral("Several USB devices ") + identifiers +
                        QStringLiteral(" are connected: ") + UsbDevices::Describe(all) +
                        QStringLiteral("; choose one with --usb-device SERIAL|BUS-PORT");
    else if (chosen.isEmpty())
        m_OpenFailure = QStringLiteral("No USB device ") + identifiers + QStringLiteral(" matches \"") +
                        selector + QStringLiteral("\"; connected: ") + UsbDevices::Describe(all);
    else
        m_OpenFailure = QStringLiteral("Several USB devices ") + identifiers + QStringLiteral(" match \"") +
                        selector + QStringLiteral("\": ") + UsbDevices::Describe(all) +
                        QStringLiteral("; choose one by its bus-port path");
    return nullptr;
}

int CLASS_UNIVERSALPORT_USB_LIBUSB::ClaimInterface(int interfaceNumber)
{
    int result = LIBUSB_SUCCESS;
    for (int attempt = 1; attempt <= CLAIM_ATTEMPTS; ++attempt)
    {
        result = libusb_claim_interface(m_DeviceHandle, interfaceNumber);
        if (result == LIBUSB_SUCCESS)
        {
            if (!m_ClaimedInterfaces.contains(interfaceNumber))
                m_ClaimedInterfaces.append(interfaceNumber);
            return result;
        }
        if (attempt < CLAIM_ATTEMPTS)
            QThread::msleep(CLAIM_RETRY_DELAY_MS);
    }
    TraceError(TracePosition(__FILE__, "Open", __LINE__) + "Cannot claim USB interface number " +
               QString::number(interfaceNumber) + " with " + ErrorName(result));
    return result;
}

Bool CLASS_UNIVERSALPORT_USB_LIBUSB::SubmitRead(int index)
{
    // Caller holds the mutex.
    libusb_transfer* transfer = m_ReadTransfers.at(index);
    if (!transfer)
        return false;
    const int result = libusb_submit_transfer(transfer);
    m_InFlight.setBit(index, result == LIBUSB_SUCCESS);
    return result == LIBUSB_SUCCESS;
}

Bool CLASS_UNIVERSALPORT_USB_LIBUSB::IsRunning() const
{
    std::lock_guard<std::mutex> owner(m_OwnerMutex);
    return m_Running;
}

Bool CLASS_UNIVERSALPORT_USB_LIBUSB::Open()
{
    std::lock_guard<std::mutex> owner(m_OwnerMutex);
    if (!m_Context)
        return false;
    if (m_DeviceHandle && m_Running)
        return true; // already open: one session at a time
    if (m_DeviceHandle)
        CloseDevice(); // what an earlier failed attempt left claimed and submitted

    m_OpenFailure.clear();
    m_OpenedDevice.clear();
    libusb_device* device = SetDeviceConfiguration();
    if (!device)
    {
        if (m_OpenFailure.isEmpty())
            m_OpenFailure = QStringLiteral("Cannot find USB device: ") +
                            UsbDevices::IdentifiersText(m_Settings.GetVendorId(), m_Settings.GetProductId());
        TraceError(TRACE_POS + m_OpenFailure);
        FreeDeviceList();
        return false;
    }
    if (libusb_open(device, &m_DeviceHandle) < 0)
    {
        m_DeviceHandle = nullptr;
        m_OpenFailure = QStringLiteral("Cannot open USB device");
        TraceError(TRACE_POS + m_OpenFailure);
        FreeDeviceList();
        return false;
    }
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(device, &descriptor);
    m_OpenedDevice = UsbDevices::Describe(
        T_USB_DEVICE_IDENTITY{UsbDevices::PathOf(device), UsbDevices::SerialOf(m_DeviceHandle, descriptor)});
    FreeDeviceList();

    int configuration = 0;
    int result = libusb_get_configuration(m_DeviceHandle, &configuration);
    if (result < 0)
    {
        TraceError(TRACE_POS + "Failed to get configuration - Error code: " + ErrorName(result));
    }
    else if (configuration != m_ConfigurationValue)
    {
        result = libusb_set_configuration(m_DeviceHandle, m_ConfigurationValue);
        if (result < 0)
            TraceError(TRACE_POS + "Failed to get configuration - Error code: " + ErrorName(result));
    }

    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Closing = false;
    }
    const QList<T_USB_RECEIVE_ENDPOINT> endpoints = m_Settings.GetReceiveEndpoints();
    for (const T_USB_RECEIVE_ENDPOINT& endpoint : endpoints)
    {
        // Interface 1 of a two-interface function needs its companion 0 too;
        // there is nothing below interface 0.
        for (const int number : {endpoint.interfaceNumber - 1, int(endpoint.interfaceNumber)})
        {
            const int claim = number < 0 ? int(LIBUSB_SUCCESS) : ClaimInterface(number);
            if (claim == LIBUSB_SUCCESS)
                continue;
            // The device is not ours: what was claimed goes back, and it is
            // not reset under the program that holds it.
            m_OpenFailure = QStringLiteral("USB device ") + m_OpenedDevice +
                            (claim == LIBUSB_ERROR_BUSY ? QStringLiteral(" is held by another program")
                                                        : QStringLiteral(" cannot be claimed")) +
                            QStringLiteral(" (interface ") + QString::number(number) + QStringLiteral(", ") +
                            ErrorName(claim) + QLatin1Char(')');
            TraceError(TRACE_POS + m_OpenFailure);
            ReleaseDevice(false);
            m_OpenedDevice.clear();
            return false;
        }

        libusb_transfer* transfer = libusb_alloc_transfer(0);
        if (!transfer)
        {
            TraceError(TRACE_POS + "Cannot alloc ReadTransfert");
            return false;
        }
        if (!m_DeviceHandle)
        {
            libusb_free_transfer(transfer);
            TraceError(TRACE_POS + "Failed to fill bulk with endpoint data configuration " +
                       Quoted(endpoint.endpointNumber) + " because device handler is null");
            return false;
        }
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_ReadBuffers.emplace_back(endpoint.packetSize);
        std::vector<unsigned char>& buffer = m_ReadBuffers.back();
        libusb_fill_bulk_transfer(transfer, m_DeviceHandle, endpoint.endpointNumber | LIBUSB_ENDPOINT_IN,
                                  buffer.data(), static_cast<int>(buffer.size()), &ReadTransfertCallBack,
                                  this, READ_TIMEOUT_MS);
        m_ReadTransfers.append(transfer);
        m_ResubmitBits.resize(m_ReadTransfers.size());
        m_InFlight.resize(m_ReadTransfers.size());
        const int index = m_ReadTransfers.size() - 1;
        result = libusb_submit_transfer(transfer);
        if (result < 0)
        {
            lock.unlock();
            TraceError(TRACE_POS + "Failed to submit endpoint configuration at the address " +
                       Quoted(endpoint.endpointNumber) + " - Error code: " + ErrorName(result));
            return false;
        }
        m_InFlight.setBit(index);
    }

    m_Running = true;
    m_SessionWanted = true;
    if (m_AutoReconnection)
    {
        const QList<QPair<QString, QByteArray>> pending = m_PendingSend;
        m_PendingSend.clear();
        for (const auto& entry : pending)
            SendPieces(entry.second, entry.first);
    }
    return true;
}

Bool CLASS_UNIVERSALPORT_USB_LIBUSB::SendData(QByteArray data, QString portInfo)
{
    std::lock_guard<std::mutex> owner(m_OwnerMutex);
    if (m_DeviceHandle && m_Running)
        return SendPieces(data, portInfo);
    // A closed port refuses, and a reconnection is waited for with a bound.
    int pending = data.size();
    for (const auto& entry : qAsConst(m_PendingSend))
        pending += entry.second.size();
    if (m_AutoReconnection && (!m_SessionWanted || pending > MAX_PENDING_BYTES))
    {
        TraceError(TRACE_POS + (m_SessionWanted ? "Too much data waiting for the USB device to come back"
                                                : "The USB port is closed"));
        return false;
    }
    if (m_AutoReconnection)
    {
        for (auto& entry : m_PendingSend)
        {
            if (entry.first == portInfo)
            {
                entry.second.append(data);
                return true;
            }
        }
        m_PendingSend.append(qMakePair(portInfo, data));
        return true;
    }
    return false;
}

Bool CLASS_UNIVERSALPORT_USB_LIBUSB::SendPieces(const QByteArray& data, const QString& portInfo)
{
    if (m_Settings.GetSendEndpoints().isEmpty())
    {
        TraceError(TracePosition(__FILE__, "SendData", __LINE__) + "No bulk OUT endpoint to send data on");
        return false;
    }
    const SDWord key = portInfo.toInt(); // empty or not a number: 0
    const Byte endpoint = m_Settings.GetSendEndpointNumber(key);
    const int packetSize = m_Settings.GetSendEndpointSize(key);
    if (packetSize < 1)
    {
        TraceError(TracePosition(__FILE__, "SendData", __LINE__) + "Bulk OUT endpoint " + Quoted(endpoint) +
                   " has no packet size");
        return false;
    }
    for (int offset = 0; offset < data.size(); offset += packetSize)
    {
        QByteArray piece = data.mid(offset, packetSize);
        int transferred = 0;
        const int result =
            libusb_bulk_transfer(m_DeviceHandle, endpoint, reinterpret_cast<unsigned char*>(piece.data()),
                                 piece.size(), &transferred, WRITE_TIMEOUT_MS);
        if (transferred != piece.size())
        {
            TraceError(
                TracePosition(__FILE__, "SendData", __LINE__) +
                "Incorrect transferred data size. Expected data size: " + QString::number(piece.size()) +
                " - Actual data size: " + QString::number(transferred));
        }
        if (result < 0)
        {
            TraceError(TracePosition(__FILE__, "SendData", __LINE__) +
                       "Failed to transfert at the endpoint " + Quoted(endpoint) +
                       " - Error code: " + ErrorName(result));
            return false;
        }
    }
    return true;
}

void LIBUSB_CALL CLASS_UNIVERSALPORT_USB_LIBUSB::ReadTransfertCallBack(libusb_transfer* transfer)
{
    static_cast<CLASS_UNIVERSALPORT_USB_LIBUSB*>(transfer->user_data)->HandleReadTransfer(transfer);
}

#define CALLBACK_POS TracePosition(__FILE__, "ReadTransfertCallBack", __LINE__)

void CLASS_UNIVERSALPORT_USB_LIBUSB::HandleReadTransfer(libusb_transfer* transfer)
{
    QString error;
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        const int index = m_ReadTransfers.indexOf(transfer);
        if (index < 0)
            return;
        m_InFlight.clearBit(index);
        switch (transfer->status)
        {
        case LIBUSB_TRANSFER_NO_DEVICE:
            libusb_cancel_transfer(transfer);
            libusb_free_transfer(transfer);
            m_ReadTransfers[index] = nullptr;
            return;
        case LIBUSB_TRANSFER_COMPLETED:
        {
            const QByteArray data(reinterpret_cast<const char*>(transfer->buffer), transfer->actual_length);
            bool staged = false;
            for (auto& entry : m_ReceivedData)
            {
                if (entry.first == transfer->endpoint)
                {
                    entry.second.append(data);
                    staged = true;
                    break;
                }
            }
            if (!staged)
                m_ReceivedData.append(qMakePair(Byte(transfer->endpoint), data));
            if (m_Closing)
                return;
            const int result = libusb_submit_transfer(transfer);
            if (result == LIBUSB_SUCCESS)
            {
                m_InFlight.setBit(index);
                return;
            }
            m_ResubmitBits.setBit(index);
            error = CALLBACK_POS + "Failed to submit Rx Transfert: " + ErrorName(result);
            break;
        }
        case LIBUSB_TRANSFER_CANCELLED:
            if (m_Closing)
                return; // our own cancellation while closing
            Q_FALLTHROUGH();
        default:
            error = CALLBACK_POS + "Failed to Transfert: " + ErrorName(transfer->status);
            libusb_cancel_transfer(transfer);
            if (m_Closing)
                break;
            // Reception must go on: an idle endpoint times out every few
            // seconds and is read again at once; an error is retried shortly.
            if (transfer->status == LIBUSB_TRANSFER_TIMED_OUT && SubmitRead(index))
                break;
            m_ResubmitBits.setBit(index);
            m_LastReadError.start();
            break;
        }
    }
    TraceError(error);
}

void CLASS_UNIVERSALPORT_USB_LIBUSB::SLOT_UsbProcess()
{
    RunEventLoop();
}

void CLASS_UNIVERSALPORT_USB_LIBUSB::SLOT_UsbProcessAutoConnect()
{
    RunEventLoop();
}

void CLASS_UNIVERSALPORT_USB_LIBUSB::RunEventLoop()
{
    while (m_Running)
    {
        timeval timeout{EVENT_TIMEOUT_S, 0};
        const int result = libusb_handle_events_timeout(m_Context, &timeout);
        if (result < 0 && result != LIBUSB_ERROR_INTERRUPTED)
        {
            // The port closes on this; a later open starts a new loop.
            m_Running = false;
            emit SIGNAL_ErrorFromUsb(ErrorName(result));
            emit SIGNAL_CloseEvent();
            return;
        }

        QList<QPair<Byte, QByteArray>> received;
        // Handed on under the owner's lock: once Close has returned, nothing
        // of the closed session is posted any more.
        std::lock_guard<std::mutex> owner(m_OwnerMutex);
        if (!m_Running)
            break;
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            for (auto& entry : m_ReceivedData)
            {
                if (!entry.second.isEmpty())
                {
                    received.append(entry);
                    entry.second.clear();
                }
            }
            const bool retryDue =
                !m_LastReadError.isValid() || m_LastReadError.elapsed() >= READ_RETRY_DELAY_MS;
            for (int i = 0; !m_Closing && retryDue && i < m_ResubmitBits.size(); ++i)
            {
                if (m_ResubmitBits.testBit(i) && SubmitRead(i))
                    m_ResubmitBits.clearBit(i);
            }
        }
        for (const auto& entry : received)
            emit SIGNAL_NewDataAvailable(entry.second, QString::number(entry.first & 0x7F));
    }
    emit SIGNAL_CloseEvent();
}

void CLASS_UNIVERSALPORT_USB_LIBUSB::CancelReadsAndWait()
{
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Closing = true;
        m_ResubmitBits.fill(false);
        for (int i = 0; i < m_ReadTransfers.size(); ++i)
        {
            if (m_InFlight.testBit(i))
                libusb_cancel_transfer(m_ReadTransfers.at(i));
        }
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < CANCEL_WAIT_MS)
    {
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            if (m_InFlight.count(true) == 0)
                return;
        }
        // Either this thread handles the events or it waits for the thread
        // that does; both let the cancelled reads come back.
        timeval timeout{0, 50000};
        libusb_handle_events_timeout(m_Context, &timeout);
    }
    TraceError(TracePosition(__FILE__, "Close", __LINE__) + "USB reads still pending after cancellation");
}

void CLASS_UNIVERSALPORT_USB_LIBUSB::FreeReadTransfers()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (libusb_transfer* transfer : qAsConst(m_ReadTransfers))
    {
        if (transfer)
            libusb_free_transfer(transfer);
    }
    m_ReadTransfers.clear();
    m_ReadBuffers.clear();
    m_ResubmitBits.clear();
    m_InFlight.clear();
    m_ReceivedData.clear();
    m_LastReadError.invalidate();
}

Bool CLASS_UNIVERSALPORT_USB_LIBUSB::Close()
{
    std::lock_guard<std::mutex> owner(m_OwnerMutex);
    m_SessionWanted = false;
    m_PendingSend.clear();
    return CloseDevice();
}

#define CLOSE_POS TracePosition(__FILE__, "Close", __LINE__)

Bool CLASS_UNIVERSALPORT_USB_LIBUSB::CloseDevice()
{
    if (m_AutoReconnection && m_AutoReconnectionDeviceLeft)
        return true;
    if (m_HotplugHandle != 0)
    {
        TraceInfo(CLOSE_POS + "Unregister Callback");
        libusb_hotplug_deregister_callback(m_Context, m_HotplugHandle);
        m_HotplugHandle = 0;
    }
    // Only a device this port claimed is reset.
    return ReleaseDevice(!m_ClaimedInterfaces.isEmpty());
}

Bool CLASS_UNIVERSALPORT_USB_LIBUSB::ReleaseDevice(Bool reset)
{
    if (!m_DeviceHandle)
        return true;

    CancelReadsAndWait();
    for (int interfaceNumber : qAsConst(m_ClaimedInterfaces))
    {
        const int result = libusb_release_interface(m_DeviceHandle, interfaceNumber);
        if (result < 0)
            TraceError(CLOSE_POS + "Cannot release USB interface - Error code: " + ErrorName(result));
    }
    m_ClaimedInterfaces.clear();
    const int result = reset ? libusb_reset_device(m_DeviceHandle) : int(LIBUSB_SUCCESS);
    if (result < 0)
        TraceError(CLOSE_POS + "Cannot reset USB interface - Error code: " + ErrorName(result));

    m_Running = false;
    m_AutoReconnectionDeviceArrived = false;
    m_AutoReconnectionDeviceLeft = false;
    // Closing wakes the event loop, which then sees the cleared flag.
    libusb_close(m_DeviceHandle);
    m_DeviceHandle = nullptr;
    FreeReadTransfers();
    return true;
}
