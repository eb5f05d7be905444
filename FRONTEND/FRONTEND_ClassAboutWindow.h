#pragma once

#include <QString>
#include <QWidget>

// Version information window; built hidden, shown by the main window.
class CLASS_ABOUT_WINDOW : public QWidget
{
    Q_OBJECT

public:
    explicit CLASS_ABOUT_WINDOW(QWidget* parent = nullptr);

    // The credits line for a given current year: "... 1989-<year> ...".
    static QString CreditsText(int currentYear);
};
