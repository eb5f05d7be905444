#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUsb.h"

#include "COMDRIVER_ClassUniversalPortSettingsUsb.h"
#include "COMDRIVER_ClassUniversalPortUsb.h"

CLASS_COMMUNICATION_CONF_USB::CLASS_COMMUNICATION_CONF_USB(const QString& name, SDWord nodeAddress,
                                                           Word productId, Word vendorId, QObject* parent)
    : CLASS_COMMUNICATION_CONF(name, COMMUNICATION_TYPE_USB, nodeAddress, parent), m_ProductId(productId),
      m_VendorId(vendorId)
{
}

CLASS_COMMUNICATION_CONF_USB::CLASS_COMMUNICATION_CONF_USB(const CLASS_COMMUNICATION_CONF_USB& other)
    : CLASS_COMMUNICATION_CONF(other.GetName(), other.GetType(), other.GetNodeAddress()),
      m_ProductId(other.m_ProductId), m_VendorId(other.m_VendorId)
{
}

Bool CLASS_COMMUNICATION_CONF_USB::CreatePort(const QString& portNameSuffix, CLASS_UNIVERSALPORT** port,
                                              CLASS_UNIVERSALPORT_SETTINGS** settings, Bool receptionMode,
                                              QObject* parent) const
{
    auto* newSettings = new CLASS_UNIVERSALPORT_SETTINGS_USB(m_ProductId, m_VendorId, 0);
    // libusb (library kind 0), without auto-reconnection.
    auto* newPort =
        new CLASS_UNIVERSALPORT_USB(receptionMode, false, 0, QStringLiteral("USB_") + portNameSuffix, parent);
    return HandOver(newPort, newSettings, port, settings);
}
