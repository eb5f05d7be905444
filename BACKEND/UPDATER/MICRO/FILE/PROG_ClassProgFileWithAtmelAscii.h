#pragma once

#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassAbstractProgFileWithProtocol.h"

// Hands a binary to the SAM-BA monitor as raw blocks: no framing, no
// checksum; the write-file command sent before each block announces it.
class CLASS_PROG_FILE_WITH_ATMEL_ASCII : public CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL
{
    Q_OBJECT
public:
    explicit CLASS_PROG_FILE_WITH_ATMEL_ASCII(CLASS_BINARY_INFORMATIONS* binary, QObject* parent = nullptr);

    // Emits the next block (at most CLASS_SAMBA_MONITOR::MAX_BLOCK_SIZE bytes).
    void NextBlock();

    void ProgrammationWorker() override { NextBlock(); }
    // Back to the first block, so a reset updater writes the whole binary again.
    void Rewind() override;
    // The monitor's go command is sent by the updater itself.
    void SendJump() override {}
};
