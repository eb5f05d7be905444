#pragma once

#include <QPair>
#include <QString>
#include <QVector>

// The application style sheet is written with colour names; they are
// replaced by their values when the main window is shown.
namespace StyleSheet
{
extern const char* const RESOURCE_PATH; // ":/stylesheet/style.css"

// Colour names and values, in replacement order.
const QVector<QPair<QString, QString>>& ColourTable();

// Plain, case-sensitive replacement of every colour name, in table order.
QString SubstituteColourNames(QString sheet);

// The resource style sheet with its colour names replaced; empty (and an
// error trace) when the resource cannot be read.
QString LoadApplicationStyleSheet();
} // namespace StyleSheet
