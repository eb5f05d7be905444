#include <QtTest>

#include <QStandardPaths>
#include <QTemporaryDir>

#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassProgFileWithAtmelAscii.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassSambaMonitor.h"
#include "TraceCapture.h"

namespace
{
QByteArray Pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 31 + i / 256) & 0xFF);
    return data;
}

// Every SIGNAL_SendData(data, portInfo) of a programming file, in order.
struct SentFrames
{
    QList<QByteArray> frames;
    QStringList portInfos;

    void Attach(CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file)
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
} // namespace

class TestProgFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;

    QString WriteFile(const QString& name, const QByteArray& content)
    {
        QFile file(m_Scratch.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return QString();
        return file.fileName();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.filePath("traces")));
    }

    void cleanupTestCase() { m_Traces.Stop(); }

    void sambaCommands_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("expected");
        using S = CLASS_SAMBA_MONITOR;
        QTest::newRow("write file") << S::BuildWriteFile(0x20000000, 256)
                                    << QByteArray("S20000000,00000100#");
        QTest::newRow("write file full block")
            << S::BuildWriteFile(0x20000000, 0xFC00) << QByteArray("S20000000,0000FC00#");
        QTest::newRow("write file empty")
            << S::BuildWriteFile(0x2000FC01, 0) << QByteArray("S2000FC01,00000000#");
        QTest::newRow("go") << S::BuildGo(0x20000000) << QByteArray("G20000000#");
        QTest::newRow("go short address") << S::BuildGo(0x400abc) << QByteArray("G400ABC#");
        QTest::newRow("terminal") << S::BuildTerminalMode() << QByteArray("T#");
        QTest::newRow("normal") << S::BuildNormalMode() << QByteArray("N#");
        QTest::newRow("version") << S::BuildVersion() << QByteArray("V#");
        QTest::newRow("read file") << S::BuildReadFile(0x200000, 0x100) << QByteArray("R200000,100#");
        QTest::newRow("write word") << S::BuildWriteWord(0x400E0A00, 0xDEADbeef)
                                    << QByteArray("W400E0A00,DEADBEEF#");
        QTest::newRow("read word") << S::BuildReadWord(0x400E0A00) << QByteArray("w400E0A00,4#");
        QTest::newRow("write half-word keeps 16 bits")
            << S::BuildWriteHalfWord(0x10, 0x12345678) << QByteArray("H10,5678#");
        QTest::newRow("read half-word") << S::BuildReadHalfWord(0x10) << QByteArray("h10,#");
        QTest::newRow("write byte keeps 8 bits") << S::BuildWriteByte(0xFF, 0x1AB) << QByteArray("OFF,AB#");
        QTest::newRow("read byte") << S::BuildReadByte(0xFF) << QByteArray("oFF,#");
        QTest::newRow("prompt") << S::PROMPT << QByteArray("\n\r>");
        QTest::newRow("line end") << S::LINE_END << QByteArray("\n\r");
    }

    void sambaCommands()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, expected);
        QCOMPARE(command, expected);
    }

    void appletStatusTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "Operation was successful";
        QTest::newRow("7") << 7 << "No device defined in board.h";
        QTest::newRow("8") << 8 << "Read / write address is not aligned";
        QTest::newRow("9") << 9 << "Read / write found bad block";
        QTest::newRow("10") << 10 << "Unrecognized SAM-BA Monitor Applets status code";
        QTest::newRow("15") << 15 << "Applet failure";
        QTest::newRow("16") << 16 << "Unrecognized SAM-BA Monitor Applets status code";
        QTest::newRow("18") << 18 << "Cancel operation";
        QTest::newRow("-1") << -1 << "Unrecognized SAM-BA Monitor Applets status code";
    }

    void appletStatusTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(CLASS_SAMBA_MONITOR::AppletStatusText(SByte(code)), text);
    }

    void atmelBlocksOfABinary()
    {
        const QByteArray content = Pattern(100000);
        CLASS_BINARY_INFORMATIONS binary(WriteFile("ram.bin", content), 0x20000000, 0x20000000);
        QVERIFY(binary.IsLoaded());
        const char* const stored = binary.GetData().constData();

        CLASS_PROG_FILE_WITH_ATMEL_ASCII file(&binary);
        SentFrames sent;
        sent.Attach(&file);

        file.NextBlock();
        QCOMPARE(sent.frames.size(), 1);
        QCOMPARE(sent.frames[0].size(), 64512);
        QCOMPARE(file.GetOffset(), DWord(64512));
        QVERIFY(!file.IsFinished());

        file.ProgrammationWorker();
        QCOMPARE(sent.frames.size(), 2);
        QCOMPARE(sent.frames[1].size(), 35488);
        QVERIFY(file.IsFinished());
        QCOMPARE(sent.frames[0] + sent.frames[1], content);
        QCOMPARE(sent.portInfos, QStringList({QString(), QString()}));

        // Past the end nothing more goes out.
        file.NextBlock();
        QCOMPARE(sent.frames.size(), 2);
        QVERIFY(file.IsFinished());

        // The blocks were cut out of the binary, which kept its one buffer.
        QCOMPARE(binary.GetData().constData(), stored);

        // Jump belongs to the updater; rewinding starts over.
        file.SendJump();
        QCOMPARE(sent.frames.size(), 2);
        file.Rewind();
        QCOMPARE(file.GetOffset(), DWord(0));
        QVERIFY(!file.IsFinished());
        file.NextBlock();
        QCOMPARE(sent.frames.last(), content.left(64512));
        file.ReInitProgrammationWorker();
        QCOMPARE(file.GetOffset(), DWord(0));
        QCOMPARE(file.GetCurrentCommand(), Byte(0));
    }

    void atmelExactBlock()
    {
        CLASS_BINARY_INFORMATIONS binary(WriteFile("exact.bin", Pattern(64512)), 0, 0);
        CLASS_PROG_FILE_WITH_ATMEL_ASCII file(&binary);
        SentFrames sent;
        sent.Attach(&file);
        file.NextBlock();
        QCOMPARE(sent.frames.size(), 1);
        QVERIFY(file.IsFinished());
    }

    void atmelUnloadedOrEmpty()
    {
        // Never loaded: nothing is sent and the file never ends by itself.
        CLASS_BINARY_INFORMATIONS missing(QString(), 0, 0);
        CLASS_PROG_FILE_WITH_ATMEL_ASCII unloaded(&missing);
        CLASS_PROG_FILE_WITH_ATMEL_ASCII noBinary(nullptr);
        SentFrames sent;
        sent.Attach(&unloaded);
        sent.Attach(&noBinary);
        for (int i = 0; i < 3; ++i)
        {
            unloaded.NextBlock();
            noBinary.NextBlock();
        }
        QVERIFY(sent.frames.isEmpty());
        QVERIFY(!unloaded.IsFinished());
        QVERIFY(!noBinary.IsFinished());

        // Loaded but empty: nothing to send, so it is done at once.
        CLASS_BINARY_INFORMATIONS empty(WriteFile("empty.bin", QByteArray()), 0, 0);
        QVERIFY(empty.IsLoaded());
        CLASS_PROG_FILE_WITH_ATMEL_ASCII emptyFile(&empty);
        sent.Attach(&emptyFile);
        emptyFile.NextBlock();
        QVERIFY(sent.frames.isEmpty());
        QVERIFY(emptyFile.IsFinished());
    }
};

QTEST_GUILESS_MAIN(TestProgFile)
#include "tst_progfile.moc"
