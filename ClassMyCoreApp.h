#pragma once

#include <QApplication>

#include "Types.h"

// The application object: an exception escaping an event handler is written
// to the crash log and the program goes on.
class CLASS_MYCOREAPP : public QApplication
{
    Q_OBJECT
public:
    CLASS_MYCOREAPP(int& argc, char** argv);

    Bool notify(QObject* receiver, QEvent* event) override;

    // "ErrorCrash.log" in the trace folder; tests point it elsewhere.
    static QString CrashLogPath();
    static void SetCrashLogPath(const QString& path);

    // The entry text, without line terminator, as appended to the crash log.
    static QString CrashEntry(const QDateTime& time, const char* exceptionText, const QString& threadName);
};
