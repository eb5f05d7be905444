#include "USB_ClassBridgeDevice.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

namespace
{
const char* const SYS_HUB = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-";
const uint8_t SERIAL_INDEX = 3;
const uint8_t GET_DESCRIPTOR = 6;
const uint8_t STRING_DESCRIPTOR = 3;
const size_t SETUP_SIZE = 8;

// OUT bytes are gathered into one datagram until a short packet ends the
// transfer, so that a frame cut into packets does not become a burst of
// datagrams the simulator's socket could drop.
const size_t FLUSH_BYTES = 8192;
const auto FLUSH_IDLE = std::chrono::milliseconds(1);
// While the host is sending, an empty reap answers at once (as usbfs does);
// once it has been quiet a while, the reap waits a little for data so that an
// idle port does not spin a core.
const auto QUIET_AFTER = std::chrono::milliseconds(20);
const auto REAP_WAIT = std::chrono::milliseconds(5);
const int LINK_POLL_MS = 20;
const size_t MAX_DATAGRAM = 65000;
const size_t MAX_TESTBED_PARENT = 50;

void Append16(std::string& bytes, uint16_t value)
{
    bytes += char(value & 0xFF);
    bytes += char(value >> 8);
}

// Device descriptor, then configuration 1: interface 0 with an interrupt IN
// endpoint (as the card's CDC function has), interface 1 with the bulk pair.
std::string Descriptors(const T_USB_BRIDGE_OPTIONS& options)
{
    std::string device = {18, 1, 0x00, 0x02, 0, 0, 0, 64};
    Append16(device, options.Vendor);
    Append16(device, options.Product);
    device += std::string{0x00, 0x01, 0, 0, char(SERIAL_INDEX), 1};

    std::string interfaces = {9, 4, 0, 0, 1, 2, 2, 1, 0};
    interfaces += std::string{7, 5, char(0x83), 3, 8, 0, 16};
    interfaces += std::string{9, 4, 1, 0, 2, 10, 0, 0, 0};
    interfaces += std::string{7, 5, char(0x82), 2};
    Append16(interfaces, options.PacketSize);
    interfaces += char(0);
    interfaces += std::string{7, 5, 0x01, 2};
    Append16(interfaces, options.PacketSize);
    interfaces += char(0);

    std::string configuration = {9, 2};
    Append16(configuration, uint16_t(9 + interfaces.size()));
    configuration += std::string{2, 1, 0, char(0x80), 50};
    return device + configuration + interfaces;
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes)
    {
        text += digits[(uint8_t(c) >> 4) & 0x0F];
        text += digits[uint8_t(c) & 0x0F];
    }
    return text;
}

usbdevfs_urb* Urb(UMockdevIoctlData* data)
{
    return reinterpret_cast<usbdevfs_urb*>(data->data);
}

void Complete(UMockdevIoctlClient* client, long result, int error)
{
    umockdev_ioctl_client_complete(client, result, error);
}
} // namespace

CLASS_USB_BRIDGE_DEVICE::~CLASS_USB_BRIDGE_DEVICE()
{
    m_Stopping = true;
    m_DataArrived.notify_all();
    if (m_LinkThread.joinable())
        m_LinkThread.join();
    if (m_Testbed && m_Handler)
        umockdev_testbed_detach_ioctl(m_Testbed, m_DevNode.c_str(), nullptr);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        for (auto& entry : m_Clients)
        {
            for (const T_URB& urb : entry.second.Pending)
                g_object_unref(urb.Data);
            for (const T_URB& urb : entry.second.Completed)
                g_object_unref(urb.Data);
        }
        m_Clients.clear();
    }
    if (m_Handler)
        g_object_unref(m_Handler);
    if (m_Socket >= 0)
        ::close(m_Socket);
}

