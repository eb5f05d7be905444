// The node-message receiver must never crash and must keep its buffer bounded,
// whatever arrives and however it is cut into chunks.
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QCoreApplication>

#include "NODEMESSAGE_ClassNodeMsgRx.h"
#include "NODEMESSAGE_ClassNodeMsgTx.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: own address; the rest is the stream, cut into chunks whose sizes come from the stream.
    CLASS_NODEMESSAGE_TX transmitter(data[0], 3000, true);
    CLASS_NODEMESSAGE_RX receiver(data[0], &transmitter);
    size_t offset = 1;
    size_t delivered = 0;
    QObject::connect(&receiver, &CLASS_NODEMESSAGE_RX::SIGNAL_NewMsgAvailable,
                     [&delivered](const QByteArray&, Byte) { ++delivered; });
    while (offset < size)
    {
        const size_t chunk = 1 + data[offset] % 64;
        const size_t length = chunk < size - offset ? chunk : size - offset;
        receiver.DecodeReceivedData(
            QByteArray(reinterpret_cast<const char*>(data + offset), static_cast<int>(length)));
        offset += length;
        if (receiver.GetBufferedSize() > CLASS_NODEMESSAGE_RX::MAX_MESSAGE_SIZE + 1)
            __builtin_trap();
    }
    // Each delivered message needed at least its two markers and five header bytes.
    if (delivered * 9 > size)
        __builtin_trap();
    return 0;
}
