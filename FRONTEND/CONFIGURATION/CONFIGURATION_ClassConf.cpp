#include "CONFIGURATION_ClassConf.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>

#include "Traces.h"

namespace
{
const char* const SETTINGS_FILE_NAME = "settings.ini";
} // namespace

CLASS_CONF::CLASS_CONF(QObject* parent) : CLASS_CONF(QCoreApplication::applicationDirPath(), parent) {}

CLASS_CONF::CLASS_CONF(const QString& directory, QObject* parent)
    : QObject(parent), m_FilePath(directory + QStringLiteral("/") + SETTINGS_FILE_NAME)
{
    if (QFile::exists(m_FilePath))
        return;
    QFile file(m_FilePath);
    if (!file.open(QIODevice::WriteOnly))
    {
        TraceError(TRACE_POS + QStringLiteral("The configuration file couldn't be created"));
        return;
    }
    file.close();
}

QString CLASS_CONF::GetFilePath() const
{
    return m_FilePath;
}

QVariant CLASS_CONF::GetValue(const QString& key, const QVariant& defaultValue) const
{
    QSettings settings(m_FilePath, QSettings::IniFormat);
    return settings.value(key, defaultValue);
}

void CLASS_CONF::SetValue(const QString& key, const QVariant& value)
{
    QSettings settings(m_FilePath, QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        TraceError(TRACE_POS + QStringLiteral("Unable to write \"") + key + QStringLiteral("\" in \"") +
                   m_FilePath + QStringLiteral("\""));
}

QVariant CLASS_CONF::GetValueInGroup(const QString& group, const QString& key,
                                     const QVariant& defaultValue) const
{
    QSettings settings(m_FilePath, QSettings::IniFormat);
    settings.beginGroup(group);
    return settings.value(key, defaultValue);
}

void CLASS_CONF::SetValueInGroup(const QString& group, const QString& key, const QVariant& value)
{
    QSettings settings(m_FilePath, QSettings::IniFormat);
    settings.beginGroup(group);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        TraceError(TRACE_POS + QStringLiteral("Unable to write \"") + group + "/" + key +
                   QStringLiteral("\" in \"") + m_FilePath + QStringLiteral("\""));
}

void CLASS_CONF::RemoveKey(const QString& key)
{
    QSettings settings(m_FilePath, QSettings::IniFormat);
    settings.remove(key);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        TraceError(TRACE_POS + QStringLiteral("Unable to remove \"") + key + QStringLiteral("\" from \"") +
                   m_FilePath + QStringLiteral("\""));
}
