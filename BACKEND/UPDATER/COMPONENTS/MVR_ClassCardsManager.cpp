#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardsManager.h"

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "Traces.h"

CLASS_CARDS_MANAGER::CLASS_CARDS_MANAGER(QObject* parent) : QObject(parent) {}

CLASS_CARDS_MANAGER::~CLASS_CARDS_MANAGER()
{
    DeleteAllCards();
}

CLASS_CARD* CLASS_CARDS_MANAGER::AddCard(T_CARD_TYPE type)
{
    const QString text = CardTypeToText(type);
    // A text absent from the table compares as 0, so no card of an unknown
    // type joins a model that already has a box card.
    const T_CARD_TYPE compared = CardTypeTable().Contains(text) ? CardTypeFromText(text) : CARD_TYPE_BOX;
    for (const CLASS_CARD* card : qAsConst(m_Cards))
    {
        if (card->GetType() == compared)
        {
            TraceError(TRACE_POS + QStringLiteral("A card with the same type ") + QString::number(type) +
                       QStringLiteral(" already exists!"));
            return nullptr;
        }
    }
    auto* card = new CLASS_CARD(QStringLiteral("CARD_") + text, type, nullptr);
    m_Cards.append(card);
    return card;
}

CLASS_CARD* CLASS_CARDS_MANAGER::GetCardOfComponent(const QString& componentFullName) const
{
    for (CLASS_CARD* card : m_Cards)
    {
        for (const CLASS_CARD_COMPONENT* component : card->GetComponents())
        {
            if (component->GetName() == componentFullName)
                return card;
        }
    }
    return nullptr;
}

T_UPDATE_STEP
CLASS_CARDS_MANAGER::GetLastStepOfCard(const QString& componentFullName) const
{
    const CLASS_CARD* card = GetCardOfComponent(componentFullName);
    if (!card)
        return STEP_NONE;
    for (const CLASS_CARD_COMPONENT* component : card->GetComponents())
    {
        if (component->GetStep() == card->GetLastStep())
            return card->GetLastStep();
    }
    return STEP_NONE;
}

CLASS_ABSTRACT_UPDATER* CLASS_CARDS_MANAGER::GetUpdaterOfStep(const QString& componentFullName,
                                                              T_UPDATE_STEP step) const
{
    const CLASS_CARD* card = GetCardOfComponent(componentFullName);
    if (!card)
        return nullptr;
    for (const CLASS_CARD_COMPONENT* component : card->GetComponents())
    {
        if (component->GetStep() == step)
            return component->GetUpdater();
    }
    return nullptr;
}

void CLASS_CARDS_MANAGER::DeleteAllCards()
{
    qDeleteAll(m_Cards);
    m_Cards.clear();
}
