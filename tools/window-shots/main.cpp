// qrn207-window-shots: the program's own window-mode start-up, driven like an
// operator would through one good update and one failing update, with a
// picture of the window at each state. scripts/screenshots runs it under Xvfb
// against the device simulator.
//
// Command line: the program's own (give the good package with --ktp).
// The device version is asked over USB: run it under qrn207-usb-bridge.
// Environment:
//   SHOTS_DIR           folder for the PNGs (created)
//   SHOTS_FAULTY_KTP    a package whose update fails (error state)
//   SHOTS_VERSION_ONLY  when set: press "Get Device Version", print
//                       "device version: TEXT", "usb device: TOOLTIP"
//                       and end (no package, no picture)

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

#include "FRONTEND/FRONTEND_ClassAboutWindow.h"
#include "FRONTEND/FRONTEND_ClassBoxUpdaterWindow.h"
#include "FRONTEND/FRONTEND_ClassLogWindow.h"
#include "FRONTEND/FRONTEND_WindowMode.h"
#include "Startup.h"

namespace
{
constexpr int STEP_TIMEOUT_MS = 120000;
constexpr int POLL_INTERVAL_MS = 50;
constexpr int SETTLE_MS = 200; // lets the style and the animation catch up before a picture
constexpr int RUNNING_PROGRESS = 20;
constexpr qint64 ACKNOWLEDGE_AFTER_MS = 4000;

void Say(const QString& text)
{
    std::printf("window-shots: %s\n", qPrintable(text));
    std::fflush(stdout);
}

// Runs a list of steps, each waiting for a condition on the window, then acting.
class CLASS_SHOTS_DRIVER : public QObject
{
public:
    struct T_STEP
    {
        QString Name;
        std::function<bool()> Ready;
        std::function<void()> Act;
    };

    CLASS_SHOTS_DRIVER(CLASS_WINDOW_MODE* mode, const QString& folder) : m_Folder(folder)
    {
        m_Window = mode->GetWindow();
        connect(&m_Timer, &QTimer::timeout, this, [this] { Poll(); });
    }

    void Add(const QString& name, std::function<bool()> ready, std::function<void()> act)
    {
        m_Steps.append({name, std::move(ready), std::move(act)});
    }

    void Start()
    {
        m_StepTimer.start();
        m_Timer.start(POLL_INTERVAL_MS);
    }

    template <typename T> T* Find(const char* name) const { return m_Window->findChild<T*>(name); }
    QString Text(const char* label) const { return Find<QLabel>(label)->text(); }

    void Shoot(QWidget* widget, const QString& name)
    {
        const QString path = m_Folder + "/" + name + ".png";
        if (!widget->grab().save(path))
            Fail("cannot write " + path);
        Say("saved " + path);
    }

    // Waits a moment so the last changes are painted, then takes the picture.
    void ShootLater(QWidget* widget, const QString& name)
    {
        m_Timer.stop();
        QTimer::singleShot(SETTLE_MS, this,
                           [this, widget, name]
                           {
                               Shoot(widget, name);
                               m_Timer.start(POLL_INTERVAL_MS);
                           });
    }

    void Fail(const QString& why)
    {
        QPushButton* start = Find<QPushButton>("START_STOP_BUTTON");
        QStringList boxes;
        for (const QMessageBox* box : m_Window->findChildren<QMessageBox*>())
            boxes << box->windowTitle() + ": " + box->text();
        Say("failed: " + why + " (state " + QString::number(m_Window->GetCurrentState()) + ", package \"" +
            Text("PACKAGE_VERSION_VALUE_LABEL") + "\", button \"" + start->text() + "\" " +
            (start->isEnabled() ? "enabled" : "disabled") + ", message boxes: " + boxes.join("; ") + ")");
        m_Timer.stop();
        QCoreApplication::exit(1);
    }

    CLASS_BOX_UPDATER_WINDOW* m_Window;

private:
    void Poll()
    {
        if (m_Next >= m_Steps.size())
        {
            m_Timer.stop();
            Say("done");
            QCoreApplication::exit(0);
            return;
        }
        T_STEP& step = m_Steps[m_Next];
        if (step.Ready())
        {
            Say(step.Name);
            ++m_Next;
            m_StepTimer.restart();
            step.Act();
        }
        else if (m_StepTimer.hasExpired(STEP_TIMEOUT_MS))
        {
            Fail("time-out waiting for: " + step.Name);
        }
    }

