#include "COMDRIVER_ClassUniversalPortUsbLibrariesManager.h"

CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER(QObject* parent)
    : QObject(parent)
{
}

CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::~CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER() = default;

void CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::SetSettings(const CLASS_UNIVERSALPORT_SETTINGS_USB& settings)
{
    std::lock_guard<std::mutex> owner(m_OwnerMutex);
    m_Settings = settings;
}

CLASS_UNIVERSALPORT_SETTINGS_USB CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::GetSettings() const
{
    std::lock_guard<std::mutex> owner(m_OwnerMutex);
    return m_Settings;
}

QString CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::GetOpenFailure() const
{
    std::lock_guard<std::mutex> owner(m_OwnerMutex);
    return m_OpenFailure;
}

QString CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER::GetOpenedDevice() const
{
    std::lock_guard<std::mutex> owner(m_OwnerMutex);
    return m_OpenedDevice;
}
