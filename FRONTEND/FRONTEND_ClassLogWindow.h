#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTextCharFormat>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <mutex>
#include <vector>

#include "BACKEND/Box_UpdaterState.h"
#include "Types.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The run's trace lines for the operator, as they are written to the trace
// files and in their order: error lines set apart, the newest in view, the
// step under way on the first line and in the title, the trace folder one
// click away. Never modal. While hidden it only keeps the last lines (bounded)
// and follows the step; it touches no widget and wakes no thread.
class CLASS_LOG_WINDOW : public QWidget
{
    Q_OBJECT

public:
    // Lines kept, and shown: a real-size update traces some 20,000.
    static constexpr int LINE_LIMIT = 5000;

    explicit CLASS_LOG_WINDOW(QWidget* parent = nullptr);
    ~CLASS_LOG_WINDOW() override;

    // The main window's hooks. The error state opens the window at the
    // failing updater's line (the line that holds the cause).
    void SetUpdateState(T_BOX_UPDATER_STATE state);
    void SetUpdateFailure(const QString& updaterName, const QString& cause);
    void ShowLog();

    // What the first line says, and the shown lines (for checks).
    QString GetStepText() const;
    QStringList GetShownLines() const;

private:
    struct T_LINE
    {
        QString Text;
        Bool Error;
    };
    // The step under way, read from the updaters' start and progress texts.
    struct T_STEP
    {
        QString Updater;
        QString Activity;
        qint64 EraseEndMs = 0; // while erasing: when the wait ends (ms since the epoch)
        qint64 EraseMs = 0;
    };

    void Receive(const QString& line, Bool error); // on the writing thread
    static void FollowStep(T_STEP& step, const QString& line);
    static QString StepText(const T_STEP& step);
    void Drain();
    void Rebuild();
    void Append(const std::vector<T_LINE>& lines);
    void RefreshStep();
    void PinFailure();
    void OpenTraceFolder();

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    // Shared with the writing thread, under m_Mutex.
    mutable std::mutex m_Mutex;
    std::deque<T_LINE> m_Lines;
    quint64 m_Received = 0;
    quint64 m_Shown = 0;
    Bool m_Live = false;
    Bool m_WakePending = false;
    T_STEP m_Step;

    int m_ListenerId = 0;
    T_BOX_UPDATER_STATE m_State = BOX_UPDATER_STATE_READY;
    QString m_Failure;
    QString m_FailureCause;
    Bool m_PinPending = false;
    Bool m_Pinned = false;
    QTimer m_StepClock;
    QTimer m_DrainTimer;
    QElapsedTimer m_DrainClock;
    QTextCharFormat m_InfoFormat;
    QTextCharFormat m_ErrorFormat;

    QPointer<QLabel> m_StepLabel;
    QPointer<QPlainTextEdit> m_View;
    QPointer<QLabel> m_FolderLabel;
    QPointer<QPushButton> m_FolderButton;
};
