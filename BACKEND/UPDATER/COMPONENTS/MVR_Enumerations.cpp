#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"

const CLASS_ENUMERATION_TABLE<T_CARD_TYPE>& CardTypeTable()
{
    static const CLASS_ENUMERATION_TABLE<T_CARD_TYPE> table({{"BOX", CARD_TYPE_BOX}},
                                                            CARD_TYPE_NOT_RECOGNIZED);
    return table;
}

const CLASS_ENUMERATION_TABLE<T_UPDATE_STEP>& UpdateStepTable()
{
    static const CLASS_ENUMERATION_TABLE<T_UPDATE_STEP> table(
        {{"STEP_SAMBA_PROGRAM_RAM", STEP_SAMBA_PROGRAM_RAM},
         {"STEP_RAM_PROGRAM_RESIDENT", STEP_RAM_PROGRAM_RESIDENT},
         {"STEP_RESIDENT_PROGRAM_RAM", STEP_RESIDENT_PROGRAM_RAM},
         {"STEP_RAM_PROGRAM_MAIN", STEP_RAM_PROGRAM_MAIN},
         {"STEP_RAM_PROGRAM_FPGA_0", STEP_RAM_PROGRAM_FPGA_0},
         {"STEP_RAM_PROGRAM_EDID_0", STEP_RAM_PROGRAM_EDID_0},
         {"STEP_RAM_PROGRAM_HDCP_0", STEP_RAM_PROGRAM_HDCP_0},
         {"STEP_FINAL_RESET", STEP_FINAL_RESET}},
        STEP_NONE);
    return table;
}

const CLASS_ENUMERATION_TABLE<T_COMPONENT_TYPE>& ComponentTypeTable()
{
    // "RAM_SAMBA" is accepted by the parser but deliberately absent: it maps to 6.
    static const CLASS_ENUMERATION_TABLE<T_COMPONENT_TYPE> table({{"RESIDENT", COMPONENT_TYPE_RESIDENT},
                                                                  {"APP", COMPONENT_TYPE_APP},
                                                                  {"FPGA_0", COMPONENT_TYPE_FPGA_0},
                                                                  {"EDID_0", COMPONENT_TYPE_EDID_0},
                                                                  {"HDCP_0", COMPONENT_TYPE_HDCP_0},
                                                                  {"RAM", COMPONENT_TYPE_RAM}},
                                                                 COMPONENT_TYPE_NOT_RECOGNIZED);
    return table;
}

const CLASS_ENUMERATION_TABLE<T_END_ACTION>& EndActionTable()
{
    static const CLASS_ENUMERATION_TABLE<T_END_ACTION> table(
        {{"jump", END_ACTION_JUMP}, {"reset", END_ACTION_RESET}, {"none", END_ACTION_NONE}},
        END_ACTION_NOT_RECOGNIZED);
    return table;
}

const CLASS_ENUMERATION_TABLE<T_COMMUNICATION_TYPE>& CommunicationTypeTable()
{
    static const CLASS_ENUMERATION_TABLE<T_COMMUNICATION_TYPE> table({{"COM", COMMUNICATION_TYPE_COM},
                                                                      {"UDP", COMMUNICATION_TYPE_UDP},
                                                                      {"USB", COMMUNICATION_TYPE_USB},
                                                                      {"ERROR", COMMUNICATION_TYPE_ERROR}},
                                                                     COMMUNICATION_TYPE_ERROR);
    return table;
}

void InitEnumerationTables()
{
    CardTypeTable();
    UpdateStepTable();
    ComponentTypeTable();
    EndActionTable();
    CommunicationTypeTable();
}
