#pragma once

// An emulated USB device for the real libusb code path: umockdev puts the
// device in sysfs and hands this class every usbfs ioctl on its node. Only
// meaningful when the test runs under umockdev-wrapper.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
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
inline bool Available()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "umockdev");
}

struct T_ENDPOINT
{
    quint8 address;
    quint8 attributes;
    quint16 packetSize;
};

struct T_INTERFACE
{
    quint8 number;
    QList<T_ENDPOINT> endpoints;
};

// Device descriptor followed by the configuration descriptor.
inline QByteArray Descriptors(quint16 vendor, quint16 product, const QList<T_INTERFACE>& interfaces)
{
    QByteArray configuration;
    for (const T_INTERFACE& interface : interfaces)
    {
        configuration.append(char(9)).append(char(4)).append(char(interface.number)).append(char(0));
        configuration.append(char(interface.endpoints.size()))
            .append(char(0xFF))
            .append(char(0))
            .append(char(0));
        configuration.append(char(0));
        for (const T_ENDPOINT& endpoint : interface.endpoints)
        {
            configuration.append(char(7)).append(char(5)).append(char(endpoint.address));
            configuration.append(char(endpoint.attributes));
            configuration.append(char(endpoint.packetSize & 0xFF)).append(char(endpoint.packetSize >> 8));
            configuration.append(char(0));
        }
    }
    const int total = 9 + configuration.size();
    QByteArray header;
    header.append(char(9)).append(char(2)).append(char(total & 0xFF)).append(char(total >> 8));
    header.append(char(interfaces.size()))
        .append(char(1))
        .append(char(0))
        .append(char(0x80))
        .append(char(50));

    QByteArray device;
    device.append(char(18)).append(char(1)).append(char(0x00)).append(char(0x02));
    device.append(char(0)).append(char(0)).append(char(0)).append(char(64));
    device.append(char(vendor & 0xFF)).append(char(vendor >> 8)).append(char(product & 0xFF));
    device.append(char(product >> 8)).append(char(0x00)).append(char(0x01));
    device.append(char(0)).append(char(0)).append(char(0)).append(char(1));
    return device + header + configuration;
}

class Device
{
public:
    Device(UMockdevTestbed* testbed, int number, quint16 vendor, quint16 product,
           const QList<T_INTERFACE>& interfaces)
        : m_Handler(umockdev_ioctl_base_new())
    {
        const QString devnum = QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
        m_DevNode = QStringLiteral("/dev/bus/usb/001/") + devnum;
        g_signal_connect(m_Handler, "handle-ioctl", G_CALLBACK(&Device::HandleIoctl), this);
        GError* error = nullptr;
        if (!umockdev_testbed_attach_ioctl(testbed, m_DevNode.toUtf8().constData(), m_Handler, &error))
        {
            m_Error = error ? QString::fromUtf8(error->message) : QStringLiteral("attach failed");
            g_clear_error(&error);
            return;
        }
        const QString description =
            QStringLiteral("P: /devices/pci0000:00/0000:00:14.0/usb1/1-%1\n"
                           "N: bus/usb/001/%2\n"
                           "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\nE: DEVNUM=%2\n"
                           "E: DEVNAME=/dev/bus/usb/001/%2\n"
                           "A: busnum=1\\n\nA: devnum=%1\nA: bConfigurationValue=1\\n\nA: speed=12\\n\n"
                           "H: descriptors=%3\n")
                .arg(number)
                .arg(devnum)
                .arg(QString::fromLatin1(Descriptors(vendor, product, interfaces).toHex().toUpper()));
        m_Valid = umockdev_testbed_add_from_string(testbed, description.toUtf8().constData(), &error);
        if (error)
            m_Error = QString::fromUtf8(error->message);
        g_clear_error(&error);
    }

    ~Device() { g_object_unref(m_Handler); }

    bool IsValid() const { return m_Valid; }
    const QString& Error() const { return m_Error; }

    // Bytes the device will answer on an IN endpoint (one packet per call).
    void Queue(quint8 endpoint, const QByteArray& data)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_InData[endpoint | 0x80].append(data);
    }

    QList<unsigned> Claims() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Claims;
    }
    QList<unsigned> Releases() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Releases;
    }
    int Resets() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Resets;
    }
    // (endpoint address, bytes) of every OUT packet, in order.
    QList<QPair<int, QByteArray>> OutPackets() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_OutPackets;
    }
    int PendingReads(quint8 endpoint) const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        int count = 0;
        for (const T_URB& urb : m_Pending)
            count += urb.endpoint == (endpoint | 0x80) ? 1 : 0;
        return count;
    }
    int MostPendingReads() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_MostPending;
    }
    void Reset()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Claims.clear();
        m_Releases.clear();
        m_Resets = 0;
        m_OutPackets.clear();
        m_MostPending = PendingLocked();
    }

