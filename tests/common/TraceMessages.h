#pragma once

#include <QRegularExpression>
#include <QStringList>

// Error lines as "function|text": the source path and line number of the
// position prefix dropped, so that tests compare the function and the text.
inline QStringList TraceMessages(const QStringList& lines)
{
    static const QRegularExpression position(QStringLiteral("^\\S+ (\\w+)\\(\\) Line \\d+ (.*)$"));
    QStringList messages;
    for (const QString& line : lines)
    {
        const QRegularExpressionMatch match = position.match(line);
        messages << (match.hasMatch() ? match.captured(1) + QLatin1Char('|') + match.captured(2) : line);
    }
    return messages;
}
