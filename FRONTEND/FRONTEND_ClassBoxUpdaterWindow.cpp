#include "FRONTEND_ClassBoxUpdaterWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMovie>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>

#include "FRONTEND/CONFIGURATION/CONFIGURATION_ClassConf.h"
#include "FRONTEND/FRONTEND_ClassAboutWindow.h"
#include "FRONTEND/FRONTEND_ClassLogWindow.h"
#include "FRONTEND/FRONTEND_Resources.h"
#include "FRONTEND/FRONTEND_StyleSheet.h"
#include "FRONTEND/WIDGETS/WIDGETS_ClassUpdateLabel.h"
#include "FRONTEND/WIDGETS/WIDGETS_ClassUpdateProgressBar.h"
#include "Traces.h"

// The window's texts are fixed English strings. They are marked (not
// translated) so that the catalogues carry them for translators.
#define WINDOW_TEXT(text) QT_TRANSLATE_NOOP("CLASS_BOX_UPDATER_WINDOW", text)

namespace
{
const char* const TEXT_TITLE = WINDOW_TEXT("QRN207 Firmware Updater");
const char* const TEXT_FILE_MENU = WINDOW_TEXT("&File");
const char* const TEXT_OPEN_ACTION = WINDOW_TEXT("&Open KTP File");
const char* const TEXT_EXIT_ACTION = WINDOW_TEXT("&Exit");
const char* const TEXT_HELP_MENU = WINDOW_TEXT("&?");
const char* const TEXT_ABOUT_ACTION = WINDOW_TEXT("&About QRN207 Firmware Updater");
const char* const TEXT_SHOW_LOG_ACTION = WINDOW_TEXT("Show log");
const char* const TEXT_DEVICE_VERSION = WINDOW_TEXT("Device Version: ");
const char* const TEXT_PACKAGE_VERSION = WINDOW_TEXT("Package Version: ");
const char* const TEXT_NO_PACKAGE = WINDOW_TEXT("Please use File/Open to select an KTP package.");
const char* const TEXT_GET_VERSION = WINDOW_TEXT("Get Device Version");
const char* const TEXT_START = WINDOW_TEXT("Start");
const char* const TEXT_STOP = WINDOW_TEXT("Stop");
const char* const TEXT_QUIT = WINDOW_TEXT("Quit");
const char* const TEXT_PROGRAM_VERSION = WINDOW_TEXT("Version: ");
const char* const TEXT_VERSION_FAILED = WINDOW_TEXT("Failed to read version.");
const char* const TEXT_COMPATIBILITY_ERROR = WINDOW_TEXT("Compatibility Error");
const char* const TEXT_EXTRACT_ERROR = WINDOW_TEXT("Extract Error");
const char* const TEXT_OPEN_FILE = WINDOW_TEXT("Open File");
const char* const TEXT_USB_DEVICE = WINDOW_TEXT("USB ");
const char* const TEXT_USB_NO_DEVICE = WINDOW_TEXT("USB: no device");
const char* const TEXT_USB_DEVICE_ERROR = WINDOW_TEXT("USB Device Error");

const char* const WINDOW_OBJECT_NAME = "QRN_UPDATER__MAIN_WINDOW";
// The style sheet colours the labels and buttons under this widget only, so
// the dialogs opened over the window keep their own palette.
const char* const CENTRAL_OBJECT_NAME = "QRN_UPDATER__CENTRAL_WIDGET";
const char* const ICON_PATH = ":/icons/icon_orlex_final-06.ico";
const char* const LOADING_ANIMATION_PATH = ":/icons/ajax-loader.gif";
const char* const PACKAGE_TYPE_NAME = "KTP";
const char* const PACKAGE_EXTENSION = "ktp";
const char* const ALL_FILES_FILTER = ");;All Files (*)";
const char* const PROGRAM_NAME = "BOX_UPDATER";
const int PROGRESS_MINIMUM = 0;
const int PROGRESS_MAXIMUM = 100;

QString DefaultFileChooser(QWidget* parent, const QString& caption, const QString& directory,
                           const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, directory, filter);
}
} // namespace

