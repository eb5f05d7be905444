#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"

#include <QFile>
#include <QFileInfo>

#include "Traces.h"

CLASS_BINARY_INFORMATIONS::CLASS_BINARY_INFORMATIONS(const QString& path, DWord baseAddress,
                                                     DWord jumpAddress, QObject* parent)
    : QObject(parent), m_Path(path), m_BaseAddress(baseAddress), m_JumpAddress(jumpAddress), m_Loaded(false)
{
    // An empty path stands for a component without binary: nothing to say.
    if (m_Path.isEmpty())
        return;

    if (!QFileInfo::exists(m_Path))
    {
        TraceError(TRACE_POS + "Cannot found programmation file at path \"" + m_Path + "\"");
        return;
    }

    QFile file(m_Path);
    if (!file.open(QIODevice::ReadOnly))
    {
        TraceError(TRACE_POS + "Cannot open programmation file at path \"" + m_Path + "\"");
        return;
    }
    QByteArray content = file.readAll();
    // A short read (I/O error) must not pass for a complete binary.
    if (file.error() != QFileDevice::NoError)
    {
        TraceError(TRACE_POS + "Cannot read programmation file at path \"" + m_Path +
                   "\": " + file.errorString());
        return;
    }
    file.close();
    m_Data = content;
    m_Loaded = true;
}
