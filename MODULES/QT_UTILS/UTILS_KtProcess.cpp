#include "UTILS_KtProcess.h"

#include <QElapsedTimer>

#include "Platform.h"
#include "Traces.h"

namespace
{
// Waiting for a killed child to be reaped; it cannot refuse SIGKILL.
constexpr int KILL_WAIT_MS = 5000;
// How often a waiting start looks at the stop request.
constexpr int STOP_POLL_MS = 50;

QString Simplified(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).simplified();
}
} // namespace

CLASS_UTILS_KTPROCESS::CLASS_UTILS_KTPROCESS(Bool traceOutput, Bool traceFailures, QObject* parent)
    : QProcess(parent), m_TraceOutput(traceOutput), m_TraceFailures(traceFailures)
{
    connect(this, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &CLASS_UTILS_KTPROCESS::ShellProcessFinished);
    connect(this, &QProcess::errorOccurred, this, &CLASS_UTILS_KTPROCESS::ShellProcessError);
}

CLASS_UTILS_KTPROCESS::~CLASS_UTILS_KTPROCESS()
{
    // The base class would kill a running child and report its end to
    // handlers of an object that no longer exists: end it here instead.
    disconnect(this, nullptr, this, nullptr);
    if (state() != QProcess::NotRunning)
    {
        kill();
        waitForFinished(KILL_WAIT_MS);
    }
}

QStringList CLASS_UTILS_KTPROCESS::SplitCommand(const QString& command)
{
    // The framework's rules: blanks separate, double quotes group, three
    // double quotes in a row stand for one literal double quote.
    QStringList arguments;
    QString current;
    int quoteCount = 0;
    bool inQuote = false;
    for (const QChar c : command)
    {
        if (c == QLatin1Char('"'))
        {
            ++quoteCount;
            if (quoteCount == 3)
            {
                quoteCount = 0;
                current += c;
            }
            continue;
        }
        if (quoteCount)
        {
            if (quoteCount == 1)
                inQuote = !inQuote;
            quoteCount = 0;
        }
        if (!inQuote && c.isSpace())
        {
            if (!current.isEmpty())
            {
                arguments << current;
                current.clear();
            }
        }
        else
        {
            current += c;
        }
    }
    if (!current.isEmpty())
        arguments << current;
    return arguments;
}

QString CLASS_UTILS_KTPROCESS::CommandText() const
{
    QStringList parts{program()};
    for (const QString& argument : arguments())
        parts << (argument.contains(QLatin1Char(' ')) ? QLatin1Char('"') + argument + QLatin1Char('"')
                                                      : argument);
    return parts.join(QLatin1Char(' '));
}

void CLASS_UTILS_KTPROCESS::Launch(const QString& program, const QStringList& arguments)
{
    m_Output.clear();
    m_ErrorOutput.clear();
    m_RawOutput.clear();
    m_Finished = false;
    m_Idle = false;
    start(program, arguments, QIODevice::ReadWrite);
}

Bool CLASS_UTILS_KTPROCESS::ShellProcessStart(const QString& command, int startTimeout, int finishTimeout)
{
    QStringList arguments = SplitCommand(command);
    const QString program = arguments.isEmpty() ? QString() : arguments.takeFirst();
    return ShellProcessStart(program, arguments, startTimeout, finishTimeout);
}

Bool CLASS_UTILS_KTPROCESS::ShellProcessStart(const QString& program, const QStringList& arguments,
                                              int startTimeout, int finishTimeout)
{
    if (!m_Idle || state() != QProcess::NotRunning)
        return false;
    Launch(program, arguments);
    if (!waitForStarted(startTimeout))
    {
        TraceError(TRACE_POS + "Cannot start ShellCommand \"" + CommandText() + "\": " + errorString());
        Stop();
        return false;
    }
    // Nothing is ever typed in: a program asking a question gets end of file
    // at once instead of waiting for the time-out.
    closeWriteChannel();
    if (!WaitForEnd(finishTimeout))
    {
        if (m_StopRequest && m_StopRequest->load())
        {
            TraceInfo(TRACE_POS + "ShellCommand \"" + CommandText() + "\" stopped: the program is leaving");
            Stop();
            return false;
        }
        TraceError(TRACE_POS + "Timeout for ShellCommand \"" + CommandText() + "\" after " +
                   QString::number(finishTimeout) + " ms");
        // The step has failed: a child left running would keep writing the
        // file that the caller is about to remove.
        Stop();
        return false;
    }
    if (exitStatus() != QProcess::NormalExit)
    {
        TraceError(TRACE_POS + "Cannot execute ShellCommand (exit status error) \"" + CommandText() +
                   "\": " + errorString());
        return false;
    }
    m_Result = exitCode();
    return m_Result == 0;
}

