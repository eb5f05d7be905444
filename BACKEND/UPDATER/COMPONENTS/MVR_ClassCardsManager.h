#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"

class CLASS_ABSTRACT_UPDATER;
class CLASS_CARD;

// Owns every card of the model, at most one per card type.
class CLASS_CARDS_MANAGER : public QObject
{
    Q_OBJECT
public:
    explicit CLASS_CARDS_MANAGER(QObject* parent = nullptr);
    ~CLASS_CARDS_MANAGER() override;

    // The new card, or null when a card of that type is already there.
    CLASS_CARD* AddCard(T_CARD_TYPE type);
    // First card holding a component of that full name, or null.
    CLASS_CARD* GetCardOfComponent(const QString& componentFullName) const;
    // Last step of that component's card; STEP_NONE when there is no such card
    // or no component of the card has that step.
    T_UPDATE_STEP GetLastStepOfCard(const QString& componentFullName) const;
    // Updater of the first component at step on that component's card, or null.
    CLASS_ABSTRACT_UPDATER* GetUpdaterOfStep(const QString& componentFullName, T_UPDATE_STEP step) const;
    // Deletes every card (each stops its thread first) and empties the list.
    void DeleteAllCards();

    const QList<CLASS_CARD*>& GetCards() const { return m_Cards; }

private:
    QList<CLASS_CARD*> m_Cards;
};
