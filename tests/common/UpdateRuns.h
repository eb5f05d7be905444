#pragma once

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <functional>

#include "SimulatorPeers.h"
#include "TestSupport.h"

// Runs of the real programs (qrn207-updater, ktp-tool) for the end-to-end
// tests, each "machine" with its own home, data and temporary folders, and
// what they leave behind: traces, the simulator's event log and state file.
namespace UpdateRuns
{
// Generous: one update sleeps several seconds per step on a loaded machine.
const int UPDATE_TIMEOUT_MS = 240000;
const int TOOL_TIMEOUT_MS = 60000;
// What end-to-end runs wait before each step instead of its 5 s.
const int START_WAIT_MS = 300;

struct T_RUN
{
    int ExitCode = -1;
    QString Output; // standard output and error
    bool Finished = false;
};

inline QByteArray Sha1(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool Tool(const QStringList& arguments)
{
    QProcess process;
    process.start(TestSupport::BinaryDir() + "/ktp-tool", arguments);
    if (!process.waitForFinished(TOOL_TIMEOUT_MS))
        return false;
    if (process.exitCode() != 0)
        qWarning("ktp-tool %s: %s", qPrintable(arguments.join(' ')),
                 process.readAllStandardError().constData());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

inline T_RUN RunUpdater(const QProcessEnvironment& environment, const QStringList& arguments,
                        int timeoutMs = UPDATE_TIMEOUT_MS)
{
    T_RUN run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(TestSupport::BinaryDir() + "/qrn207-updater", arguments);
    run.Finished = process.waitForFinished(timeoutMs);
    if (!run.Finished)
        process.kill();
    process.waitForFinished();
    run.Output = QString::fromUtf8(process.readAllStandardOutput());
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

// Every trace line of a kind ("ERROR", "INFO") the program wrote under root.
inline QString Traces(const QString& root, const QString& kind)
{
    QString text;
    QDirIterator files(root + "/data", {"*_" + kind + "_*.log"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        text += QString::fromUtf8(ReadFile(files.next()));
    return text;
}

using SimulatorPeers::Events;

// Events of a command the simulator received ("rx") or sent ("tx").
inline int CountEvents(const QList<QJsonObject>& events, const QString& direction, const QString& command)
{
    int count = 0;
    for (const QJsonObject& event : events)
        count +=
            event.value("direction").toString() == direction && event.value("command").toString() == command;
    return count;
}

// id -> sha1 of the components the simulator's state file holds.
inline QHash<int, QByteArray> StoredComponents(const QString& statePath)
{
    QHash<int, QByteArray> stored;
    const QJsonObject state = QJsonDocument::fromJson(ReadFile(statePath)).object();
    for (const QJsonValue& value : state.value("components").toArray())
    {
        const QJsonObject component = value.toObject();
        stored.insert(component.value("id").toInt(),
                      Sha1(QByteArray::fromBase64(component.value("data").toString().toLatin1())));
    }
    return stored;
}

// A device state whose resident boot loader is out of date: the update takes the SAM-BA road.
inline bool WriteStaleResidentState(const QString& statePath)
{
    QFile file(statePath);
    return file.open(QIODevice::WriteOnly) &&
           file.write(
               R"({"format": "qrn207-sim-state", "components": [], "resident": [{"address": "0x00400000", "data": ")" +
               QByteArray(3000, 'Z').toBase64() + "\"}]}") > 0;
}

// A scratch folder holding package trees, packages and one folder per machine.
class T_SCRATCH
{
public:
    bool IsValid() const { return m_Dir.isValid(); }
    QString FilePath(const QString& name) const { return m_Dir.filePath(name); }

    // A fresh machine: its own home, data and temporary folders.
    QString NewRoot()
    {
        const QString root = m_Dir.filePath(QString::number(++m_Case));
        QDir().mkpath(root);
        return root;
    }

    static QProcessEnvironment Environment(const QString& root)
    {
        QProcessEnvironment env = TestSupport::IsolatedEnvironment(root);
        // Each step's 5 s start wait is a sleep the unit tests cover; end-to-end runs
        // keep every other wait (the erase waits above all) as the device needs them.
        env.insert("QRN207_TEST_START_WAIT_MS", QString::number(START_WAIT_MS));
        return env;
    }

    // Sample tree (with ktp-tool sample arguments), optionally edited, then packed.
    QString MakePackage(const QString& name, const QStringList& sampleArguments,
                        const std::function<void(const QString&)>& edit = nullptr)
    {
        const QString tree = m_Dir.filePath("trees/" + name);
        const QString package = m_Dir.filePath("packages/" + name + ".ktp");
        QDir().mkpath(m_Dir.filePath("packages"));
        if (!Tool(QStringList{"sample", tree} + sampleArguments))
            return QString();
        if (edit)
            edit(tree);
        return Tool({"pack", tree, package}) ? package : QString();
    }
    QByteArray TreeSha1(const QString& name, const QString& binary) const
    {
        return Sha1(ReadFile(m_Dir.filePath("trees/" + name + "/" + binary)));
    }
    // The sample's binaries the device (its state file) does not hold: none once it is updated.
    QStringList MissingOnDevice(const QString& statePath, const QString& name) const
    {
        const QHash<int, QByteArray> stored = StoredComponents(statePath);
        QStringList missing;
        const QList<QPair<int, QString>> binaries{{0x00, "MICRO/ORLEX_RAM.bin"},
                                                  {0x01, "MICRO/ORLEX_MAIN.bin"},
                                                  {0x10, "FPGA/CORVAL.bin"},
                                                  {0x20, "EDID/EDID.bin"},
                                                  {0x40, "HDCP/HDCP.bin"}};
        for (const auto& binary : binaries)
        {
            if (stored.value(binary.first) != TreeSha1(name, "BINARIES/" + binary.second))
                missing << binary.second;
        }
        return missing;
    }

private:
    QTemporaryDir m_Dir;
    int m_Case = 0;
};
} // namespace UpdateRuns
