#pragma once

#include <QProgressBar>

#include "Types.h"

// Update progress bar. The chunk colour comes from the style sheet, which
// selects on the `state` property; value, range and text belong to the window.
class CLASS_UPDATE_PROGRESS_BAR : public QProgressBar
{
    Q_OBJECT
    Q_PROPERTY(DWord state MEMBER m_State)

public:
    explicit CLASS_UPDATE_PROGRESS_BAR(QWidget* parent = nullptr);

    // Stores the display state and re-applies the style.
    void SetProgressBarState(DWord state);
    DWord GetProgressBarState() const;

private:
    DWord m_State = 0;
};
