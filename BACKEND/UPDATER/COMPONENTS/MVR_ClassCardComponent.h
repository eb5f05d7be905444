#pragma once

#include <QObject>
#include <QString>

#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"
#include "Types.h"

class CLASS_ABSTRACT_UPDATER;
class CLASS_BINARY_INFORMATIONS;
class CLASS_COMMUNICATION_CONF;

// One programmable component of a card and the updater that programs it.
// The updater is handed to the card's thread by the card and deleted when that
// thread finishes; the component never deletes a working updater itself.
class CLASS_CARD_COMPONENT : public QObject
{
    Q_OBJECT
public:
    // Programmation names selecting the updater.
    static const char* const PROGRAMMATION_MICRO;
    static const char* const PROGRAMMATION_MICRO_SAMBA;

    CLASS_CARD_COMPONENT(const QString& fullName, T_UPDATE_STEP step, CLASS_COMMUNICATION_CONF* communication,
                         const QString& programmation, CLASS_BINARY_INFORMATIONS* binary,
                         CLASS_BINARY_INFORMATIONS* verificationBinary, T_COMPONENT_TYPE componentType,
                         T_END_ACTION endAction, T_CARD_TYPE cardType, Bool fullForce,
                         Bool forceWithoutResident, QObject* parent = nullptr);

    const QString& GetName() const { return m_Name; }
    // Null when the programmation name is not recognized or Configure failed:
    // such a component can never be programmed.
    CLASS_ABSTRACT_UPDATER* GetUpdater() const { return m_Updater; }
    T_UPDATE_STEP GetStep() const { return m_Step; }
    Bool HasWorkingUpdater() const { return m_Updater != nullptr; }

    // The force flag a TBP updater gets for step from the two force options.
    static Bool ForceForStep(T_UPDATE_STEP step, Bool fullForce, Bool forceWithoutResident);

private:
    friend class CLASS_CARD;
    // The card's thread has deleted the updater: it is no longer handed out.
    void ForgetUpdater() { m_Updater = nullptr; }

    const QString m_Name;
    CLASS_ABSTRACT_UPDATER* m_Updater;
    const T_UPDATE_STEP m_Step;
};
