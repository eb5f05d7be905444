#include "WIDGETS_ClassUpdateProgressBar.h"

#include <QStyle>

#include "Traces.h"

CLASS_UPDATE_PROGRESS_BAR::CLASS_UPDATE_PROGRESS_BAR(QWidget* parent) : QProgressBar(parent)
{
    RegisterTypeAliases(); // the style sheet reads `state` by its type name
}

void CLASS_UPDATE_PROGRESS_BAR::SetProgressBarState(DWord state)
{
    m_State = state;
    // Property selectors are only evaluated at polish time.
    style()->unpolish(this);
    style()->polish(this);
}

DWord CLASS_UPDATE_PROGRESS_BAR::GetProgressBarState() const
{
    return m_State;
}
