#include "KTP_SamplePackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPair>
#include <QStringList>

#include <iterator>

namespace
{
struct T_SAMPLE_BINARY
{
    const char* Path;
    quint32 Seed;
};

const T_SAMPLE_BINARY BINARIES[] = {
    {"BINARIES/MICRO/ORLEX_RESIDENT.bin", 11},
    {"BINARIES/MICRO/ORLEX_RAM.bin", 13},
    {"BINARIES/MICRO/ORLEX_MAIN.bin", 17},
    {"BINARIES/FPGA/CORVAL.bin", 19},
    {"BINARIES/EDID/EDID.bin", 23},
    {"BINARIES/HDCP/HDCP.bin", 29},
};
constexpr int BLOCK_BYTES = 128;
constexpr char ESCAPE_BYTE = 0x1B;

QJsonObject Component(const QString& step, const QString& communication, const QString& programmation,
                      const QString& path, const QString& type, const QString& base, const QString& jump,
                      const QString& endAction)
{
    return QJsonObject{{"name", step},
                       {"communication_type", communication},
                       {"programmation", programmation},
                       {"path", path},
                       {"type", type},
                       {"base-addr", base},
                       {"jump-addr", jump},
                       {"end-action", endAction}};
}

Bool WriteFile(const QString& path, const QByteArray& content, QString& error)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
    {
        error = QStringLiteral("cannot create the folder of \"%1\"").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
    {
        error = QStringLiteral("cannot write \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
} // namespace

QList<int> T_SAMPLE_OPTIONS::SmallSampleSizes()
{
    // Small enough for a quick update, big enough for several blocks and a second check block.
    return {3000, 2500, 6000, 9000, 256, 1100};
}

QList<int> T_SAMPLE_OPTIONS::RealSampleSizes()
{
    return {64 * 1024, 32 * 1024, 3 * 512 * 1024, 16 * 1024 * 1024, 256, 1024};
}

int ParseSampleSize(const QString& text)
{
    static const QList<QPair<QChar, double>> units{{'K', 1024.0}, {'M', 1024.0 * 1024.0}};
    QString number = text.trimmed().toUpper();
    double factor = 1.0;
    for (const auto& unit : units)
    {
        if (number.endsWith(unit.first))
        {
            factor = unit.second;
            number.chop(1);
        }
    }
    bool ok = false;
    const double value = number.toDouble(&ok) * factor;
    // The largest image a package may hold stays well inside an int.
    if (!ok || value < 0 || value > 1024.0 * 1024.0 * 1024.0 || value != double(qint64(value)))
        return -1;
    return int(value);
}

QByteArray SampleContent(int size, quint32 seed)
{
    // Deterministic, so two samples hold the same binaries.
    QByteArray data(size, '\0');
    quint32 state = seed * 2654435761u + 1;
    for (int i = 0; i < size; ++i)
    {
        state = state * 1664525u + 1013904223u;
        data[i] = char(state >> 24);
    }
    for (int edge = BLOCK_BYTES; edge < size; edge += BLOCK_BYTES)
    {
        data[edge - 1] = ESCAPE_BYTE;
        data[edge] = ESCAPE_BYTE;
    }
    return data;
}

QStringList SampleBinaries()
{
    QStringList paths;
    for (const T_SAMPLE_BINARY& binary : BINARIES)
        paths << QString::fromLatin1(binary.Path);
    return paths;
}

Bool WriteSamplePackage(const QString& folder, const T_SAMPLE_OPTIONS& options, QString& error)
{
    const QDir root(folder);
    if (options.Sizes.size() != int(std::size(BINARIES)))
    {
        error = QStringLiteral("%1 binary sizes given, %2 needed")
                    .arg(options.Sizes.size())
                    .arg(std::size(BINARIES));
        return false;
    }
    for (int i = 0; i < options.Sizes.size(); ++i)
    {
        if (!WriteFile(root.filePath(BINARIES[i].Path), SampleContent(options.Sizes.at(i), BINARIES[i].Seed),
                       error))
            return false;
    }

    const QString version = QStringLiteral("[General]\nversion=%1\ncompatibility=%2\n")
                                .arg(options.Version)
                                .arg(options.Compatible ? 1 : 0);
    if (!WriteFile(root.filePath("CONF/version.ini"), version.toUtf8(), error))
        return false;

    const Bool serial = !options.SerialPort.isEmpty();
    const QString link = options.Usb ? QStringLiteral("USB")
                         : serial    ? QStringLiteral("COM")
                                     : QStringLiteral("UDP");
    QJsonObject communication{{"type", link}, {"node-addr", 1}};
    if (options.Usb)
        communication.insert("parameters", QJsonObject{{"vid", "03EB"}, {"pid", "6124"}});
    else if (serial)
        communication.insert("parameters", QJsonObject{{"port", options.SerialPort}});
    else
        communication.insert("parameters", QJsonObject{{"local-addr", "127.0.0.1"},
                                                       {"local-port", 0},
                                                       {"remote-addr", "127.0.0.1"},
                                                       {"remote-port", int(options.UdpPort)}});

    QJsonArray basics;
    if (options.Recovery)
    {
        // The ROM monitor loads the RAM boot loader, which then rewrites the
        // resident one; both listed before the step that checks it.
        basics.append(Component("STEP_SAMBA_PROGRAM_RAM", link, "MICRO_SAMBA", "BINARIES/MICRO/ORLEX_RAM.bin",
                                "RAM_SAMBA", "0x20001000", "0x20001000", "jump"));
        basics.append(Component("STEP_RAM_PROGRAM_RESIDENT", link, "MICRO",
                                "BINARIES/MICRO/ORLEX_RESIDENT.bin", "RESIDENT", "0x00400000", "0x00400000",
                                "reset"));
    }
    QJsonObject ram = Component("STEP_RESIDENT_PROGRAM_RAM", link, "MICRO", "BINARIES/MICRO/ORLEX_RAM.bin",
                                "RAM", "0x20001000", "0x20001000", "jump");
    if (options.Recovery)
        ram.insert("binary-verification",
                   QJsonObject{{"path", "BINARIES/MICRO/ORLEX_RESIDENT.bin"}, {"base-addr", "0x00400000"}});
    basics.append(ram);
    // The main firmware is checked against itself, so an up-to-date device is not reprogrammed.
    QJsonObject main = Component("STEP_RAM_PROGRAM_MAIN", link, "MICRO", "BINARIES/MICRO/ORLEX_MAIN.bin",
                                 "APP", "0x00410000", "0x00410000", "none");
    main.insert("binary-verification",
                QJsonObject{{"path", "BINARIES/MICRO/ORLEX_MAIN.bin"}, {"base-addr", "0x00410000"}});
    basics.append(main);
    basics.append(Component("STEP_RAM_PROGRAM_FPGA_0", link, "MICRO", "BINARIES/FPGA/CORVAL.bin", "FPGA_0",
                            "0x0", "0x0", "none"));
    basics.append(Component("STEP_RAM_PROGRAM_EDID_0", link, "MICRO", "BINARIES/EDID/EDID.bin", "EDID_0",
                            "0x0", "0x0", "none"));
    basics.append(Component("STEP_RAM_PROGRAM_HDCP_0", link, "MICRO", "BINARIES/HDCP/HDCP.bin", "HDCP_0",
                            "0x0", "0x0", "none"));
    basics.append(Component("STEP_FINAL_RESET", link, "MICRO", "", "RESIDENT", "0", "0", "reset"));
    for (int i = basics.size() - 1; i >= 0; --i)
    {
        if (options.Without.contains(basics.at(i).toObject().value("name").toString()))
            basics.removeAt(i);
    }

    const QJsonObject card{
        {"info",
         QJsonObject{{"backend_slot", 0},
                     {"details", QJsonArray{QJsonObject{{"type", "BOX"},
                                                        {"communication", QJsonArray{communication}}}}}}},
        {"components", QJsonObject{{"basics", basics}, {"revisions", QJsonArray()}}}};
    const QJsonObject document{{"box_updater_cards", QJsonArray{card}}};
    return WriteFile(root.filePath("CONF/components.json"),
                     QJsonDocument(document).toJson(QJsonDocument::Indented), error);
}
