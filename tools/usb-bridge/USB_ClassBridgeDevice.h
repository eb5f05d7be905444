#pragma once

// An emulated USB device (umockdev) whose bulk endpoints are bridged to the
// device simulator's UDP link: the bytes of every bulk OUT transfer go to the
// simulator, its replies come back through the bulk IN endpoint in packets of
// at most the endpoint's size. The real libusb code path of a program that
// runs with umockdev's preload library (umockdev-wrapper) and this process's
// UMOCKDEV_DIR then carries the real frames.
//
// The ioctl handler runs on umockdev's own thread, the simulator's replies
// arrive on a thread of this class: shared state sits behind one mutex.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// GLib names a member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <umockdev.h>
#pragma pop_macro("signals")

struct T_USB_BRIDGE_OPTIONS
{
    int Number = 1;     // device N sits at bus-port path 1-N, device address N+1
    std::string Serial; // its serial number
    uint16_t Vendor = 0x03EB;
    uint16_t Product = 0x6124;
    uint16_t PacketSize = 64;      // wMaxPacketSize of both bulk endpoints
    uint16_t SimulatorPort = 0;    // the simulator's UDP link on 127.0.0.1
    int ReplyDelayMs = 0;          // a slow device: each reply held back this long
    int64_t VanishAfterBytes = -1; // the device disappears once this many OUT bytes were sent
};

class CLASS_USB_BRIDGE_DEVICE
{
public:
    using T_CLOCK = std::chrono::steady_clock;

    CLASS_USB_BRIDGE_DEVICE() = default;
    ~CLASS_USB_BRIDGE_DEVICE();
    CLASS_USB_BRIDGE_DEVICE(const CLASS_USB_BRIDGE_DEVICE&) = delete;
    CLASS_USB_BRIDGE_DEVICE& operator=(const CLASS_USB_BRIDGE_DEVICE&) = delete;

    // The test bed every device goes on (this sets UMOCKDEV_DIR in the
    // environment); the caller unrefs it after the devices are gone.
    static UMockdevTestbed* NewTestbed();

    // Puts the device on the test bed and links it to the simulator. False
    // with error set on failure.
    bool Start(const T_USB_BRIDGE_OPTIONS& options, UMockdevTestbed* testbed, std::string& error);

    // The device disappears: transfers in flight end with "no device", every
    // later request fails, and it is no longer listed on the bus.
    void Vanish();
    // Vanish() from any thread, signal handlers included: done by the link thread.
    void RequestVanish() { m_VanishRequested = true; }

    bool HasVanished() const { return m_Vanished; }
    // When the device disappeared (meaningful once HasVanished()).
    T_CLOCK::time_point VanishedAt() const { return m_VanishedAt; }
    int64_t OutBytes() const { return m_OutBytes; }
    int64_t InBytes() const { return m_InBytes; }

private:
    struct T_URB
    {
        UMockdevIoctlData* Data;
    };
    struct T_CLIENT
    {
        std::vector<T_URB> Pending;  // IN reads waiting for data
        std::deque<T_URB> Completed; // ready to be reaped
    };
    struct T_CHUNK
    {
        T_CLOCK::time_point Due;
        std::string Bytes;
    };

    static gboolean HandleIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    static void ClientVanished(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    bool Handle(UMockdevIoctlClient* client, std::unique_lock<std::mutex>& lock);
    bool Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    // Requests on endpoint 0: the string descriptors (the serial number); the rest stall.
    bool Control(UMockdevIoctlClient* client, UMockdevIoctlData* urb);
    bool Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg, std::unique_lock<std::mutex>& lock);
    void FillPendingReads(T_CLIENT& client);
    void VanishLocked();
    void FlushOutLocked();
    void RunLink();

    T_USB_BRIDGE_OPTIONS m_Options;
    UMockdevTestbed* m_Testbed = nullptr;
    UMockdevIoctlBase* m_Handler = nullptr;
    std::string m_SysPath;
    std::string m_DevNode;
    int m_Socket = -1;
    std::thread m_LinkThread;
    std::atomic<bool> m_Stopping{false};
    std::atomic<bool> m_VanishRequested{false};
    std::atomic<bool> m_Vanished{false};
    T_CLOCK::time_point m_VanishedAt; // written before m_Vanished is set
    std::atomic<int64_t> m_OutBytes{0};
    std::atomic<int64_t> m_InBytes{0};

    std::mutex m_Mutex;
    std::condition_variable m_DataArrived;
    std::map<UMockdevIoctlClient*, T_CLIENT> m_Clients;
    std::deque<T_CHUNK> m_InData; // the simulator's replies, oldest first
    size_t m_InOffset = 0;        // bytes of the first chunk already delivered
    std::string m_OutData;        // OUT bytes not yet sent on
    T_CLOCK::time_point m_LastOut;
};