Bool CLASS_UTILS_KTPROCESS::WaitForEnd(int finishTimeout)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (state() != QProcess::NotRunning)
    {
        if (m_StopRequest && m_StopRequest->load())
            return false;
        const qint64 left = finishTimeout < 0 ? STOP_POLL_MS : finishTimeout - elapsed.elapsed();
        if (left <= 0)
            return false;
        waitForFinished(int(qMin<qint64>(left, STOP_POLL_MS)));
    }
    return true;
}

void CLASS_UTILS_KTPROCESS::setupChildProcess()
{
    // A program that is killed must not leave its children writing into the
    // work folder that the next run takes over.
    Platform::TieChildToParent();
}

void CLASS_UTILS_KTPROCESS::ShellProcessStartDetached(const QString& command)
{
    QStringList arguments = SplitCommand(command);
    const QString program = arguments.isEmpty() ? QString() : arguments.takeFirst();
    ShellProcessStartDetached(program, arguments);
}

void CLASS_UTILS_KTPROCESS::ShellProcessStartDetached(const QString& program, const QStringList& arguments)
{
    if (!m_Idle || state() != QProcess::NotRunning)
    {
        TraceError(TRACE_POS + "Process not finished");
        return;
    }
    Launch(program, arguments);
}

void CLASS_UTILS_KTPROCESS::Stop()
{
    if (state() != QProcess::NotRunning)
    {
        m_Stopping = true;
        // Asked first, so that the command can remove what it was writing.
        terminate();
        if (!waitForFinished(TERMINATE_GRACE_MS))
        {
            kill();
            waitForFinished(KILL_WAIT_MS);
        }
        m_Stopping = false;
    }
    m_Output.clear();
    m_ErrorOutput.clear();
    m_RawOutput.clear();
    m_Finished = false;
    m_Idle = true;
}

void CLASS_UTILS_KTPROCESS::ShellProcessFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    if (exitStatus == QProcess::CrashExit)
    {
        if (!m_Stopping)
            TraceError(TRACE_POS + "Process crashed :\"" + errorString() + "\" (" + program() + " " +
                       arguments().join(QLatin1Char(' ')) + ")");
        m_Output.clear();
        m_ErrorOutput = Simplified(readAllStandardError());
        m_Result = -static_cast<SDWord>(error());
        m_Finished = false;
        m_Idle = true;
        emit SIGNAL_KtProcessHasFinished();
        return;
    }
    m_Result = exitCode;
    m_RawOutput = readAllStandardOutput();
    m_Output = Simplified(m_RawOutput);
    m_ErrorOutput = Simplified(readAllStandardError());
    m_Finished = exitCode == 0;
    if (exitCode != 0 && m_TraceFailures)
        TraceError(TRACE_POS + "Process failed : exit code " + QString::number(exitCode) + " (" +
                   CommandText() + ") Program output: " + m_Output + " Program errors: " + m_ErrorOutput);
    if (!m_Output.isEmpty() && m_TraceOutput)
        TraceInfo(TRACE_POS + "Process return = " + QString::number(exitCode) +
                  " Program output: " + m_Output);
    m_Idle = true;
    emit SIGNAL_KtProcessHasFinished();
}

void CLASS_UTILS_KTPROCESS::ShellProcessError(QProcess::ProcessError error)
{
    switch (error)
    {
    case QProcess::FailedToStart:
        TraceError(TRACE_POS + "Process failed to start :\"" + CommandText() + "\" " + errorString());
        m_Result = 3;
        m_Finished = false;
        m_Idle = true;
        // A detached start learns of its end only through the signal.
        emit SIGNAL_KtProcessHasFinished();
        break;
    case QProcess::Crashed:
    case QProcess::Timedout:
        // A crash is reported with the end of the process; a wait that ran
        // out is reported by the waiting start.
        break;
    default:
        if (m_TraceFailures)
            TraceError(TRACE_POS + "Process failed : " + errorString() + " (" + CommandText() +
                       ") Exit code: " + QString::number(exitCode()) + " Program output: " + m_Output);
        break;
    }
}
