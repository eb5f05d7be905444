// The simulator's input path: the bytes a host sends on a link. The first
// byte chooses the link kind and how the rest is read: either as a raw byte
// stream cut into chunks, or as payloads that are each wrapped in a well-formed
// node message for the device, so that the TBP boot loader behind the CRC is
// reached too.
#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

#include "NODEMESSAGE_ClassNodeMsgTx.h"
#include "SIM_ClassDevice.h"
#include "SIM_ClassLinkSession.h"
#include "SIM_ClassNodeEndpoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_simulator_input";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    if (size < 1)
        return 0;

    T_SIM_OPTIONS options;
    options.BufferFullEvery = 3;
    options.ShaBlockSize = 64;
    // No erase time: nothing would run the timer that ends it, and later input would only wait.
    options.Timing = T_SIM_TIMING{0, 0};
    CLASS_SIM_DEVICE device(options);
    QString error;
    device.Start(error);
    const uint8_t mode = data[0];
    CLASS_SIM_LINK_SESSION session(&device, QStringLiteral("fuzz"), (mode & 1) != 0);
    CLASS_SIM_NODE_ENDPOINT endpoint(&device, &session);

    size_t position = 1;
    while (position < size)
    {
        // Each record: one length byte, then that many bytes.
        const size_t length = qMin<size_t>(data[position], size - position - 1);
        const QByteArray record(reinterpret_cast<const char*>(data) + position + 1, int(length));
        position += 1 + length;
        if (mode & 2)
            session.Feed(CLASS_NODEMESSAGE_TX::FrameMessage(0, options.NodeAddress, Byte(record.size() % 3),
                                                            Word(position), record));
        else
            session.Feed(record);
        // Bounded whatever arrives: an unfinished node message, a text line and a SAM-BA write.
        if (session.PendingBytes() > CLASS_SIM_LINK_SESSION::MAX_NODE_FRAME_BYTES + 256 +
                                         int(CLASS_SIM_DEVICE_MEMORY::MAX_CONTENT_SIZE))
            std::abort();
    }
    return 0;
}
