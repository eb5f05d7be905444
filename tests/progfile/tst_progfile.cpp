#include <QtTest>

#include <QStandardPaths>
#include <QTemporaryDir>

#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassSambaMonitor.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROTOCOL/PROG_ClassProgFileWithTBP.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"
#include "TestSupport.h"
#include "TraceCapture.h"

namespace
{
using TestSupport::Pattern;

// Every SIGNAL_SendData(data, portInfo) of a programming file, in order.
struct SentFrames
{
    QList<QByteArray> frames;
    QStringList portInfos;

    explicit SentFrames(CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file)
    {
        QObject::connect(
            file,
            QOverload<QByteArray, QString>::of(&CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL::SIGNAL_SendData),
            [this](QByteArray data, QString info)
            {
                frames << data;
                portInfos << info;
            });
    }
};

// The block carried by a DATA_FILE frame, read straight from the wire layout:
// 3A 14 00 02 00, then BLOCK_DATA (id 14 00, size, bytes), then BLOCK_DATA_SIZE.
QByteArray DataFileBlock(const QByteArray& frame)
{
    if (frame.size() < 9 || !frame.startsWith(QByteArray("\x3A\x14\x00\x02\x00\x14\x00", 7)))
        return QByteArray("not a DATA_FILE frame");
    const int size = quint8(frame[7]) | (quint8(frame[8]) << 8);
    const QByteArray tail = frame.mid(9 + size);
    const QByteArray expectedTail = QByteArray("\x15\x00\x02\x00", 4) + char(size & 0xFF) + char(size >> 8);
    if (tail != expectedTail)
        return QByteArray("bad BLOCK_DATA_SIZE");
    return frame.mid(9, size);
}

QByteArray Sha1(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

template <typename V> QByteArray Frame(Bool (*format)(QByteArray&, V), qint64 value)
{
    QByteArray frame;
    return format(frame, V(value)) ? frame : QByteArray("format failed");
}
} // namespace

class TestProgFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;

