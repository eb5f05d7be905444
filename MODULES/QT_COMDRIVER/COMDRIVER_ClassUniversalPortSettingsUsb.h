#pragma once

#include <QList>
#include <QString>

#include "COMDRIVER_ClassUniversalPortSettings.h"
#include "Types.h"

struct T_USB_RECEIVE_ENDPOINT
{
    Byte interfaceNumber;
    Byte endpointNumber;
    Word packetSize;
    bool operator==(const T_USB_RECEIVE_ENDPOINT& other) const
    {
        return interfaceNumber == other.interfaceNumber && endpointNumber == other.endpointNumber &&
               packetSize == other.packetSize;
    }
};

struct T_USB_SEND_ENDPOINT
{
    Byte spare;
    Byte endpointNumber;
    Word packetSize;
    bool operator==(const T_USB_SEND_ENDPOINT& other) const
    {
        return spare == other.spare && endpointNumber == other.endpointNumber &&
               packetSize == other.packetSize;
    }
};

// Identifiers of the device to find; the endpoint lists are filled from the
// device's own configuration descriptor when the port opens.
class CLASS_UNIVERSALPORT_SETTINGS_USB : public CLASS_UNIVERSALPORT_SETTINGS
{
public:
    CLASS_UNIVERSALPORT_SETTINGS_USB(Word productId = 0, Word vendorId = 0, DWord spareValue = 0);

    Word GetProductId() const { return m_ProductId; }
    Word GetVendorId() const { return m_VendorId; }
    DWord GetSpareValue() const { return m_SpareValue; }
    DWord GetControlPacketSize() const { return m_ControlPacketSize; }
    void SetProductId(Word productId) { m_ProductId = productId; }
    void SetVendorId(Word vendorId) { m_VendorId = vendorId; }
    void SetSpareValue(DWord spareValue) { m_SpareValue = spareValue; }
    void SetControlPacketSize(DWord size) { m_ControlPacketSize = size; }

    // Which of several matching devices to use: its serial number or its
    // bus-port path ("1-4.2"); empty: the only one. New settings start with
    // the process-wide choice, so every USB port the program creates uses it.
    const QString& GetDeviceSelector() const { return m_DeviceSelector; }
    void SetDeviceSelector(const QString& selector) { m_DeviceSelector = selector; }
    static void SetDefaultDeviceSelector(const QString& selector);
    static QString GetDefaultDeviceSelector();

    void AddReceiveEndpoint(Byte interfaceNumber, Byte endpointNumber, Word packetSize);
    void AddSendEndpoint(Byte endpointNumber, Word packetSize);
    QList<T_USB_RECEIVE_ENDPOINT> GetReceiveEndpoints() const { return m_ReceiveEndpoints; }
    QList<T_USB_SEND_ENDPOINT> GetSendEndpoints() const { return m_SendEndpoints; }

    // Entry with the given endpoint number; a negative or unknown key gives
    // the first entry. Callers check that the list is not empty.
    Byte GetSendEndpointNumber(SDWord key) const;
    Word GetSendEndpointSize(SDWord key) const;
    Byte GetReceiveEndpointNumber(SDWord key) const;
    Word GetReceiveEndpointSize(SDWord key) const;

private:
    Word m_ProductId;
    Word m_VendorId;
    DWord m_SpareValue;
    DWord m_ControlPacketSize;
    QList<T_USB_RECEIVE_ENDPOINT> m_ReceiveEndpoints;
    QList<T_USB_SEND_ENDPOINT> m_SendEndpoints;
    QString m_DeviceSelector;
};
