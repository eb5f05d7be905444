#include "Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <sys/prctl.h>
#endif

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

void KeepNewFilesPrivate()
{
#if defined(Q_OS_UNIX)
    // The work folder holds the decrypted firmware; the children inherit it.
    ::umask(S_IRWXG | S_IRWXO);
#endif
}

bool OwnedByThisAccount(const QString& path, QString* owner)
{
#if defined(Q_OS_UNIX)
    const QFileInfo info(path);
    if (owner)
        *owner = info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
    return info.ownerId() == ::geteuid();
#else
    // Windows: the temporary folder is the account's own.
    Q_UNUSED(path);
    Q_UNUSED(owner);
    return true;
#endif
}

bool MakeFolderPrivate(const QString& path)
{
#if defined(Q_OS_UNIX)
    struct stat status;
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &status) != 0)
        return false;
    if ((status.st_mode & 0777) == S_IRWXU)
        return true;
    return ::chmod(name.constData(), S_IRWXU) == 0;
#else
    Q_UNUSED(path);
    return true;
#endif
}

void TieChildToParent()
{
#if defined(Q_OS_LINUX)
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have gone between the fork and the line above.
    if (::getppid() != parent)
        ::_exit(127);
#endif
}
} // namespace Platform
