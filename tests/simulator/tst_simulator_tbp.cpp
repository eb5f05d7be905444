#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "HandFrames.h"
#include "SimulatorPeers.h"

using namespace HandFrames;
using namespace SimulatorPeers;

namespace
{
const uint8_t DEVICE_NODE = 1;
const int QUIET_MS = 400; // how long "nothing more comes" is watched

QByteArray Sha1(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

// A host speaking node messages and TBP to the simulator, over UDP or its pseudo-terminal.
class TbpHost
{
public:
    struct T_RESULT
    {
        bool Acked = false;             // the node acknowledgement of what was sent arrived
        QList<T_TBP> Replies;           // TBP frames received, in order
        QList<T_NODE_MESSAGE> Messages; // every node message received
    };

    TbpHost(SimulatorProcess& simulator, bool pty) : m_Pty(pty), m_Udp(simulator.UdpPort())
    {
        if (pty)
            m_PtyOpen = m_PtyPeer.Open(simulator.Announced("pty-path"));
    }
    bool IsOpen() const { return !m_Pty || m_PtyOpen; }

    void SendRaw(const QByteArray& data) { QVERIFY(m_Pty ? m_PtyPeer.Write(data) : m_Udp.Send(data)); }

    // Sends tbp in a node message and collects what comes back until the
    // acknowledgement and `replies` TBP frames have arrived (or the time-out).
    T_RESULT Exchange(const QByteArray& tbp, int replies, uint8_t type = 1, int order = -1,
                      uint8_t destination = DEVICE_NODE, int timeoutMs = ANSWER_TIMEOUT_MS)
    {
        const uint16_t sentOrder = order < 0 ? m_NextOrder++ : uint16_t(order);
        SendRaw(Node(0, destination, type, sentOrder, tbp));
        T_RESULT result;
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired())
        {
            const bool ackDone = result.Acked || type == 0;
            if (ackDone && result.Replies.size() >= replies)
                break;
            m_Stream += ReadSome(50);
            for (const T_NODE_MESSAGE& message : TakeNodeMessages(m_Stream))
            {
                result.Messages.append(message);
                if (message.Type == 3 && message.Payload == U8(sentOrder >> 8) + U8(sentOrder))
                    result.Acked = true;
                if (message.Type == 1 && message.CrcOk)
                {
                    result.Replies.append(ParseTbp(message.Payload));
                    if (AcknowledgeReplies)
                        Acknowledge(message);
                }
            }
        }
        return result;
    }

    void Acknowledge(const T_NODE_MESSAGE& message)
    {
        SendRaw(Node(0, message.Source, 3, m_NextOrder++, U8(message.Order >> 8) + U8(message.Order)));
    }
    bool AcknowledgeReplies = true;

    // Everything that arrives within ms.
    QList<T_NODE_MESSAGE> Collect(int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired())
            m_Stream += ReadSome(50);
        return TakeNodeMessages(m_Stream);
    }

private:
    QByteArray ReadSome(int ms) { return m_Pty ? m_PtyPeer.ReadChunk(ms) : m_Udp.ReceiveDatagram(ms); }

    bool m_Pty;
    bool m_PtyOpen = false;
    UdpPeer m_Udp;
    PtyPeer m_PtyPeer;
    QByteArray m_Stream;
    uint16_t m_NextOrder = 0;
};

QByteArray CheckVersion(uint32_t address, uint32_t size)
{
    return Tbp(CHECK_VERSION, {{A_BASE_ADDR, U32(address)}, {A_FILE_SIZE, U32(size)}});
}

QByteArray TestBinary(int size, int seed)
{
    QByteArray binary;
    for (int i = 0; i < size; ++i)
        binary.append(char((i * 31 + seed) & 0xFF));
    return binary;
}
} // namespace