UMockdevTestbed* CLASS_USB_BRIDGE_DEVICE::NewTestbed()
{
    // umockdev's sockets live in the test bed, and a socket path must fit in
    // 108 bytes: below a long TMPDIR the test bed goes to /tmp instead (the
    // command still gets the caller's TMPDIR).
    const char* temporary = std::getenv("TMPDIR");
    const std::string callerTemporary = temporary ? temporary : "";
    const bool shorten = callerTemporary.size() > MAX_TESTBED_PARENT;
    if (shorten)
        ::setenv("TMPDIR", "/tmp", 1);
    UMockdevTestbed* testbed = umockdev_testbed_new();
    if (shorten)
        ::setenv("TMPDIR", callerTemporary.c_str(), 1);
    return testbed;
}

bool CLASS_USB_BRIDGE_DEVICE::Start(const T_USB_BRIDGE_OPTIONS& options, UMockdevTestbed* testbed,
                                    std::string& error)
{
    m_Options = options;
    if (options.SimulatorPort == 0 || options.PacketSize < 8 || options.PacketSize > 1024 ||
        options.Number < 1 || options.Number > 126)
    {
        error = "needs the simulator's UDP port, a packet size from 8 to 1024 and at most 126 devices";
        return false;
    }

    m_Socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A large receive buffer: the link thread reads at once, but a burst of
    // replies must not be dropped while it is descheduled.
    const int bufferSize = 4 * 1024 * 1024;
    ::setsockopt(m_Socket, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof(bufferSize));
    if (m_Socket < 0 || ::bind(m_Socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    {
        error = std::string("cannot bind a UDP socket: ") + std::strerror(errno);
        return false;
    }
    address.sin_port = htons(options.SimulatorPort);
    if (::connect(m_Socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    {
        error = std::string("cannot reach the simulator: ") + std::strerror(errno);
        return false;
    }

    m_Testbed = testbed;
    char address3[16];
    std::snprintf(address3, sizeof(address3), "%03d", options.Number + 1);
    const std::string node = std::string("bus/usb/001/") + address3;
    m_DevNode = "/dev/" + node;
    m_Handler = umockdev_ioctl_base_new();
    g_signal_connect(m_Handler, "handle-ioctl", G_CALLBACK(&CLASS_USB_BRIDGE_DEVICE::HandleIoctl), this);
    g_signal_connect(m_Handler, "client-vanished", G_CALLBACK(&CLASS_USB_BRIDGE_DEVICE::ClientVanished),
                     this);
    GError* failure = nullptr;
    if (!umockdev_testbed_attach_ioctl(m_Testbed, m_DevNode.c_str(), m_Handler, &failure))
    {
        error = "cannot emulate " + m_DevNode + ": " + (failure ? failure->message : "?");
        g_clear_error(&failure);
        return false;
    }
    m_SysPath = SYS_HUB + std::to_string(options.Number);
    // Bulk packets above 64 bytes exist only on a high-speed device.
    const std::string speed = options.PacketSize > 64 ? "480" : "12";
    const std::string description =
        "P: " + m_SysPath.substr(4) + "\nN: " + node +
        "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\nE: DEVNUM=" + address3 +
        "\nE: DEVNAME=" + m_DevNode + "\nA: busnum=1\\n\nA: devnum=" + std::to_string(options.Number + 1) +
        "\nA: serial=" + options.Serial + "\\n\nA: bConfigurationValue=1\\n\nA: speed=" + speed +
        "\\n\nH: descriptors=" + Hex(Descriptors(options)) + "\n";
    if (!umockdev_testbed_add_from_string(m_Testbed, description.c_str(), &failure))
    {
        error = std::string("cannot add the device: ") + (failure ? failure->message : "?");
        g_clear_error(&failure);
        return false;
    }
    m_LinkThread = std::thread(&CLASS_USB_BRIDGE_DEVICE::RunLink, this);
    return true;
}

void CLASS_USB_BRIDGE_DEVICE::Vanish()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    VanishLocked();
}

void CLASS_USB_BRIDGE_DEVICE::VanishLocked()
{
    if (m_Vanished)
        return;
    m_VanishedAt = T_CLOCK::now();
    m_Vanished = true;
    std::fprintf(stderr, "usb-bridge: the device vanished after %lld bytes out\n",
                 static_cast<long long>(m_OutBytes));
    // What usbfs does on unplug: reads in flight end with "no device".
    for (auto& entry : m_Clients)
    {
        for (const T_URB& urb : entry.second.Pending)
        {
            Urb(urb.Data)->status = -ENODEV;
            Urb(urb.Data)->actual_length = 0;
            entry.second.Completed.push_back(urb);
        }
        entry.second.Pending.clear();
    }
    m_InData.clear();
    m_InOffset = 0;
    m_OutData.clear();
    umockdev_testbed_remove_device(m_Testbed, m_SysPath.c_str());
    m_DataArrived.notify_all();
}

gboolean CLASS_USB_BRIDGE_DEVICE::HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    CLASS_USB_BRIDGE_DEVICE* bridge = static_cast<CLASS_USB_BRIDGE_DEVICE*>(self);
    std::unique_lock<std::mutex> lock(bridge->m_Mutex);
    if (!bridge->Handle(client, lock))
        Complete(client, -1, EFAULT);
    return TRUE;
}

void CLASS_USB_BRIDGE_DEVICE::ClientVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    CLASS_USB_BRIDGE_DEVICE* bridge = static_cast<CLASS_USB_BRIDGE_DEVICE*>(self);
    std::lock_guard<std::mutex> lock(bridge->m_Mutex);
    const auto found = bridge->m_Clients.find(client);
    if (found == bridge->m_Clients.end())
        return;
    for (const T_URB& urb : found->second.Pending)
        g_object_unref(urb.Data);
    for (const T_URB& urb : found->second.Completed)
        g_object_unref(urb.Data);
    bridge->m_Clients.erase(found);
}

// Runs on umockdev's thread with the mutex held; false: a client buffer could not be reached.
bool CLASS_USB_BRIDGE_DEVICE::Handle(UMockdevIoctlClient* client, std::unique_lock<std::mutex>& lock)
{
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const int gone = m_Vanished ? ENODEV : 0;
    switch (request)
    {
    case USBDEVFS_GET_CAPABILITIES:
    {
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
        if (!data)
            return false;
        *reinterpret_cast<uint32_t*>(data->data) = 0;
        g_object_unref(data);
        Complete(client, gone ? -1 : 0, gone);
        return true;
    }
    case USBDEVFS_RESET:
        // A reset device starts afresh: replies meant for the last session go.
        if (!gone)
        {
            FlushOutLocked();
            m_InData.clear();
            m_InOffset = 0;
        }
        Complete(client, gone ? -1 : 0, gone);
        return true;
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_CLEAR_HALT:
        Complete(client, gone ? -1 : 0, gone);
        return true;
    case USBDEVFS_GETDRIVER:
        Complete(client, -1, gone ? gone : ENODATA);
        return true;
    case USBDEVFS_SUBMITURB:
        return Submit(client, arg);
    case USBDEVFS_DISCARDURB:
    {
        const gulong address = *reinterpret_cast<const gulong*>(arg->data);
        T_CLIENT& state = m_Clients[client];
        for (size_t i = 0; i < state.Pending.size(); ++i)
        {
            if (state.Pending[i].Data->client_addr != address)
                continue;
            const T_URB urb = state.Pending[i];
            state.Pending.erase(state.Pending.begin() + std::ptrdiff_t(i));
            Urb(urb.Data)->status = -ENOENT;
            Urb(urb.Data)->actual_length = 0;
            state.Completed.push_back(urb);
            Complete(client, 0, 0);
            return true;
        }
        Complete(client, -1, EINVAL);
        return true;
    }
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        return Reap(client, arg, lock);
    default:
        Complete(client, -1, ENOTTY);
        return true;
    }
}

bool CLASS_USB_BRIDGE_DEVICE::Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg)
{
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    if (!data)
        return false;
    if (m_Vanished)
    {
        g_object_unref(data);
        Complete(client, -1, ENODEV);
        return true;
    }
    usbdevfs_urb* urb = Urb(data);
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL)
        return Control(client, data);
    T_CLIENT& state = m_Clients[client];
    if (urb->endpoint & 0x80)
    {
        state.Pending.push_back({data});
        Complete(client, 0, 0);
        return true;
    }
    const int length = urb->buffer_length < 0 ? 0 : urb->buffer_length;
    UMockdevIoctlData* buffer =
        umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer), gsize(length), nullptr);
    if (!buffer)
    {
        g_object_unref(data);
        return false;
    }
    m_OutData.append(reinterpret_cast<const char*>(buffer->data), size_t(buffer->data_len));
    g_object_unref(buffer);
    m_OutBytes += length;
    m_LastOut = T_CLOCK::now();
    urb->actual_length = length;
    urb->status = 0;
    state.Completed.push_back({data});
    if (length < m_Options.PacketSize || m_OutData.size() >= FLUSH_BYTES)
        FlushOutLocked();
    Complete(client, 0, 0);
    if (m_Options.VanishAfterBytes >= 0 && m_OutBytes >= m_Options.VanishAfterBytes)
    {
        FlushOutLocked();
        VanishLocked();
    }
    return true;
}