CLASS_BOX_UPDATER_WINDOW::CLASS_BOX_UPDATER_WINDOW(CLASS_TRANSLATOR_MANAGER* translatorManager,
                                                   QWidget* parent)
    : QMainWindow(parent), m_TranslatorManager(translatorManager), m_FileChooser(DefaultFileChooser)
{
    InitFrontendResources();
    RegisterBoxUpdaterState();

    m_AboutWindow = new CLASS_ABOUT_WINDOW(this);
    m_LogWindow = new CLASS_LOG_WINDOW(this);
    m_LoadingMovie = new QMovie(QString(LOADING_ANIMATION_PATH), QByteArray(), this);
    m_Conf = new CLASS_CONF(this);
    m_ConfigurationFilePath = QDir::tempPath() + QStringLiteral("/") + PROGRAM_NAME +
                              QStringLiteral("/PackageExtraction") + QStringLiteral("/CONF/components.json");
    m_DisplayStates = {{BOX_UPDATER_STATE_READY, 0},
                       {BOX_UPDATER_STATE_RUNNING, 1},
                       {BOX_UPDATER_STATE_FINISHED, 2},
                       {BOX_UPDATER_STATE_ERROR, 3}};

    BuildWidgets();
    setAcceptDrops(true);

    connect(m_OpenAction, &QAction::triggered, this,
            &CLASS_BOX_UPDATER_WINDOW::SLOT_OnOpenKtpFileActionTriggered);
    connect(m_ExitAction, &QAction::triggered, this, &QWidget::close);
    connect(m_StartStopButton, &QPushButton::clicked, this,
            &CLASS_BOX_UPDATER_WINDOW::SLOT_OnStartButtonClicked);
    connect(m_GetVersionButton, &QPushButton::clicked, this,
            &CLASS_BOX_UPDATER_WINDOW::SLOT_OnGetOrlexVersionButtonClicked);
    connect(m_QuitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_AboutAction, &QAction::triggered, m_AboutWindow, &QWidget::show);
    connect(m_ShowLogAction, &QAction::triggered, m_LogWindow, &CLASS_LOG_WINDOW::ShowLog);

    ChangeCurrentState(BOX_UPDATER_STATE_READY);
}

CLASS_BOX_UPDATER_WINDOW::~CLASS_BOX_UPDATER_WINDOW() = default;

