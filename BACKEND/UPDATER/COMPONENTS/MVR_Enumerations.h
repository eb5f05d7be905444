#pragma once

#include <QString>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassEnumerationTable.h"
#include "Types.h"

// Enumerations of the card model. Configuration texts become values through
// the tables below; a text absent from a table gives that table's
// not-recognized value instead of failing (the parser rejects such texts itself).

enum T_CARD_TYPE : SDWord
{
    CARD_TYPE_BOX = 0,
    CARD_TYPE_NOT_RECOGNIZED = 1
};

enum T_UPDATE_STEP : SDWord
{
    STEP_SAMBA_PROGRAM_RAM = 0,
    STEP_RAM_PROGRAM_RESIDENT = 1,
    STEP_RESIDENT_PROGRAM_RAM = 2,
    STEP_RAM_PROGRAM_MAIN = 3,
    STEP_RAM_PROGRAM_FPGA_0 = 4,
    STEP_RAM_PROGRAM_EDID_0 = 5,
    STEP_RAM_PROGRAM_HDCP_0 = 6,
    STEP_FINAL_RESET = 7,
    STEP_NONE = 8
};

enum T_COMPONENT_TYPE : SDWord
{
    COMPONENT_TYPE_RESIDENT = 0,
    COMPONENT_TYPE_APP = 1,
    COMPONENT_TYPE_FPGA_0 = 2,
    COMPONENT_TYPE_EDID_0 = 3,
    COMPONENT_TYPE_HDCP_0 = 4,
    COMPONENT_TYPE_RAM = 5,
    COMPONENT_TYPE_NOT_RECOGNIZED = 6
};

enum T_END_ACTION : SDWord
{
    END_ACTION_JUMP = 0,
    END_ACTION_RESET = 1,
    END_ACTION_NONE = 2,
    END_ACTION_NOT_RECOGNIZED = 3 // no table value; also an updater's end action before Configure
};

enum T_COMMUNICATION_TYPE : SDWord
{
    COMMUNICATION_TYPE_COM = 0,
    COMMUNICATION_TYPE_UDP = 1,
    COMMUNICATION_TYPE_USB = 2,
    COMMUNICATION_TYPE_ERROR = 3
};

// The five tables, each built once on first use (thread-safe).
const CLASS_ENUMERATION_TABLE<T_CARD_TYPE>& CardTypeTable();
const CLASS_ENUMERATION_TABLE<T_UPDATE_STEP>& UpdateStepTable();
const CLASS_ENUMERATION_TABLE<T_COMPONENT_TYPE>& ComponentTypeTable();
const CLASS_ENUMERATION_TABLE<T_END_ACTION>& EndActionTable();
const CLASS_ENUMERATION_TABLE<T_COMMUNICATION_TYPE>& CommunicationTypeTable();

// Builds every table now; the box updater calls it as the program starts.
void InitEnumerationTables();

inline T_CARD_TYPE CardTypeFromText(const QString& text)
{
    return CardTypeTable().FromText(text);
}
inline QString CardTypeToText(T_CARD_TYPE value)
{
    return CardTypeTable().ToText(value);
}
inline T_UPDATE_STEP UpdateStepFromText(const QString& text)
{
    return UpdateStepTable().FromText(text);
}
inline QString UpdateStepToText(T_UPDATE_STEP value)
{
    return UpdateStepTable().ToText(value);
}
inline T_COMPONENT_TYPE ComponentTypeFromText(const QString& text)
{
    return ComponentTypeTable().FromText(text);
}
inline QString ComponentTypeToText(T_COMPONENT_TYPE value)
{
    return ComponentTypeTable().ToText(value);
}
inline T_END_ACTION EndActionFromText(const QString& text)
{
    return EndActionTable().FromText(text);
}
inline QString EndActionToText(T_END_ACTION value)
{
    return EndActionTable().ToText(value);
}
inline T_COMMUNICATION_TYPE CommunicationTypeFromText(const QString& text)
{
    return CommunicationTypeTable().FromText(text);
}
inline QString CommunicationTypeToText(T_COMMUNICATION_TYPE value)
{
    return CommunicationTypeTable().ToText(value);
}
