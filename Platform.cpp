#include "Platform.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdlib>

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

void PrepareHeadlessStart(bool showsWindow)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (showsWindow || std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") ||
        std::getenv("WAYLAND_DISPLAY"))
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
#else
    Q_UNUSED(showsWindow);
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
