#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConf.h"

#include "COMDRIVER_ClassUniversalPort.h"
#include "COMDRIVER_ClassUniversalPortSettings.h"

CLASS_COMMUNICATION_CONF::CLASS_COMMUNICATION_CONF(const QString& name, T_COMMUNICATION_TYPE type,
                                                   SDWord nodeAddress, QObject* parent)
    : QObject(parent), m_Name(name), m_Type(type), m_NodeAddress(nodeAddress)
{
}

Bool CLASS_COMMUNICATION_CONF::HandOver(CLASS_UNIVERSALPORT* newPort,
                                        CLASS_UNIVERSALPORT_SETTINGS* newSettings, CLASS_UNIVERSALPORT** port,
                                        CLASS_UNIVERSALPORT_SETTINGS** settings)
{
    if (!newPort || !newSettings || !port || !settings)
    {
        delete newPort;
        delete newSettings;
        return false;
    }
    *port = newPort;
    *settings = newSettings;
    return true;
}