void CLASS_BOX_UPDATER_WINDOW::BuildWidgets()
{
    setWindowTitle(TEXT_TITLE);
    setObjectName(WINDOW_OBJECT_NAME);

    QMenu* fileMenu = menuBar()->addMenu(TEXT_FILE_MENU);
    m_OpenAction = fileMenu->addAction(TEXT_OPEN_ACTION);
    m_OpenAction->setObjectName(QStringLiteral("OPEN_KTP_FILE_ACTION"));
    fileMenu->addSeparator();
    m_ExitAction = fileMenu->addAction(TEXT_EXIT_ACTION);
    m_ExitAction->setObjectName(QStringLiteral("EXIT_ACTION"));
    QMenu* helpMenu = menuBar()->addMenu(TEXT_HELP_MENU);
    m_ShowLogAction = helpMenu->addAction(TEXT_SHOW_LOG_ACTION);
    m_ShowLogAction->setObjectName(QStringLiteral("SHOW_LOG_ACTION"));
    m_AboutAction = helpMenu->addAction(TEXT_ABOUT_ACTION);
    m_AboutAction->setObjectName(QStringLiteral("ABOUT_ACTION"));

    QWidget* central = new QWidget(this);
    central->setObjectName(CENTRAL_OBJECT_NAME);
    QVBoxLayout* layout = new QVBoxLayout(central);
    // Tighter than the style's spacing: the fixed height then has room for
    // the package instruction on two lines.
    layout->setContentsMargins(9, 4, 9, 4);
    layout->setSpacing(3);

    QGridLayout* grid = new QGridLayout;
    grid->setVerticalSpacing(2);
    grid->addWidget(new QLabel(TEXT_DEVICE_VERSION, central), 0, 0);
    m_DeviceVersionValue = new QLabel(QString(), central);
    m_DeviceVersionValue->setObjectName(QStringLiteral("DEVICE_VERSION_VALUE_LABEL"));
    grid->addWidget(m_DeviceVersionValue, 0, 1);
    // In the room the version leaves (elided; the whole text is the tooltip).
    m_UsbDeviceValue = new QLabel(QString(), central);
    m_UsbDeviceValue->setObjectName(QStringLiteral("USB_DEVICE_VALUE_LABEL"));
    m_UsbDeviceValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_UsbDeviceValue->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_UsbDeviceValue->installEventFilter(this);
    grid->addWidget(m_UsbDeviceValue, 0, 2);
    grid->addWidget(new QLabel(TEXT_PACKAGE_VERSION, central), 1, 0);
    m_PackageVersionValue = new QLabel(TEXT_NO_PACKAGE, central);
    m_PackageVersionValue->setObjectName(QStringLiteral("PACKAGE_VERSION_VALUE_LABEL"));
    // The instruction is wider than the fixed window: wrapped, not cut.
    m_PackageVersionValue->setWordWrap(true);
    grid->addWidget(m_PackageVersionValue, 1, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);

    m_ProgressBar = new CLASS_UPDATE_PROGRESS_BAR(central);
    m_ProgressBar->setObjectName(QStringLiteral("UPDATE_PROGRESS_BAR"));
    m_ProgressBar->setRange(PROGRESS_MINIMUM, PROGRESS_MAXIMUM);
    m_ProgressBar->setValue(PROGRESS_MINIMUM);
    m_ProgressBar->setTextVisible(true);
    layout->addWidget(m_ProgressBar);

    QHBoxLayout* buttons = new QHBoxLayout;
    m_GetVersionButton = new QPushButton(TEXT_GET_VERSION, central);
    m_GetVersionButton->setObjectName(QStringLiteral("GET_DEVICE_VERSION_BUTTON"));
    m_StartStopButton = new QPushButton(TEXT_START, central);
    m_StartStopButton->setObjectName(QStringLiteral("START_STOP_BUTTON"));
    m_StartStopButton->setEnabled(false);
    m_QuitButton = new QPushButton(TEXT_QUIT, central);
    m_QuitButton->setObjectName(QStringLiteral("QUIT_BUTTON"));
    buttons->addWidget(m_GetVersionButton);
    buttons->addWidget(m_StartStopButton);
    buttons->addWidget(m_QuitButton);
    layout->addLayout(buttons);
    setCentralWidget(central);

    m_StateLabel = new CLASS_UPDATE_LABEL(this);
    m_StateLabel->setObjectName(QStringLiteral("UPDATE_STATE_LABEL"));
    m_LoadingLabel = new QLabel(this);
    m_LoadingLabel->setObjectName(QStringLiteral("LOADING_LABEL"));
    m_LoadingLabel->setMovie(m_LoadingMovie);
    m_LoadingMovie->start();
    m_LoadingLabel->hide();
    m_ProgramVersionLabel = new QLabel(TEXT_PROGRAM_VERSION + QCoreApplication::applicationVersion(), this);
    m_ProgramVersionLabel->setObjectName(QStringLiteral("PROGRAM_VERSION_LABEL"));
    statusBar()->addWidget(m_StateLabel);
    statusBar()->addWidget(m_LoadingLabel);
    statusBar()->addWidget(m_ProgramVersionLabel);
    // What made an update fail, in the room the other widgets leave (elided;
    // the whole text is in its tooltip).
    m_FailureLabel = new QLabel(this);
    m_FailureLabel->setObjectName(QStringLiteral("UPDATE_FAILURE_LABEL"));
    m_FailureLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_FailureLabel->hide();
    m_FailureLabel->installEventFilter(this);
    statusBar()->addWidget(m_FailureLabel, 1);
    statusBar()->setSizeGripEnabled(false);

    setFixedSize(WINDOW_WIDTH, WINDOW_HEIGHT);
    setWindowIcon(QIcon(ICON_PATH));
}

void CLASS_BOX_UPDATER_WINDOW::SetFileChooser(const T_FILE_CHOOSER& chooser)
{
    m_FileChooser = chooser ? chooser : T_FILE_CHOOSER(DefaultFileChooser);
}

DWord CLASS_BOX_UPDATER_WINDOW::DisplayStateOf(T_BOX_UPDATER_STATE state) const
{
    return m_DisplayStates.value(state, 0);
}

