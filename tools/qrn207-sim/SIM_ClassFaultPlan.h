#pragma once

#include <QString>

#include "SIM_ClassSimOptions.h"

// The faults asked for on the command line and how far each has got. Every
// targeted fault fires once, on its Nth matching occurrence, so a run is
// repeatable.
class CLASS_SIM_FAULT_PLAN
{
public:
    explicit CLASS_SIM_FAULT_PLAN(const T_SIM_FAULTS& faults = T_SIM_FAULTS());

    // Each takes one received acknowledged node message carrying command
    // (empty when its payload is no TBP frame) and tells whether the fault hits it.
    Bool TakeLoseAck(const QString& command) { return Take(m_Faults.LoseAck, m_LoseAckSeen, command); }
    Bool TakeBadCrc(const QString& command) { return Take(m_Faults.BadCrc, m_BadCrcSeen, command); }
    Bool TakeError(const QString& command, Byte& code);
    Bool TakePowerCut(const QString& command) { return Take(m_Faults.PowerCut, m_PowerCutSeen, command); }
    // Each SHA_STATUS sent.
    Bool TakeWrongSha();
    // Each check of content that overlaps the resident boot loader.
    Bool TakeStaleResident();
    // Each frame or command received; false once the device has fallen silent.
    Bool CountFrameAndAnswer();

    Bool Split() const { return m_Faults.Split; }
    int SplitGapMs() const { return int(m_Faults.SplitGapMs); }
    Bool RefuseReset() const { return m_Faults.RefuseReset; }
    Bool ResetLeadingByte() const { return m_Faults.ResetLeadingByte; }
    Bool Silent() const { return m_Faults.Silence && m_Frames >= m_Faults.SilenceAfter; }

private:
    static Bool Take(const T_SIM_FAULT_TARGET& target, DWord& seen, const QString& command);

    T_SIM_FAULTS m_Faults;
    DWord m_LoseAckSeen = 0;
    DWord m_BadCrcSeen = 0;
    DWord m_ErrorSeen = 0;
    DWord m_PowerCutSeen = 0;
    DWord m_ShaSeen = 0;
    Bool m_StaleUsed = false;
    DWord m_Frames = 0;
};
