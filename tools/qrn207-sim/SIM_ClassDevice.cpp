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
}

Bool CLASS_SIM_DEVICE::Start(QString& error)
{
    if (!m_Memory.Load(m_Options.StatePath, error))
        return false;
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
    m_Memory.ClearRam();
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
