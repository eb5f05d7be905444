#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// "settings.ini" beside the program, created empty when missing. Each
// operation opens the file as INI settings for that one call.
class CLASS_CONF : public QObject
{
    Q_OBJECT

public:
    explicit CLASS_CONF(QObject* parent = nullptr);
    // Same, with the file in another folder than the program's.
    CLASS_CONF(const QString& directory, QObject* parent);

    QString GetFilePath() const;

    QVariant GetValue(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void SetValue(const QString& key, const QVariant& value);
    QVariant GetValueInGroup(const QString& group, const QString& key,
                             const QVariant& defaultValue = QVariant()) const;
    void SetValueInGroup(const QString& group, const QString& key, const QVariant& value);
    void RemoveKey(const QString& key);

private:
    QString m_FilePath;
};
