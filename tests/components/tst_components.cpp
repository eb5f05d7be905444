#include <QtTest>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfCom.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUsb.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "COMDRIVER_ClassUniversalPortCom.h"
#include "COMDRIVER_ClassUniversalPortUdp.h"
#include "COMDRIVER_ClassUniversalPortUsb.h"
#include "TestSupport.h"
#include "TraceCapture.h"
#include "TraceMessages.h"

class TestComponents : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;

    // Makes a port from a copy of configuration, as updaters do from the card's copy.
    template <typename CONF>
    static std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS> Port(const CONF& original,
                                                              CLASS_UNIVERSALPORT** port, QObject* owner)
    {
        const CONF copy(original);
        CLASS_UNIVERSALPORT_SETTINGS* settings = nullptr;
        if (!copy.CreatePort("BOX_x", port, &settings, true, owner))
            *port = nullptr;
        return std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS>(settings);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.filePath("traces")));
        InitEnumerationTables();
    }

    // The texts of the configuration file, in value order, and what any other text reads as.
    void textTables()
    {
        auto check = [](const QStringList& texts, int unknown, auto fromText, auto toText)
        {
            for (int value = 0; value < texts.size(); ++value)
            {
                QCOMPARE(int(fromText(texts.at(value))), value);
                QCOMPARE(toText(value), texts.at(value));
            }
            // Exact, case-sensitive match.
            QCOMPARE(int(fromText(texts.first().toLower() + "x")), unknown);
            QCOMPARE(int(fromText(texts.last() + " ")), unknown);
        };
        check({"BOX"}, 1, CardTypeFromText, [](int v) { return CardTypeToText(T_CARD_TYPE(v)); });
        check({"STEP_SAMBA_PROGRAM_RAM", "STEP_RAM_PROGRAM_RESIDENT", "STEP_RESIDENT_PROGRAM_RAM",
               "STEP_RAM_PROGRAM_MAIN", "STEP_RAM_PROGRAM_FPGA_0", "STEP_RAM_PROGRAM_EDID_0",
               "STEP_RAM_PROGRAM_HDCP_0", "STEP_FINAL_RESET"},
              8, UpdateStepFromText, [](int v) { return UpdateStepToText(T_UPDATE_STEP(v)); });
        check({"RESIDENT", "APP", "FPGA_0", "EDID_0", "HDCP_0", "RAM"}, 6, ComponentTypeFromText,
              [](int v) { return ComponentTypeToText(T_COMPONENT_TYPE(v)); });
        check({"jump", "reset", "none"}, 3, EndActionFromText,
              [](int v) { return EndActionToText(T_END_ACTION(v)); });
        check({"COM", "UDP", "USB", "ERROR"}, 3, CommunicationTypeFromText,
              [](int v) { return CommunicationTypeToText(T_COMMUNICATION_TYPE(v)); });
    }

    // Without a path a binary is silent; a path it cannot read is traced and nothing is loaded.
    void binaryThatIsNotLoaded_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("trace"); // empty: none
        QTest::newRow("no path") << QString() << QString();
        QTest::newRow("missing") << m_Scratch.filePath("nothing.bin")
                                 << "Cannot found programmation file at path ";
        QTest::newRow("folder") << m_Scratch.path() << "Cannot open programmation file at path ";
        QTest::newRow("read error") << "/proc/self/mem"
                                    << "Cannot read programmation file at path ";
    }
    void binaryThatIsNotLoaded()
    {
        QFETCH(QString, path);
        QFETCH(QString, trace);
        m_Traces.NewErrors();
        CLASS_BINARY_INFORMATIONS binary(path, 0x400000, 0x400100);
        QVERIFY(!binary.IsLoaded());
        const QStringList errors = TraceMessages(m_Traces.NewErrors());
        QCOMPARE(errors.size(), trace.isEmpty() ? 0 : 1);
        if (!trace.isEmpty())
            QVERIFY2(errors.first().startsWith("CLASS_BINARY_INFORMATIONS|" + trace + "\"" + path + "\""),
                     qPrintable(errors.first()));
    }

    // Read once and whole: rewriting the file afterwards changes nothing; an empty file is loaded.
    void binaryIsReadOnce()
    {
        const QByteArray content = TestSupport::Pattern(70000);
        CLASS_BINARY_INFORMATIONS binary(TestSupport::WriteFile(m_Scratch, "app.bin", content), 0, 0);
        QVERIFY(!TestSupport::WriteFile(m_Scratch, "app.bin", "changed").isEmpty());
        QVERIFY(binary.IsLoaded());
        QCOMPARE(binary.GetData(), content);
        CLASS_BINARY_INFORMATIONS empty(TestSupport::WriteFile(m_Scratch, "empty.bin", QByteArray()), 0, 0);
        QVERIFY(empty.IsLoaded());
    }

    // Each link makes its own kind of port, named after it, with the device's settings.
    void portsFromConfigurations()
    {
        QObject owner;
        CLASS_UNIVERSALPORT* port = nullptr;
        auto settings = Port(CLASS_COMMUNICATION_CONF_COM("COM_BOX", 3, "/dev/ttyS7"), &port, &owner);
        QVERIFY(qobject_cast<CLASS_UNIVERSALPORT_COM*>(port) && port->IsSignalMode());
        QCOMPARE(port->GetPortInfo(), QString("COM_BOX_x"));
        QCOMPARE(port->parent(), &owner);
        auto* serial = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_COM*>(settings.get());
        QCOMPARE(serial->GetPortName(), QString("/dev/ttyS7"));
        QCOMPARE(serial->GetBaudRate(), SDWord(115200));
        QCOMPARE(serial->GetParity(), QSerialPort::NoParity);
        QCOMPARE(serial->GetFlowControl(), QSerialPort::NoFlowControl);

        settings = Port(CLASS_COMMUNICATION_CONF_UDP("UDP_BOX", -1, "127.0.0.1", 70000, "192.168.1.20", 5010),
                        &port, &owner);
        QVERIFY(qobject_cast<CLASS_UNIVERSALPORT_UDP*>(port));
        QCOMPARE(port->GetPortInfo(), QString("UDP_BOX_x"));
        auto* udp = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_UDP*>(settings.get());
        QCOMPARE(udp->GetLocalAddress(), QHostAddress("127.0.0.1"));
        QCOMPARE(udp->GetLocalPort(), Word(4464)); // 70000 cut to 16 bits
        QCOMPARE(udp->GetRemoteAddress(), QHostAddress("192.168.1.20"));
        QCOMPARE(udp->GetRemotePort(), Word(5010));

        settings = Port(CLASS_COMMUNICATION_CONF_USB("USB_BOX", 2, 0x6124, 0x03EB), &port, &owner);
        QVERIFY(qobject_cast<CLASS_UNIVERSALPORT_USB*>(port));
        auto* usb = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_USB*>(settings.get());
        QCOMPARE(usb->GetProductId(), Word(0x6124));
        QCOMPARE(usb->GetVendorId(), Word(0x03EB));
    }
};

QTEST_GUILESS_MAIN(TestComponents)
#include "tst_components.moc"
