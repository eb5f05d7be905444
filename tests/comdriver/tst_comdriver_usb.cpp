#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include "COMDRIVER_ClassUniversalPortUsb.h"
#include "ComdriverSupport.h"

#ifdef QRN_HAVE_UMOCKDEV
#include "UsbEmulator.h"

namespace
{
const quint16 VENDOR = 0x03EB;
// Devices of the emulated bus; the version query's 0x6124 is not among them.
const quint16 PRODUCT_TWO_INTERFACES = 0x6201; // bulk on interface 1, two OUT endpoints
const quint16 PRODUCT_NO_OUT = 0x6203;         // bulk IN only, on interface 0
const quint16 PRODUCT_CLAIM_FAILS = 0x6204;    // interface 8 is held by another program
const quint16 PRODUCT_TWINS = 0x6205;          // two devices, at 1-6 and 1-7

QByteArray Concatenated(const QSignalSpy& received)
{
    QByteArray all;
    for (const QList<QVariant>& signal : received)
        all += signal.at(0).toByteArray();
    return all;
}

std::unique_ptr<CLASS_UNIVERSALPORT_USB> MakePort(quint16 product)
{
    auto port = std::make_unique<CLASS_UNIVERSALPORT_USB>(true, false, 0, "USB_TEST");
    port->SetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_USB(product, VENDOR, 0));
    return port;
}
} // namespace
#endif

class TestComdriverUsb : public QObject
{
    Q_OBJECT

#ifdef QRN_HAVE_UMOCKDEV
    // Declared first, gone last.
    std::unique_ptr<UMockdevTestbed, void (*)(gpointer)> m_Testbed{nullptr, g_object_unref};
    std::unique_ptr<UsbEmulator::Device> m_Card, m_NoOut, m_ClaimFails, m_Twin6, m_Twin7;
#endif

private slots:
    void initTestCase()
    {
        QVERIFY(ComdriverSupport::StartTraces());
#ifdef QRN_HAVE_UMOCKDEV
        if (!qEnvironmentVariable("LD_PRELOAD").contains("umockdev"))
            QSKIP("needs umockdev (run under umockdev-wrapper)");
        using UsbEmulator::Device;
        m_Testbed.reset(umockdev_testbed_new());
        // Interface 0 carries only an interrupt endpoint; interface 1 the bulk
        // ones and one whose attributes add bits to bulk: only exact bulk counts.
        // Each interface: its number, then address, attributes and packet size per endpoint.
        // clang-format off
        m_Card.reset(new Device(m_Testbed.get(), 2, PRODUCT_TWO_INTERFACES,
                                {{0, 0x83, 3, 8}, {1, 0x82, 2, 64, 0x01, 2, 64, 0x03, 2, 16, 0x84, 6, 64}}));
        m_NoOut.reset(new Device(m_Testbed.get(), 4, PRODUCT_NO_OUT, {{0, 0x81, 2, 64}}));
        m_ClaimFails.reset(new Device(m_Testbed.get(), 5, PRODUCT_CLAIM_FAILS, {{8, 0x81, 2, 64, 0x02, 2, 64}}));
        m_Twin6.reset(new Device(m_Testbed.get(), 6, PRODUCT_TWINS, {{0, 0x81, 2, 64, 0x02, 2, 64}}));
        m_Twin7.reset(new Device(m_Testbed.get(), 7, PRODUCT_TWINS, {{0, 0x81, 2, 64, 0x02, 2, 64}}));
        // clang-format on
        for (const auto* device :
             {m_Card.get(), m_NoOut.get(), m_ClaimFails.get(), m_Twin6.get(), m_Twin7.get()})
            QVERIFY2(device->Error().isEmpty(), qPrintable(device->Error()));
#else
        QSKIP("built without umockdev");
#endif
    }

#ifdef QRN_HAVE_UMOCKDEV
    void init()
    {
        for (auto* device : {m_Card.get(), m_NoOut.get(), m_ClaimFails.get(), m_Twin6.get(), m_Twin7.get()})
            device->Reset();
        ComdriverSupport::Errors();
    }

