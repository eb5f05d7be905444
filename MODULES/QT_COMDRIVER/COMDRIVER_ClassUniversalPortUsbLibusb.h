#pragma once

#include <QBitArray>
#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <mutex>

#include <atomic>
#include <vector>

#include <libusb.h>

#include "COMDRIVER_ClassUniversalPortUsbLibrariesManager.h"

// USB management over libusb-1.0: bulk IN endpoints read by asynchronous
// transfers that are always submitted again, bulk OUT written by synchronous
// transfers of one packet each.
class CLASS_UNIVERSALPORT_USB_LIBUSB : public CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER
{
    Q_OBJECT
public:
    static constexpr int CONFIGURATION_VALUE = 1;
    static constexpr int DEBUG_LEVEL = LIBUSB_LOG_LEVEL_INFO;
    static constexpr int CLAIM_ATTEMPTS = 3;
    static constexpr unsigned long CLAIM_RETRY_DELAY_MS = 50;
    static constexpr unsigned int READ_TIMEOUT_MS = 5000;
    static constexpr unsigned int WRITE_TIMEOUT_MS = 5000;
    static constexpr int EVENT_TIMEOUT_S = 1;
    // A read that ended in error is submitted again after this pause, so a
    // failing device cannot make the loop spin.
    static constexpr qint64 READ_RETRY_DELAY_MS = 100;
    // Longest wait for cancelled reads to come back when closing.
    static constexpr qint64 CANCEL_WAIT_MS = 2000;
    static constexpr int MAX_PENDING_BYTES = 1 << 20;

    explicit CLASS_UNIVERSALPORT_USB_LIBUSB(Bool autoReconnection, QObject* parent = nullptr);
    ~CLASS_UNIVERSALPORT_USB_LIBUSB() override;

    Bool IsRunning() const override;
    Bool HasContext() const { return m_Context != nullptr; }

public slots:
    Bool Open() override;
    Bool Close() override;
    Bool SendData(QByteArray data, QString portInfo) override;
    void SLOT_UsbProcess() override;
    void SLOT_UsbProcessAutoConnect() override;

private:
    libusb_device* SetDeviceConfiguration();
    // The one matching device, or the one the selector names; null (open
    // failure set) when there is none or several and no choice.
    libusb_device* ChooseDevice(const QList<libusb_device*>& matches);
    void FreeDeviceList();
    // LIBUSB_SUCCESS or the error of the last attempt.
    int ClaimInterface(int interfaceNumber);
    Bool SubmitRead(int index);
    Bool SendPieces(const QByteArray& data, const QString& portInfo);
    void RunEventLoop();
    Bool CloseDevice();
    // Cancels the reads, releases what this port claimed, closes the handle.
    Bool ReleaseDevice(Bool reset);
    void CancelReadsAndWait();
    void FreeReadTransfers();
    void HandleReadTransfer(libusb_transfer* transfer);
    static void LIBUSB_CALL ReadTransfertCallBack(libusb_transfer* transfer);

    libusb_context* m_Context;
    libusb_device** m_DeviceList;
    int m_ConfigurationValue;
    QList<libusb_transfer*> m_ReadTransfers;
    QBitArray m_ResubmitBits;
    std::vector<std::vector<unsigned char>> m_ReadBuffers;
    Bool m_AutoReconnection;
    Bool m_AutoReconnectionDeviceArrived;
    Bool m_AutoReconnectionDeviceLeft;
    libusb_device_handle* m_DeviceHandle;
    std::atomic<bool> m_Running;
    libusb_hotplug_callback_handle m_HotplugHandle;
    QList<QPair<Byte, QByteArray>> m_ReceivedData;
    QList<QPair<QString, QByteArray>> m_PendingSend;
    // Opened by the owner and not closed by it since: only then may sends
    // wait for a reconnection, and only up to MAX_PENDING_BYTES.
    Bool m_SessionWanted = false;

    // Guards the transfer list, the resubmit and in-flight bits, the staging
    // list, the closing flag and the error timer: the read callback runs on
    // whichever thread handles libusb events (the loop, or the port's thread
    // inside a synchronous send). A standard mutex, so that thread checkers
    // see the locking.
    mutable std::mutex m_Mutex;
    QBitArray m_InFlight;
    bool m_Closing;
    QElapsedTimer m_LastReadError;
    // Port's thread only.
    QList<int> m_ClaimedInterfaces;
};
