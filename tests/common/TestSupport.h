#pragma once

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

// Helpers shared by the test executables: scratch folders and child processes
// that never see the real home, data or temp folders.
namespace TestSupport
{
inline QString BinaryDir()
{
    return qEnvironmentVariable("QRN_BINARY_DIR");
}

// Reproducible bytes that look like a binary (every value occurs, no short period).
inline QByteArray Pattern(int size, int seed = 1)
{
    QByteArray data(size, '\0');
    quint32 value = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i)
    {
        value = value * 1103515245u + 12345u;
        data[i] = char(value >> 16);
    }
    return data;
}

// Writes data to name inside dir; the file's path, or empty when it could not be written.
inline QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& data)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        return QString();
    return path;
}

// Environment for a child process whose home, data and temp folders are under root.
inline QProcessEnvironment IsolatedEnvironment(const QString& root)
{
    for (const char* folder : {"home", "data", "tmp", "runtime"})
        QDir().mkpath(root + "/" + folder);
    QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", root + "/home");
    env.insert("XDG_DATA_HOME", root + "/data");
    env.insert("TMPDIR", root + "/tmp");
    env.insert("XDG_RUNTIME_DIR", root + "/runtime");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}
} // namespace TestSupport