    void noDevice()
    {
        auto port = MakePort(0x6124);
        const auto order = ComdriverSupport::Record(*port);
        QVERIFY(!port->Open());
        QCOMPARE(*order, QStringList{"state 1"});
        const QString errors = ComdriverSupport::Errors();
        QVERIFY2(errors.contains("Cannot find USB device: 3eb:6124") && errors.contains(" Open() Line ") &&
                     errors.contains("Cannot open USB device."),
                 qPrintable(errors));
    }

    // The bulk endpoints are found and their interfaces claimed; a second Open keeps the session.
    void discoveryClaimsAndSignalOrder()
    {
        auto port = MakePort(PRODUCT_TWO_INTERFACES);
        const auto order = ComdriverSupport::Record(*port);
        QVERIFY(port->Open());
        QCOMPARE(*order, (QStringList{"state 0", "counter 1"}));
        CLASS_UNIVERSALPORT_SETTINGS_USB settings;
        port->GetConfiguration(settings);
        QCOMPARE(settings.GetReceiveEndpoints(), (QList<T_USB_RECEIVE_ENDPOINT>{{ 1, 2, 64 }}));
        QCOMPARE(settings.GetSendEndpoints(), (QList<T_USB_SEND_ENDPOINT>{{0, 1, 64}, { 0, 3, 16 }}));
        QCOMPARE(m_Card->Log().claims, (QList<unsigned>{0, 1}));

        QVERIFY(port->Open());
        QTest::qWait(200);
        QCOMPARE(order->size(), 2);
        QCOMPARE(m_Card->Log().pendingReads, 1);

        port->Close();
        QCOMPARE(order->mid(2, 2), (QStringList{"state 1", "counter 0"}));
    }

    // Another program holds interface 8: what was claimed (7) goes back, the device is
    // never reset under its holder, and the retry starts afresh.
    void failedClaimGivesBackWithoutReset()
    {
        auto port = MakePort(PRODUCT_CLAIM_FAILS);
        QVERIFY(!port->Open());
        const QString errors = ComdriverSupport::Errors();
        QVERIFY2(errors.contains("Cannot claim USB interface number 8 with LIBUSB_ERROR_BUSY") &&
                     errors.contains("USB device \"1-5\" (no serial number) is held by another program"),
                 qPrintable(errors));
        QVERIFY(port->GetOpenFailure().contains("held by another program"));
        QCOMPARE(m_ClaimFails->Log().claims, (QList<unsigned>{7, 8, 8, 8}));
        QVERIFY(!port->Open());
        port->Close();
        port.reset();
        QCOMPARE(m_ClaimFails->Log().claims.size(), 8);
        QCOMPARE(m_ClaimFails->Log().releases, (QList<unsigned>{7, 7}));
        QCOMPARE(m_ClaimFails->Log().resets, 0);
        QCOMPARE(m_ClaimFails->Log().pendingReads, 0);
    }

    // Two devices with the same identifiers: no arbitrary choice; a selector picks one.
    void severalMatchingDevicesNeedAChoice()
    {
        auto port = MakePort(PRODUCT_TWINS);
        QVERIFY(!port->Open());
        QCOMPARE(port->GetOpenFailure(), QString("Several USB devices 3eb:6205 are connected: \"1-6\" (no "
                                                 "serial number), \"1-7\" (no serial number); choose one "
                                                 "with --usb-device SERIAL|BUS-PORT"));
        CLASS_UNIVERSALPORT_SETTINGS_USB settings(PRODUCT_TWINS, VENDOR, 0);
        settings.SetDeviceSelector("1-8");
        port->SetConfiguration(settings);
        QVERIFY(!port->Open());
        QVERIFY2(port->GetOpenFailure().startsWith("No USB device 3eb:6205 matches \"1-8\""),
                 qPrintable(port->GetOpenFailure()));
        settings.SetDeviceSelector("1-7");
        port->SetConfiguration(settings);
        QVERIFY(port->Open());
        QCOMPARE(port->GetOpenedDevice(), QString("\"1-7\" (no serial number)"));
        QVERIFY(m_Twin6->Log().claims.isEmpty());
        QCOMPARE(m_Twin7->Log().claims, QList<unsigned>{0});
    }