void CLASS_BOX_UPDATER_WINDOW::SLOT_OnOpenKtpFileActionTriggered()
{
    const QString filter = PACKAGE_TYPE_NAME + QStringLiteral(" (*.") + PACKAGE_EXTENSION + ALL_FILES_FILTER;
    const QString path = m_FileChooser(this, TEXT_OPEN_FILE, QDir::homePath(), filter);
    if (IsPackageFile(path))
    {
        emit SIGNAL_CopyKtpPackageInLocal(path);
        return;
    }
    TraceError(TRACE_POS + QStringLiteral("Wrong file extension, please select an ") +
               QStringLiteral("\"*.") + PACKAGE_EXTENSION + QStringLiteral("\"") + QStringLiteral(" file."));
}

void CLASS_BOX_UPDATER_WINDOW::SLOT_OnGetOrlexVersionButtonClicked()
{
    if (m_StartStopButton)
        m_StartStopButton->setEnabled(false);
    else
        TraceError(TRACE_POS +
                   QStringLiteral("Unable to disable the start / stop button because it is null"));
    if (m_GetVersionButton)
        m_GetVersionButton->setEnabled(false);
    else
        TraceError(TRACE_POS +
                   QStringLiteral("Unable to disable the get orlex version button because it is null"));
    emit SIGNAL_GetDeviceVersion();
}

void CLASS_BOX_UPDATER_WINDOW::SLOT_OnStartButtonClicked()
{
    if (!m_StartStopButton)
    {
        TraceError(TRACE_POS + QStringLiteral("The Start / Stop button is null"));
        return;
    }
    const QString text = m_StartStopButton->text();
    if (text == TEXT_START)
    {
        ClearUpdateFailure();
        emit SIGNAL_StartUpdate(m_ConfigurationFilePath);
        m_StartStopButton->setEnabled(false);
        if (m_ProgressBar)
            m_ProgressBar->setValue(PROGRESS_MINIMUM);
        else
            TraceError(TRACE_POS +
                       QStringLiteral("Unable to change the value of the progress bar because it is null"));
        if (m_GetVersionButton)
            m_GetVersionButton->setEnabled(false);
        else
            TraceError(TRACE_POS +
                       QStringLiteral("Unable to disable the get orlex version button because it is null"));
    }
    else if (text == TEXT_STOP)
    {
        emit SIGNAL_StopUpdate();
        ChangeCurrentState(BOX_UPDATER_STATE_READY);
        m_StartStopButton->setText(TEXT_START);
    }
    else
    {
        TraceError(TRACE_POS + QStringLiteral("Unknown button state"));
    }
}

void CLASS_BOX_UPDATER_WINDOW::ChangeCurrentState(T_BOX_UPDATER_STATE state)
{
    m_CurrentState = state;
    m_LogWindow->SetUpdateState(state);
    const DWord displayState = DisplayStateOf(state);
    if (m_StateLabel)
        m_StateLabel->SetLabelState(displayState);
    else
        TraceError(TRACE_POS + QStringLiteral("Unable to change the state of the label because it is null"));
    if (m_ProgressBar)
        m_ProgressBar->SetProgressBarState(displayState);
    else
        TraceError(TRACE_POS +
                   QStringLiteral("Unable to change the state of the progress bar because it is null"));

    switch (state)
    {
    case BOX_UPDATER_STATE_READY:
        ClearUpdateFailure();
        if (m_LoadingLabel)
            m_LoadingLabel->hide();
        else
            TraceError(TRACE_POS +
                       QStringLiteral("Unable make the loading gif disappears, because the label is null"));
        if (m_ProgressBar)
            m_ProgressBar->setValue(PROGRESS_MINIMUM);
        else
            TraceError(TRACE_POS +
                       QStringLiteral("Unable to change the value of the progress bar because it is null"));
        break;
    case BOX_UPDATER_STATE_RUNNING:
        ClearUpdateFailure();
        if (m_LoadingLabel)
            m_LoadingLabel->show();
        else
            TraceError(TRACE_POS + QStringLiteral("Unable to change the visibility of the loading label"));
        break;
    case BOX_UPDATER_STATE_FINISHED:
    case BOX_UPDATER_STATE_ERROR:
        if (m_LoadingLabel)
            m_LoadingLabel->hide();
        else
            TraceError(TRACE_POS +
                       QStringLiteral("Unable make the loading gif disappears, because the label is null"));
        if (m_StartStopButton)
        {
            m_StartStopButton->setEnabled(true);
            m_StartStopButton->setText(TEXT_STOP);
        }
        else
        {
            TraceError(TRACE_POS + QStringLiteral("Unable to enable the start button because it is null"));
        }
        if (m_GetVersionButton)
            m_GetVersionButton->setEnabled(true);
        else
            TraceError(TRACE_POS +
                       QStringLiteral("Unable to enable the get orlex version button because it is null"));
        break;
    default:
        break;
    }
}

