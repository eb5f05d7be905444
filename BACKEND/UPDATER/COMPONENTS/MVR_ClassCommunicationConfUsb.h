#pragma once

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConf.h"

// A card reached over USB, found by product and vendor identifier; the bulk
// endpoints are read from the device when the port opens.
class CLASS_COMMUNICATION_CONF_USB : public CLASS_COMMUNICATION_CONF
{
    Q_OBJECT
public:
    CLASS_COMMUNICATION_CONF_USB(const QString& name, SDWord nodeAddress, Word productId, Word vendorId,
                                 QObject* parent = nullptr);
    // Copies every field; the copy has no parent.
    CLASS_COMMUNICATION_CONF_USB(const CLASS_COMMUNICATION_CONF_USB& other);

    Word GetProductId() const { return m_ProductId; }
    Word GetVendorId() const { return m_VendorId; }

    Bool CreatePort(const QString& portNameSuffix, CLASS_UNIVERSALPORT** port,
                    CLASS_UNIVERSALPORT_SETTINGS** settings, Bool receptionMode,
                    QObject* parent) const override;

private:
    const Word m_ProductId;
    const Word m_VendorId;
};
