#pragma once

#include <QObject>
#include <QString>

#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"
#include "Types.h"

class CLASS_UNIVERSALPORT;
class CLASS_UNIVERSALPORT_SETTINGS;

// How one card is reached (serial, UDP or USB) and its node address on that
// link; the factory of the matching port. Never changes after construction.
// The kinds are CLASS_COMMUNICATION_CONF_COM, _UDP and _USB.
class CLASS_COMMUNICATION_CONF : public QObject
{
    Q_OBJECT
public:
    static constexpr SDWord NODE_ADDRESS_NONE = -1;

    ~CLASS_COMMUNICATION_CONF() override = default;

    const QString& GetName() const { return m_Name; }
    T_COMMUNICATION_TYPE GetType() const { return m_Type; }
    SDWord GetNodeAddress() const { return m_NodeAddress; }

    // Creates new settings and a new port whose information string is the kind
    // prefix + portNameSuffix; true when both exist. The caller owns both, applies
    // the settings with the port's SetConfiguration and opens the port.
    virtual Bool CreatePort(const QString& portNameSuffix, CLASS_UNIVERSALPORT** port,
                            CLASS_UNIVERSALPORT_SETTINGS** settings, Bool receptionMode,
                            QObject* parent) const = 0;

protected:
    CLASS_COMMUNICATION_CONF(const QString& name, T_COMMUNICATION_TYPE type, SDWord nodeAddress,
                             QObject* parent = nullptr);

    // Stores both objects in the outputs, or deletes both when either is missing.
    static Bool HandOver(CLASS_UNIVERSALPORT* newPort, CLASS_UNIVERSALPORT_SETTINGS* newSettings,
                         CLASS_UNIVERSALPORT** port, CLASS_UNIVERSALPORT_SETTINGS** settings);

private:
    const QString m_Name;
    const T_COMMUNICATION_TYPE m_Type;
    const SDWord m_NodeAddress;
};
