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

    void binaryWithoutPathIsSilent()
    {
        m_Traces.NewErrors();
        CLASS_BINARY_INFORMATIONS binary(QString(), 0x400000, 0x400100);
        QVERIFY(!binary.IsLoaded());
        QCOMPARE(binary.GetSize(), DWord(0));
        QVERIFY(binary.GetData().isEmpty());
        QCOMPARE(binary.GetBaseAddress(), DWord(0x400000));
        QCOMPARE(binary.GetJumpAddress(), DWord(0x400100));
        QCOMPARE(m_Traces.NewErrors(), QStringList());
    }

    void unreadableBinaryTraces_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << m_Scratch.filePath("nothing.bin")
                                 << "Cannot found programmation file at path ";
        QTest::newRow("folder") << m_Scratch.path() << "Cannot open programmation file at path ";
    }

    void unreadableBinaryTraces()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        m_Traces.NewErrors();
        CLASS_BINARY_INFORMATIONS binary(path, 1, 2);
        QVERIFY(!binary.IsLoaded());
        QCOMPARE(binary.GetSize(), DWord(0));
        QCOMPARE(binary.GetName(), path);
        const QStringList errors = m_Traces.NewErrors();
        QCOMPARE(errors.size(), 1);
        const QRegularExpression expected("^\\.\\./BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations "
                                          "CLASS_BINARY_INFORMATIONS\\(\\) Line "
                                          "\\d+ " +
                                          QRegularExpression::escape(message + "\"" + path + "\"") + "$");
        QVERIFY2(expected.match(errors.first()).hasMatch(), qPrintable(errors.first()));
    }

    void emptyFileIsLoaded()
    {
        const QString path = WriteFile("empty.bin", QByteArray());
        QVERIFY(!path.isEmpty());
        CLASS_BINARY_INFORMATIONS binary(path, 0, 0);
        QVERIFY(binary.IsLoaded());
        QCOMPARE(binary.GetSize(), DWord(0));
    }

    void contentIsReadOnceAndShared()
    {
        QByteArray content(70000, '\0');
        for (int i = 0; i < content.size(); ++i)
            content[i] = char(i * 7);
        const QString path = WriteFile("app.bin", content);
        QVERIFY(!path.isEmpty());
        CLASS_BINARY_INFORMATIONS binary(path, 0x00400000, 0x00400004);
        QVERIFY(binary.IsLoaded());
        QCOMPARE(binary.GetSize(), DWord(content.size()));
        QCOMPARE(binary.GetData(), content);

        // Rewriting the file afterwards changes nothing: read once.
        QVERIFY(!WriteFile("app.bin", "changed").isEmpty());
        const QByteArray first = binary.GetData();
        const QByteArray second = binary.GetData();
        QCOMPARE(first, content);
        QCOMPARE(first.constData(), second.constData());
        QVERIFY(first.isSharedWith(second));
    }
    void comPortFromConfiguration()
    {
        const CLASS_COMMUNICATION_CONF_COM conf("COM_BOX", 3, "/dev/ttyS7");
        QCOMPARE(conf.GetType(), COMMUNICATION_TYPE_COM);
        QObject owner;
        CLASS_UNIVERSALPORT* port = nullptr;
        CLASS_UNIVERSALPORT_SETTINGS* settings = nullptr;
        QVERIFY(conf.CreatePort("BOX_BOOT_RAM_UPDATER_x", &port, &settings, true, &owner));
        std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS> ownedSettings(settings);

        auto* comPort = qobject_cast<CLASS_UNIVERSALPORT_COM*>(port);
        QVERIFY(comPort);
        QCOMPARE(comPort->GetPortInfo(), QString("COM_BOX_BOOT_RAM_UPDATER_x"));
        QCOMPARE(comPort->parent(), &owner);
        QVERIFY(comPort->IsSignalMode());
        auto* comSettings = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_COM*>(settings);
        QVERIFY(comSettings);
        QCOMPARE(comSettings->GetPortName(), QString("/dev/ttyS7"));
        QCOMPARE(comSettings->GetBaudRate(), SDWord(115200));
        QCOMPARE(comSettings->GetDataBits(), QSerialPort::Data8);
        QCOMPARE(comSettings->GetFlowControl(), QSerialPort::NoFlowControl);
        QCOMPARE(comSettings->GetParity(), QSerialPort::NoParity);
        QCOMPARE(comSettings->GetStopBits(), QSerialPort::OneStop);

        // Buffered mode is passed through as well.
        CLASS_UNIVERSALPORT* buffered = nullptr;
        CLASS_UNIVERSALPORT_SETTINGS* bufferedSettings = nullptr;
        QVERIFY(conf.CreatePort("b", &buffered, &bufferedSettings, false, &owner));
        delete bufferedSettings;
        QVERIFY(!buffered->IsSignalMode());
    }

    void udpPortFromConfiguration()
    {
        const CLASS_COMMUNICATION_CONF_UDP conf("UDP_BOX", -1, "127.0.0.1", 70000, "192.168.1.20", 5010);
        QCOMPARE(conf.GetType(), COMMUNICATION_TYPE_UDP);
        QVERIFY(QMetaType::type("QAbstractSocket::SocketError") != QMetaType::UnknownType);

        CLASS_UNIVERSALPORT* port = nullptr;
        CLASS_UNIVERSALPORT_SETTINGS* settings = nullptr;
        QVERIFY(conf.CreatePort("BOX_x", &port, &settings, true, nullptr));
        std::unique_ptr<CLASS_UNIVERSALPORT> ownedPort(port);
        std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS> ownedSettings(settings);

        QVERIFY(qobject_cast<CLASS_UNIVERSALPORT_UDP*>(port));
        QCOMPARE(port->GetPortInfo(), QString("UDP_BOX_x"));
        auto* udp = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_UDP*>(settings);
        QVERIFY(udp);
        QCOMPARE(udp->GetLocalAddress(), QHostAddress("127.0.0.1"));
        QCOMPARE(udp->GetLocalPort(), Word(4464)); // 70000 cut to 16 bits
        QCOMPARE(udp->GetRemoteAddress(), QHostAddress("192.168.1.20"));
        QCOMPARE(udp->GetRemotePort(), Word(5010));
        QCOMPARE(udp->GetTransmissionMode(), SDWord(0));

        // A text that is no IP address gives a null address, left for the port to refuse.
        const CLASS_COMMUNICATION_CONF_UDP bad("UDP_BOX", 1, "not-an-address", 5000, "", 5010);
        CLASS_UNIVERSALPORT* badPort = nullptr;
        CLASS_UNIVERSALPORT_SETTINGS* badSettings = nullptr;
        QVERIFY(bad.CreatePort("y", &badPort, &badSettings, true, nullptr));
        std::unique_ptr<CLASS_UNIVERSALPORT> ownedBadPort(badPort);
        std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS> ownedBadSettings(badSettings);
        QVERIFY(dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_UDP*>(badSettings)->GetLocalAddress().isNull());
        QVERIFY(dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_UDP*>(badSettings)->GetRemoteAddress().isNull());
    }

    void usbPortFromConfiguration()
    {
        const CLASS_COMMUNICATION_CONF_USB conf("USB_BOX", 2, 0x6124, 0x03EB);
        QCOMPARE(conf.GetType(), COMMUNICATION_TYPE_USB);
        CLASS_UNIVERSALPORT* port = nullptr;
        CLASS_UNIVERSALPORT_SETTINGS* settings = nullptr;
        QVERIFY(conf.CreatePort("BOX_x", &port, &settings, true, nullptr));
        std::unique_ptr<CLASS_UNIVERSALPORT> ownedPort(port);
        std::unique_ptr<CLASS_UNIVERSALPORT_SETTINGS> ownedSettings(settings);
        QVERIFY(qobject_cast<CLASS_UNIVERSALPORT_USB*>(port));
        QCOMPARE(port->GetPortInfo(), QString("USB_BOX_x"));
        QVERIFY(port->IsSignalMode());
        auto* usb = dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_USB*>(settings);
        QVERIFY(usb);
        QCOMPARE(usb->GetProductId(), Word(0x6124));
        QCOMPARE(usb->GetVendorId(), Word(0x03EB));
        QCOMPARE(usb->GetSpareValue(), DWord(0));
        QVERIFY(usb->GetReceiveEndpoints().isEmpty());
        QVERIFY(usb->GetSendEndpoints().isEmpty());

        const CLASS_COMMUNICATION_CONF_USB copy(conf);
        QCOMPARE(copy.GetName(), QString("USB_BOX"));
        QCOMPARE(copy.GetNodeAddress(), SDWord(2));
        QCOMPARE(copy.GetType(), COMMUNICATION_TYPE_USB);
        QCOMPARE(copy.GetProductId(), Word(0x6124));
        QCOMPARE(copy.GetVendorId(), Word(0x03EB));
    }

    void twoCallsGiveTwoIndependentPorts()
    {
        const CLASS_COMMUNICATION_CONF_UDP conf("UDP_BOX", 1, "127.0.0.1", 0, "127.0.0.1", 9);
        CLASS_UNIVERSALPORT* first = nullptr;
        CLASS_UNIVERSALPORT* second = nullptr;
        CLASS_UNIVERSALPORT_SETTINGS* firstSettings = nullptr;
        CLASS_UNIVERSALPORT_SETTINGS* secondSettings = nullptr;
        QVERIFY(conf.CreatePort("a", &first, &firstSettings, true, nullptr));
        QVERIFY(conf.CreatePort("b", &second, &secondSettings, true, nullptr));
        QVERIFY(first != second);
        QVERIFY(firstSettings != secondSettings);
        delete first;
        delete firstSettings;
        QCOMPARE(second->GetPortInfo(), QString("UDP_b"));
        QVERIFY(qobject_cast<CLASS_UNIVERSALPORT_UDP*>(second)->SetConfiguration(
            *dynamic_cast<CLASS_UNIVERSALPORT_SETTINGS_UDP*>(secondSettings)));
        delete second;
        delete secondSettings;
    }

    void missingOutputsRefused()
    {
        const CLASS_COMMUNICATION_CONF_COM conf("COM_BOX", 1, "ttyS0");
        CLASS_UNIVERSALPORT* port = nullptr;
        CLASS_UNIVERSALPORT_SETTINGS* settings = nullptr;
        QVERIFY(!conf.CreatePort("x", nullptr, &settings, true, nullptr));
        QVERIFY(!conf.CreatePort("x", &port, nullptr, true, nullptr));
        QVERIFY(!port);
        QVERIFY(!settings);
    }

    void copiesKeepEveryField()
    {
        QObject owner;
        const CLASS_COMMUNICATION_CONF_COM com("COM_BOX", 7, "COM3", &owner);
        const CLASS_COMMUNICATION_CONF_COM comCopy(com);
        QCOMPARE(comCopy.GetName(), QString("COM_BOX"));
        QCOMPARE(comCopy.GetNodeAddress(), SDWord(7));
        QCOMPARE(comCopy.GetType(), COMMUNICATION_TYPE_COM);
        QCOMPARE(comCopy.GetPortName(), QString("COM3"));
        QCOMPARE(comCopy.parent(), nullptr);

        const CLASS_COMMUNICATION_CONF_UDP udp("UDP_BOX", -1, "10.0.0.1", 5000, "10.0.0.2", 70000, &owner);
        const CLASS_COMMUNICATION_CONF_UDP udpCopy(udp);
        QCOMPARE(udpCopy.GetName(), QString("UDP_BOX"));
        QCOMPARE(udpCopy.GetNodeAddress(), SDWord(-1));
        QCOMPARE(udpCopy.GetType(), COMMUNICATION_TYPE_UDP);
        QCOMPARE(udpCopy.GetLocalAddress(), QString("10.0.0.1"));
        QCOMPARE(udpCopy.GetLocalPort(), SDWord(5000));
        QCOMPARE(udpCopy.GetRemoteAddress(), QString("10.0.0.2"));
        QCOMPARE(udpCopy.GetRemotePort(), SDWord(70000));
    }
};

QTEST_GUILESS_MAIN(TestComponents)
#include "tst_components.moc"
