#pragma once

#include <QDir>
#include <QFile>
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>

// Sink of every trace line. Lives on "THREAD_TRACES"; each signal is connected
// to the slot of the same name, so an emit from any thread runs the write there.
class CLASS_WORKER : public QObject
{
    Q_OBJECT
public:
    CLASS_WORKER(const QString& traceFolder, const QString& infoFilePath, const QString& errorFilePath,
                 QObject* parent = nullptr);

signals:
    void SIGNAL_WriteTraceError(QString TraceMessage);
    void SIGNAL_WriteTraceInfo(QString TraceMessage);

public slots:
    void SLOT_WriteTraceError(QString TraceMessage);
    void SLOT_WriteTraceInfo(QString TraceMessage);

private:
    QFile* m_InfoFile;
    QFile* m_ErrorFile;
    QString m_TraceFolder;
};

void InitTraces(const QString& applicationName, const QString& programName, const QDir& traceFolder,
                QThread* traceThread);
void StartTraces();
void TraceInfo(const QString& message, int level = 0);
void TraceError(const QString& message, int level = 0);

// Writes every line queued so far, stops the trace thread and waits for it.
// Lines traced afterwards are written by the caller itself, so none is lost.
void StopTraces();

// Starts tracing as the application does: names and wires the trace thread,
// creates "/KT_TRACES/" under the first application-local data folder, then
// InitTraces, StartTraces and the thread start. Returns the trace folder.
QDir StartTracing(const QString& programName);

// Sees every line as it is written to the trace files, in the files' order:
// called on the thread that writes (normally "THREAD_TRACES"), so it must be
// quick, thread-safe and must not trace. Removing waits for a call in progress.
using T_TRACE_LISTENER = std::function<void(const QString& line, bool error)>;
int AddTraceListener(T_TRACE_LISTENER listener);
void RemoveTraceListener(int id);

// Files of the current run; empty when tracing is off.
QString CurrentInfoFilePath();
QString CurrentErrorFilePath();
QString CurrentTraceSubfolder();

// Run number for a trace subfolder: one more than the largest found, 0 when none.
int NextRunNumber(const QDir& subfolder);

// One trace line, "[label][timestamp][tag]message\n".
QString FormatTraceLine(const QString& threadName, qint64 msecsSinceEpoch, int level, const QString& message);

// "../path/under/root function() Line N " for the error convention.
QString TracePosition(const char* file, const char* function, int line);

#define TRACE_POS TracePosition(__FILE__, __func__, __LINE__)
