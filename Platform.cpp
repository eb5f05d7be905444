#include "Platform.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdlib>
#include <cstring>

namespace Platform
{
QString ExternalProgram(const QString& name)
{
#ifdef Q_OS_WIN
    const QString path =
        QDir::current().absoluteFilePath(QStringLiteral("WINDOWS_BINARIES/") + name + ".exe");
    return QFile::exists(path) ? path : QString();
#else
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty() && name == QLatin1String("7z"))
        path = QStandardPaths::findExecutable(QStringLiteral("7zz"));
    return path;
#endif
}

bool UsbAutoReconnectionAllowed()
{
#ifdef Q_OS_WIN
    return false;
#else
    return true;
#endif
}

void PrepareHeadlessStart(int argc, char** argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"))
        return;
    for (int i = 1; i < argc; ++i)
    {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "-q") || !std::strcmp(arg, "--quiet") || !std::strcmp(arg, "-h") ||
            !std::strcmp(arg, "--help") || !std::strcmp(arg, "-v") || !std::strcmp(arg, "--version"))
        {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return;
        }
    }
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#endif
}

void PrepareEventLoops()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // GLib's loop writes its wake-up descriptor once per posted event; Qt's own
    // wakes a thread once per pass. A programmed block posts several queued
    // events, so this halves the system calls of an update.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
#endif
}
} // namespace Platform
