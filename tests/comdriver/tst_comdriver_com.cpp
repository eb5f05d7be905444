#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "COMDRIVER_ClassUniversalPortCom.h"
#include "ComdriverSupport.h"

namespace
{
const int WAIT_MS = 10000;

// A pseudo-terminal pair: the port opens the slave, the test plays the device on the master.
struct Pty
{
    int master = -1;
    int slave = -1;
    QString name;

    Pty()
    {
        char path[256] = {};
        if (openpty(&master, &slave, path, nullptr, nullptr) == 0 && fcntl(master, F_SETFL, O_NONBLOCK) == 0)
            name = QString::fromLocal8Bit(path); // the port sets the line raw
    }
    ~Pty()
    {
        ::close(master);
        ::close(slave);
    }
    QByteArray Read()
    {
        char buffer[256];
        return QByteArray(buffer, int(qMax<ssize_t>(::read(master, buffer, sizeof buffer), 0)));
    }
};
} // namespace

class TestComdriverCom : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(ComdriverSupport::StartTraces()); }

    // Default settings are 115200 8N1 on the line; bytes go both ways; signals in order.
    void openExchangeClose()
    {
        Pty pty;
        QVERIFY(!pty.name.isEmpty());
        CLASS_UNIVERSALPORT_COM port(true, QStringLiteral("COM_SIG"));
        const auto order = ComdriverSupport::Record(port);
        QSignalSpy received(&port, &CLASS_UNIVERSALPORT::SIGNAL_NewDataAvailable);
        QVERIFY(port.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_COM(pty.name)));
        QVERIFY(port.Open());
        QCOMPARE(*order, (QStringList{"counter 1", "state 0"}));
        termios attributes{};
        tcgetattr(pty.slave, &attributes);
        QCOMPARE(cfgetospeed(&attributes), speed_t(B115200));
        QCOMPARE(cfgetispeed(&attributes), speed_t(B115200));
        QCOMPARE(attributes.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));

        QVERIFY(port.SendData("1SYrst\r\n"));
        QByteArray sent;
        QTRY_COMPARE_WITH_TIMEOUT((sent += pty.Read()), QByteArray("1SYrst\r\n"), WAIT_MS);
        const auto collected = [&received]
        {
            QByteArray all;
            for (const QList<QVariant>& signal : received)
                all += signal.at(1).toString() == "COM_SIG" ? signal.at(0).toByteArray() : "wrong port";
            return all;
        };
        QCOMPARE(::write(pty.master, "SYrst1\r\n", 8), ssize_t(8));
        QTRY_COMPARE_WITH_TIMEOUT(collected(), QByteArray("SYrst1\r\n"), WAIT_MS);
        QVERIFY(!port.HasDataAvailable()); // signal mode keeps nothing

        order->clear();
        port.Close();
        QCOMPARE(*order, (QStringList{"counter 0", "state 1"}));
    }

    // A setting the line refuses closes the port before anything else is applied.
    void rejectedBaudRateClosesAndStops()
    {
        Pty pty;
        CLASS_UNIVERSALPORT_COM port(true, QStringLiteral("COM_BAUD"));
        QVERIFY(port.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_COM(pty.name)));
        QVERIFY(port.Open());
        ComdriverSupport::Errors();
        QVERIFY(!port.SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_COM(pty.name, -1, QSerialPort::Data7)));
        const QString errors = ComdriverSupport::Errors();
        QVERIFY2(errors.contains(" SetConfiguration() Line ") && errors.contains("Baudrate failed for : -1"),
                 qPrintable(errors));
        QCOMPARE(port.GetConnectionState(), CONNECTION_STATE_DISCONNECTED);
        QCOMPARE(port.GetConnectionCounter(), DWord(0));
        QVERIFY(!port.SendData("x"));
        termios attributes{};
        tcgetattr(pty.slave, &attributes);
        QCOMPARE(attributes.c_cflag & CSIZE, tcflag_t(CS8)); // data bits never applied
    }

    // Serial errors are traced under the framework's own names.
    void errorNames()
    {
        const QMetaEnum errors = QMetaEnum::fromType<QSerialPort::SerialPortError>();
        for (int i = 0; i < errors.keyCount(); ++i)
            QCOMPARE(CLASS_UNIVERSALPORT_COM::ErrorName(errors.value(i)), QString(errors.key(i)));
        QCOMPARE(CLASS_UNIVERSALPORT_COM::ErrorName(-1), QString());
    }
};

QTEST_GUILESS_MAIN(TestComdriverCom)
#include "tst_comdriver_com.moc"