private:
    struct T_URB
    {
        UMockdevIoctlData* data;
        int endpoint;
    };

    int PendingLocked() const
    {
        QMap<int, int> perEndpoint;
        int most = 0;
        for (const T_URB& urb : m_Pending)
            most = qMax(most, ++perEndpoint[urb.endpoint]);
        return most;
    }

    static usbdevfs_urb* Urb(UMockdevIoctlData* data) { return reinterpret_cast<usbdevfs_urb*>(data->data); }

    static void Complete(UMockdevIoctlClient* client, long result, int error)
    {
        umockdev_ioctl_client_complete(client, result, error);
    }

    // Runs on umockdev's thread.
    static gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user)
    {
        Device* self = static_cast<Device*>(user);
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        const gsize size = _IOC_SIZE(request);
        GError* error = nullptr;
        std::lock_guard<std::mutex> lock(self->m_Mutex);
        switch (request)
        {
        case USBDEVFS_GET_CAPABILITIES:
        {
            UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, size, &error);
            if (!data)
                break;
            *reinterpret_cast<quint32*>(data->data) = 0;
            Complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_RELEASEINTERFACE:
        {
            UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, size, &error);
            if (!data)
                break;
            const unsigned number = *reinterpret_cast<unsigned*>(data->data);
            (request == USBDEVFS_CLAIMINTERFACE ? self->m_Claims : self->m_Releases).append(number);
            Complete(client, number > 7 ? -1 : 0, number > 7 ? EINVAL : 0);
            return TRUE;
        }
        case USBDEVFS_RESET:
            ++self->m_Resets;
            Complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_CLEAR_HALT:
            Complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_GETDRIVER:
            Complete(client, -1, ENODATA);
            return TRUE;
        case USBDEVFS_SUBMITURB:
        {
            UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
            if (!data)
                break;
            usbdevfs_urb* urb = Urb(data);
            if (urb->endpoint & 0x80)
            {
                self->m_Pending.append({data, urb->endpoint});
                self->m_MostPending = qMax(self->m_MostPending, self->PendingLocked());
            }
            else
            {
                UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
                    data, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), &error);
                if (!buffer)
                    break;
                self->m_OutPackets.append(
                    qMakePair(int(urb->endpoint),
                              QByteArray(reinterpret_cast<const char*>(buffer->data), buffer->data_len)));
                g_object_unref(buffer);
                urb->actual_length = urb->buffer_length;
                urb->status = 0;
                self->m_Completed.append({data, urb->endpoint});
            }
            Complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_DISCARDURB:
        {
            const gulong address = *reinterpret_cast<const gulong*>(arg->data);
            for (int i = 0; i < self->m_Pending.size(); ++i)
            {
                if (self->m_Pending.at(i).data->client_addr != address)
                    continue;
                const T_URB urb = self->m_Pending.takeAt(i);
                Urb(urb.data)->status = -ENOENT;
                Urb(urb.data)->actual_length = 0;
                self->m_Completed.append(urb);
                Complete(client, 0, 0);
                return TRUE;
            }
            Complete(client, -1, EINVAL);
            return TRUE;
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
        {
            self->FillPendingReads(&error);
            if (self->m_Completed.isEmpty())
            {
                Complete(client, -1, EAGAIN);
                return TRUE;
            }
            UMockdevIoctlData* target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
            if (!target)
                break;
            const T_URB urb = self->m_Completed.takeFirst();
            umockdev_ioctl_data_set_ptr(target, 0, urb.data);
            g_object_unref(urb.data);
            g_object_unref(target);
            Complete(client, 0, 0);
            return TRUE;
        }
        default:
            Complete(client, -1, ENOTTY);
            return TRUE;
        }
        g_clear_error(&error);
        Complete(client, -1, EFAULT);
        return TRUE;
    }

    // Hands queued IN data to the reads waiting on its endpoint; done while the
    // client sits in an ioctl, so its buffers can be written.
    void FillPendingReads(GError** error)
    {
        for (int i = 0; i < m_Pending.size();)
        {
            QList<QByteArray>& queue = m_InData[m_Pending.at(i).endpoint];
            if (queue.isEmpty())
            {
                ++i;
                continue;
            }
            const T_URB urb = m_Pending.takeAt(i);
            usbdevfs_urb* raw = Urb(urb.data);
            UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
                urb.data, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(raw->buffer_length), error);
            if (!buffer)
            {
                m_Pending.insert(i, urb);
                return;
            }
            QByteArray& next = queue.first();
            const int count = qMin(next.size(), raw->buffer_length);
            umockdev_ioctl_data_update(buffer, 0, reinterpret_cast<guint8*>(next.data()), count);
            g_object_unref(buffer);
            next.remove(0, count);
            if (next.isEmpty())
                queue.removeFirst();
            raw->actual_length = count;
            raw->status = 0;
            m_Completed.append(urb);
        }
    }

    UMockdevIoctlBase* m_Handler;
    QString m_DevNode;
    bool m_Valid = false;
    QString m_Error;
    mutable std::mutex m_Mutex;
    QList<unsigned> m_Claims;
    QList<unsigned> m_Releases;
    int m_Resets = 0;
    QList<QPair<int, QByteArray>> m_OutPackets;
    QMap<int, QList<QByteArray>> m_InData;
    QList<T_URB> m_Pending;
    QList<T_URB> m_Completed;
    int m_MostPending = 0;
};
} // namespace UsbEmulator
