#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include "Types.h"

class CLASS_SIM_DEVICE;
class CLASS_SIM_LINK_SESSION;

// A transport of the simulator (UDP socket or pseudo-terminal) with its
// session. Replies leave in order; under the split fault each leaves as two
// chunks some time apart (--split-gap-ms) so that the host reads them separately.
class CLASS_SIM_LINK : public QObject
{
    Q_OBJECT
public:
    CLASS_SIM_LINK(CLASS_SIM_DEVICE* device, Bool samba, QObject* parent = nullptr);
    ~CLASS_SIM_LINK() override;

    // Opens the transport; error names the link and the cause.
    virtual Bool Open(QString& error) = 0;
    // The machine-readable line printed on standard output once the link is open.
    virtual QString AnnounceLine() const = 0;

    CLASS_SIM_LINK_SESSION* Session() const { return m_Session; }

protected:
    // Creates the session once the link knows its name.
    void CreateSession(const QString& linkName);
    // Writes one chunk to the peer; the transport drops it when nobody listens.
    virtual void WriteChunk(const QByteArray& chunk) = 0;
    // The peer went away: pending chunks are dropped.
    void DropPendingOutput();

    CLASS_SIM_DEVICE* m_Device;
    Bool m_Samba;

private:
    void Send(const QByteArray& data);
    void WriteNextChunk();

    CLASS_SIM_LINK_SESSION* m_Session = nullptr;
    QList<QByteArray> m_Pending;
    QTimer m_GapTimer;
};
