#include "SIM_ClassFaultPlan.h"

CLASS_SIM_FAULT_PLAN::CLASS_SIM_FAULT_PLAN(const T_SIM_FAULTS& faults) : m_Faults(faults) {}

Bool CLASS_SIM_FAULT_PLAN::Take(const T_SIM_FAULT_TARGET& target, DWord& seen, const QString& command)
{
    if (!target.Enabled || seen >= target.Occurrence)
        return false;
    if (!target.Command.isEmpty() && target.Command != command)
        return false;
    ++seen;
    return seen == target.Occurrence;
}

Bool CLASS_SIM_FAULT_PLAN::TakeError(const QString& command, Byte& code)
{
    if (!Take(m_Faults.Error, m_ErrorSeen, command))
        return false;
    code = m_Faults.ErrorCode;
    return true;
}

Bool CLASS_SIM_FAULT_PLAN::TakeWrongSha()
{
    if (m_Faults.WrongSha == 0 || m_ShaSeen >= m_Faults.WrongSha)
        return false;
    return ++m_ShaSeen == m_Faults.WrongSha;
}

Bool CLASS_SIM_FAULT_PLAN::TakeStaleResident()
{
    if (!m_Faults.StaleResident || m_StaleUsed)
        return false;
    m_StaleUsed = true;
    return true;
}

Bool CLASS_SIM_FAULT_PLAN::CountFrameAndAnswer()
{
    if (Silent())
        return false;
    ++m_Frames;
    return !m_Faults.Silence || m_Frames <= m_Faults.SilenceAfter;
}
