#include "SIM_ClassPtyLink.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "SIM_ClassDevice.h"
#include "SIM_ClassLinkSession.h"

CLASS_SIM_PTY_LINK::CLASS_SIM_PTY_LINK(CLASS_SIM_DEVICE* device, const QString& symlinkPath, Bool samba,
                                       QObject* parent)
    : CLASS_SIM_LINK(device, samba, parent), m_SymlinkPath(symlinkPath)
{
    m_ReopenTimer.setInterval(REOPEN_POLL_MS);
    connect(&m_ReopenTimer, &QTimer::timeout, this, &CLASS_SIM_PTY_LINK::PollReopen);
}

CLASS_SIM_PTY_LINK::~CLASS_SIM_PTY_LINK()
{
    // Remove the symbolic link only while it still names our terminal.
    if (!m_SymlinkPath.isEmpty() && QFileInfo(m_SymlinkPath).symLinkTarget() == m_SlavePath)
        QFile::remove(m_SymlinkPath);
    if (m_Master >= 0)
        ::close(m_Master);
}

Bool CLASS_SIM_PTY_LINK::Open(QString& error)
{
    int slave = -1;
    char name[256] = {};
    if (::openpty(&m_Master, &slave, name, nullptr, nullptr) != 0)
    {
        error = QStringLiteral("Cannot create a pseudo-terminal: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_SlavePath = QString::fromLocal8Bit(name);
    // Settings made on the slave stay with the terminal while the master is open.
    struct termios settings;
    if (::tcgetattr(slave, &settings) == 0)
    {
        ::cfmakeraw(&settings);
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    ::close(slave);
    ::fcntl(m_Master, F_SETFL, ::fcntl(m_Master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_Master, F_SETFD, FD_CLOEXEC);

    if (!m_SymlinkPath.isEmpty())
    {
        const QFileInfo existing(m_SymlinkPath);
        if (existing.isSymLink())
            QFile::remove(m_SymlinkPath);
        else if (existing.exists())
        {
            error =
                QStringLiteral("Cannot create the link \"%1\": a file that is not a symbolic link is there")
                    .arg(m_SymlinkPath);
            return false;
        }
        if (::symlink(name, QFile::encodeName(m_SymlinkPath).constData()) != 0)
        {
            error = QStringLiteral("Cannot create the link \"%1\": %2")
                        .arg(m_SymlinkPath, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    CreateSession(QStringLiteral("pty:") + m_SlavePath);
    m_ReadNotifier = new QSocketNotifier(m_Master, QSocketNotifier::Read, this);
    connect(m_ReadNotifier, &QSocketNotifier::activated, this, &CLASS_SIM_PTY_LINK::ReadMaster);
    m_WriteNotifier = new QSocketNotifier(m_Master, QSocketNotifier::Write, this);
    m_WriteNotifier->setEnabled(false);
    connect(m_WriteNotifier, &QSocketNotifier::activated, this, &CLASS_SIM_PTY_LINK::FlushWrites);
    // Nobody holds the slave yet: wait for the host.
    m_ReadNotifier->setEnabled(false);
    m_ReopenTimer.start();
    return true;
}

QString CLASS_SIM_PTY_LINK::AnnounceLine() const
{
    return QStringLiteral("%1pty-path %2").arg(m_Samba ? QStringLiteral("samba-") : QString(), m_SlavePath);
}

void CLASS_SIM_PTY_LINK::ReadMaster()
{
    char buffer[4096];
    for (;;)
    {
        const ssize_t count = ::read(m_Master, buffer, sizeof(buffer));
        if (count > 0)
        {
            Session()->Feed(QByteArray(buffer, int(count)));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // EIO (or end of file): the last holder of the slave closed it.
        HangUp();
        return;
    }
}

void CLASS_SIM_PTY_LINK::HangUp()
{
    m_ReadNotifier->setEnabled(false);
    m_WriteNotifier->setEnabled(false);
    m_WriteBuffer.clear();
    DropPendingOutput();
    ::tcflush(m_Master, TCIOFLUSH);
    if (m_PeerOpen)
        m_Device->Log().Write(Session()->LinkName(), "-", QStringLiteral("link"), QStringLiteral("CLOSED"));
    m_PeerOpen = false;
    Session()->Restart();
    m_ReopenTimer.start();
}

void CLASS_SIM_PTY_LINK::PollReopen()
{
    struct pollfd descriptor = {m_Master, POLLIN, 0};
    if (::poll(&descriptor, 1, 0) < 0 || (descriptor.revents & POLLHUP) != 0)
        return;
    m_ReopenTimer.stop();
    m_PeerOpen = true;
    m_Device->Log().Write(Session()->LinkName(), "-", QStringLiteral("link"), QStringLiteral("OPENED"));
    m_ReadNotifier->setEnabled(true);
    ReadMaster();
}

void CLASS_SIM_PTY_LINK::WriteChunk(const QByteArray& chunk)
{
    if (!m_PeerOpen)
        return;
    if (m_WriteBuffer.size() + chunk.size() > MAX_PENDING_WRITE)
    {
        m_Device->Log().Write(Session()->LinkName(), "-", QStringLiteral("link"),
                              QStringLiteral("OUTPUT_DROPPED"),
                              QJsonObject{{QStringLiteral("size"), chunk.size()}});
        return;
    }
    m_WriteBuffer.append(chunk);
    FlushWrites();
}

void CLASS_SIM_PTY_LINK::FlushWrites()
{
    while (!m_WriteBuffer.isEmpty())
    {
        const ssize_t count = ::write(m_Master, m_WriteBuffer.constData(), size_t(m_WriteBuffer.size()));
        if (count > 0)
        {
            m_WriteBuffer.remove(0, int(count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        {
            m_WriteNotifier->setEnabled(true);
            return;
        }
        HangUp();
        return;
    }
    m_WriteNotifier->setEnabled(false);
}