// The TBP boot loader of the simulator, driven over node messages built by hand.
class TestSimulatorTbp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Dir;

    // A whole programming as the boot TBP updater does it; returns false on the first surprise.
    static void Program(TbpHost& host, const QByteArray& binary, int componentId, uint32_t address,
                        int bufferFullEvery, int* bufferFullSeen = nullptr)
    {
        if (componentId >= 0)
        {
            const auto set = host.Exchange(Tbp(SET_COMPONENT, {{A_COMPONENT_ID, U8(componentId)}}), 1);
            QVERIFY(set.Acked);
            QCOMPARE(set.Replies.value(0).Code, int(ACK));
        }
        QCOMPARE(host.Exchange(Tbp(SET_ADDR, {{A_BASE_ADDR, U32(address)}}), 1).Replies.value(0).Code,
                 int(ACK));
        QCOMPARE(host.Exchange(Tbp(START_SEND, {{A_FILE_SIZE, U32(binary.size())}}), 1).Replies.value(0).Code,
                 int(ACK));
        QCryptographicHash sinceCheck(QCryptographicHash::Sha1);
        int blocks = 0;
        int fullSeen = 0;
        for (int offset = 0; offset < binary.size(); offset += 128)
        {
            const QByteArray block = binary.mid(offset, 128);
            const auto sent = host.Exchange(
                Tbp(DATA_FILE, {{A_BLOCK_DATA, block}, {A_BLOCK_DATA_SIZE, U16(unsigned(block.size()))}}), 1);
            QVERIFY(sent.Acked);
            sinceCheck.addData(block);
            ++blocks;
            const bool full = bufferFullEvery > 0 && blocks % bufferFullEvery == 0;
            QCOMPARE(sent.Replies.value(0).Code, int(full ? BUFFER_FULL : ACK));
            if (full || offset + 128 >= binary.size())
            {
                fullSeen += full ? 1 : 0;
                const auto check = host.Exchange(Tbp(CHECK_SHA), 1);
                QCOMPARE(check.Replies.value(0).Code, int(SHA_STATUS));
                QCOMPARE(check.Replies.value(0).Attributes.value(A_SHA_VALUE), sinceCheck.result());
                sinceCheck.reset();
            }
        }
        QCOMPARE(host.Exchange(Tbp(STOP_SEND), 1).Replies.value(0).Code, int(ACK));
        if (bufferFullSeen)
            *bufferFullSeen = fullSeen;
    }

