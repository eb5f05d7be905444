#include "SIM_ClassEventLog.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>

#include <cstdio>

Bool CLASS_SIM_EVENT_LOG::Open(const QString& path, QString& error)
{
    if (path.isEmpty())
        return true;
    Bool opened = false;
    if (path == QLatin1String("-"))
        opened = m_File.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    else
    {
        m_File.setFileName(path);
        opened = m_File.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    }
    if (!opened)
        error = QStringLiteral("Cannot open the event log \"%1\": %2").arg(path, m_File.errorString());
    return opened;
}

QJsonValue CLASS_SIM_EVENT_LOG::Bytes(const QByteArray& bytes)
{
    if (bytes.size() <= MAX_LOGGED_BYTES)
        return QString::fromLatin1(bytes.toHex());
    QJsonObject summary;
    summary.insert(QStringLiteral("size"), bytes.size());
    summary.insert(QStringLiteral("sha1"),
                   QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex()));
    return summary;
}

void CLASS_SIM_EVENT_LOG::Write(const QString& link, const char* direction, const QString& kind,
                                const QString& command, const QJsonObject& attributes)
{
    if (!m_File.isOpen())
        return;
    QJsonObject line;
    line.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    line.insert(QStringLiteral("link"), link);
    line.insert(QStringLiteral("direction"), QString::fromLatin1(direction));
    line.insert(QStringLiteral("kind"), kind);
    line.insert(QStringLiteral("command"), command);
    line.insert(QStringLiteral("attributes"), attributes);
    m_File.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}
