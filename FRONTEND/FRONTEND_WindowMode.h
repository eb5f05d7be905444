#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

#include "Startup.h"

class BOX_UPDATER;
class QThread;
class CLASS_BOX_UPDATER_WINDOW;
class CLASS_TRANSLATOR_MANAGER;

// What window mode runs on: the box updater on "THREAD_BACKEND", the
// translator manager and the window on the main thread, wired together by
// queued connections only. Destroying it ends the backend thread.
class CLASS_WINDOW_MODE : public QObject
{
    Q_OBJECT

public:
    // How long leaving waits for the backend thread to finish what it is doing.
    static constexpr unsigned long BACKEND_STOP_TIMEOUT_MS = 5000;
    // Exit code of a start refused because the work folder cannot be held.
    static constexpr int REFUSED_EXIT_CODE = 3;

    explicit CLASS_WINDOW_MODE(const T_STARTUP_OPTIONS& options);
    ~CLASS_WINDOW_MODE() override;

    CLASS_BOX_UPDATER_WINDOW* GetWindow() const;
    BOX_UPDATER* GetBoxUpdater() const;
    QThread* GetBackendThread() const { return m_BackendThread; }

private:
    void Connect();
    void TakeInPackage(const T_STARTUP_OPTIONS& options);
    void RefuseToStart(const QString& refusal);

    QPointer<BOX_UPDATER> m_BoxUpdater;
    std::unique_ptr<CLASS_TRANSLATOR_MANAGER> m_TranslatorManager;
    QThread* m_BackendThread = nullptr;
    QPointer<CLASS_BOX_UPDATER_WINDOW> m_Window;
};

// The queued connections between the window and the box updater (with its
// package extractor and device version retriever).
void ConnectWindowToBackend(BOX_UPDATER* box, CLASS_BOX_UPDATER_WINDOW* window);

// The window-mode start, plugged into the start-up.
std::unique_ptr<QObject> StartWindowMode(const T_STARTUP_OPTIONS& options);
