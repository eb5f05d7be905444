#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardThread.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"
#include "Types.h"

class CLASS_BINARY_INFORMATIONS;
class CLASS_CARD_COMPONENT;
class CLASS_COMMUNICATION_CONF;

// One card of the device: its links, its components and the worker thread on
// which every updater of the card runs. Built and read on the box updater's
// thread; only the updaters' progress is read across threads.
class CLASS_CARD : public QObject
{
    Q_OBJECT
public:
    CLASS_CARD(const QString& name, T_CARD_TYPE type, QObject* parent = nullptr);
    ~CLASS_CARD() override;

    // Keeps a copy of configuration under key; at most one per type.
    Bool AddCommunication(T_COMMUNICATION_TYPE key, const CLASS_COMMUNICATION_CONF& configuration);
    // The binaries stay owned by the caller; either may be null.
    Bool AddComponent(const QString& name, T_UPDATE_STEP step, T_COMMUNICATION_TYPE communicationType,
                      const QString& programmation, CLASS_BINARY_INFORMATIONS* binary,
                      CLASS_BINARY_INFORMATIONS* verificationBinary, T_COMPONENT_TYPE componentType,
                      T_END_ACTION endAction, Bool fullForce, Bool forceWithoutResident);
    // Weighted progress of the card's updaters, 0 to 100.
    Byte GetCardProgress() const;

    Bool IsValid() const { return m_Valid; }
    const QString& GetName() const { return m_Name; }
    T_CARD_TYPE GetType() const { return m_Type; }
    const QList<CLASS_CARD_COMPONENT*>& GetComponents() const { return m_Components; }
    CLASS_COMMUNICATION_CONF* GetCommunication(T_COMMUNICATION_TYPE type) const;
    T_UPDATE_STEP GetLastStep() const { return m_LastStep; }
    CLASS_CARD_THREAD* GetThread() { return &m_Thread; }
    void SetCardState(DWord state) { m_State.store(state); }
    DWord GetCardState() const { return m_State.load(); }

    // Ends the card's thread (its updaters are deleted as it finishes), waits
    // for it, and clears the components' updaters. Safe to call again.
    void StopThread();

    // Weight of a step in the card's progress.
    static DWord StepWeight(SDWord step);

private:
    // prefix + name, with a random suffix for APP and FPGA_0 components that
    // never repeats a name of the card. exists tells, for the other types,
    // whether a component of that name is already there.
    QString BuildComponentName(const QString& name, T_COMPONENT_TYPE componentType, Bool* exists) const;
    Bool ComputeLastStep();
    Bool HasComponentNamed(const QString& fullName) const;

    Bool m_Valid;
    const QString m_Name;
    const T_CARD_TYPE m_Type;
    QList<CLASS_CARD_COMPONENT*> m_Components;
    QHash<T_COMMUNICATION_TYPE, CLASS_COMMUNICATION_CONF*> m_Communications;
    T_UPDATE_STEP m_LastStep;
    std::atomic<DWord> m_State;
    CLASS_CARD_THREAD m_Thread;
};
