#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "COMDRIVER_ClassUniversalPortCom.h"
#include "ComdriverTraces.h"

namespace
{
const int WAIT_MS = 10000;

// A pseudo-terminal pair: the port opens the slave, the test plays the device on the master.
class PtyPair
{
public:
    PtyPair()
    {
        char name[256] = {};
        if (openpty(&m_Master, &m_Slave, name, nullptr, nullptr) != 0)
            return;
        termios raw{};
        tcgetattr(m_Master, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_Master, TCSANOW, &raw);
        fcntl(m_Master, F_SETFL, fcntl(m_Master, F_GETFL) | O_NONBLOCK);
        m_SlaveName = QString::fromLocal8Bit(name);
    }
    ~PtyPair()
    {
        if (m_Master >= 0)
            ::close(m_Master);
        if (m_Slave >= 0)
            ::close(m_Slave);
    }
    bool IsValid() const { return m_Master >= 0 && !m_SlaveName.isEmpty(); }
    const QString& SlaveName() const { return m_SlaveName; }
    int Slave() const { return m_Slave; }

    bool Write(const QByteArray& data)
    {
        return ::write(m_Master, data.constData(), data.size()) == data.size();
    }

    // Reads until count bytes arrived or the wait ends.
    QByteArray Read(int count)
    {
        QByteArray data;
        QElapsedTimer timer;
        timer.start();
        while (data.size() < count && timer.elapsed() < WAIT_MS)
        {
            QCoreApplication::processEvents();
            pollfd fd{m_Master, POLLIN, 0};
            if (poll(&fd, 1, 20) > 0)
            {
                char buffer[256];
                const ssize_t n = ::read(m_Master, buffer, sizeof buffer);
                if (n > 0)
                    data.append(buffer, static_cast<int>(n));
            }
        }
        return data;
    }

private:
    int m_Master = -1;
    int m_Slave = -1;
    QString m_SlaveName;
};

CLASS_UNIVERSALPORT_SETTINGS_COM DefaultSettings(const QString& name)
{
    return CLASS_UNIVERSALPORT_SETTINGS_COM(name);
}
} // namespace

