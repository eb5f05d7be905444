#pragma once

#include <QLabel>

#include "Types.h"

// Status-bar label "Current state: <word>". Its colour comes from the style
// sheet, which selects on the `state` property.
class CLASS_UPDATE_LABEL : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(DWord state MEMBER m_State)

public:
    explicit CLASS_UPDATE_LABEL(QWidget* parent = nullptr);

    // Stores the display state (0 ready, 1 running, 2 finished, 3 error),
    // sets the matching text and re-applies the style.
    void SetLabelState(DWord state);
    DWord GetLabelState() const;

private:
    DWord m_State = 0;
};
