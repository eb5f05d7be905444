#include "FRONTEND_ClassAboutWindow.h"

#include <QCoreApplication>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

#include "FRONTEND_Resources.h"

namespace
{
const int WINDOW_WIDTH = 750;
const int WINDOW_HEIGHT = 300;
const int ICON_SIZE = 128;
const int FIRST_YEAR = 1989;
const char* const ICON_PATH = ":/icons/icon_orlex_final-06.ico";
const char* const TITLE_STYLE = "font-size: 25px; font-weight: bold;";
const char* const HEADING_STYLE = "font-size: 15px; font-weight: bold;";

QLabel* NewLabel(const QString& text, const char* style, QWidget* parent)
{
    QLabel* label = new QLabel(text, parent);
    if (style)
        label->setStyleSheet(style);
    return label;
}
} // namespace

CLASS_ABOUT_WINDOW::CLASS_ABOUT_WINDOW(QWidget* parent) : QWidget(parent, Qt::Window)
{
    InitFrontendResources();
    setObjectName(QStringLiteral("QRN_UPDATER__ABOUT_WINDOW"));
    setAttribute(Qt::WA_StyledBackground); // lets the style sheet paint the background
    setWindowTitle(tr("About ") + QCoreApplication::applicationName());
    setWindowIcon(QIcon(ICON_PATH));
    setFixedSize(WINDOW_WIDTH, WINDOW_HEIGHT);

    QLabel* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ABOUT_ICON_LABEL"));
    icon->setPixmap(QIcon(ICON_PATH).pixmap(ICON_SIZE, ICON_SIZE));

    QGridLayout* grid = new QGridLayout;
    grid->addWidget(NewLabel(tr("Version Informations"), TITLE_STYLE, this), 0, 0, 1, 2);
    grid->addWidget(NewLabel(tr("Version "), HEADING_STYLE, this), 1, 0);
    grid->addWidget(NewLabel(QCoreApplication::applicationVersion(), nullptr, this), 1, 1);
    grid->addWidget(NewLabel(tr("Built on "), HEADING_STYLE, this), 2, 0);
    grid->addWidget(NewLabel(QStringLiteral(__DATE__ " " __TIME__), nullptr, this), 2, 1);
    grid->addWidget(NewLabel(tr("System "), HEADING_STYLE, this), 3, 0);
    grid->addWidget(NewLabel(QSysInfo::prettyProductName() + QStringLiteral(" (") +
                                 QSysInfo::currentCpuArchitecture() + QStringLiteral(")"),
                             nullptr, this),
                    3, 1);
    grid->addWidget(NewLabel(tr("Thanks"), HEADING_STYLE, this), 4, 0);
    grid->addWidget(NewLabel(tr("Thanks to Alan Turing for computers!"), nullptr, this), 4, 1);
    grid->setColumnStretch(1, 1);

    QHBoxLayout* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(grid, 1);

    QLabel* credits = NewLabel(CreditsText(QDate::currentDate().year()), nullptr, this);
    credits->setObjectName(QStringLiteral("ABOUT_CREDITS_LABEL"));

    QPushButton* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("ABOUT_CLOSE_BUTTON"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    QHBoxLayout* bottom = new QHBoxLayout;
    bottom->addWidget(credits, 1);
    bottom->addWidget(close);

    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
}

QString CLASS_ABOUT_WINDOW::CreditsText(int currentYear)
{
    return tr("Copyright %1-%2, all rights reserved.").arg(FIRST_YEAR).arg(currentYear);
}