bool CLASS_USB_BRIDGE_DEVICE::Control(UMockdevIoctlClient* client, UMockdevIoctlData* data)
{
    usbdevfs_urb* urb = Urb(data);
    const size_t length = urb->buffer_length < 0 ? 0 : size_t(urb->buffer_length);
    UMockdevIoctlData* buffer =
        length < SETUP_SIZE
            ? nullptr
            : umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer), length, nullptr);
    if (!buffer)
    {
        g_object_unref(data);
        return false;
    }
    const uint8_t* setup = buffer->data;
    const uint8_t index = setup[2];
    std::string answer;
    if (setup[1] == GET_DESCRIPTOR && setup[3] == STRING_DESCRIPTOR && index == 0)
        answer = std::string{4, char(STRING_DESCRIPTOR), 0x09, 0x04}; // US English
    else if (setup[1] == GET_DESCRIPTOR && setup[3] == STRING_DESCRIPTOR && index == SERIAL_INDEX)
    {
        answer = {char(2 + 2 * m_Options.Serial.size()), char(STRING_DESCRIPTOR)};
        for (const char c : m_Options.Serial)
            answer += std::string{c, 0};
    }
    const size_t wanted = std::min(size_t(setup[6] | (setup[7] << 8)), length - SETUP_SIZE);
    answer.resize(std::min(answer.size(), wanted));
    if (!answer.empty())
        umockdev_ioctl_data_update(buffer, SETUP_SIZE, reinterpret_cast<guint8*>(&answer[0]), answer.size());
    g_object_unref(buffer);
    // Anything else stalls, as a device does with a request it does not know.
    const bool known = setup[1] == GET_DESCRIPTOR && setup[3] == STRING_DESCRIPTOR;
    urb->actual_length = int(answer.size());
    urb->status = known ? 0 : -EPIPE;
    m_Clients[client].Completed.push_back({data});
    Complete(client, 0, 0);
    return true;
}

