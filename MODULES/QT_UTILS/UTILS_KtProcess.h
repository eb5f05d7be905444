#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>

#include "Types.h"

// Runs one external command at a time and tells how it ended.
class CLASS_UTILS_KTPROCESS : public QProcess
{
    Q_OBJECT
public:
    CLASS_UTILS_KTPROCESS(Bool traceOutput, Bool traceFailures, QObject* parent = nullptr);
    ~CLASS_UTILS_KTPROCESS() override;

    // Runs the command line (blanks separate, double quotes group) and waits
    // for it. True when it started, ended in time, did not crash and exited 0.
    Bool ShellProcessStart(const QString& command, int startTimeout, int finishTimeout);
    // Same with the arguments already separated: no quoting can go wrong.
    Bool ShellProcessStart(const QString& program, const QStringList& arguments, int startTimeout,
                           int finishTimeout);

    // Starts without waiting; the end is announced by SIGNAL_KtProcessHasFinished.
    void ShellProcessStartDetached(const QString& command);
    void ShellProcessStartDetached(const QString& program, const QStringList& arguments);

    void Stop();

    // Once stopRequest is set (from any thread), a waiting start ends its
    // command: terminate, then kill after the grace period. The flag must
    // outlive the object.
    void SetStopRequest(const std::atomic<Bool>* stopRequest) { m_StopRequest = stopRequest; }
    static constexpr int TERMINATE_GRACE_MS = 1000;

    QString GetOutput() const { return m_Output; }
    // Standard error of the last run, simplified like the output.
    QString GetErrorOutput() const { return m_ErrorOutput; }
    // Standard output of the last run exactly as written, for callers that parse lines.
    QByteArray GetRawOutput() const { return m_RawOutput; }
    Bool IsFinished() const { return m_Finished; }
    Bool IsIdle() const { return m_Idle; }
    SDWord GetResult() const { return m_Result; }

    static QStringList SplitCommand(const QString& command);

signals:
    void SIGNAL_KtProcessHasFinished();

protected:
    void setupChildProcess() override;

private:
    // Waits for the end of the command, in short slices so that a stop
    // request is seen; false when it did not end in time or was stopped.
    Bool WaitForEnd(int finishTimeout);
    void ShellProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void ShellProcessError(QProcess::ProcessError error);
    void Launch(const QString& program, const QStringList& arguments);
    QString CommandText() const;
    void ReadOutputs();

    Bool m_TraceOutput;
    Bool m_TraceFailures;
    Bool m_Idle = true;
    QString m_Output;
    Bool m_Finished = false;
    SDWord m_Result = -1;
    QString m_ErrorOutput;
    QByteArray m_RawOutput;
    Bool m_Stopping = false;
    const std::atomic<Bool>* m_StopRequest = nullptr;
};
