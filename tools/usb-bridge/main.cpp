// qrn207-usb-bridge: runs a command with an emulated USB device 03EB:6124
// whose bulk endpoints are bridged to the device simulator's UDP link.
//
//   qrn207-usb-bridge --udp-port P [--vid HEX] [--pid HEX] [--packet-size N]
//                     [--reply-delay-ms N] [--vanish-after-bytes N] [--stats] -- COMMAND [ARGS...]
//
// The command runs under umockdev-wrapper with this process's test bed.
// SIGUSR1 makes the device disappear; SIGTERM and SIGINT go on to the command.
// The exit code is the command's (128 + signal when a signal ended it).

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "USB_ClassBridgeDevice.h"

extern char** environ;

namespace
{
CLASS_USB_BRIDGE_DEVICE* g_Bridge = nullptr;
volatile pid_t g_Child = 0;

void OnVanish(int)
{
    if (g_Bridge)
        g_Bridge->RequestVanish();
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
    std::fprintf(stderr,
                 "qrn207-usb-bridge: %s\n"
                 "usage: qrn207-usb-bridge --udp-port P [--vid HEX] [--pid HEX] [--packet-size N]\n"
                 "       [--reply-delay-ms N] [--vanish-after-bytes N] [--stats] -- COMMAND [ARGS...]\n",
                 why);
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    T_USB_BRIDGE_OPTIONS options;
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
            options.SimulatorPort = uint16_t(value);
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

    CLASS_USB_BRIDGE_DEVICE bridge;
    std::string error;
    if (!bridge.Start(options, error))
    {
        std::fprintf(stderr, "qrn207-usb-bridge: %s\n", error.c_str());
        return 2;
    }
    g_Bridge = &bridge;
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
    g_Bridge = nullptr;
    if (stats)
    {
        std::fprintf(stderr, "usb-bridge: %lld bytes out, %lld bytes in\n",
                     static_cast<long long>(bridge.OutBytes()), static_cast<long long>(bridge.InBytes()));
        if (bridge.HasVanished())
            std::fprintf(
                stderr, "usb-bridge: the command ended %lld ms after the device vanished\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           CLASS_USB_BRIDGE_DEVICE::T_CLOCK::now() - bridge.VanishedAt())
                                           .count()));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
