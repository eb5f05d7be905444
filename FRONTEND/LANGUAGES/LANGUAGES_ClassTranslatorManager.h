#pragma once

#include <QLocale>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTranslator>

#include <map>
#include <memory>

// Loads every compiled catalogue found under ":/lang/" and installs the
// English one in the application; all of it happens in the constructor.
class CLASS_TRANSLATOR_MANAGER : public QObject
{
    Q_OBJECT

public:
    explicit CLASS_TRANSLATOR_MANAGER(QObject* parent = nullptr);

    QLocale::Language GetCurrentLanguage() const;
    // The loaded catalogue of a language, null when none was loaded.
    const QTranslator* GetTranslator(QLocale::Language language) const;

private:
    QMap<QString, QLocale::Language> m_SupportedLanguages; // ICU code -> language
    QLocale::Language m_CurrentLanguage;
    // A translator leaves the application when it is destroyed.
    std::map<QLocale::Language, std::unique_ptr<QTranslator>> m_Translators;
};
