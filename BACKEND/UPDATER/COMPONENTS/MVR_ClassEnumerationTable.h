#pragma once

#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <initializer_list>

// One enumeration's text table: configuration texts to values and back.
// Built once and read-only afterwards, so any thread may use it.
template <typename T_ENUM> class CLASS_ENUMERATION_TABLE
{
public:
    CLASS_ENUMERATION_TABLE(std::initializer_list<QPair<QString, T_ENUM>> entries, T_ENUM notRecognized)
        : m_Entries(entries), m_NotRecognized(notRecognized)
    {
        for (const QPair<QString, T_ENUM>& entry : m_Entries)
        {
            if (!m_Values.contains(entry.first))
                m_Values.insert(entry.first, entry.second);
        }
    }

    // Exact, case-sensitive match; an unknown text gives the not-recognized value.
    T_ENUM FromText(const QString& text) const { return m_Values.value(text, m_NotRecognized); }

    // First text of the table carrying the value; empty when none does.
    QString ToText(T_ENUM value) const
    {
        for (const QPair<QString, T_ENUM>& entry : m_Entries)
        {
            if (entry.second == value)
                return entry.first;
        }
        return QString();
    }

    bool Contains(const QString& text) const { return m_Values.contains(text); }

    T_ENUM NotRecognized() const { return m_NotRecognized; }

    QStringList Texts() const
    {
        QStringList texts;
        for (const QPair<QString, T_ENUM>& entry : m_Entries)
            texts << entry.first;
        return texts;
    }

private:
    QVector<QPair<QString, T_ENUM>> m_Entries; // table order, for the reverse search
    QHash<QString, T_ENUM> m_Values;
    T_ENUM m_NotRecognized;
};
