#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassAbstractProgFileWithProtocol.h"

#include <cstdio>

#include "Traces.h"

CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL(
    CLASS_BINARY_INFORMATIONS* binary, QObject* parent)
    : QObject(parent), m_Binary(binary), m_Offset(0), m_Finished(false)
{
}

Byte CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::GetCurrentCommand()
{
    return 0;
}

void CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::ReInitProgrammationWorker()
{
    m_Offset.store(0);
    m_Finished.store(false);
}

void CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::LogError(const QString& message)
{
    // One write per line so lines of several card threads never interleave.
    const QByteArray line = (message + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
    TraceError(TRACE_POS + message);
}

QByteArray CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::BinaryData() const
{
    return m_Binary ? m_Binary->GetData() : QByteArray();
}

QString CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::BinaryPath() const
{
    return m_Binary ? m_Binary->GetName() : QString();
}

DWord CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::BinarySize() const
{
    return m_Binary ? m_Binary->GetSize() : 0;
}

Bool CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::BinaryLoaded() const
{
    return m_Binary && m_Binary->IsLoaded();
}

void CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::UpdateFinished()
{
    if (!m_Finished.load() && BinaryLoaded() && m_Offset.load() >= BinarySize())
        m_Finished.store(true);
}
