#include "COMDRIVER_UsbDevices.h"

#include <algorithm>

namespace
{
const int MAX_PORT_DEPTH = 7; // the USB limit of hub tiers
const int SERIAL_BUFFER_SIZE = 256;
} // namespace

namespace UsbDevices
{
QString PathOf(libusb_device* device)
{
    uint8_t ports[MAX_PORT_DEPTH] = {};
    const int depth = libusb_get_port_numbers(device, ports, MAX_PORT_DEPTH);
    QString path = QString::number(libusb_get_bus_number(device));
    for (int i = 0; i < depth; ++i)
        path += (i == 0 ? QLatin1Char('-') : QLatin1Char('.')) + QString::number(ports[i]);
    return path;
}

QString SerialOf(libusb_device_handle* handle, const libusb_device_descriptor& descriptor)
{
    if (!handle || descriptor.iSerialNumber == 0)
        return QString();
    unsigned char text[SERIAL_BUFFER_SIZE] = {};
    const int length =
        libusb_get_string_descriptor_ascii(handle, descriptor.iSerialNumber, text, sizeof(text));
    return length > 0 ? QString::fromLatin1(reinterpret_cast<const char*>(text), length) : QString();
}

QString SerialOf(libusb_device* device, const libusb_device_descriptor& descriptor)
{
    if (descriptor.iSerialNumber == 0)
        return QString();
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) < 0)
        return QString();
    const QString serial = SerialOf(handle, descriptor);
    libusb_close(handle);
    return serial;
}

T_USB_DEVICE_IDENTITY IdentityOf(libusb_device* device, const libusb_device_descriptor& descriptor)
{
    return {PathOf(device), SerialOf(device, descriptor)};
}

QString Describe(const T_USB_DEVICE_IDENTITY& identity)
{
    const QString quotedPath = QLatin1Char('"') + identity.Path + QLatin1Char('"');
    if (identity.Serial.isEmpty())
        return quotedPath + QStringLiteral(" (no serial number)");
    return quotedPath + QStringLiteral(" (serial \"") + identity.Serial + QStringLiteral("\")");
}

QString Describe(const QList<T_USB_DEVICE_IDENTITY>& identities)
{
    QStringList texts;
    for (const T_USB_DEVICE_IDENTITY& identity : identities)
        texts << Describe(identity);
    return texts.join(QStringLiteral(", "));
}

Bool Matches(const T_USB_DEVICE_IDENTITY& identity, const QString& selector)
{
    return !selector.isEmpty() && (identity.Path == selector || identity.Serial == selector);
}

QString IdentifiersText(Word vendor, Word product)
{
    return QString::number(vendor, 16) + QLatin1Char(':') + QString::number(product, 16);
}

Bool List(Word vendor, Word product, QList<T_USB_DEVICE_IDENTITY>& devices, QString& error)
{
    devices.clear();
    libusb_context* context = nullptr;
    int result = libusb_init(&context);
    if (result < 0)
    {
        error =
            QStringLiteral("USB initialization. Error: ") + QString::fromLatin1(libusb_error_name(result));
        return false;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    for (ssize_t i = 0; i < count; ++i)
    {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) == LIBUSB_SUCCESS &&
            descriptor.idVendor == vendor && descriptor.idProduct == product)
            devices << IdentityOf(list[i], descriptor);
    }
    if (list)
        libusb_free_device_list(list, 1);
    libusb_exit(context);
    std::sort(devices.begin(), devices.end(),
              [](const T_USB_DEVICE_IDENTITY& a, const T_USB_DEVICE_IDENTITY& b) { return a.Path < b.Path; });
    return true;
}
} // namespace UsbDevices
