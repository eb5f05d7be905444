#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"

#include <cstdlib>
#include <memory>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfCom.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUsb.h"
#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "Traces.h"

namespace
{
// How long a card waits for its thread to end before saying so and waiting on.
const unsigned long CARD_THREAD_STOP_WAIT_MS = 500;

// Progress weights of the steps 0 to 6; later steps weigh 1.
const DWord STEP_WEIGHTS[] = {5, 5, 5, 5, 250, 1, 2};
} // namespace

CLASS_CARD::CLASS_CARD(const QString& name, T_CARD_TYPE type, QObject* parent)
    : QObject(parent), m_Valid(false), m_Name(name), m_Type(type), m_LastStep(STEP_SAMBA_PROGRAM_RAM),
      m_State(0)
{
    if (type == CARD_TYPE_NOT_RECOGNIZED)
        TraceError(TRACE_POS + QStringLiteral("Unrecognized card type: ") + QString::number(type));
    else
        m_Valid = true;

    m_Thread.setObjectName(QStringLiteral("THREAD_") + CardTypeToText(type));
    // Not stopped by the quit itself: the box updater may be polling these
    // updaters at that moment. Whoever owns the card stops the thread once
    // nothing reads them any more (StopThread, or the destructor).
    m_Thread.start(QThread::InheritPriority);
}

CLASS_CARD::~CLASS_CARD()
{
    // The thread goes first: its updaters use the components' binaries and the
    // communication copies until they are deleted as it finishes.
    StopThread();
    qDeleteAll(m_Components);
    m_Components.clear();
    qDeleteAll(m_Communications);
    m_Communications.clear();
}

void CLASS_CARD::StopThread()
{
    // Already asked to end (at quit, or by the box updater): only wait below.
    if (m_Thread.isRunning())
        m_Thread.RequestStop();
    if (!m_Thread.wait(CARD_THREAD_STOP_WAIT_MS))
    {
        // Deleting a running thread would abort the program; an updater
        // blocked in a bounded wait ends soon enough.
        TraceError(TRACE_POS + QStringLiteral("Thread of the card named \"") + m_Name +
                   QStringLiteral("\" is still busy, waiting for it to end"));
        m_Thread.wait();
    }
    m_Thread.Reclaim();
    // The thread deleted them as it ended.
    for (CLASS_CARD_COMPONENT* component : qAsConst(m_Components))
        component->ForgetUpdater();
}

Bool CLASS_CARD::AddCommunication(T_COMMUNICATION_TYPE key, const CLASS_COMMUNICATION_CONF& configuration)
{
    if (m_Communications.contains(key))
    {
        TraceError(TRACE_POS + QStringLiteral("Communication type ") + CommunicationTypeToText(key) +
                   QStringLiteral(" is already affected for the card named \"") + m_Name + QLatin1Char('"'));
        return false;
    }

    CLASS_COMMUNICATION_CONF* copy = nullptr;
    switch (configuration.GetType())
    {
    case COMMUNICATION_TYPE_COM:
        if (const auto* com = dynamic_cast<const CLASS_COMMUNICATION_CONF_COM*>(&configuration))
            copy = new CLASS_COMMUNICATION_CONF_COM(*com);
        break;
    case COMMUNICATION_TYPE_UDP:
        if (const auto* udp = dynamic_cast<const CLASS_COMMUNICATION_CONF_UDP*>(&configuration))
            copy = new CLASS_COMMUNICATION_CONF_UDP(*udp);
        break;
    case COMMUNICATION_TYPE_USB:
        if (const auto* usb = dynamic_cast<const CLASS_COMMUNICATION_CONF_USB*>(&configuration))
            copy = new CLASS_COMMUNICATION_CONF_USB(*usb);
        break;
    default:
        break;
    }
    if (!copy)
    {
        TraceError(TRACE_POS +
                   QStringLiteral("Cannot recognized communcation type to insert "
                                  "into the container: ") +
                   CommunicationTypeToText(configuration.GetType()));
        return false;
    }
    m_Communications.insert(key, copy);
    return true;
}

