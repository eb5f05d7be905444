#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>

#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "Types.h"

// Turns one binary into the sequence of transmissions a target needs, one per
// ProgrammationWorker call, handed out through SIGNAL_SendData. The updater
// decides when the next one is wanted.
class CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL : public QObject
{
    Q_OBJECT
public:
    // The binary is not owned; it may be null (treated as empty and never loaded).
    explicit CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL(CLASS_BINARY_INFORMATIONS* binary,
                                                    QObject* parent = nullptr);
    ~CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL() override = default;

    virtual Byte GetCurrentCommand();
    virtual void ProgrammationWorker() = 0;
    virtual void Rewind() = 0;
    virtual void SendJump() = 0;
    virtual void ReInitProgrammationWorker();

    CLASS_BINARY_INFORMATIONS* GetBinary() const { return m_Binary; }
    // Offset and finished flag are also read by the box updater's thread while it polls.
    DWord GetOffset() const { return m_Offset.load(); }
    void SetOffset(DWord offset) { m_Offset.store(offset); }
    Bool IsFinished() const { return m_Finished.load(); }

    // Message + line feed on standard output, and an error trace.
    void LogError(const QString& message);

signals:
    void SIGNAL_SendData(QByteArray dataToSend, QString portInfo);
    void SIGNAL_SendData(QByteArray dataToSend);
    void SIGNAL_DisplayDebug(QString message);

protected:
    // Shared view of the binary's content (no copy); empty without binary.
    QByteArray BinaryData() const;
    QString BinaryPath() const;
    DWord BinarySize() const;
    Bool BinaryLoaded() const;

    // Sets finished once the whole loaded binary has been handed over.
    void UpdateFinished();

    CLASS_BINARY_INFORMATIONS* const m_Binary;
    std::atomic<DWord> m_Offset;
    std::atomic<Bool> m_Finished;
};
