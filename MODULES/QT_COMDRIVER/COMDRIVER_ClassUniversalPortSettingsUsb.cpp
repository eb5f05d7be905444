#include "COMDRIVER_ClassUniversalPortSettingsUsb.h"

#include <QMutex>
#include <QMutexLocker>

namespace
{
QMutex g_DefaultSelectorMutex;
QString g_DefaultSelector;

template <typename T> int FindEndpoint(const QList<T>& endpoints, SDWord key)
{
    if (endpoints.isEmpty())
        return -1;
    for (int i = 0; key >= 0 && i < endpoints.size(); ++i)
    {
        if (endpoints.at(i).endpointNumber == key)
            return i;
    }
    return 0;
}
} // namespace

CLASS_UNIVERSALPORT_SETTINGS_USB::CLASS_UNIVERSALPORT_SETTINGS_USB(Word productId, Word vendorId,
                                                                   DWord spareValue)
    : m_ProductId(productId), m_VendorId(vendorId), m_SpareValue(spareValue), m_ControlPacketSize(0),
      m_DeviceSelector(GetDefaultDeviceSelector())
{
}

void CLASS_UNIVERSALPORT_SETTINGS_USB::SetDefaultDeviceSelector(const QString& selector)
{
    QMutexLocker lock(&g_DefaultSelectorMutex);
    g_DefaultSelector = selector;
}

QString CLASS_UNIVERSALPORT_SETTINGS_USB::GetDefaultDeviceSelector()
{
    QMutexLocker lock(&g_DefaultSelectorMutex);
    return g_DefaultSelector;
}

void CLASS_UNIVERSALPORT_SETTINGS_USB::AddReceiveEndpoint(Byte interfaceNumber, Byte endpointNumber,
                                                          Word packetSize)
{
    m_ReceiveEndpoints.append({interfaceNumber, endpointNumber, packetSize});
}

void CLASS_UNIVERSALPORT_SETTINGS_USB::AddSendEndpoint(Byte endpointNumber, Word packetSize)
{
    m_SendEndpoints.append({0, endpointNumber, packetSize});
}

Byte CLASS_UNIVERSALPORT_SETTINGS_USB::GetSendEndpointNumber(SDWord key) const
{
    const int index = FindEndpoint(m_SendEndpoints, key);
    return index < 0 ? 0 : m_SendEndpoints.at(index).endpointNumber;
}

Word CLASS_UNIVERSALPORT_SETTINGS_USB::GetSendEndpointSize(SDWord key) const
{
    const int index = FindEndpoint(m_SendEndpoints, key);
    return index < 0 ? 0 : m_SendEndpoints.at(index).packetSize;
}

Byte CLASS_UNIVERSALPORT_SETTINGS_USB::GetReceiveEndpointNumber(SDWord key) const
{
    const int index = FindEndpoint(m_ReceiveEndpoints, key);
    return index < 0 ? 0 : m_ReceiveEndpoints.at(index).endpointNumber;
}

Word CLASS_UNIVERSALPORT_SETTINGS_USB::GetReceiveEndpointSize(SDWord key) const
{
    const int index = FindEndpoint(m_ReceiveEndpoints, key);
    return index < 0 ? 0 : m_ReceiveEndpoints.at(index).packetSize;
}
