// One 128-byte DATA_FILE each way: TBP encode then node-message framing (what
// the updater puts on the link), and node-message deframing then TBP decode
// (what it does with a frame that arrives).
#include <benchmark/benchmark.h>

#include <QByteArray>

#include "NODEMESSAGE_ClassNodeMsgRx.h"
#include "NODEMESSAGE_ClassNodeMsgTx.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"
#include "THIRDBLOCKPROTOCOL_ClassThirdBlockProtocol.h"

namespace
{
constexpr int BLOCK_SIZE = 128;
constexpr Byte HOST_NODE = 0;
constexpr Byte CARD_NODE = 5;

// Binary-like content, with its share of 0x1B bytes to escape.
QByteArray Block()
{
    QByteArray block(BLOCK_SIZE, '\0');
    for (int i = 0; i < BLOCK_SIZE; ++i)
        block[i] = char((i * 167 + 0x1B) & 0xFF);
    return block;
}

void BM_EncodeAndFrameDataFile(benchmark::State& state)
{
    const QByteArray block = Block();
    Word order = 0;
    std::size_t bytes = 0;
    for (auto _ : state)
    {
        QByteArray frame;
        if (!CLASS_TBP_MVRUPDATER::FormatDataFile(frame, block, BLOCK_SIZE))
        {
            state.SkipWithError("FormatDataFile failed");
            break;
        }
        const QByteArray wire =
            CLASS_NODEMESSAGE_TX::FrameMessage(HOST_NODE, CARD_NODE, NODE_MSG_TYPE_WITH_ACK, order++, frame);
        bytes += std::size_t(wire.size());
        benchmark::DoNotOptimize(wire.constData());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(int64_t(bytes));
}
BENCHMARK(BM_EncodeAndFrameDataFile);

void BM_DeframeAndDecodeDataFile(benchmark::State& state)
{
    QByteArray frame;
    CLASS_TBP_MVRUPDATER::FormatDataFile(frame, Block(), BLOCK_SIZE);
    // Type 0: delivered every time, so each iteration does the full deframe and decode.
    const QByteArray wire =
        CLASS_NODEMESSAGE_TX::FrameMessage(CARD_NODE, HOST_NODE, NODE_MSG_TYPE_NO_ACK, 1, frame);
    CLASS_NODEMESSAGE_RX receiver(HOST_NODE, nullptr);
    int64_t decoded = 0;
    QObject::connect(&receiver, &CLASS_NODEMESSAGE_RX::SIGNAL_NewMsgAvailable,
                     [&decoded](const QByteArray& payload, Byte)
                     {
                         Byte header = 0;
                         T_THIRD_BLOCK_PROTOCOL_COMMAND command;
                         if (CLASS_THIRD_BLOCK_PROTOCOL::Decode(payload, header, command,
                                                                CLASS_TBP_MVRUPDATER::Protocol()) &&
                             command.code == BOOT_CMD_DATA_FILE && command.attributs.size() == 2)
                             ++decoded;
                     });
    for (auto _ : state)
        receiver.DecodeReceivedData(wire);
    if (decoded != int64_t(state.iterations()))
        state.SkipWithError("a frame was not decoded");
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * wire.size());
}
BENCHMARK(BM_DeframeAndDecodeDataFile);
} // namespace

BENCHMARK_MAIN();
