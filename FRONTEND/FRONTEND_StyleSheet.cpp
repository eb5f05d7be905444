#include "FRONTEND_StyleSheet.h"

#include <QFile>

#include "FRONTEND_Resources.h"
#include "Traces.h"

namespace StyleSheet
{
const char* const RESOURCE_PATH = ":/stylesheet/style.css";

const QVector<QPair<QString, QString>>& ColourTable()
{
    static const QVector<QPair<QString, QString>> table = {
        {"SLATE_GREY_50", "#F2F2F3"},
        {"SLATE_GREY_100", "#B0B3B5"},
        {"SLATE_GREY_200", "#838B91"},
        {"SLATE_GREY_300", "#616D75"},
        {"SLATE_GREY_400", "#49535B"},
        {"SLATE_GREY_500", "#3D4951"},
        {"SLATE_GREY_600", "#323F48"},
        {"SLATE_GREY_700", "#283239"},
        {"SLATE_GREY_800", "#1B272F"},
        {"SLATE_GREY_900", "#08141B"},
        {"GREY_KT", "#808080"},
        {"GREY_LIGHTER", "#D3D3D3"},
        {"GREY_DARKER", "#484848"},
        {"BLUE_KT", "#2185D0"},
        {"BLUE_LIGHTER", "#54C8FF"},
        {"BLUE_DARKER", "#114268"},
        {"BLUE_GREY", "#1A2D3F"},
        {"BLUE_DEVICE", "#0E121A"},
        {"BLUE_DEVICE_LIGHTER", "#343846"},
        {"BLUE_DEVICE_DARKER", "#040810"},
        {"ORANGE_KT", "#F2711C"},
        {"ORANGE_LIGHTER", "#D29F69"},
        {"ORANGE_DARKER", "#D85600"},
        {"BLACK_KT", "#000000"},
        {"WHITE_KT", "#FFFFFF"},
    };
    return table;
}

QString SubstituteColourNames(QString sheet)
{
    for (const auto& colour : ColourTable())
        sheet.replace(colour.first, colour.second, Qt::CaseSensitive);
    return sheet;
}

QString LoadApplicationStyleSheet()
{
    InitFrontendResources();
    QFile file(RESOURCE_PATH);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    {
        TraceError(TRACE_POS + QStringLiteral("Unable to read the style sheet \"") + RESOURCE_PATH +
                   QStringLiteral("\": ") + file.errorString());
        return QString();
    }
    return SubstituteColourNames(QString::fromUtf8(file.readAll()));
}
} // namespace StyleSheet
