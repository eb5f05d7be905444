#pragma once

// An emulated USB device for the real libusb code path: umockdev puts the
// device in sysfs and hands this class every usbfs ioctl on its node. Only
// meaningful when the test runs under umockdev-wrapper.

#include <QtCore>

#include <cerrno>
#include <cstddef>
#include <mutex>

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
// GLib names a member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <umockdev.h>
#pragma pop_macro("signals")

namespace UsbEmulator
{
// What the device has seen, read at once under its lock.
struct T_LOG
{
    QList<unsigned> claims;
    QList<unsigned> releases;
    int resets = 0;
    QList<QPair<int, QByteArray>> outPackets; // (endpoint address, bytes), in order
    int pendingReads = 0;                     // never answered: only a time-out or a cancel ends one
};

// Device descriptor (vendor 03EB) followed by the configuration descriptor. Each interface
// is its number followed by (address, attributes, packet size) per endpoint.
inline QByteArray Descriptors(quint16 product, const QList<QList<int>>& interfaces)
{
    QByteArray body;
    const auto put = [](QByteArray& to, std::initializer_list<int> bytes)
    {
        for (int byte : bytes)
            to.append(char(byte));
    };
    for (const QList<int>& interface : interfaces)
    {
        put(body, {9, 4, interface.at(0), 0, int(interface.size() / 3), 0xFF, 0, 0, 0});
        for (int i = 1; i + 2 < interface.size(); i += 3)
            put(body, {7, 5, interface.at(i), interface.at(i + 1), interface.at(i + 2), 0, 0});
    }
    QByteArray all;
    put(all, {18, 1, 0, 2, 0, 0, 0, 64, 0xEB, 0x03, product & 0xFF, product >> 8, 0, 1, 0, 0, 0, 1});
    const int total = 9 + body.size();
    put(all, {9, 2, total & 0xFF, total >> 8, int(interfaces.size()), 1, 0, 0x80, 50});
    return all + body;
}

class Device
{
public:
    Device(UMockdevTestbed* testbed, int number, quint16 product, const QList<QList<int>>& interfaces)
        : m_Handler(umockdev_ioctl_base_new())
    {
        const QString devnum = QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
        g_signal_connect(m_Handler, "handle-ioctl", G_CALLBACK(&Device::HandleIoctl), this);
        GError* error = nullptr;
        const bool valid =
            umockdev_testbed_attach_ioctl(testbed, qPrintable("/dev/bus/usb/001/" + devnum), m_Handler,
                                          &error) &&
            umockdev_testbed_add_from_string(
                testbed,
                qPrintable(QStringLiteral("P: /devices/pci0000:00/0000:00:14.0/usb1/1-%1\n"
                                          "N: bus/usb/001/%2\n"
                                          "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\n"
                                          "E: DEVNUM=%2\nE: DEVNAME=/dev/bus/usb/001/%2\n"
                                          "A: busnum=1\\n\nA: devnum=%1\nA: bConfigurationValue=1\\n\n"
                                          "A: speed=12\\n\nH: descriptors=%3\n")
                               .arg(number)
                               .arg(devnum)
                               .arg(QString::fromLatin1(Descriptors(product, interfaces).toHex().toUpper()))),
                &error);
        if (!valid)
            m_Error = error ? QString::fromUtf8(error->message) : QStringLiteral("not emulated");
        g_clear_error(&error);
    }

    ~Device() { g_object_unref(m_Handler); }

    // Empty once the device is on the emulated bus.
    const QString& Error() const { return m_Error; }

    T_LOG Log() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        T_LOG log = m_Log;
        log.pendingReads = m_Pending.size();
        return log;
    }

    // Forgets what was seen and what was still to send.
    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Log = T_LOG();
        m_InData.clear();
    }

    // Bytes the device sends, in packets of at most packetSize, one per read.
    void Answer(const QByteArray& bytes, int packetSize = 64)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        for (int i = 0; i < bytes.size(); i += packetSize)
            m_InData << bytes.mid(i, packetSize);
    }