class TestComdriverCom : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(ComdriverTraces::Start()); }

    void defaultsAre115200_8N1()
    {
        CLASS_UNIVERSALPORT_COM port(true, QStringLiteral("COM_T"));
        CLASS_UNIVERSALPORT_SETTINGS_COM settings(QStringLiteral("x"), 9600);
        port.GetConfiguration(settings);
        QCOMPARE(settings.GetPortName(), QString());
        QCOMPARE(settings.GetBaudRate(), 115200);
        QCOMPARE(settings.GetDataBits(), QSerialPort::Data8);
        QCOMPARE(settings.GetFlowControl(), QSerialPort::NoFlowControl);
        QCOMPARE(settings.GetParity(), QSerialPort::NoParity);
        QCOMPARE(settings.GetStopBits(), QSerialPort::OneStop);
        QCOMPARE(port.GetConnectionState(), CONNECTION_STATE_DISCONNECTED);
        QCOMPARE(port.GetConnectionCounter(), DWord(0));
    }

    void openAppliesSettingsAndSignalsInOrder()
    {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        QStringList order;
        CLASS_UNIVERSALPORT_COM port(true, QStringLiteral("COM_T"));
        connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_ConnectionCounterChanged, this,
                [&](DWord counter) { order << QStringLiteral("counter %1").arg(counter); });
        connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_StatusChanged, this,
                [&](T_CONNECTION_STATE state) { order << QStringLiteral("state %1").arg(state); });

        QVERIFY(port.SetConfiguration(DefaultSettings(pty.SlaveName())));
        QVERIFY(port.Open());
        QCOMPARE(order, (QStringList{"counter 1", "state 0"}));
        QCOMPARE(port.GetConnectionCounter(), DWord(1));

        termios attributes{};
        QCOMPARE(tcgetattr(pty.Slave(), &attributes), 0);
        QCOMPARE(cfgetospeed(&attributes), speed_t(B115200));
        QCOMPARE(cfgetispeed(&attributes), speed_t(B115200));
        QCOMPARE(attributes.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(attributes.c_cflag & PARENB, tcflag_t(0));
        QCOMPARE(attributes.c_cflag & CSTOPB, tcflag_t(0));
        QCOMPARE(attributes.c_cflag & CRTSCTS, tcflag_t(0));

        order.clear();
        port.Close();
        QCOMPARE(order, (QStringList{"counter 0", "state 1"}));
        QCOMPARE(port.GetConnectionState(), CONNECTION_STATE_DISCONNECTED);
    }

    void signalModeBothWays()
    {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        CLASS_UNIVERSALPORT_COM port(true, QStringLiteral("COM_SIG"));
        QVERIFY(port.SetConfiguration(DefaultSettings(pty.SlaveName())));
        QVERIFY(port.Open());
        QSignalSpy received(&port, &CLASS_UNIVERSALPORT::SIGNAL_NewDataAvailable);

        const QByteArray out("1SYrst\r\n");
        QVERIFY(port.SendData(out));
        QCOMPARE(pty.Read(out.size()), out);

        const auto collected = [&]
        {
            QByteArray all;
            for (const QList<QVariant>& signal : received)
            {
                if (signal.at(1).toString() != QStringLiteral("COM_SIG"))
                    return QByteArray("wrong port information");
                all += signal.at(0).toByteArray();
            }
            return all;
        };
        QVERIFY(pty.Write("SYrst1\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(collected(), QByteArray("SYrst1\r\n"), WAIT_MS);
        QVERIFY(!port.HasDataAvailable());
        QByteArray buffered;
        port.GetReceivedData(buffered, -1);
        QVERIFY(buffered.isEmpty());
    }

    void rejectedBaudRateClosesAndStops()
    {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        CLASS_UNIVERSALPORT_COM port(true, QStringLiteral("COM_BAUD"));
        QVERIFY(port.SetConfiguration(DefaultSettings(pty.SlaveName())));
        QVERIFY(port.Open());
        const ComdriverTraces::Mark mark;
        CLASS_UNIVERSALPORT_SETTINGS_COM bad(pty.SlaveName(), -1, QSerialPort::Data7);
        QVERIFY(!port.SetConfiguration(bad));
        QVERIFY2(mark.Since().contains(QStringLiteral(" SetConfiguration() Line ")),
                 qPrintable(mark.Since()));
        QVERIFY2(mark.Since().contains(QStringLiteral("Baudrate failed for : -1")), qPrintable(mark.Since()));
        QCOMPARE(port.GetConnectionState(), CONNECTION_STATE_DISCONNECTED);
        QCOMPARE(port.GetConnectionCounter(), DWord(0));
        QVERIFY(!port.SendData("x"));
        termios attributes{};
        QCOMPARE(tcgetattr(pty.Slave(), &attributes), 0);
        QCOMPARE(attributes.c_cflag & CSIZE, tcflag_t(CS8)); // data bits never applied
    }

    void sendingOnClosedPortIsRefused()
    {
        CLASS_UNIVERSALPORT_COM port(true, QStringLiteral("COM_CLOSED"));
        QVERIFY(port.SetConfiguration(DefaultSettings(QStringLiteral("/dev/pts/nowhere"))));
        port.EnableTxSpy();
        QSignalSpy refused(&port, &CLASS_UNIVERSALPORT::SIGNAL_TxSpyNewRefusedData);
        QSignalSpy sent(&port, &CLASS_UNIVERSALPORT::SIGNAL_TxSpyNewData);
        const ComdriverTraces::Mark mark;
        QVERIFY(!port.SendData("abc", QStringLiteral("P")));
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused.at(0), (QList<QVariant>{QByteArray("abc"), QStringLiteral("P")}));
        QVERIFY(sent.isEmpty());
        const QString errors = mark.Since();
        QVERIFY2(errors.contains(QStringLiteral(" SendData() Line ")), qPrintable(errors));
        QVERIFY2(errors.contains(QStringLiteral("Can't send port is not open : pts/nowhere")),
                 qPrintable(errors));
    }

    // Serial errors are traced under the framework's own names.
    void errorNames()
    {
        const QMetaEnum errors = QMetaEnum::fromType<QSerialPort::SerialPortError>();
        for (int i = 0; i < errors.keyCount(); ++i)
            QCOMPARE(CLASS_UNIVERSALPORT_COM::ErrorName(errors.value(i)), QString(errors.key(i)));
        QCOMPARE(CLASS_UNIVERSALPORT_COM::ErrorName(-1), QString());
    }

    // A real driver error reaches the observers as its name, error before state.
    void openFailureReportsError()
    {
        QStringList order;
        CLASS_UNIVERSALPORT_COM port(true, QStringLiteral("COM_MISSING"));
        connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_ErrorFromPort, this,
                [&](const QString& error) { order << QStringLiteral("error ") + error; });
        connect(&port, &CLASS_UNIVERSALPORT::SIGNAL_StatusChanged, this,
                [&](T_CONNECTION_STATE state) { order << QStringLiteral("state %1").arg(state); });
        QVERIFY(port.SetConfiguration(DefaultSettings(QStringLiteral("/dev/no-such-tty"))));
        const ComdriverTraces::Mark mark;
        QVERIFY(!port.Open());
        QCOMPARE(order, (QStringList{"error DeviceNotFoundError", "state 3"}));
        QVERIFY2(mark.Since().contains(QStringLiteral(" Open() Line ")), qPrintable(mark.Since()));
        QVERIFY2(mark.Since().contains(QStringLiteral("Failed to open port com: no-such-tty. Error: ")),
                 qPrintable(mark.Since()));
        QCOMPARE(port.GetConnectionCounter(), DWord(0));
    }
};

QTEST_GUILESS_MAIN(TestComdriverCom)
#include "tst_comdriver_com.moc"
