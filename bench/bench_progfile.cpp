// Producing every transmission of a 16 MiB binary: TBP frames (128-byte
// DATA_FILE blocks with the running SHA-1) and SAM-BA raw blocks.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassProgFileWithAtmelAscii.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROTOCOL/PROG_ClassProgFileWithTBP.h"

namespace
{
constexpr int BINARY_SIZE = 16 * 1024 * 1024;

// One 16 MiB binary on disk and in memory for the whole run.
CLASS_BINARY_INFORMATIONS& Binary()
{
    static QTemporaryDir folder;
    static CLASS_BINARY_INFORMATIONS* binary = []
    {
        QByteArray content(BINARY_SIZE, '\0');
        for (int i = 0; i < content.size(); ++i)
            content[i] = char((i * 131 + (i >> 9)) & 0xFF);
        QFile file(folder.filePath("big.bin"));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return static_cast<CLASS_BINARY_INFORMATIONS*>(nullptr);
        file.close();
        return new CLASS_BINARY_INFORMATIONS(file.fileName(), 0x00400000, 0x00400000);
    }();
    return *binary;
}

void Run(benchmark::State& state, CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL& file)
{
    const char* const stored = Binary().GetData().constData();
    qint64 frames = 0;
    qint64 bytes = 0;
    QObject::connect(
        &file, QOverload<QByteArray, QString>::of(&CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::SIGNAL_SendData),
        [&](QByteArray data, QString)
        {
            ++frames;
            bytes += data.size();
        });
    for (auto _ : state)
    {
        file.ReInitProgrammationWorker();
        file.Rewind();
        while (!file.IsFinished())
            file.ProgrammationWorker();
    }
    if (Binary().GetData().constData() != stored)
        state.SkipWithError("the binary was copied");
    state.SetBytesProcessed(qint64(state.iterations()) * BINARY_SIZE);
    state.counters["frames"] = benchmark::Counter(double(frames) / double(state.iterations()));
    state.counters["wire_bytes"] = benchmark::Counter(double(bytes) / double(state.iterations()));
}

void BM_TbpFramesOf16MiB(benchmark::State& state)
{
    // FPGA_0 has no erase wait, so only the frame production is measured.
    CLASS_PROG_FILE_WITH_TBP file(&Binary(), COMPONENT_TYPE_FPGA_0, CARD_TYPE_BOX);
    Run(state, file);
    benchmark::DoNotOptimize(file.GetShaResult());
}
BENCHMARK(BM_TbpFramesOf16MiB)->Unit(benchmark::kMillisecond);

void BM_SambaBlocksOf16MiB(benchmark::State& state)
{
    CLASS_PROG_FILE_WITH_ATMEL_ASCII file(&Binary());
    Run(state, file);
}
BENCHMARK(BM_SambaBlocksOf16MiB)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