private slots:
    void programmingAndVersionChecks_data()
    {
        QTest::addColumn<bool>("pty");
        QTest::newRow("udp") << false;
        QTest::newRow("pty") << true;
    }

    // A check of a 16 MiB image answers 16,384 status frames, one at a time as the
    // host acknowledges them: a burst would overflow the host's receive buffer. ABORT
    // ends the check; only the status already in flight comes before its ACK.
    void checkIsPacedAndEndsOnAbort_data() { programmingAndVersionChecks_data(); }
    void checkIsPacedAndEndsOnAbort()
    {
        QFETCH(bool, pty);
        SimulatorProcess simulator;
        QVERIFY(simulator.Start({pty ? "--pty-link" : "--udp-port", pty ? "-" : "0"}));
        TbpHost host(simulator, pty);
        QVERIFY(host.IsOpen());
        host.AcknowledgeReplies = false;
        const auto check = host.Exchange(
            Tbp(CHECK_FPGA_VERSION, {{A_COMPONENT_ID, U8(0x10)}, {A_FILE_SIZE, U32(16 << 20)}}), 1);
        QCOMPARE(check.Replies.size(), 1);
        QCOMPARE(check.Replies.first().Code, int(FPGA_VERSION_STATUS));
        QVERIFY(host.Collect(QUIET_MS).isEmpty());

        host.AcknowledgeReplies = true;
        for (const T_NODE_MESSAGE& message : check.Messages)
        {
            if (message.Type == 1)
                host.Acknowledge(message);
        }
        const auto abort = host.Exchange(Tbp(ABORT), 2, 0);
        QCOMPARE(abort.Replies.size(), 2);
        QCOMPARE(abort.Replies.at(0).Code, int(FPGA_VERSION_STATUS));
        QCOMPARE(abort.Replies.at(0).Number(A_SHA_BLOCK_ID), uint32_t(1));
        QCOMPARE(abort.Replies.at(1).Code, int(ACK));
        QVERIFY(host.Collect(QUIET_MS).isEmpty());
    }
    void programmingAndVersionChecks()
    {
        QFETCH(bool, pty);
        const QString state = m_Dir.filePath(QStringLiteral("state-%1.json").arg(pty));
        const QByteArray binary = TestBinary(1000, 7); // 7 blocks of 128 and one of 104
        const uint32_t address = 0x00410000;
        {
            SimulatorProcess simulator;
            QVERIFY(simulator.Start({pty ? "--pty-link" : "--udp-port", pty ? "-" : "0", "--state", state,
                                     "--buffer-full-every", "3", "--sha-block-size", "256"}));
            TbpHost host(simulator, pty);
            QVERIFY(host.IsOpen());
            // ABORT goes without acknowledgement and is answered by ACK; PING likewise by ACK.
            QCOMPARE(host.Exchange(Tbp(ABORT), 1, 0).Replies.value(0).Code, int(ACK));
            const auto ping = host.Exchange(Tbp(PING), 1);
            QVERIFY(ping.Acked);
            QCOMPARE(ping.Replies.value(0).Code, int(ACK));
            QCOMPARE(ping.Messages.first().Destination, uint8_t(0));
            QCOMPARE(ping.Messages.first().Source, DEVICE_NODE);

            // Empty device: one VERSION_STATUS per 256-byte block, none matching.
            const auto empty = host.Exchange(CheckVersion(address, 1000), 4);
            QCOMPARE(empty.Replies.size(), 4);
            for (int block = 0; block < 4; ++block)
            {
                const T_TBP& status = empty.Replies.at(block);
                QCOMPARE(status.Code, int(VERSION_STATUS));
                QCOMPARE(status.Number(A_SHA_BLOCK_ID), uint32_t(block));
                QCOMPARE(status.Number(A_SHA_BLOCK_SIZE), uint32_t(256));
                QVERIFY(status.Attributes.value(A_SHA_VALUE) != Sha1(binary.mid(block * 256, 256)));
            }

            int bufferFull = 0;
            Program(host, binary, 0x01, address, 3, &bufferFull);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(bufferFull, 2);
            const auto jump = host.Exchange(Tbp(JUMP, {{A_JUMP_ADDR, U32(address)}}), 1);
            QCOMPARE(jump.Replies.value(0).Code, int(ACK));

            const auto programmed = host.Exchange(CheckVersion(address, 1000), 4);
            QCOMPARE(programmed.Replies.size(), 4);
            for (int block = 0; block < 4; ++block)
                QCOMPARE(programmed.Replies.at(block).Attributes.value(A_SHA_VALUE),
                         Sha1(binary.mid(block * 256, 256)));
        }
        // A second run sees what the first programmed.
        SimulatorProcess simulator;
        QVERIFY(simulator.Start({pty ? "--pty-link" : "--udp-port", pty ? "-" : "0", "--state", state}));
        TbpHost host(simulator, pty);
        const auto again = host.Exchange(CheckVersion(address, 1000), 1);
        QCOMPARE(again.Replies.size(), 1);
        QCOMPARE(again.Replies.first().Attributes.value(A_SHA_VALUE), Sha1(binary));
        QCOMPARE(again.Replies.first().Number(A_SHA_BLOCK_SIZE), uint32_t(1024));

        QFile file(state);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject component =
            QJsonDocument::fromJson(file.readAll()).object().value("components").toArray().first().toObject();
        QCOMPARE(component.value("name").toString(), QString("APP"));
        QCOMPARE(component.value("address").toString(), QString("0x00410000"));
        QCOMPARE(QByteArray::fromBase64(component.value("data").toString().toLatin1()), binary);
    }

    void componentChecks()
    {
        SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--udp-port", "0", "--fault-stale-resident"}));
        TbpHost host(simulator, false);

        // EDID: invalid until programmed, then the CRC-32/JAMCRC of the content ("123456789" gives 340BC6D9).
        auto edid = host.Exchange(Tbp(CHECK_EDID_VALIDITY, {{A_COMPONENT_ID, U8(0x20)}}), 1);
        QCOMPARE(edid.Replies.value(0).Code, int(EDID_VALIDITY_STATUS));
        QCOMPARE(edid.Replies.value(0).Number(A_EDID_STATUS), 0u);
        Program(host, "123456789", 0x20, 0, 0);
        edid = host.Exchange(Tbp(CHECK_EDID_VALIDITY, {{A_COMPONENT_ID, U8(0x20)}}), 1);
        QCOMPARE(edid.Replies.value(0).Number(A_EDID_STATUS), 1u);
        QCOMPARE(edid.Replies.value(0).Number(A_CRC_VALUE), 0x340BC6D9u);

        // HDCP and FPGA are kept by component, apart from the micro's address space.
        const QByteArray hdcp = TestBinary(300, 3);
        Program(host, hdcp, 0x40, 0, 0);
        const auto hdcpCheck =
            host.Exchange(Tbp(CHECK_HDCP_VERSION, {{A_COMPONENT_ID, U8(0x40)}, {A_FILE_SIZE, U32(300)}}), 1);
        QCOMPARE(hdcpCheck.Replies.value(0).Code, int(HDCP_VERSION_STATUS));
        QCOMPARE(hdcpCheck.Replies.value(0).Attributes.value(A_SHA_VALUE), Sha1(hdcp));
        const QByteArray fpga = TestBinary(2100, 5);
        Program(host, fpga, 0x10, 0, 0);
        const auto fpgaCheck =
            host.Exchange(Tbp(CHECK_FPGA_VERSION, {{A_COMPONENT_ID, U8(0x10)}, {A_FILE_SIZE, U32(2100)}}), 3);
        QCOMPARE(fpgaCheck.Replies.size(), 3);
        QCOMPARE(fpgaCheck.Replies.at(2).Code, int(FPGA_VERSION_STATUS));
        QCOMPARE(fpgaCheck.Replies.at(2).Attributes.value(A_SHA_VALUE), Sha1(fpga.mid(2048)));

        // Resident boot loader: programmed without SET_COMPONENT, found by address. The stale
        // fault spoils the first check of it only.
        const QByteArray resident = TestBinary(500, 9);
        Program(host, resident, -1, 0x00400000, 0);
        const auto stale = host.Exchange(CheckVersion(0x00400000, 500), 1);
        QVERIFY(stale.Replies.value(0).Attributes.value(A_SHA_VALUE) != Sha1(resident));
        const auto fresh = host.Exchange(CheckVersion(0x00400000, 500), 1);
        QCOMPARE(fresh.Replies.value(0).Attributes.value(A_SHA_VALUE), Sha1(resident));

        // An incomplete transfer is refused by STOP_SEND and nothing is committed.
        QCOMPARE(host.Exchange(Tbp(START_SEND, {{A_FILE_SIZE, U32(200)}}), 1).Replies.value(0).Code,
                 int(ACK));
        const auto stop = host.Exchange(Tbp(STOP_SEND), 1);
        QCOMPARE(stop.Replies.value(0).Code, int(ERROR));
        QCOMPARE(stop.Replies.value(0).Number(A_ERROR_CODE), 2u);
    }

    void nodeConversation()
    {
        SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--udp-port", "0", "--node-address", "7"}));
        TbpHost host(simulator, false);
        // Another node's message and a message with a bad CRC are ignored.
        QVERIFY(host.Exchange(Tbp(PING), 1, 1, 0, DEVICE_NODE, QUIET_MS).Messages.isEmpty());
        host.SendRaw(Node(0, 7, 1, 0, Tbp(PING), false));
        QVERIFY(host.Collect(QUIET_MS).isEmpty());

        auto first = host.Exchange(Tbp(PING), 1, 1, 5, 7);
        QVERIFY(first.Acked);
        QCOMPARE(first.Replies.size(), 1);
        QCOMPARE(first.Messages.first().Source, uint8_t(7));
        // A repetition of a handled order is acknowledged and dropped...
        auto repeat = host.Exchange(Tbp(PING), 1, 2, 5, 7, QUIET_MS);
        QVERIFY(repeat.Acked);
        QCOMPARE(repeat.Replies.size(), 0);
        // ...but the same order with type 1 is a new updater starting over.
        auto restarted = host.Exchange(Tbp(PING), 1, 1, 5, 7);
        QVERIFY(restarted.Acked);
        QCOMPARE(restarted.Replies.size(), 1);
        // A repetition whose first copy was lost is delivered.
        auto recovered = host.Exchange(Tbp(PING), 1, 2, 6, 7);
        QCOMPARE(recovered.Replies.size(), 1);
        // An unknown command is answered by ERROR 3; a bad frame by the error protocol (header FF).
        const auto unknown = host.Exchange(U8(0x3A) + U16(0x09) + U16(0), 1, 1, 7, 7);
        QCOMPARE(unknown.Replies.value(0).Code, int(ERROR));
        QCOMPARE(unknown.Replies.value(0).Number(A_ERROR_CODE), 3u);
        const auto broken = host.Exchange(QByteArray("\x3A\x00"), 1, 1, 8, 7);
        QCOMPARE(broken.Replies.size(), 1);
        QCOMPARE(broken.Messages.last().Payload,
                 QByteArray::fromHex("ff00000200000001000001000100").append('\0')); // location 0, code 0
    }

    void faults_data()
    {
        QTest::addColumn<QStringList>("fault");
        QTest::newRow("lost ack") << QStringList{"--fault-lose-ack", "PING:2"};
        QTest::newRow("bad crc") << QStringList{"--fault-bad-crc", "PING:2"};
        QTest::newRow("error") << QStringList{"--fault-error", "5@PING:2"};
        QTest::newRow("wrong sha") << QStringList{"--fault-wrong-sha", "1"};
        QTest::newRow("silence") << QStringList{"--fault-silence-after", "1"};
        QTest::newRow("split") << QStringList{"--fault-split"};
    }
    void faults()
    {
        QFETCH(QStringList, fault);
        SimulatorProcess simulator;
        QVERIFY(simulator.Start(QStringList{"--udp-port", "0"} + fault));
        TbpHost host(simulator, false);
        const QString name = QTest::currentDataTag();

        const auto first = host.Exchange(Tbp(PING), 1);
        QVERIFY(first.Acked);
        QCOMPARE(first.Replies.value(0).Code, int(ACK));
        if (name == "split")
        {
            // Each reply came in two datagrams, yet whole messages were read back above.
            UdpPeer raw(simulator.UdpPort());
            QVERIFY(raw.Send(Node(0, DEVICE_NODE, 0, 0, Tbp(PING))));
            const QByteArray half = raw.ReceiveDatagram();
            QVERIFY(half.startsWith("\x1B\x02") && !half.endsWith("\x1B\x03"));
            QVERIFY(raw.ReceiveDatagram().endsWith("\x1B\x03"));
            return;
        }
        if (name == "wrong sha")
        {
            QCOMPARE(host.Exchange(Tbp(START_SEND, {{A_FILE_SIZE, U32(4)}}), 1).Replies.value(0).Code,
                     int(ACK));
            host.Exchange(Tbp(DATA_FILE, {{A_BLOCK_DATA, "abcd"}, {A_BLOCK_DATA_SIZE, U16(4)}}), 1);
            const QByteArray wrong =
                host.Exchange(Tbp(CHECK_SHA), 1).Replies.value(0).Attributes.value(A_SHA_VALUE);
            QCOMPARE(wrong.size(), 20);
            QVERIFY(wrong != Sha1("abcd"));
            // Only the first one: the next digest (over no block) is right.
            QCOMPARE(host.Exchange(Tbp(CHECK_SHA), 1).Replies.value(0).Attributes.value(A_SHA_VALUE),
                     Sha1(""));
            return;
        }
        const auto second = host.Exchange(Tbp(PING), 1, 1, -1, DEVICE_NODE, 1500);
        if (name == "lost ack")
        {
            QVERIFY(!second.Acked);
            QCOMPARE(second.Replies.value(0).Code, int(ACK));
        }
        else if (name == "bad crc")
        {
            QVERIFY(second.Acked);
            QCOMPARE(second.Replies.size(), 0);
            bool corrupted = false;
            for (const T_NODE_MESSAGE& message : second.Messages)
                corrupted |= message.Type == 1 && !message.CrcOk && ParseTbp(message.Payload).Code == ACK;
            QVERIFY(corrupted);
        }
        else if (name == "error")
        {
            QVERIFY(second.Acked);
            QCOMPARE(second.Replies.value(0).Code, int(ERROR));
            QCOMPARE(second.Replies.value(0).Number(A_ERROR_CODE), 5u);
        }
        else if (name == "silence")
        {
            QVERIFY(second.Messages.isEmpty());
        }
        // Every fault fires once: the third exchange is normal again (silence lasts).
        const auto third =
            host.Exchange(Tbp(PING), 1, 1, -1, DEVICE_NODE, name == "silence" ? QUIET_MS : 5000);
        QCOMPARE(third.Acked, name != "silence");
        QCOMPARE(third.Replies.size(), name == "silence" ? 0 : 1);
    }

    // Short fuzz smoke run of the real program's input path: random datagrams
    // and pieces of frames; it must stay up and keep answering.
    void garbageOverUdp()
    {
        SimulatorProcess simulator;
        QVERIFY(simulator.Start({"--samba-udp-port", "0"}));
        UdpPeer garbage(quint16(simulator.Announced("samba-udp-port").toUInt()));
        QRandomGenerator random(4242);
        const QList<QByteArray> pieces{"\x1B\x02", "\x1B\x03", "\x1B",        "T#",
                                       "S0,20#",   "\r\n",     "\x3A\x14\x00"};
        for (int i = 0; i < 3000; ++i)
        {
            QByteArray datagram;
            for (int part = random.bounded(1, 5); part > 0; --part)
            {
                if (random.bounded(3) == 0)
                    datagram += pieces.at(random.bounded(pieces.size()));
                QByteArray noise(random.bounded(0, 200), '\0');
                for (char& c : noise)
                    c = char(random.bounded(256));
                datagram += noise;
            }
            garbage.Send(datagram);
            if (i % 200 == 0)
                QTest::qWait(5); // let it keep up rather than drop datagrams
        }
        QVERIFY(simulator.Process().state() == QProcess::Running);
        // A new host (another port) starts a clean conversation and is answered. While the
        // simulator works through the flood its socket may drop datagrams: ask again, as a host would.
        SimulatorPeers::UdpPeer host(quint16(simulator.Announced("samba-udp-port").toUInt()));
        QByteArray answer;
        for (int attempt = 0; attempt < 10 && !answer.contains("VEpac,"); ++attempt)
        {
            QVERIFY(host.Send("0,0,VEpac\r\n"));
            answer = host.ReceiveUntil([](const QByteArray& data) { return data.contains("VEpac,"); }, 1000);
        }
        QVERIFY(answer.contains("VEpac,65536\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestSimulatorTbp)
#include "tst_simulator_tbp.moc"