Bool CLASS_CARD::AddComponent(const QString& name, T_UPDATE_STEP step, T_COMMUNICATION_TYPE communicationType,
                              const QString& programmation, CLASS_BINARY_INFORMATIONS* binary,
                              CLASS_BINARY_INFORMATIONS* verificationBinary, T_COMPONENT_TYPE componentType,
                              T_END_ACTION endAction, Bool fullForce, Bool forceWithoutResident)
{
    for (const CLASS_CARD_COMPONENT* component : qAsConst(m_Components))
    {
        if (component->GetStep() == step)
        {
            TraceError(TRACE_POS + QStringLiteral("The component named ") + name +
                       QStringLiteral(" already exists in the card named ") + m_Name);
            return false;
        }
    }

    Bool exists = false;
    const QString fullName = BuildComponentName(name, componentType, &exists);
    if (exists)
    {
        TraceError(TRACE_POS + QStringLiteral("One component with the same name: ") + name +
                   QStringLiteral(" is already associated to this card named: ") + m_Name);
        return false;
    }

    auto* component = new CLASS_CARD_COMPONENT(fullName, step, GetCommunication(communicationType),
                                               programmation, binary, verificationBinary, componentType,
                                               endAction, m_Type, fullForce, forceWithoutResident, nullptr);
    m_Components.append(component);

    ComputeLastStep();
    // On the card's thread from now on, and deleted there when it finishes.
    if (CLASS_ABSTRACT_UPDATER* updater = component->GetUpdater())
        m_Thread.Adopt(updater);
    return true;
}

Byte CLASS_CARD::GetCardProgress() const
{
    DWord sumWeights = 0;
    DWord sum = 0;
    for (const CLASS_CARD_COMPONENT* component : m_Components)
    {
        if (!component)
        {
            TraceError(TRACE_POS + QStringLiteral("One of the component on the card \"") + m_Name +
                       QStringLiteral("\" is null"));
            continue;
        }
        CLASS_ABSTRACT_UPDATER* updater = component->GetUpdater();
        if (!updater)
            continue; // nothing will ever program it: it has no progress
        const DWord weight = StepWeight(updater->GetStep());
        sumWeights += weight;
        sum += weight * updater->GetProgress();
    }
    return sumWeights == 0 ? 0 : static_cast<Byte>(sum / sumWeights);
}

CLASS_COMMUNICATION_CONF* CLASS_CARD::GetCommunication(T_COMMUNICATION_TYPE type) const
{
    return m_Communications.value(type, nullptr);
}

DWord CLASS_CARD::StepWeight(SDWord step)
{
    if (step >= 0 && step < static_cast<SDWord>(sizeof(STEP_WEIGHTS) / sizeof(STEP_WEIGHTS[0])))
        return STEP_WEIGHTS[step];
    return 1;
}

QString CLASS_CARD::BuildComponentName(const QString& name, T_COMPONENT_TYPE componentType,
                                       Bool* exists) const
{
    const QString prefix = CardTypeToText(m_Type) + QLatin1Char('_');
    if (componentType == COMPONENT_TYPE_APP || componentType == COMPONENT_TYPE_FPGA_0)
    {
        QString candidate;
        do
        {
            candidate = prefix + name + QLatin1Char('_') + QString::number(std::rand());
        } while (HasComponentNamed(candidate));
        *exists = false;
        return candidate;
    }
    const QString fullName = prefix + name;
    *exists = HasComponentNamed(fullName);
    return fullName;
}

Bool CLASS_CARD::HasComponentNamed(const QString& fullName) const
{
    for (const CLASS_CARD_COMPONENT* component : m_Components)
    {
        if (component->GetName() == fullName)
            return true;
    }
    return false;
}

Bool CLASS_CARD::ComputeLastStep()
{
    static const T_UPDATE_STEP CANDIDATES[] = {STEP_RAM_PROGRAM_HDCP_0, STEP_RAM_PROGRAM_EDID_0,
                                               STEP_RAM_PROGRAM_FPGA_0, STEP_RAM_PROGRAM_MAIN,
                                               STEP_RESIDENT_PROGRAM_RAM};
    for (T_UPDATE_STEP candidate : CANDIDATES)
    {
        for (const CLASS_CARD_COMPONENT* component : qAsConst(m_Components))
        {
            if (component->GetStep() == candidate)
            {
                m_LastStep = candidate;
                return true;
            }
        }
    }
    return false;
}
