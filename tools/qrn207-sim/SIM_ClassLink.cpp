#include "SIM_ClassLink.h"

#include "SIM_ClassDevice.h"
#include "SIM_ClassLinkSession.h"
#include "SIM_ClassNodeEndpoint.h"

CLASS_SIM_LINK::CLASS_SIM_LINK(CLASS_SIM_DEVICE* device, Bool samba, QObject* parent)
    : QObject(parent), m_Device(device), m_Samba(samba)
{
    m_GapTimer.setSingleShot(true);
    connect(&m_GapTimer, &QTimer::timeout, this, &CLASS_SIM_LINK::WriteNextChunk);
}

CLASS_SIM_LINK::~CLASS_SIM_LINK() = default;

void CLASS_SIM_LINK::CreateSession(const QString& linkName)
{
    m_Session = new CLASS_SIM_LINK_SESSION(m_Device, linkName, m_Samba, this);
    new CLASS_SIM_NODE_ENDPOINT(m_Device, m_Session);
    connect(m_Session, &CLASS_SIM_LINK_SESSION::SIGNAL_Send, this, &CLASS_SIM_LINK::Send);
}

void CLASS_SIM_LINK::Send(const QByteArray& data)
{
    if (m_Device->Faults().Split() && data.size() > 1)
    {
        m_Pending.append(data.left(data.size() / 2));
        m_Pending.append(data.mid(data.size() / 2));
    }
    else
        m_Pending.append(data);
    if (!m_GapTimer.isActive())
        WriteNextChunk();
}

void CLASS_SIM_LINK::WriteNextChunk()
{
    while (!m_Pending.isEmpty())
    {
        WriteChunk(m_Pending.takeFirst());
        if (m_Device->Faults().Split() && !m_Pending.isEmpty())
        {
            m_GapTimer.start(m_Device->Faults().SplitGapMs());
            return;
        }
    }
}

void CLASS_SIM_LINK::DropPendingOutput()
{
    m_Pending.clear();
    m_GapTimer.stop();
}
