#pragma once

#include <QHash>
#include <QList>
#include <QThread>

#include "COMDRIVER_ClassUniversalPort.h"
#include "COMDRIVER_ClassUniversalPortSettingsUsb.h"
#include "COMDRIVER_ClassUniversalPortUsbLibrariesManager.h"

// Port over USB bulk endpoints. A thin front end: the management library
// does the USB work on the port's own "THREAD_USB_..." thread. Sources are
// endpoint numbers in decimal.
class CLASS_UNIVERSALPORT_USB : public CLASS_UNIVERSALPORT
{
    Q_OBJECT
public:
    enum T_USB_LIBRARY_KIND
    {
        USB_LIBRARY_LIBUSB = 0
    };

    CLASS_UNIVERSALPORT_USB(Bool receptionMode, Bool autoReconnection, int libraryKind,
                            const QString& portInfo, QObject* parent = nullptr);
    ~CLASS_UNIVERSALPORT_USB() override;

    Bool SetConfiguration(const CLASS_UNIVERSALPORT_SETTINGS_USB& settings);
    void GetConfiguration(CLASS_UNIVERSALPORT_SETTINGS_USB& settings) const;

    QThread* GetLibraryThread() const { return m_LibraryThread; }

    // Why the last Open failed, told to the operator (which devices match,
    // who holds the device); and the device of the open session.
    QString GetOpenFailure() const;
    QString GetOpenedDevice() const;

public slots:
    void GetReceivedData(QByteArray& data, SDWord size, QString portInfo = QString()) override;
    Bool Open() override;
    void Close() override;
    Bool SendData(QByteArray dataToSend, QString portInfo = QString()) override;
    Bool HasDataAvailable(QString portInfo = QString()) override;
    void ConsumeData(SDWord sizeToConsume, QString portInfo = QString()) override;

signals:
    void SIGNAL_StartUsbProcess();

private slots:
    void ReceiveDataFromLibrary(QByteArray data, QString portInfo);
    void ErrorFromLibrary(QString errorMessage);
    void CloseEventFromLibrary();

private:
    QList<QByteArray>* FindList(const QString& portInfo);

    CLASS_UNIVERSALPORT_USB_LIBRARIES_MANAGER* m_Library;
    QThread* m_LibraryThread;
    // Receives the library's data on the port's thread, so that Close can drop
    // exactly the data a closed session left queued (and nothing else: the
    // library's close event must still arrive).
    QObject* m_DataReceiver;
    QHash<QString, QList<QByteArray>> m_ReceiveBuffers;
};
