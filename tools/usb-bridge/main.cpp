// qrn207-usb-bridge: runs a command with emulated USB devices 03EB:6124
// whose bulk endpoints are bridged to device simulators' UDP links.
//
//   qrn207-usb-bridge --udp-port P [--udp-port P2 ...] [--serial S ...] [--vid HEX] [--pid HEX]
//                     [--packet-size N] [--reply-delay-ms N] [--vanish-after-bytes N] [--stats]
//                     -- COMMAND [ARGS...]
//
// One device per --udp-port: device N sits at bus-port path 1-N with the Nth
// --serial (default QRN207-000N). The command runs under umockdev-wrapper
// with this process's test bed. SIGUSR1 makes the devices disappear; SIGTERM
// and SIGINT go on to the command.
// The exit code is the command's (128 + signal when a signal ended it).

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "USB_ClassBridgeDevice.h"

extern char** environ;

namespace
{
std::vector<std::unique_ptr<CLASS_USB_BRIDGE_DEVICE>>* g_Bridges = nullptr;
volatile pid_t g_Child = 0;

void OnVanish(int)
{
    if (g_Bridges)
        for (const auto& bridge : *g_Bridges)
            bridge->RequestVanish();
}

void OnTerminate(int signal)
{
    if (g_Child > 0)
        ::kill(g_Child, signal);
}

bool ParseNumber(const char* text, int base, long long maximum, long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, base);
    return errno == 0 && end != text && *end == '\0' && value >= 0 && value <= maximum;
}

int Usage(const char* why)
{
    std::fprintf(
        stderr,
        "qrn207-usb-bridge: %s\n"
        "usage: qrn207-usb-bridge --udp-port P [--udp-port P2 ...] [--serial S ...] [--vid HEX]\n"
        "       [--pid HEX] [--packet-size N] [--reply-delay-ms N] [--vanish-after-bytes N] [--stats]\n"
        "       -- COMMAND [ARGS...]\n",
        why);
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    T_USB_BRIDGE_OPTIONS options;
    std::vector<uint16_t> ports;
    std::vector<std::string> serials;
    bool stats = false;
    int first = -1;
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--")
        {
            first = i + 1;
            break;
        }
        if (option == "--stats")
        {
            stats = true;
            continue;
        }
        if (i + 1 >= argc)
            return Usage(("missing value of " + option).c_str());
        const char* text = argv[++i];
        long long value = 0;
        bool ok = false;
        if (option == "--udp-port" && (ok = ParseNumber(text, 10, 65535, value)))
            ports.push_back(uint16_t(value));
        else if (option == "--serial" && (ok = *text != '\0'))
            serials.push_back(text);
        else if (option == "--vid" && (ok = ParseNumber(text, 16, 0xFFFF, value)))
            options.Vendor = uint16_t(value);
        else if (option == "--pid" && (ok = ParseNumber(text, 16, 0xFFFF, value)))
            options.Product = uint16_t(value);
        else if (option == "--packet-size" && (ok = ParseNumber(text, 10, 1024, value)))
            options.PacketSize = uint16_t(value);
        else if (option == "--reply-delay-ms" && (ok = ParseNumber(text, 10, 60000, value)))
            options.ReplyDelayMs = int(value);
        else if (option == "--vanish-after-bytes" && (ok = ParseNumber(text, 10, 1LL << 40, value)))
            options.VanishAfterBytes = value;
        if (!ok)
            return Usage(("bad option or value: " + option + " " + text).c_str());
    }
    if (first < 0 || first >= argc)
        return Usage("no command");

    if (ports.empty())
        return Usage("no --udp-port");
    if (serials.size() > ports.size())
        return Usage("more --serial than devices");

    UMockdevTestbed* testbed = CLASS_USB_BRIDGE_DEVICE::NewTestbed();
    // Gone before the test bed they sit on.
    std::vector<std::unique_ptr<CLASS_USB_BRIDGE_DEVICE>> bridges;
    for (size_t i = 0; i < ports.size(); ++i)
    {
        options.Number = int(i + 1);
        options.SimulatorPort = ports[i];
        char serial[32];
        std::snprintf(serial, sizeof(serial), "QRN207-%04d", options.Number);
        options.Serial = i < serials.size() ? serials[i] : serial;
        bridges.push_back(std::make_unique<CLASS_USB_BRIDGE_DEVICE>());
        std::string error;
        if (!bridges.back()->Start(options, testbed, error))
        {
            std::fprintf(stderr, "qrn207-usb-bridge: device %d: %s\n", options.Number, error.c_str());
            bridges.clear();
            g_object_unref(testbed);
            return 2;
        }
    }
    g_Bridges = &bridges;
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnVanish;
    ::sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = OnTerminate;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    // umockdev-wrapper preloads umockdev; the test bed set UMOCKDEV_DIR here.
    std::vector<char*> arguments{const_cast<char*>("umockdev-wrapper")};
    for (int i = first; i < argc; ++i)
        arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    pid_t child = 0;
    const int spawned =
        ::posix_spawnp(&child, "umockdev-wrapper", nullptr, nullptr, arguments.data(), environ);
    if (spawned != 0)
    {
        std::fprintf(stderr, "qrn207-usb-bridge: cannot run umockdev-wrapper: %s\n", std::strerror(spawned));
        return 2;
    }
    g_Child = child;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    g_Child = 0;
    g_Bridges = nullptr;
    if (stats)
    {
        int64_t out = 0;
        int64_t in = 0;
        for (const auto& bridge : bridges)
        {
            out += bridge->OutBytes();
            in += bridge->InBytes();
        }
        std::fprintf(stderr, "usb-bridge: %lld bytes out, %lld bytes in\n", static_cast<long long>(out),
                     static_cast<long long>(in));
        for (const auto& bridge : bridges)
        {
            if (bridge->HasVanished())
                std::fprintf(
                    stderr, "usb-bridge: the command ended %lld ms after the device vanished\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               CLASS_USB_BRIDGE_DEVICE::T_CLOCK::now() - bridge->VanishedAt())
                                               .count()));
        }
    }
    bridges.clear();
    g_object_unref(testbed);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