    QString m_Folder;
    QTimer m_Timer;
    QElapsedTimer m_StepTimer;
    QList<T_STEP> m_Steps;
    int m_Next = 0;
};

std::unique_ptr<QObject> StartShots(const T_STARTUP_OPTIONS& options)
{
    const QString folder = qEnvironmentVariable("SHOTS_DIR", "docs/screenshots");
    const QString faulty = qEnvironmentVariable("SHOTS_FAULTY_KTP");
    QDir().mkpath(folder);

    auto mode = std::make_unique<CLASS_WINDOW_MODE>(options);
    auto* d = new CLASS_SHOTS_DRIVER(mode.get(), folder);
    d->setParent(mode.get());
    const QString noPackage = QStringLiteral("Please use File/Open to select an KTP package.");
    QPushButton* start = d->Find<QPushButton>("START_STOP_BUTTON");
    QPushButton* version = d->Find<QPushButton>("GET_DEVICE_VERSION_BUTTON");
    QProgressBar* bar = d->Find<QProgressBar>("UPDATE_PROGRESS_BAR");
    CLASS_BOX_UPDATER_WINDOW* window = d->m_Window;
    CLASS_LOG_WINDOW* log = window->GetLogWindow();
    auto state = [window] { return window->GetCurrentState(); };
    auto packageText = [d] { return d->Text("PACKAGE_VERSION_VALUE_LABEL"); };
    auto goodPackage = std::make_shared<QString>();

    if (qEnvironmentVariableIsSet("SHOTS_VERSION_ONLY"))
    {
        d->Add(
            "version asked", [version] { return version->isEnabled(); }, [version] { version->click(); });
        d->Add(
            "device version shown", [version] { return version->isEnabled(); },
            [d]
            {
                Say("device version: " + d->Text("DEVICE_VERSION_VALUE_LABEL"));
                // The label is elided to its room: its tooltip holds the whole text.
                Say("usb device: " + d->Find<QLabel>("USB_DEVICE_VALUE_LABEL")->toolTip());
            });
        d->Start();
        return mode;
    }

    d->Add(
        "package shown", [packageText, noPackage] { return packageText() != noPackage; },
        [version, packageText, goodPackage]
        {
            *goodPackage = packageText();
            version->click();
        });
    d->Add(
        "device version shown", [d] { return !d->Text("DEVICE_VERSION_VALUE_LABEL").isEmpty(); },
        [d, window] { d->ShootLater(window, "ready"); });
    d->Add(
        "ready to start", [start] { return start->isEnabled() && start->text() == "Start"; },
        [start, d]
        {
            start->click();
            d->Find<QAction>("SHOW_LOG_ACTION")->trigger();
        });
    d->Add(
        "log during the erase wait", [log] { return log->GetStepText().contains("erasing"); },
        [d, log] { d->ShootLater(log, "log-running"); });
    d->Add(
        "running",
        [state, bar] { return state() == BOX_UPDATER_STATE_RUNNING && bar->value() >= RUNNING_PROGRESS; },
        [d, window] { d->ShootLater(window, "running"); });
    auto finishedAt = std::make_shared<QElapsedTimer>();
    d->Add(
        "finished", [state] { return state() == BOX_UPDATER_STATE_FINISHED; },
        [d, window, finishedAt]
        {
            finishedAt->start();
            d->ShootLater(window, "finished");
        });
    // The box updater reports the end twice (final reset done, then loop
    // over): acknowledge once both have arrived, as an operator would.
    d->Add(
        "acknowledged", [finishedAt] { return finishedAt->hasExpired(ACKNOWLEDGE_AFTER_MS); },
        [start, d, window, log, faulty]
        {
            start->click(); // "Stop"
            log->close();   // the failure opens it again
            if (faulty.isEmpty())
                return;
            window->SetFileChooser([faulty](QWidget*, const QString&, const QString&, const QString&)
                                   { return faulty; });
            d->Find<QAction>("OPEN_KTP_FILE_ACTION")->trigger();
        });
    if (!faulty.isEmpty())
    {
        d->Add(
            "faulty package taken",
            [start, packageText, goodPackage, state]
            {
                return packageText() != *goodPackage && start->isEnabled() && start->text() == "Start" &&
                       state() == BOX_UPDATER_STATE_READY;
            },
            [start] { start->click(); });
        d->Add(
            "error, the log opened by itself",
            [state, log] { return state() == BOX_UPDATER_STATE_ERROR && log->isVisible(); },
            [d, window] { d->ShootLater(window, "error"); });
        d->Add(
            "log at the failure", [] { return true; }, [d, log] { d->ShootLater(log, "log-error"); });
    }
    d->Add(
        "about", [] { return true; },
        [d, window]
        {
            CLASS_ABOUT_WINDOW* about = window->GetAboutWindow();
            about->show();
            d->ShootLater(about, "about");
        });
    d->Start();
    return mode;
}
} // namespace

int main(int argc, char** argv)
{
    return RunApplication(argc, argv, &StartShots, T_MODE_START());
}