    QString WriteFile(const QString& name, const QByteArray& content)
    {
        return TestSupport::WriteFile(m_Scratch, name, content);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.filePath("traces")));
    }

    void sambaCommands_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("expected");
        using S = CLASS_SAMBA_MONITOR;
        const auto row = [](const char* name, const QByteArray& command, const char* expected)
        { QTest::newRow(name) << command << QByteArray(expected); };
        row("write file", S::BuildWriteFile(0x20000000, 256), "S20000000,00000100#");
        row("write file full block", S::BuildWriteFile(0x20000000, 0xFC00), "S20000000,0000FC00#");
        row("go", S::BuildGo(0x20000000), "G20000000#");
        row("write word", S::BuildWriteWord(0x400E0A00, 0xDEADbeef), "W400E0A00,DEADBEEF#");
        row("write half-word keeps 16 bits", S::BuildWriteHalfWord(0x10, 0x12345678), "H10,5678#");
        row("write byte keeps 8 bits", S::BuildWriteByte(0xFF, 0x1AB), "OFF,AB#");
    }

    void sambaCommands()
    {
        QFETCH(QByteArray, command);
        QTEST(command, "expected");
    }

    void tbpSequenceOfAnApp()
    {
        const QByteArray content = Pattern(300);
        CLASS_BINARY_INFORMATIONS binary(WriteFile("app300.bin", content), 0x00400000, 0x00400100);
        CLASS_PROG_FILE_WITH_TBP file(&binary, COMPONENT_TYPE_APP, CARD_TYPE_BOX);
        QList<DWord> waits;
        file.SetEraseWait([&waits](DWord ms) { waits << ms; });
        SentFrames sent(&file);

        file.ReInitProgrammationWorker();
        QCOMPARE(file.GetComponentId(), DWord(0x01));
        QList<Byte> commands;
        while (!file.IsFinished() && sent.frames.size() < 20)
        {
            commands << file.GetCurrentCommand();
            file.ProgrammationWorker();
        }
        QCOMPARE(commands, QList<Byte>({0x11, 0x12, 0x13, 0x14, 0x14, 0x14}));
        QCOMPARE(sent.frames.size(), 6);
        QCOMPARE(sent.frames[0], QByteArray("\x3A\x11\x00\x01\x00\x11\x00\x01\x00\x01", 10));
        QCOMPARE(sent.frames[1], Frame(&CLASS_TBP_MVRUPDATER::FormatSetAddr, 0x00400000));
        QCOMPARE(sent.frames[2], Frame(&CLASS_TBP_MVRUPDATER::FormatStartSend, 300));
        QCOMPARE(DataFileBlock(sent.frames[3]), content.mid(0, 128));
        QCOMPARE(DataFileBlock(sent.frames[4]), content.mid(128, 128));
        QCOMPARE(DataFileBlock(sent.frames[5]), content.mid(256, 44));
        QCOMPARE(sent.portInfos, QStringList(QVector<QString>(6).toList()));
        QCOMPARE(waits, QList<DWord>({3})); // 300 × 1500 / 128000 = 3, × 1.25 = 3.75
        QCOMPARE(file.GetOffset(), DWord(300));

        // Finished only once the third block left, and nothing more after it.
        file.ProgrammationWorker();
        QCOMPARE(sent.frames.size(), 6);
        QCOMPARE(file.GetShaResult(), Sha1(content));

        file.SendJump();
        QCOMPARE(sent.frames.last(), Frame(&CLASS_TBP_MVRUPDATER::FormatJump, 0x00400100));
        QCOMPARE(file.GetCurrentCommand(), Byte(0x13));
    }

    void tbpFirstFrameByComponentType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("reInit");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<DWord>("componentId");
        const auto row = [](const char* name, int type, bool reInit, DWord id, QByteArray first = {})
        {
            first = first.isEmpty() ? Frame(&CLASS_TBP_MVRUPDATER::FormatSetComponent, id) : first;
            QTest::newRow(name) << type << reInit << first << id;
        };
        row("fresh file", COMPONENT_TYPE_APP, false, 0xFF);
        row("RESIDENT", COMPONENT_TYPE_RESIDENT, true, 0xFF,
            Frame(&CLASS_TBP_MVRUPDATER::FormatSetAddr, 0x1000));
        row("APP", COMPONENT_TYPE_APP, true, 0x01);
        row("FPGA_0", COMPONENT_TYPE_FPGA_0, true, 0x10);
        row("EDID_0", COMPONENT_TYPE_EDID_0, true, 0x20);
        row("HDCP_0", COMPONENT_TYPE_HDCP_0, true, 0x40);
        row("RAM", COMPONENT_TYPE_RAM, true, 0x00);
    }

    void tbpFirstFrameByComponentType()
    {
        QFETCH(int, type);
        QFETCH(bool, reInit);
        QFETCH(QByteArray, first);
        QFETCH(DWord, componentId);
        CLASS_BINARY_INFORMATIONS binary(WriteFile("small.bin", Pattern(10)), 0x1000, 0);
        CLASS_PROG_FILE_WITH_TBP file(&binary, T_COMPONENT_TYPE(type), CARD_TYPE_BOX);
        file.SetEraseWait([](DWord) {});
        SentFrames sent(&file);
        if (reInit)
        {
            // A file that already ran once starts again from its first frame.
            file.ReInitProgrammationWorker();
            while (!file.IsFinished())
                file.ProgrammationWorker();
            file.GetShaResult();
            file.ReInitProgrammationWorker();
            sent.frames.clear();
        }
        file.ProgrammationWorker();
        QCOMPARE(sent.frames.size(), 1);
        QCOMPARE(sent.frames.first(), first);
        QCOMPARE(file.GetComponentId(), componentId);
    }

    void tbpShaCoversBlocksSincePreviousCall()
    {
        const QByteArray content = Pattern(1000);
        CLASS_BINARY_INFORMATIONS binary(WriteFile("sha.bin", content), 0, 0);
        CLASS_PROG_FILE_WITH_TBP file(&binary, COMPONENT_TYPE_FPGA_0, CARD_TYPE_BOX);
        file.ReInitProgrammationWorker();
        for (int i = 0; i < 3 + 2; ++i) // three command frames, two blocks
            file.ProgrammationWorker();
        QCOMPARE(file.GetShaResult(), Sha1(content.left(256)));
        QCOMPARE(file.GetShaResult(), Sha1(QByteArray()));

        // A rewind mid-way restarts both the blocks and the digest.
        file.ProgrammationWorker();
        file.Rewind();
        QCOMPARE(file.GetOffset(), DWord(0));
        while (!file.IsFinished())
            file.ProgrammationWorker();
        QCOMPARE(file.GetShaResult(), Sha1(content));
    }

    void tbpEraseWait()
    {
        QCOMPARE(CLASS_PROG_FILE_WITH_TBP::EraseWaitMs(128000), DWord(1875));
        QCOMPARE(CLASS_PROG_FILE_WITH_TBP::EraseWaitMs(0), DWord(0));
        QCOMPARE(CLASS_PROG_FILE_WITH_TBP::EraseWaitMs(2000000), DWord(29296)); // 23437 × 1.25
        // Above 2,863,311 bytes a 32-bit product would wrap to a far shorter wait.
        QCOMPARE(CLASS_PROG_FILE_WITH_TBP::EraseWaitMs(4000000), DWord(58593));

        QList<DWord> waits;
        const auto record = [&waits](DWord ms) { waits << ms; };
        CLASS_BINARY_INFORMATIONS binary(WriteFile("erase.bin", Pattern(128000)), 0, 0);
        CLASS_PROG_FILE_WITH_TBP app(&binary, COMPONENT_TYPE_APP, CARD_TYPE_BOX);
        app.SetEraseWait(record);
        app.ReInitProgrammationWorker();
        for (int i = 0; i < 3; ++i)
            app.ProgrammationWorker();
        QCOMPARE(waits, QList<DWord>({1875}));

        CLASS_PROG_FILE_WITH_TBP fpga(&binary, COMPONENT_TYPE_FPGA_0, CARD_TYPE_BOX);
        fpga.SetEraseWait(record);
        fpga.ReInitProgrammationWorker();
        for (int i = 0; i < 4; ++i)
            fpga.ProgrammationWorker();
        QCOMPARE(fpga.GetOffset(), DWord(128));
        QCOMPARE(waits.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestProgFile)
#include "tst_progfile.moc"