void CLASS_BOX_UPDATER_WINDOW::ShowUpdateFailure(QString updaterName, QString cause)
{
    m_UpdateFailure = updaterName.isEmpty() ? cause : updaterName + QStringLiteral(": ") + cause;
    m_LogWindow->SetUpdateFailure(updaterName, cause);
    if (m_StateLabel)
        m_StateLabel->setToolTip(m_UpdateFailure);
    if (m_FailureLabel)
    {
        m_FailureLabel->setToolTip(m_UpdateFailure);
        m_FailureLabel->show();
        ElideFailureLabel();
    }
}

void CLASS_BOX_UPDATER_WINDOW::ShowUsbDevice(QString device, QString problem)
{
    // Compact beside the version, "USB 1-4 (A1B2)"; the tooltip has it whole.
    const QString compact = QString(device).remove(QLatin1Char('"')).replace(QStringLiteral("(serial "), "(");
    m_UsbDevice = problem.isEmpty() ? TEXT_USB_DEVICE + compact : QString(TEXT_USB_NO_DEVICE);
    if (m_UsbDeviceValue)
    {
        m_UsbDeviceValue->setToolTip(problem.isEmpty() ? device : problem);
        ElideInto(m_UsbDeviceValue, m_UsbDevice);
    }
    if (!problem.isEmpty())
        ShowCriticalMessage(TEXT_USB_DEVICE_ERROR, problem);
}

void CLASS_BOX_UPDATER_WINDOW::ClearUpdateFailure()
{
    m_UpdateFailure.clear();
    if (m_StateLabel)
        m_StateLabel->setToolTip(QString());
    if (m_FailureLabel)
    {
        m_FailureLabel->hide();
        m_FailureLabel->clear();
        m_FailureLabel->setToolTip(QString());
    }
}

void CLASS_BOX_UPDATER_WINDOW::ElideFailureLabel()
{
    if (!m_FailureLabel || m_UpdateFailure.isEmpty())
        return;
    ElideInto(m_FailureLabel, m_UpdateFailure);
}

void CLASS_BOX_UPDATER_WINDOW::ElideInto(QLabel* label, const QString& text)
{
    const QFontMetrics metrics(label->font());
    label->setText(metrics.elidedText(text, Qt::ElideRight, label->contentsRect().width()));
}

bool CLASS_BOX_UPDATER_WINDOW::eventFilter(QObject* watched, QEvent* event)
{
    // The room is known once the status bar has laid the label out; the
    // style sheet may change its font.
    if (watched == m_FailureLabel && (event->type() == QEvent::Resize || event->type() == QEvent::FontChange))
        ElideFailureLabel();
    if (watched == m_UsbDeviceValue &&
        (event->type() == QEvent::Resize || event->type() == QEvent::FontChange))
        ElideInto(m_UsbDeviceValue, m_UsbDevice);
    return QMainWindow::eventFilter(watched, event);
}

void CLASS_BOX_UPDATER_WINDOW::ChangeCurrentProgress(DWord progress)
{
    if (!m_ProgressBar)
    {
        TraceError(TRACE_POS +
                   QStringLiteral("Unable to change the update progress because the progress bar is null"));
        return;
    }
    const int value = static_cast<int>(qMin<DWord>(progress, PROGRESS_MAXIMUM));
    if (m_ProgressBar->value() != value)
        m_ProgressBar->setValue(value);
}

