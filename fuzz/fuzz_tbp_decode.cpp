// Decode must never crash, never read outside its buffer and always leave a
// consistent result, whatever a device or a broken cable sends.
#include <cstddef>
#include <cstdint>

#include <QByteArray>

#include "THIRDBLOCKPROTOCOL_ClassTBPErrorProtocol.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"
#include "THIRDBLOCKPROTOCOL_ClassThirdBlockProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so AddressSanitizer flags any read past the frame.
    const QByteArray frame(reinterpret_cast<const char*>(data), static_cast<int>(size));
    for (const TBP_PROTOCOL_DESCRIPTOR* protocol :
         {CLASS_TBP_MVRUPDATER::Protocol(), CLASS_TBP_ERRORPROTOCOL::Protocol()})
    {
        Byte header = 0;
        T_THIRD_BLOCK_PROTOCOL_COMMAND command;
        command.code = 0x1234; // not a code of either protocol
        if (CLASS_THIRD_BLOCK_PROTOCOL::Decode(frame, header, command, protocol))
        {
            if (header != protocol->header)
                __builtin_trap();
            // A known command re-encodes; its text form never crashes either.
            QByteArray encoded;
            if (command.code != 0x1234)
                CLASS_THIRD_BLOCK_PROTOCOL::Encode(header, command, protocol, encoded);
        }
        else
        {
            // A failed decode leaves header 0xFF and an ERROR command of the error protocol.
            if (header != ERROR_PROTOCOL_HEADER || command.code != ERROR_PROTOCOL_CMD_ERROR ||
                command.attributs.size() != 2)
                __builtin_trap();
            if (CLASS_TBP_ERRORPROTOCOL::ErrorToText(command).isEmpty())
                __builtin_trap();
        }
    }
    return 0;
}
