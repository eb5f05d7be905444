#pragma once

#include <QList>
#include <QString>

#include <libusb.h>

#include "Types.h"

// A USB device as an operator names it: where it is plugged and its serial number.
struct T_USB_DEVICE_IDENTITY
{
    QString Path;   // bus-port path, "1-4.2"
    QString Serial; // empty when the device has none or it could not be read
};

namespace UsbDevices
{
QString PathOf(libusb_device* device);
// Through an open handle; empty when the device has no serial number.
QString SerialOf(libusb_device_handle* handle, const libusb_device_descriptor& descriptor);
// Opens the device briefly (no reset, nothing claimed) to read it.
QString SerialOf(libusb_device* device, const libusb_device_descriptor& descriptor);
T_USB_DEVICE_IDENTITY IdentityOf(libusb_device* device, const libusb_device_descriptor& descriptor);
// "1-4.2" (serial "A1B2"), and a list of them joined by ", ".
QString Describe(const T_USB_DEVICE_IDENTITY& identity);
QString Describe(const QList<T_USB_DEVICE_IDENTITY>& identities);
// The selector is a serial number or a bus-port path.
Bool Matches(const T_USB_DEVICE_IDENTITY& identity, const QString& selector);
QString IdentifiersText(Word vendor, Word product); // "3eb:6124"
// The devices with these identifiers, ordered by path. False (error set) when
// USB cannot be used at all.
Bool List(Word vendor, Word product, QList<T_USB_DEVICE_IDENTITY>& devices, QString& error);
} // namespace UsbDevices
