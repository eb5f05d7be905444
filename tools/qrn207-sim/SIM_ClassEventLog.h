#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

#include "Types.h"

// One JSON line per frame or command received or sent:
// {"time":..., "link":..., "direction":"rx"|"tx"|"-", "kind":..., "command":..., "attributes":{...}}.
// Each line is flushed at once so that a test can read the log while the simulator runs.
class CLASS_SIM_EVENT_LOG
{
public:
    CLASS_SIM_EVENT_LOG() = default;
    CLASS_SIM_EVENT_LOG(const CLASS_SIM_EVENT_LOG&) = delete;
    CLASS_SIM_EVENT_LOG& operator=(const CLASS_SIM_EVENT_LOG&) = delete;

    // "-" writes to standard error; an empty path keeps the log off.
    Bool Open(const QString& path, QString& error);
    Bool IsOpen() const { return m_File.isOpen(); }

    void Write(const QString& link, const char* direction, const QString& kind, const QString& command,
               const QJsonObject& attributes = QJsonObject());

    // Byte arrays in attributes: hexadecimal up to this size, otherwise their size and SHA-1.
    static constexpr int MAX_LOGGED_BYTES = 64;
    static QJsonValue Bytes(const QByteArray& bytes);

private:
    QFile m_File;
};