bool CLASS_USB_BRIDGE_DEVICE::Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg,
                                   std::unique_lock<std::mutex>& lock)
{
    FillPendingReads(m_Clients[client]);
    const T_CLOCK::time_point now = T_CLOCK::now();
    if (m_Clients[client].Completed.empty() && !m_Stopping && (m_Vanished || now - m_LastOut >= QUIET_AFTER))
    {
        T_CLOCK::time_point until = now + REAP_WAIT;
        if (!m_Vanished && !m_InData.empty() && m_InData.front().Due < until)
            until = m_InData.front().Due;
        m_DataArrived.wait_until(lock, until);
        // The client may have gone while the lock was released.
        FillPendingReads(m_Clients[client]);
    }
    T_CLIENT& state = m_Clients[client];
    if (state.Completed.empty())
    {
        Complete(client, -1, m_Vanished ? ENODEV : EAGAIN);
        return true;
    }
    UMockdevIoctlData* target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    if (!target)
        return false;
    const T_URB urb = state.Completed.front();
    state.Completed.pop_front();
    umockdev_ioctl_data_set_ptr(target, 0, urb.Data);
    g_object_unref(urb.Data);
    g_object_unref(target);
    Complete(client, 0, 0);
    return true;
}

// Hands the replies that are due to the reads waiting, in order, one packet
// at most per read; done while the client sits in an ioctl, so its buffers
// can be written.
void CLASS_USB_BRIDGE_DEVICE::FillPendingReads(T_CLIENT& client)
{
    const T_CLOCK::time_point now = T_CLOCK::now();
    while (!client.Pending.empty() && !m_InData.empty() && m_InData.front().Due <= now)
    {
        const T_URB urb = client.Pending.front();
        usbdevfs_urb* raw = Urb(urb.Data);
        const int room = raw->buffer_length < 0 ? 0 : raw->buffer_length;
        std::string packet;
        while (int(packet.size()) < room && !m_InData.empty() && m_InData.front().Due <= now)
        {
            const std::string& bytes = m_InData.front().Bytes;
            const size_t count = std::min(bytes.size() - m_InOffset, size_t(room) - packet.size());
            packet.append(bytes, m_InOffset, count);
            m_InOffset += count;
            if (m_InOffset >= bytes.size())
            {
                m_InData.pop_front();
                m_InOffset = 0;
            }
        }
        UMockdevIoctlData* buffer =
            umockdev_ioctl_data_resolve(urb.Data, offsetof(usbdevfs_urb, buffer), gsize(room), nullptr);
        if (!buffer)
            return;
        umockdev_ioctl_data_update(buffer, 0, reinterpret_cast<guint8*>(&packet[0]), gint(packet.size()));
        g_object_unref(buffer);
        raw->actual_length = int(packet.size());
        raw->status = 0;
        client.Pending.erase(client.Pending.begin());
        client.Completed.push_back(urb);
    }
}