    // Writes are cut into packets of the endpoint chosen by the source number.
    void sendCutsIntoPackets()
    {
        auto port = MakePort(PRODUCT_TWO_INTERFACES);
        QVERIFY(port->Open());
        QByteArray data(130, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i);
        QVERIFY(port->SendData(data));
        QVERIFY(port->SendData(QByteArray(40, 'c'), "3"));
        QVERIFY(port->SendData("xy", "2")); // no endpoint 2: the first one
        using Packet = QPair<int, QByteArray>;
        // clang-format off
        QCOMPARE(m_Card->Log().outPackets, (QList<Packet>{{1, data.left(64)}, {1, data.mid(64, 64)}, {1, data.mid(128)},
                 {3, QByteArray(16, 'c')}, {3, QByteArray(16, 'c')}, {3, QByteArray(8, 'c')}, {1, "xy"}}));
        // clang-format on
    }

    void sendWithoutOutEndpointFails()
    {
        auto port = MakePort(PRODUCT_NO_OUT);
        QVERIFY(port->Open());
        QCOMPARE(m_NoOut->Log().claims, QList<unsigned>{0});
        QVERIFY(!port->SendData("abc"));
        QVERIFY(ComdriverSupport::Errors().contains(" SendData() Line "));
        QVERIFY(m_NoOut->Log().outPackets.isEmpty());
    }

    // Close gives the device back; a quick reopen is not closed by the ending of the first
    // session, and what the closed session received never reaches the new one. A reply longer
    // than a packet arrives whole; reception goes on after a read times out (5 s).
    void closeReopenAndReception()
    {
        auto port = MakePort(PRODUCT_TWO_INTERFACES);
        QSignalSpy received(port.get(), &CLASS_UNIVERSALPORT::SIGNAL_NewDataAvailable);
        QVERIFY(port->Open());
        m_Card->Answer("old session");
        QThread::msleep(300); // received on the library's thread, not handed over yet
        port->Close();
        QCOMPARE(port->GetConnectionCounter(), DWord(0));
        QCOMPARE(m_Card->Log().releases, (QList<unsigned>{0, 1}));
        QCOMPARE(m_Card->Log().resets, 1);
        QCOMPARE(m_Card->Log().pendingReads, 0);
        QVERIFY(!port->SendData("closed"));

        ComdriverSupport::Errors();
        QVERIFY(port->Open());
        QTest::qWait(5500);
        QCOMPARE(port->GetConnectionState(), CONNECTION_STATE_CONNECTED);
        QVERIFY(port->SendData("ok"));
        QCOMPARE(m_Card->Log().outPackets, (QList<QPair<int, QByteArray>>{{ 1, "ok" }}));
        QByteArray reply(150, '\0');
        for (int i = 0; i < reply.size(); ++i)
            reply[i] = char(i);
        m_Card->Answer(reply);
        QByteArray got;
        QTRY_VERIFY((got = Concatenated(received)).size() >= reply.size());
        QCOMPARE(got, reply);
        QCOMPARE(m_Card->Log().pendingReads, 1);
        const QString errors = ComdriverSupport::Errors();
        QVERIFY2(!errors.contains("Cannot"), qPrintable(errors));
    }

    void destroyedWhileLoopRuns()
    {
        auto port = MakePort(PRODUCT_TWO_INTERFACES);
        QVERIFY(port->Open());
        QTest::qWait(200); // the loop is running and handling events
        QPointer<QThread> thread(port->GetLibraryThread());
        port.reset();
        QVERIFY(thread.isNull());
        QCOMPARE(m_Card->Log().pendingReads, 0);
    }
#endif
};

QTEST_GUILESS_MAIN(TestComdriverUsb)
#include "tst_comdriver_usb.moc"