private:
    static usbdevfs_urb* Urb(UMockdevIoctlData* data) { return reinterpret_cast<usbdevfs_urb*>(data->data); }

    // Runs on umockdev's thread; answers ENOTTY to what it does not know.
    static gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user)
    {
        Device* self = static_cast<Device*>(user);
        std::lock_guard<std::mutex> lock(self->m_Mutex);
        const int result =
            self->Handle(umockdev_ioctl_client_get_request(client), umockdev_ioctl_client_get_arg(client));
        umockdev_ioctl_client_complete(client, result == 0 ? 0 : -1, result);
        return TRUE;
    }

    // Returns 0 or the errno of the failure.
    int Handle(gulong request, UMockdevIoctlData* arg)
    {
        GError* error = nullptr;
        UMockdevIoctlData* data = nullptr;
        switch (request)
        {
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_RELEASEINTERFACE:
        {
            if (!(data = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), &error)))
                break;
            const unsigned number = *reinterpret_cast<unsigned*>(data->data);
            (request == USBDEVFS_CLAIMINTERFACE ? m_Log.claims : m_Log.releases).append(number);
            return number > 7 ? EBUSY : 0; // held by another program
        }
        case USBDEVFS_RESET:
            ++m_Log.resets;
            return 0;
        case USBDEVFS_SUBMITURB:
        {
            if (!(data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error)))
                break;
            usbdevfs_urb* urb = Urb(data);
            if (urb->endpoint & 0x80)
            {
                m_Pending.append(data);
                return 0;
            }
            UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                                    gsize(urb->buffer_length), &error);
            if (!buffer)
                break;
            m_Log.outPackets << qMakePair(
                int(urb->endpoint),
                QByteArray(reinterpret_cast<const char*>(buffer->data), int(buffer->data_len)));
            g_object_unref(buffer);
            urb->actual_length = urb->buffer_length;
            urb->status = 0;
            m_Completed.append(data);
            return 0;
        }
        case USBDEVFS_DISCARDURB:
            for (int i = 0; i < m_Pending.size(); ++i)
            {
                if (m_Pending.at(i)->client_addr != *reinterpret_cast<const gulong*>(arg->data))
                    continue;
                Urb(m_Pending.at(i))->status = -ENOENT;
                Urb(m_Pending.at(i))->actual_length = 0;
                m_Completed.append(m_Pending.takeAt(i));
                return 0;
            }
            return EINVAL;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
        {
            FillReads();
            if (m_Completed.isEmpty())
                return EAGAIN;
            UMockdevIoctlData* target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
            if (!target)
                break;
            UMockdevIoctlData* urb = m_Completed.takeFirst();
            umockdev_ioctl_data_set_ptr(target, 0, urb);
            g_object_unref(urb);
            g_object_unref(target);
            return 0;
        }
        default:
            return ENOTTY;
        }
        g_clear_error(&error);
        return EFAULT;
    }

    // Done while the client sits in an ioctl, so that its buffers can be written.
    void FillReads()
    {
        while (!m_Pending.isEmpty() && !m_InData.isEmpty())
        {
            UMockdevIoctlData* urb = m_Pending.takeFirst();
            QByteArray packet = m_InData.takeFirst().left(qMax(Urb(urb)->buffer_length, 0));
            UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(urb, offsetof(usbdevfs_urb, buffer),
                                                                    gsize(Urb(urb)->buffer_length), nullptr);
            if (buffer)
            {
                umockdev_ioctl_data_update(buffer, 0, reinterpret_cast<guint8*>(packet.data()),
                                           gint(packet.size()));
                g_object_unref(buffer);
            }
            Urb(urb)->actual_length = packet.size();
            Urb(urb)->status = 0;
            m_Completed.append(urb);
        }
    }

    UMockdevIoctlBase* m_Handler;
    QString m_Error;
    mutable std::mutex m_Mutex;
    T_LOG m_Log;
    QList<UMockdevIoctlData*> m_Pending; // reads
    QList<UMockdevIoctlData*> m_Completed;
    QList<QByteArray> m_InData; // packets to send
};
} // namespace UsbEmulator
