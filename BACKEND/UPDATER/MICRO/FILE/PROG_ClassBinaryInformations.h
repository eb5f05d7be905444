#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "Types.h"

// One programming file held in memory with the target addresses the
// configuration gives for it. Read once at construction, never changed
// afterwards, so any thread may read it; the content is handed out as an
// implicitly shared byte array, never copied whole.
class CLASS_BINARY_INFORMATIONS : public QObject
{
    Q_OBJECT
public:
    CLASS_BINARY_INFORMATIONS(const QString& path, DWord baseAddress, DWord jumpAddress,
                              QObject* parent = nullptr);

    const QString& GetName() const { return m_Path; }
    // Shares the content (no deep copy).
    QByteArray GetData() const { return m_Data; }
    DWord GetSize() const { return static_cast<DWord>(m_Data.size()); }
    DWord GetBaseAddress() const { return m_BaseAddress; }
    DWord GetJumpAddress() const { return m_JumpAddress; }
    Bool IsLoaded() const { return m_Loaded; }

private:
    const QString m_Path;
    QByteArray m_Data;
    const DWord m_BaseAddress;
    const DWord m_JumpAddress;
    Bool m_Loaded;
};
