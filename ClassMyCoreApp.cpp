#include "ClassMyCoreApp.h"

#include <QDateTime>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <exception>

namespace
{
QString& CrashLogPathOverride()
{
    static QString path;
    return path;
}

void AppendCrashEntry(const QString& entry)
{
    QFile file(CLASS_MYCOREAPP::CrashLogPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(entry.toUtf8());
}
} // namespace

CLASS_MYCOREAPP::CLASS_MYCOREAPP(int& argc, char** argv) : QApplication(argc, argv) {}

QString CLASS_MYCOREAPP::CrashLogPath()
{
    if (!CrashLogPathOverride().isEmpty())
        return CrashLogPathOverride();
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation);
    return (locations.isEmpty() ? QString() : locations.first()) +
           QStringLiteral("/KT_TRACES/ErrorCrash.log");
}

void CLASS_MYCOREAPP::SetCrashLogPath(const QString& path)
{
    CrashLogPathOverride() = path;
}

QString CLASS_MYCOREAPP::CrashEntry(const QDateTime& time, const char* exceptionText,
                                    const QString& threadName)
{
    const QString stamp = time.toString(QStringLiteral("dd-MM-yyyy hh:mm:ss"));
    if (exceptionText)
        return stamp + QStringLiteral(" Exception: ") + QString::fromUtf8(exceptionText) +
               QStringLiteral(" ,Thread: ") + threadName;
    return stamp + QStringLiteral(" Crash ") + QStringLiteral(" ,Thread: ") + threadName;
}

Bool CLASS_MYCOREAPP::notify(QObject* receiver, QEvent* event)
{
    try
    {
        return QApplication::notify(receiver, event);
    }
    catch (const std::exception& exception)
    {
        AppendCrashEntry(
            CrashEntry(QDateTime::currentDateTime(), exception.what(), receiver->thread()->objectName()));
    }
    catch (...)
    {
        AppendCrashEntry(CrashEntry(QDateTime::currentDateTime(), nullptr, receiver->thread()->objectName()));
    }
    return true;
}
