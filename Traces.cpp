#include "Traces.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QStandardPaths>

#include <cstdio>
#include <mutex>

#include "Types.h"

namespace
{
const char* const INFO_LINK_NAME = "CURRENT_INFO.lnk";
const char* const ERROR_LINK_NAME = "CURRENT_ERROR.lnk";
const char* const TRACES_FOLDER = "/KT_TRACES/";

// One instance for the process. Every access goes through the mutex: it is
// held for one emit or one file append, so tracing stays cheap, and it lets
// StopTraces hand the last queued lines over without losing or reordering any.
struct T_TRACE_STATE
{
    std::mutex mutex; // a pthread mutex: visible to ThreadSanitizer, unlike QMutex
    bool initialised = false;
    bool enabled = false;
    bool stopped = false;
    bool infoHeaderSent = false;
    bool errorHeaderSent = false;
    QString header;
    QString subfolder;
    QString infoFilePath;
    QString errorFilePath;
    CLASS_WORKER* worker = nullptr;
    QThread* thread = nullptr;
};

T_TRACE_STATE& State()
{
    static T_TRACE_STATE* state = new T_TRACE_STATE; // outlives every thread that traces
    return *state;
}

// Apart from the trace state: listeners are called where that state's mutex
// may be held (lines written by their callers once the thread has stopped).
struct T_TRACE_LISTENERS
{
    std::mutex mutex;
    int lastId = 0;
    QList<QPair<int, T_TRACE_LISTENER>> list;
};

T_TRACE_LISTENERS& Listeners()
{
    static T_TRACE_LISTENERS* listeners = new T_TRACE_LISTENERS; // outlives every thread that traces
    return *listeners;
}

void AppendToFile(QFile* file, const QString& line, bool error)
{
    if (file->open(QIODevice::WriteOnly | QIODevice::Append))
    {
        file->write(line.toUtf8());
        file->close();
    }
    T_TRACE_LISTENERS& listeners = Listeners();
    std::lock_guard<std::mutex> lock(listeners.mutex);
    for (const auto& listener : qAsConst(listeners.list))
        listener.second(line, error);
}

void Trace(const QString& message, int level, bool error)
{
    T_TRACE_STATE& state = State();
    const QString line = FormatTraceLine(QThread::currentThread()->objectName(),
                                         QDateTime::currentMSecsSinceEpoch(), level, message);
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.enabled)
        return;
    bool& headerSent = error ? state.errorHeaderSent : state.infoHeaderSent;
    CLASS_WORKER* worker = state.worker;
    if (state.stopped)
    {
        // The trace thread is gone: write here, still one line at a time.
        if (!headerSent)
        {
            headerSent = true;
            error ? worker->SLOT_WriteTraceError(state.header) : worker->SLOT_WriteTraceInfo(state.header);
        }
        error ? worker->SLOT_WriteTraceError(line) : worker->SLOT_WriteTraceInfo(line);
        return;
    }
    if (!headerSent)
    {
        headerSent = true;
        error ? emit worker->SIGNAL_WriteTraceError(state.header)
              : emit worker->SIGNAL_WriteTraceInfo(state.header);
    }
    error ? emit worker->SIGNAL_WriteTraceError(line) : emit worker->SIGNAL_WriteTraceInfo(line);
}

// Runs on the trace thread as the last queued call: writes what is still
// queued behind it and switches the callers to writing for themselves.
void DrainAndQuit()
{
    T_TRACE_STATE& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.stopped = true;
    QCoreApplication::sendPostedEvents(state.worker);
    state.thread->quit();
}
} // namespace

void RegisterTypeAliases()
{
    qRegisterMetaType<Bool>("Bool");
    qRegisterMetaType<Byte>("Byte");
    qRegisterMetaType<Word>("Word");
    qRegisterMetaType<DWord>("DWord");
    qRegisterMetaType<QWord>("QWord");
    qRegisterMetaType<SByte>("SByte");
    qRegisterMetaType<SWord>("SWord");
    qRegisterMetaType<SDWord>("SDWord");
}

CLASS_WORKER::CLASS_WORKER(const QString& traceFolder, const QString& infoFilePath,
                           const QString& errorFilePath, QObject* parent)
    : QObject(parent), m_InfoFile(new QFile(infoFilePath, this)), m_ErrorFile(new QFile(errorFilePath, this)),
      m_TraceFolder(traceFolder)
{
    connect(this, &CLASS_WORKER::SIGNAL_WriteTraceError, this, &CLASS_WORKER::SLOT_WriteTraceError);
    connect(this, &CLASS_WORKER::SIGNAL_WriteTraceInfo, this, &CLASS_WORKER::SLOT_WriteTraceInfo);
}

void CLASS_WORKER::SLOT_WriteTraceError(QString TraceMessage)
{
    AppendToFile(m_ErrorFile, TraceMessage, true);
}

void CLASS_WORKER::SLOT_WriteTraceInfo(QString TraceMessage)
{
    AppendToFile(m_InfoFile, TraceMessage, false);
}

QString FormatTraceLine(const QString& threadName, qint64 msecsSinceEpoch, int level, const QString& message)
{
    const QString label =
        threadName.isEmpty() ? QStringLiteral("UNKNOWN") : QString(threadName).remove("THREAD_");
    const QString tag = level == 1 ? QStringLiteral("V") : QStringLiteral("M");
    return QLatin1Char('[') + label + QStringLiteral("][") +
           QStringLiteral("%1").arg(msecsSinceEpoch, 13, 10, QLatin1Char('0')) + QStringLiteral("][") + tag +
           QLatin1Char(']') + message + QLatin1Char('\n');
}

