#pragma once

#include <QCryptographicHash>

#include <atomic>
#include <functional>

#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassAbstractProgFileWithProtocol.h"

// Cuts a binary into the TBP frames a boot loader needs:
// [SET_COMPONENT] SET_ADDR START_SEND DATA_FILE... (128-byte blocks), one per
// ProgrammationWorker call, keeping a running SHA-1 of the blocks produced.
class CLASS_PROG_FILE_WITH_TBP : public CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL
{
    Q_OBJECT
public:
    // TBP codes of the frames this file produces.
    static constexpr Byte COMMAND_SET_COMPONENT = 0x11;
    static constexpr Byte COMMAND_SET_ADDR = 0x12;
    static constexpr Byte COMMAND_START_SEND = 0x13;
    static constexpr Byte COMMAND_DATA_FILE = 0x14;

    static constexpr DWord DATA_FILE_BLOCK_SIZE = 128;

    // Flash erase time of the targets: ERASE_MS_PER_UNIT ms per ERASE_UNIT_BYTES, plus 25 %.
    static constexpr DWord ERASE_MS_PER_UNIT = 1500;
    static constexpr DWord ERASE_UNIT_BYTES = 128000;
    static constexpr float ERASE_MARGIN = 1.25f;

    // Blocks the calling thread for the given milliseconds.
    using T_ERASE_WAIT = std::function<void(DWord milliseconds)>;

    CLASS_PROG_FILE_WITH_TBP(CLASS_BINARY_INFORMATIONS* binary, T_COMPONENT_TYPE componentType,
                             T_CARD_TYPE cardType, QObject* parent = nullptr);

    Byte GetCurrentCommand() override { return m_NextCommand.load(); }
    void ProgrammationWorker() override;
    void Rewind() override;
    void SendJump() override;
    void ReInitProgrammationWorker() override;

    // SHA-1 of the blocks produced since the previous call (20 bytes); restarts the digest.
    QByteArray GetShaResult();

    DWord GetComponentId() const { return m_ComponentId; }
    T_CARD_TYPE GetCardType() const { return m_CardType; }
    T_COMPONENT_TYPE GetComponentType() const { return m_ComponentType; }

    // Wait after START_SEND for a binary of the given size, in milliseconds.
    static DWord EraseWaitMs(DWord sizeInBytes);

    // Replaces the sleep after START_SEND (tests shorten it; the duration asked stays the computed one).
    void SetEraseWait(T_ERASE_WAIT eraseWait);

private:
    void SendFrame(const QByteArray& frame, const char* debugText);

    QCryptographicHash m_Hash;
    std::atomic<Byte> m_NextCommand;
    DWord m_ComponentId;
    const T_CARD_TYPE m_CardType;
    const T_COMPONENT_TYPE m_ComponentType;
    T_ERASE_WAIT m_EraseWait;
};
