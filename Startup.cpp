#include "Startup.h"

#include <QDir>
#include <QThread>

#include <cstdio>

#include "BACKEND/MISC/MISC_ClassDeviceVersionRetriever.h"
#include "COMDRIVER_ClassUniversalPortSettingsUsb.h"
#include "COMDRIVER_UsbDevices.h"
#include "ClassMyCoreApp.h"
#include "Platform.h"
#include "Traces.h"

const char* const APPLICATION_VERSION = "01.03.03";
const char* const PROGRAM_NAME = "BOX_UPDATER";

namespace
{
const char* const OPTION_CONFIGURATION = "configurationFile";
const char* const OPTION_FORCE = "force";
const char* const OPTION_FULL_FORCE = "Force";
const char* const OPTION_QUIET = "quiet";
const char* const OPTION_KTP = "ktp";
const char* const OPTION_USB_DEVICE = "usb-device";
const char* const OPTION_LIST_DEVICES = "list-devices";
} // namespace

QString DefaultConfigurationFile()
{
    return QDir::tempPath() + QStringLiteral("/") + PROGRAM_NAME + QStringLiteral("/PackageExtraction") +
           QStringLiteral("/CONF/components.json");
}

void AddStartupOptions(QCommandLineParser& parser)
{
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({{"c", OPTION_CONFIGURATION},
                      "Configuration file to configure update.",
                      "Configurations",
                      DefaultConfigurationFile()});
    parser.addOption(
        {{"f", OPTION_FORCE}, "Force update mode without Boot Resident. Update event if CRC are the same"});
    parser.addOption({{"F", OPTION_FULL_FORCE}, "Force update mode. Update event if CRC are the same"});
    parser.addOption({{"q", OPTION_QUIET}, "Quiet update mode (without HMI)"});
    parser.addOption(QCommandLineOption(QString(OPTION_KTP), "ktp file", "File path to ktp"));
    parser.addOption(QCommandLineOption(QString(OPTION_USB_DEVICE),
                                        "USB device to use when several are connected: its serial number "
                                        "or its bus-port path (see --list-devices)",
                                        "SERIAL|BUS-PORT"));
    parser.addOption(QCommandLineOption(QString(OPTION_LIST_DEVICES),
                                        "List the connected USB devices 03EB:6124 and exit"));
}

T_STARTUP_OPTIONS ReadStartupOptions(const QCommandLineParser& parser)
{
    T_STARTUP_OPTIONS options;
    options.ForceWithoutBootResident = parser.isSet(OPTION_FORCE);
    options.FullForce = parser.isSet(OPTION_FULL_FORCE);
    options.Quiet = parser.isSet(OPTION_QUIET);
    options.PackageGiven = parser.isSet(OPTION_KTP);
    options.PackagePath = parser.value(OPTION_KTP);
    options.ConfigurationFile = parser.value(OPTION_CONFIGURATION);
    options.UsbDevice = parser.value(OPTION_USB_DEVICE);
    options.ListDevices = parser.isSet(OPTION_LIST_DEVICES);
    if (options.FullForce)
        options.ForceWithoutBootResident = false;
    return options;
}

Bool ShowsWindow(int argc, char** argv)
{
    // The program's own options, read the way the application will read them
    // (combined short options, --help-all, an unknown option).
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    AddStartupOptions(parser);
    if (!parser.parse(arguments))
        return false;
    return !parser.isSet(OPTION_QUIET) && !parser.isSet(QStringLiteral("help")) &&
           !parser.isSet(QStringLiteral("help-all")) && !parser.isSet(QStringLiteral("version")) &&
           !parser.isSet(OPTION_LIST_DEVICES);
}

int ListUsbDevices()
{
    const Word vendor = CLASS_DEVICE_VERSION_RETRIEVER::VENDOR_IDENTIFIER;
    const Word product = CLASS_DEVICE_VERSION_RETRIEVER::PRODUCT_IDENTIFIER;
    QList<T_USB_DEVICE_IDENTITY> devices;
    QString error;
    if (!UsbDevices::List(vendor, product, devices, error))
    {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    if (devices.isEmpty())
        std::printf("No USB device %s is connected\n",
                    qPrintable(UsbDevices::IdentifiersText(vendor, product)));
    for (const T_USB_DEVICE_IDENTITY& device : devices)
        std::printf("%s\n", qPrintable(UsbDevices::Describe(device)));
    std::fflush(stdout);
    return devices.isEmpty() ? 1 : 0;
}

int RunApplication(int argc, char** argv, const T_MODE_START& windowMode, const T_MODE_START& quietMode)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    Platform::PrepareHeadlessStart(ShowsWindow(argc, argv));
    Platform::PrepareEventLoops();
    Platform::KeepNewFilesPrivate();
    CLASS_MYCOREAPP application(argc, argv);

    QCoreApplication::setApplicationVersion(APPLICATION_VERSION);
    QCommandLineParser parser;
    AddStartupOptions(parser);
    parser.process(application);
    const T_STARTUP_OPTIONS options = ReadStartupOptions(parser);
    if (options.ListDevices)
        return ListUsbDevices();
    // Every USB port the program creates (updaters, version query) uses it.
    CLASS_UNIVERSALPORT_SETTINGS_USB::SetDefaultDeviceSelector(options.UsbDevice);

    RegisterTypeAliases();
    QThread::currentThread()->setObjectName(QStringLiteral("THREAD_MAIN"));
    StartTracing(PROGRAM_NAME);

    const T_MODE_START& start = options.Quiet ? quietMode : windowMode;
    if (!start)
    {
        TraceError(TRACE_POS + QStringLiteral("This build has no ") + (options.Quiet ? "quiet" : "window") +
                   QStringLiteral(" mode"));
        StopTraces();
        return 1;
    }
    std::unique_ptr<QObject> mode = start(options);
    const int result = application.exec();
    // Every thread of the mode has ended here; the last line tells that the
    // trace of the run is complete.
    mode.reset();
    TraceInfo(TRACE_POS + QStringLiteral("PROGRAM END, exit code ") + QString::number(result));
    StopTraces();
    return result;
}