QString TracePosition(const char* file, const char* function, int line)
{
    QString path = QString::fromUtf8(file);
    const QString root = QStringLiteral(QRN_SOURCE_ROOT);
    if (path.startsWith(root))
        path.remove(0, root.size());
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot > path.lastIndexOf(QLatin1Char('/')))
        path.truncate(dot);
    return QStringLiteral("../") + path + QLatin1Char(' ') + QString::fromUtf8(function) +
           QStringLiteral("() Line ") + QString::number(line) + QLatin1Char(' ');
}

int NextRunNumber(const QDir& subfolder)
{
    int run = 0;
    const QStringList names = subfolder.entryList({QStringLiteral("*.log*")}, QDir::Files);
    for (const QString& name : names)
    {
        const QStringList parts = name.split(QLatin1Char('_'), Qt::SkipEmptyParts);
        if (parts.size() < 2)
            continue;
        bool ok = false;
        const int value = parts.first().toInt(&ok, 10);
        if (ok && value + 1 > run)
            run = value + 1;
    }
    return run;
}

void InitTraces(const QString& applicationName, const QString& programName, const QDir& traceFolder,
                QThread* traceThread)
{
    T_TRACE_STATE& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.initialised = false;
    state.infoHeaderSent = false;
    state.errorHeaderSent = false;

    const QString folder = traceFolder.absolutePath();
    if (folder.isEmpty())
        return;
    if (!traceFolder.exists())
    {
        std::fprintf(stderr, "Can't write logs, %s do not exist\n", qPrintable(folder));
        return;
    }
    const QString subfolder = folder + QLatin1Char('/') + applicationName;
    if (!QDir(subfolder).exists() && !QDir().mkpath(subfolder))
    {
        std::fprintf(stderr, "Can't create directory %s for trace\n", qPrintable(subfolder));
        return;
    }

    const QString run = QStringLiteral("%1").arg(NextRunNumber(QDir(subfolder)), 8, 10, QLatin1Char('0'));
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QString errorPath = subfolder + QLatin1Char('/') + run + QStringLiteral("_ERROR_") + time + ".log";
    const QString infoPath = subfolder + QLatin1Char('/') + run + QStringLiteral("_INFO_") + time + ".log";

    QFile info(infoPath);
    if (!info.open(QIODevice::WriteOnly | QIODevice::Append))
    {
        std::fprintf(stderr, "Can't open file %s for trace\n", qPrintable(infoPath));
        return;
    }

    const QString errorLink = subfolder + QLatin1Char('/') + ERROR_LINK_NAME;
    const QString infoLink = subfolder + QLatin1Char('/') + INFO_LINK_NAME;
    QFile::remove(errorLink);
    QFile::link(errorPath, errorLink);
    QFile::remove(infoLink);
    QFile::link(infoPath, infoLink);

    state.header =
        FormatTraceLine(QThread::currentThread()->objectName(), QDateTime::currentMSecsSinceEpoch(), 0,
                        applicationName + QLatin1Char(' ') + programName + QStringLiteral(" PROGRAM START"));
    info.close();

    delete state.worker;
    state.worker = new CLASS_WORKER(subfolder, infoPath, errorPath);
    state.worker->moveToThread(traceThread);
    state.thread = traceThread;
    state.subfolder = subfolder;
    state.infoFilePath = infoPath;
    state.errorFilePath = errorPath;
    state.stopped = false;
    state.initialised = true;
}

void StartTraces()
{
    T_TRACE_STATE& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.initialised)
        state.enabled = true;
}

void TraceInfo(const QString& message, int level)
{
    Trace(message, level, false);
}

void TraceError(const QString& message, int level)
{
    Trace(message, level, true);
}

void StopTraces()
{
    T_TRACE_STATE& state = State();
    QThread* thread = nullptr;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.initialised || state.stopped)
            return;
        thread = state.thread;
        if (!thread->isRunning())
        {
            state.stopped = true;
            return;
        }
    }
    QMetaObject::invokeMethod(state.worker, &DrainAndQuit, Qt::QueuedConnection);
    thread->wait();
}

QDir StartTracing(const QString& programName)
{
    static QThread* traceThread = nullptr;
    if (!traceThread)
    {
        // Process-wide. Stopped by the start-up once the mode has been torn
        // down, not at about-to-quit: the lines of that teardown are kept.
        traceThread = new QThread;
        traceThread->setObjectName(QStringLiteral("THREAD_TRACES"));
    }
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation);
    const QString folder = (locations.isEmpty() ? QString() : locations.first()) + TRACES_FOLDER;
    QDir traceFolder(folder);
    if (!traceFolder.exists())
        QDir().mkpath(folder);
    InitTraces(QCoreApplication::applicationName(), programName, traceFolder, traceThread);
    StartTraces();
    traceThread->start(QThread::InheritPriority);
    return traceFolder;
}

int AddTraceListener(T_TRACE_LISTENER listener)
{
    T_TRACE_LISTENERS& listeners = Listeners();
    std::lock_guard<std::mutex> lock(listeners.mutex);
    listeners.list.append({++listeners.lastId, std::move(listener)});
    return listeners.lastId;
}

void RemoveTraceListener(int id)
{
    T_TRACE_LISTENERS& listeners = Listeners();
    std::lock_guard<std::mutex> lock(listeners.mutex);
    for (int i = 0; i < listeners.list.size(); ++i)
    {
        if (listeners.list.at(i).first == id)
            listeners.list.removeAt(i--);
    }
}

QString CurrentInfoFilePath()
{
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().initialised ? State().infoFilePath : QString();
}

QString CurrentErrorFilePath()
{
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().initialised ? State().errorFilePath : QString();
}

QString CurrentTraceSubfolder()
{
    std::lock_guard<std::mutex> lock(State().mutex);
    return State().initialised ? State().subfolder : QString();
}
