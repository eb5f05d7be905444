#include "WIDGETS_ClassUpdateLabel.h"

#include <QStyle>

#include "Traces.h"

namespace
{
const char* const STATE_PREFIX = "Current state: ";
} // namespace

CLASS_UPDATE_LABEL::CLASS_UPDATE_LABEL(QWidget* parent) : QLabel(parent)
{
    RegisterTypeAliases(); // the style sheet reads `state` by its type name
}

void CLASS_UPDATE_LABEL::SetLabelState(DWord state)
{
    m_State = state;
    switch (state)
    {
    case 0:
        setText(QString(STATE_PREFIX) + "Ready");
        break;
    case 1:
        setText(QString(STATE_PREFIX) + "Running");
        break;
    case 2:
        setText(QString(STATE_PREFIX) + "Finished");
        break;
    case 3:
        setText(QString(STATE_PREFIX) + "Error");
        break;
    default:
        TraceError(TRACE_POS + QStringLiteral("Unmanaged state for the update label: ") +
                   QString::number(state));
        break;
    }
    // Property selectors are only evaluated at polish time.
    style()->unpolish(this);
    style()->polish(this);
}

DWord CLASS_UPDATE_LABEL::GetLabelState() const
{
    return m_State;
}
