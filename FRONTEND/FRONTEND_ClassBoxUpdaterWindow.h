#pragma once

#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QString>

#include <functional>

#include "BACKEND/Box_UpdaterState.h"
#include "Types.h"

class QAction;
class QLabel;
class QMovie;
class QPushButton;
class CLASS_ABOUT_WINDOW;
class CLASS_CONF;
class CLASS_LOG_WINDOW;
class CLASS_TRANSLATOR_MANAGER;
class CLASS_UPDATE_LABEL;
class CLASS_UPDATE_PROGRESS_BAR;

// The operator's window: open a package, read the package and device
// versions, start and acknowledge an update, follow its state and progress.
// Talks to the backend only through its signals and public slots, which the
// window-mode start-up connects (queued) across threads.
class CLASS_BOX_UPDATER_WINDOW : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int WINDOW_WIDTH = 420;
    static constexpr int WINDOW_HEIGHT = 170;

    // Asks the operator for a file to open: (parent, caption, directory, filter)
    // -> chosen path, empty when cancelled. The default is the file dialog.
    using T_FILE_CHOOSER = std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;

    explicit CLASS_BOX_UPDATER_WINDOW(CLASS_TRANSLATOR_MANAGER* translatorManager, QWidget* parent = nullptr);
    ~CLASS_BOX_UPDATER_WINDOW() override;

    void SetFileChooser(const T_FILE_CHOOSER& chooser);

    QString GetConfigurationFilePath() const { return m_ConfigurationFilePath; }
    T_BOX_UPDATER_STATE GetCurrentState() const { return m_CurrentState; }
    CLASS_ABOUT_WINDOW* GetAboutWindow() const { return m_AboutWindow; }
    CLASS_LOG_WINDOW* GetLogWindow() const { return m_LogWindow; }
    CLASS_TRANSLATOR_MANAGER* GetTranslatorManager() const { return m_TranslatorManager; }

    // Display state of the label and progress bar for a box updater state; 0 for an unknown one.
    DWord DisplayStateOf(T_BOX_UPDATER_STATE state) const;

    // What made the update fail (updater name, may be empty, and cause): shown
    // in the status bar and as the state label's tooltip until a new start or
    // Stop. Called by a queued connection from the box updater; not a slot,
    // so the window's slots stay the six the backend knows.
    void ShowUpdateFailure(QString updaterName, QString cause);
    QString GetUpdateFailure() const { return m_UpdateFailure; }

    // The USB device the window talks to (path and serial number), beside
    // the device version; a problem (several devices and none chosen, a
    // device held by another program) is shown in a message box. Not a slot,
    // like ShowUpdateFailure.
    void ShowUsbDevice(QString device, QString problem);

signals:
    void SIGNAL_StartUpdate(QString configurationFile);
    void SIGNAL_StopUpdate();
    void SIGNAL_CopyKtpPackageInLocal(QString filePath);
    void SIGNAL_GetDeviceVersion();

public slots:
    void ChangeCurrentState(T_BOX_UPDATER_STATE state);
    void ChangeCurrentProgress(DWord progress);
    void ChangeUpdaterVersion(Bool fileArePresent, QString updaterVersion);
    void SetDeviceVersion(QString deviceVersion);
    void ChangeUpdaterCompatibility(Bool packageCompatible, QString errorMessage = QString());
    void ExtractionFailed(QString errorMessage);

private slots:
    void SLOT_OnStartButtonClicked();
    void SLOT_OnGetOrlexVersionButtonClicked();
    void SLOT_OnOpenKtpFileActionTriggered();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWidgets();
    void ShowCriticalMessage(const QString& title, const QString& message);
    static Bool IsPackageFile(const QString& path);
    void ClearUpdateFailure();
    void ElideFailureLabel();
    static void ElideInto(QLabel* label, const QString& text);

    CLASS_TRANSLATOR_MANAGER* m_TranslatorManager;
    CLASS_ABOUT_WINDOW* m_AboutWindow = nullptr;
    CLASS_LOG_WINDOW* m_LogWindow = nullptr;
    QMovie* m_LoadingMovie = nullptr;
    CLASS_CONF* m_Conf = nullptr;
    QString m_ConfigurationFilePath;
    T_BOX_UPDATER_STATE m_CurrentState = BOX_UPDATER_STATE_READY;
    QMap<T_BOX_UPDATER_STATE, DWord> m_DisplayStates;
    T_FILE_CHOOSER m_FileChooser;
    QString m_UpdateFailure;
    QString m_UsbDevice;

    // Guarded: every slot checks them and traces a missing one.
    QPointer<QLabel> m_DeviceVersionValue;
    QPointer<QLabel> m_UsbDeviceValue;
    QPointer<QLabel> m_PackageVersionValue;
    QPointer<CLASS_UPDATE_PROGRESS_BAR> m_ProgressBar;
    QPointer<QPushButton> m_GetVersionButton;
    QPointer<QPushButton> m_StartStopButton;
    QPointer<QPushButton> m_QuitButton;
    QPointer<CLASS_UPDATE_LABEL> m_StateLabel;
    QPointer<QLabel> m_LoadingLabel;
    QPointer<QLabel> m_ProgramVersionLabel;
    QPointer<QLabel> m_FailureLabel;
    QPointer<QAction> m_OpenAction;
    QPointer<QAction> m_ExitAction;
    QPointer<QAction> m_AboutAction;
    QPointer<QAction> m_ShowLogAction;
};
