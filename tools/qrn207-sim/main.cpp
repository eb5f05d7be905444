#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

#include "SIM_ClassDevice.h"
#include "SIM_ClassPtyLink.h"
#include "SIM_ClassSimOptions.h"
#include "SIM_ClassUdpLink.h"

namespace
{
int g_SignalPipe[2] = {-1, -1};

const char SIGNAL_QUIT = 1;
const char SIGNAL_POWER_CUT = 2;

void OnSignal(int number)
{
    const char byte = number == SIGUSR1 ? SIGNAL_POWER_CUT : SIGNAL_QUIT;
    const ssize_t ignored = ::write(g_SignalPipe[1], &byte, 1);
    (void)ignored;
}

// SIGTERM and SIGINT end the event loop, so that symbolic links are removed
// and the log is complete. SIGUSR1 cuts the device's power.
void HandleSignals(QCoreApplication& application, CLASS_SIM_DEVICE& device)
{
    if (::pipe(g_SignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_SignalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application,
                     [&application, &device]()
                     {
                         char byte = 0;
                         if (::read(g_SignalPipe[0], &byte, 1) != 1)
                             return;
                         if (byte == SIGNAL_POWER_CUT)
                             device.CutPower(QStringLiteral("-"), QStringLiteral("SIGUSR1"));
                         else
                             application.quit();
                     });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGUSR1, &action, nullptr);
    // A host that vanishes must not kill us through a write.
    std::signal(SIGPIPE, SIG_IGN);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qrn207-sim"));

    T_SIM_OPTIONS options;
    QString error;
    QString help;
    if (!CLASS_SIM_OPTIONS::Parse(QCoreApplication::arguments(), options, error, help))
    {
        std::fprintf(stderr, "qrn207-sim: %s\nTry \"qrn207-sim --help\".\n", qPrintable(error));
        return 2;
    }
    if (!help.isEmpty())
    {
        std::fputs(qPrintable(help), stdout);
        return 0;
    }

    CLASS_SIM_DEVICE device(options);
    if (!device.Start(error))
    {
        std::fprintf(stderr, "qrn207-sim: %s\n", qPrintable(error));
        return 2;
    }
    std::vector<std::unique_ptr<CLASS_SIM_LINK>> links;
    for (const T_SIM_LINK_REQUEST& request : options.Links)
    {
        if (request.Kind == T_SIM_LINK_REQUEST::UDP)
            links.emplace_back(
                new CLASS_SIM_UDP_LINK(&device, options.UdpBindAddress, request.UdpPort, request.Samba));
        else
            links.emplace_back(new CLASS_SIM_PTY_LINK(&device, request.PtyLinkPath, request.Samba));
        if (!links.back()->Open(error))
        {
            std::fprintf(stderr, "qrn207-sim: %s\n", qPrintable(error));
            return 2;
        }
    }
    HandleSignals(application, device);
    // Machine-readable: one line per link, in the order of the options, then "ready".
    for (const auto& link : links)
        std::printf("%s\n", qPrintable(link->AnnounceLine()));
    std::printf("ready\n");
    std::fflush(stdout);
    const int code = application.exec();
    device.SaveIfChanged();
    return code;
}