void CLASS_BOX_UPDATER_WINDOW::ChangeUpdaterVersion(Bool fileArePresent, QString updaterVersion)
{
    if (!m_PackageVersionValue)
    {
        TraceError(TRACE_POS + QStringLiteral("Unable to set the updater version because the label is null"));
        return;
    }
    m_PackageVersionValue->setText(fileArePresent ? updaterVersion : QString(TEXT_NO_PACKAGE));
}

void CLASS_BOX_UPDATER_WINDOW::SetDeviceVersion(QString deviceVersion)
{
    if (m_DeviceVersionValue)
        m_DeviceVersionValue->setText(deviceVersion.isEmpty() ? QString(TEXT_VERSION_FAILED) : deviceVersion);
    else
        TraceError(TRACE_POS + QStringLiteral("Unable to set the device version because the label is null"));
    if (m_StartStopButton)
        m_StartStopButton->setEnabled(true);
    else
        TraceError(TRACE_POS + QStringLiteral("Unable to enable start / stop button because it is null"));
    if (m_GetVersionButton)
        m_GetVersionButton->setEnabled(true);
    else
        TraceError(TRACE_POS +
                   QStringLiteral("Unable to enable the get orlex version button because it is null"));
}

void CLASS_BOX_UPDATER_WINDOW::ChangeUpdaterCompatibility(Bool packageCompatible, QString errorMessage)
{
    if (m_StartStopButton)
        m_StartStopButton->setEnabled(packageCompatible);
    else
        TraceError(TRACE_POS +
                   QStringLiteral("Unable to change the enable status because the button is null"));
    if (!packageCompatible)
        ShowCriticalMessage(TEXT_COMPATIBILITY_ERROR, errorMessage);
}

void CLASS_BOX_UPDATER_WINDOW::ExtractionFailed(QString errorMessage)
{
    // A failed start leaves no running update behind, and no state change
    // follows it: give the operator the version button back, or the window
    // would keep both buttons disabled until another package is chosen.
    if (m_CurrentState != BOX_UPDATER_STATE_RUNNING)
    {
        if (m_GetVersionButton)
            m_GetVersionButton->setEnabled(true);
        else
            TraceError(TRACE_POS +
                       QStringLiteral("Unable to enable the get orlex version button because it is null"));
    }
    ShowCriticalMessage(TEXT_EXTRACT_ERROR, errorMessage);
}

void CLASS_BOX_UPDATER_WINDOW::ShowCriticalMessage(const QString& title, const QString& message)
{
    // Window-modal and not waited for: the queued backend notifications keep
    // flowing while the operator reads it.
    QMessageBox* box = new QMessageBox(QMessageBox::Critical, title, message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

Bool CLASS_BOX_UPDATER_WINDOW::IsPackageFile(const QString& path)
{
    // Case-sensitive on purpose: only the lower-case extension is a package.
    return !path.isEmpty() && QFileInfo(path).suffix() == QLatin1String(PACKAGE_EXTENSION);
}

void CLASS_BOX_UPDATER_WINDOW::closeEvent(QCloseEvent* event)
{
    QCoreApplication::quit();
    event->accept();
}

void CLASS_BOX_UPDATER_WINDOW::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (!data || !data->hasUrls())
        return;
    for (const QUrl& url : data->urls())
    {
        if (url.isLocalFile() && IsPackageFile(url.toLocalFile()))
        {
            event->acceptProposedAction();
            return;
        }
    }
}

void CLASS_BOX_UPDATER_WINDOW::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void CLASS_BOX_UPDATER_WINDOW::dragLeaveEvent(QDragLeaveEvent* event)
{
    event->accept();
}

void CLASS_BOX_UPDATER_WINDOW::dropEvent(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (!data || !data->hasUrls())
        return;
    for (const QUrl& url : data->urls())
    {
        if (url.isLocalFile() && IsPackageFile(url.toLocalFile()))
            emit SIGNAL_CopyKtpPackageInLocal(QFileInfo(url.toLocalFile()).absoluteFilePath());
    }
    event->acceptProposedAction();
}

void CLASS_BOX_UPDATER_WINDOW::showEvent(QShowEvent* event)
{
    qApp->setStyleSheet(StyleSheet::LoadApplicationStyleSheet());
    QMainWindow::showEvent(event);
}