void CLASS_USB_BRIDGE_DEVICE::FlushOutLocked()
{
    for (size_t offset = 0; offset < m_OutData.size(); offset += MAX_DATAGRAM)
    {
        const size_t count = std::min(MAX_DATAGRAM, m_OutData.size() - offset);
        if (::send(m_Socket, m_OutData.data() + offset, count, 0) < 0)
            std::fprintf(stderr, "usb-bridge: cannot send to the simulator: %s\n", std::strerror(errno));
    }
    m_OutData.clear();
}

// The link thread: the simulator's replies, the flush of a last full packet,
// and a vanish asked from a signal handler.
void CLASS_USB_BRIDGE_DEVICE::RunLink()
{
    std::vector<char> datagram(65536);
    while (!m_Stopping)
    {
        bool outPending = false;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (m_VanishRequested && !m_Vanished)
                VanishLocked();
            if (!m_OutData.empty() && T_CLOCK::now() - m_LastOut >= FLUSH_IDLE)
                FlushOutLocked();
            outPending = !m_OutData.empty();
        }
        pollfd descriptor = {m_Socket, POLLIN, 0};
        if (::poll(&descriptor, 1, outPending ? 1 : LINK_POLL_MS) <= 0)
            continue;
        for (;;)
        {
            const ssize_t count = ::recv(m_Socket, datagram.data(), datagram.size(), MSG_DONTWAIT);
            if (count <= 0)
                break;
            m_InBytes += count;
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (m_Vanished)
                continue;
            // Replies keep their order: a slow reply holds back the ones after it.
            T_CLOCK::time_point due = T_CLOCK::now() + std::chrono::milliseconds(m_Options.ReplyDelayMs);
            if (!m_InData.empty() && m_InData.back().Due > due)
                due = m_InData.back().Due;
            m_InData.push_back({due, std::string(datagram.data(), size_t(count))});
            m_DataArrived.notify_all();
        }
    }
}
