#pragma once

#include <QObject>

#include <mutex>

#include "COMDRIVER_ClassUniversalPortSettingsUsb.h"
#include "Types.h"

// The USB work behind a USB port, done on a thread of its own: Open, SendData
// and Close are called from the port's thread, the event loop runs on the
// library's thread and reports through queued signals.
class CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER : public QObject
{
    Q_OBJECT
public:
    explicit CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER(QObject* parent = nullptr);
    ~CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER() override;

    // The working copy, used from the port's thread.
    void SetSettings(const CLASS_UNIVERSALPORT_SETTINGS_USB& settings);
    CLASS_UNIVERSALPORT_SETTINGS_USB GetSettings() const;

    // Whether the event loop is meant to run (readable from any thread).
    virtual Bool IsRunning() const = 0;

    // Why the last Open failed, for the operator (empty after a success), and
    // the device the open session talks to (path and serial number).
    QString GetOpenFailure() const;
    QString GetOpenedDevice() const;

public slots:
    virtual Bool Open() = 0;
    virtual Bool Close() = 0;
    virtual Bool SendData(QByteArray data, QString portInfo) = 0;
    virtual void SLOT_UsbProcess() = 0;
    virtual void SLOT_UsbProcessAutoConnect() = 0;

signals:
    void SIGNAL_NewDataAvailable(QByteArray data, QString portInfo);
    void SIGNAL_ErrorFromUsb(QString errorMessage);
    void SIGNAL_OpenEvent();
    void SIGNAL_CloseEvent();

protected:
    CLASS_UNIVERSALPORT_SETTINGS_USB m_Settings;
    // Held by every call from the port's thread and taken once more before
    // destruction, which happens on the library's thread: the handover is
    // then ordered by a lock that thread checkers can see.
    mutable std::mutex m_OwnerMutex;
    QString m_OpenFailure;
    QString m_OpenedDevice;
};
