#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"

#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootRamUpdater.h"
#include "BACKEND/UPDATER/MICRO/BOOT/MVR_ClassBootTBPUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassAbstractProgFileWithProtocol.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassUtilsProgFile.h"
#include "Traces.h"

const char* const CLASS_CARD_COMPONENT::PROGRAMMATION_MICRO = "MICRO";
const char* const CLASS_CARD_COMPONENT::PROGRAMMATION_MICRO_SAMBA = "MICRO_SAMBA";

CLASS_CARD_COMPONENT::CLASS_CARD_COMPONENT(const QString& fullName, T_UPDATE_STEP step,
                                           CLASS_COMMUNICATION_CONF* communication,
                                           const QString& programmation, CLASS_BINARY_INFORMATIONS* binary,
                                           CLASS_BINARY_INFORMATIONS* verificationBinary,
                                           T_COMPONENT_TYPE componentType, T_END_ACTION endAction,
                                           T_CARD_TYPE cardType, Bool fullForce, Bool forceWithoutResident,
                                           QObject* parent)
    : QObject(parent), m_Name(fullName), m_Updater(nullptr), m_Step(step)
{
    SDWord isRam = 0;
    if (programmation == QLatin1String(PROGRAMMATION_MICRO))
    {
        m_Updater = new CLASS_MVR_BOOT_TBP_UPDATER(
            fullName, step, communication, ForceForStep(step, fullForce, forceWithoutResident), nullptr);
    }
    else if (programmation == QLatin1String(PROGRAMMATION_MICRO_SAMBA))
    {
        m_Updater = new CLASS_MVR_BOOT_RAM_UPDATER(fullName, step, communication, nullptr);
        isRam = 1;
    }
    else
    {
        TraceError(TRACE_POS + QStringLiteral("Unrecognized programmation name ") + programmation +
                   QStringLiteral(" for component card named") + fullName);
        return;
    }

    if (!m_Updater->Configure(binary, verificationBinary, isRam, &endAction, &componentType, &cardType))
    {
        TraceError(TRACE_POS + QStringLiteral("Error during configuration for component named ") + fullName);
        // Not yet on the card's thread: nothing else knows it, so it goes now
        // and nothing can start or poll an updater that cannot program.
        delete m_Updater;
        m_Updater = nullptr;
        return;
    }

    CLASS_UTILS_PROG_FILE* utility = m_Updater->GetProgFileUtility();
    if (utility && utility->GetProgFile())
        utility->GetProgFile()->Rewind();
}

Bool CLASS_CARD_COMPONENT::ForceForStep(T_UPDATE_STEP step, Bool fullForce, Bool forceWithoutResident)
{
    if (fullForce)
        return true;
    if (forceWithoutResident)
        return step != STEP_RESIDENT_PROGRAM_RAM;
    return false;
}
