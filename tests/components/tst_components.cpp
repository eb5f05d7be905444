#include <QtTest>

#include <QStandardPaths>
#include <QTemporaryDir>

#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfCom.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUdp.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCommunicationConfUsb.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "COMDRIVER_ClassUniversalPortCom.h"
#include "COMDRIVER_ClassUniversalPortSettingsCom.h"
#include "COMDRIVER_ClassUniversalPortSettingsUdp.h"
#include "COMDRIVER_ClassUniversalPortSettingsUsb.h"
#include "COMDRIVER_ClassUniversalPortUdp.h"
#include "COMDRIVER_ClassUniversalPortUsb.h"
#include "TestSupport.h"
#include "TraceCapture.h"
#include "TraceMessages.h"

#include <memory>

class TestComponents : public QObject
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
        QCOMPARE(ComponentTypeFromText("RAM_SAMBA"), COMPONENT_TYPE_NOT_RECOGNIZED);
        check({"jump", "reset", "none"}, 3, EndActionFromText,
              [](int v) { return EndActionToText(T_END_ACTION(v)); });
        check({"COM", "UDP", "USB", "ERROR"}, 3, CommunicationTypeFromText,
              [](int v) { return CommunicationTypeToText(T_COMMUNICATION_TYPE(v)); });
        QCOMPARE(UpdateStepToText(STEP_NONE), QString());
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
        QCOMPARE(binary.GetSize(), DWord(0));
        QCOMPARE(binary.GetJumpAddress(), DWord(0x400100));
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
        CLASS_BINARY_INFORMATIONS binary(WriteFile("app.bin", content), 0, 0);
        QVERIFY(!WriteFile("app.bin", "changed").isEmpty());
        QVERIFY(binary.IsLoaded());
        QCOMPARE(binary.GetSize(), DWord(content.size()));
        QCOMPARE(binary.GetData(), content);
        CLASS_BINARY_INFORMATIONS empty(WriteFile("empty.bin", QByteArray()), 0, 0);
        QVERIFY(empty.IsLoaded());
    }

    // Each link makes its own kind of port, named after it, with the device's settings;
    // ports are made from the card's copy of a configuration, as updaters do.
    void portsFromConfigurations()
    {
        QObject owner;
        CLASS_UNIVERSALPORT* port = nullptr;
        CLASS_UNIVERSALPORT_SETTINGS* settings = nullptr;
        const CLASS_COMMUNICATION_CONF_COM comOriginal("COM_BOX", 3, "/dev/ttyS7");
        const CLASS_COMMUNICATION_CONF_COM com(comOriginal);
        QVERIFY(com.CreatePort("BOX_x", &port, &settings, true, &owner));
        std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS> comSettings(settings);
        QVERIFY(qobject_cast<CLASS_UNIVERSALPORT_COM*>(port) && port->IsSignalMode());
        QCOMPARE(port->GetPortInfo(), QString("COM_BOX_x"));
        QCOMPARE(port->parent(), &owner);
        auto* serial = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_COM*>(settings);
        QVERIFY(serial);
        QCOMPARE(serial->GetPortName(), QString("/dev/ttyS7"));
        QCOMPARE(serial->GetBaudRate(), SDWord(115200));
        QCOMPARE(serial->GetDataBits(), QSerialPort::Data8);
        QCOMPARE(serial->GetParity(), QSerialPort::NoParity);
        QCOMPARE(serial->GetStopBits(), QSerialPort::OneStop);
        QCOMPARE(serial->GetFlowControl(), QSerialPort::NoFlowControl);

        const CLASS_COMMUNICATION_CONF_UDP udpOriginal("UDP_BOX", -1, "127.0.0.1", 70000, "192.168.1.20",
                                                       5010);
        const CLASS_COMMUNICATION_CONF_UDP udpConf(udpOriginal);
        QVERIFY(udpConf.CreatePort("BOX_x", &port, &settings, false, &owner));
        std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS> udpSettings(settings);
        QVERIFY(qobject_cast<CLASS_UNIVERSALPORT_UDP*>(port) && !port->IsSignalMode());
        QCOMPARE(port->GetPortInfo(), QString("UDP_BOX_x"));
        auto* udp = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_UDP*>(settings);
        QVERIFY(udp);
        QCOMPARE(udp->GetLocalAddress(), QHostAddress("127.0.0.1"));
        QCOMPARE(udp->GetLocalPort(), Word(4464)); // 70000 cut to 16 bits
        QCOMPARE(udp->GetRemoteAddress(), QHostAddress("192.168.1.20"));
        QCOMPARE(udp->GetRemotePort(), Word(5010));

        // A text that is no IP address gives a null address, named in the traces.
        const CLASS_COMMUNICATION_CONF_UDP bad("UDP_BOX", 1, "not-an-address", 5000, "", 5010);
        m_Traces.NewErrors();
        QVERIFY(bad.CreatePort("y", &port, &settings, true, &owner));
        std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS> badSettings(settings);
        QVERIFY(dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_UDP*>(settings)->GetLocalAddress().isNull());
        const QString errors = m_Traces.NewErrors().join('\n');
        QVERIFY2(
            errors.contains("The local address \"not-an-address\" of \"UDP_BOX\" is not an IP address") &&
                errors.contains("The remote address \"\" of \"UDP_BOX\" is not an IP address"),
            qPrintable(errors));

        const CLASS_COMMUNICATION_CONF_USB usbOriginal("USB_BOX", 2, 0x6124, 0x03EB);
        const CLASS_COMMUNICATION_CONF_USB usbConf(usbOriginal);
        QVERIFY(usbConf.CreatePort("BOX_x", &port, &settings, true, &owner));
        std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS> usbSettings(settings);
        QVERIFY(qobject_cast<CLASS_UNIVERSALPORT_USB*>(port));
        QCOMPARE(port->GetPortInfo(), QString("USB_BOX_x"));
        auto* usb = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_USB*>(settings);
        QVERIFY(usb);
        QCOMPARE(usb->GetProductId(), Word(0x6124));
        QCOMPARE(usb->GetVendorId(), Word(0x03EB));
    }
};

QTEST_GUILESS_MAIN(TestComponents)
#include "tst_components.moc"
