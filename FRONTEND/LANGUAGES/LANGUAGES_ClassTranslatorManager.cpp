#include "LANGUAGES_ClassTranslatorManager.h"

#include <QCoreApplication>
#include <QDir>

#include "FRONTEND/FRONTEND_Resources.h"
#include "Traces.h"

namespace
{
const char* const LANGUAGES_DIRECTORY = ":/lang/";
const char* const CATALOGUE_EXTENSION = ".qm";
const char* const CATALOGUE_PREFIX = "lang_";
} // namespace

CLASS_TRANSLATOR_MANAGER::CLASS_TRANSLATOR_MANAGER(QObject* parent)
    : QObject(parent), m_SupportedLanguages{{"fr_FR", QLocale::French},
                                            {"de_DE", QLocale::German},
                                            {"en_US", QLocale::English}},
      m_CurrentLanguage(QLocale::English)
{
    InitFrontendResources();
    QDir directory(LANGUAGES_DIRECTORY);
    if (!directory.exists())
    {
        TraceError(TRACE_POS + QStringLiteral("Languages directory doesn't exist."));
        return;
    }

    const QStringList catalogues =
        directory.entryList({QStringLiteral("*") + CATALOGUE_EXTENSION}, QDir::Files);
    for (const QString& fileName : catalogues)
    {
        const QString code = QString(fileName).remove(CATALOGUE_EXTENSION).remove(CATALOGUE_PREFIX);
        const auto language = m_SupportedLanguages.constFind(code);
        if (language == m_SupportedLanguages.constEnd())
        {
            TraceError(TRACE_POS + QStringLiteral("Language with ICU code \"") + code +
                       QStringLiteral("\" not available for this application"));
            continue;
        }
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(fileName, directory.absolutePath()))
        {
            TraceError(TRACE_POS + QStringLiteral("Cannot load \"") + fileName +
                       QStringLiteral("\" language file"));
            continue;
        }
        QTranslator* loaded = translator.get();
        m_Translators[language.value()] = std::move(translator);
        if (language.value() == QLocale::English)
        {
            QCoreApplication::installTranslator(loaded);
            m_CurrentLanguage = QLocale::English;
        }
    }
}

QLocale::Language CLASS_TRANSLATOR_MANAGER::GetCurrentLanguage() const
{
    return m_CurrentLanguage;
}

const QTranslator* CLASS_TRANSLATOR_MANAGER::GetTranslator(QLocale::Language language) const
{
    const auto entry = m_Translators.find(language);
    return entry == m_Translators.end() ? nullptr : entry->second.get();
}
