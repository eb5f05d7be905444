#pragma once

#include <QSocketNotifier>
#include <QTimer>

#include "SIM_ClassLink.h"

// A serial link on a pseudo-terminal that the simulator creates (raw mode).
// The host opens the slave (its path, or the symbolic link kept at a given
// path). While no one holds the slave open the master reports a hang-up: the
// link then polls until the host opens it again, dropping replies meanwhile,
// and starts a new conversation.
class CLASS_SIM_PTY_LINK : public CLASS_SIM_LINK
{
    Q_OBJECT
public:
    static constexpr int REOPEN_POLL_MS = 20;
    // Replies not yet accepted by the terminal beyond this are dropped.
    static constexpr int MAX_PENDING_WRITE = 1024 * 1024;

    CLASS_SIM_PTY_LINK(CLASS_SIM_DEVICE* device, const QString& symlinkPath, Bool samba,
                       QObject* parent = nullptr);
    ~CLASS_SIM_PTY_LINK() override;

    Bool Open(QString& error) override;
    QString AnnounceLine() const override;
    QString SlavePath() const { return m_SlavePath; }

protected:
    void WriteChunk(const QByteArray& chunk) override;

private:
    void ReadMaster();
    void HangUp();
    void PollReopen();
    void FlushWrites();

    QString m_SymlinkPath;
    QString m_SlavePath;
    int m_Master = -1;
    Bool m_PeerOpen = false;
    QSocketNotifier* m_ReadNotifier = nullptr;
    QSocketNotifier* m_WriteNotifier = nullptr;
    QTimer m_ReopenTimer;
    QByteArray m_WriteBuffer;
};
