#include "SIM_ClassDevice.h"

#include <QFile>
#include <QJsonObject>

#include <cstdio>

const char* const CLASS_SIM_DEVICE::RESET_REQUEST = "1SYrst";
const char* const CLASS_SIM_DEVICE::RESET_ACCEPTED = "SYrst1\r\n";
const char* const CLASS_SIM_DEVICE::RESET_REFUSED = "SYrst0\r\n";
const char* const CLASS_SIM_DEVICE::VERSION_REQUEST = "VEpac";

CLASS_SIM_DEVICE::CLASS_SIM_DEVICE(const T_SIM_OPTIONS& options, QObject* parent)
    : QObject(parent), m_Options(options), m_Faults(options.Faults),
      m_BootLoader(new CLASS_SIM_BOOT_LOADER(this))
{
    m_BusyTimer.setSingleShot(true);
    m_BusyTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_BusyTimer, &QTimer::timeout, this,
            [this]()
            {
                m_Log.Write(m_BusyLink, "-", QStringLiteral("device"), m_BusyWhat + QStringLiteral("_DONE"));
                emit SIGNAL_Ready();
            });
}

Bool CLASS_SIM_DEVICE::Start(QString& error)
{
    if (!m_Memory.Load(m_Options.StatePath, error))
        return false;
    m_OnlyRomMonitor = m_Memory.ResidentTorn();
    // An empty device gets its file now, so that a state file that cannot be written is refused at start.
    if (!m_Options.StatePath.isEmpty() && !QFile::exists(m_Options.StatePath) && !m_Memory.Save(error))
        return false;
    return m_Log.Open(m_Options.LogPath, error);
}

QByteArray CLASS_SIM_DEVICE::ResetAnswer(const QString& link)
{
    const QByteArray lead = m_Faults.ResetLeadingByte() ? QByteArray("\n") : QByteArray();
    if (m_Faults.RefuseReset())
        return lead + RESET_REFUSED;
    ClearRam();
    m_BootLoader->Restart();
    m_Log.Write(link, "-", QStringLiteral("device"), QStringLiteral("RESTART"));
    emit SIGNAL_Restarted();
    return lead + RESET_ACCEPTED;
}

QByteArray CLASS_SIM_DEVICE::VersionAnswer() const
{
    return QByteArray(VERSION_REQUEST) + ',' + QByteArray::number(m_Options.DeviceVersion) + "\r\n";
}

void CLASS_SIM_DEVICE::SaveState(const QString& link)
{
    QString error;
    if (m_Memory.Save(error))
        return;
    QJsonObject attributes;
    attributes.insert(QStringLiteral("error"), error);
    m_Log.Write(link, "-", QStringLiteral("state"), QStringLiteral("SAVE_FAILED"), attributes);
    std::fprintf(stderr, "%s\n", qPrintable(error));
    std::fflush(stderr);
}

void CLASS_SIM_DEVICE::SaveIfChanged()
{
    if (m_Changed && !m_PoweredOff)
        SaveState(QStringLiteral("-"));
}

void CLASS_SIM_DEVICE::BeginBusy(DWord milliseconds, const QString& link, const QString& what)
{
    if (milliseconds == 0 || m_PoweredOff)
        return;
    m_BusyLink = link;
    m_BusyWhat = what;
    m_Log.Write(link, "-", QStringLiteral("device"), what,
                QJsonObject{{QStringLiteral("ms"), double(milliseconds)}});
    m_BusyTimer.start(int(milliseconds));
}

void CLASS_SIM_DEVICE::CutPower(const QString& link, const QString& why)
{
    if (m_PoweredOff)
        return;
    m_PoweredOff = true;
    m_BusyTimer.stop();
    m_Memory.LosePower();
    m_Log.Write(link, "-", QStringLiteral("device"), QStringLiteral("POWER_CUT"),
                QJsonObject{{QStringLiteral("at"), why}});
    SaveState(link);
    std::printf("power-cut\n");
    std::fflush(stdout);
}

void CLASS_SIM_DEVICE::StartRamBootLoader(const QString& link)
{
    if (m_OnlyRomMonitor)
        m_Log.Write(link, "-", QStringLiteral("device"), QStringLiteral("RAM_BOOT_LOADER_STARTED"));
    m_OnlyRomMonitor = false;
}
