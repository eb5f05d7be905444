#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include "SIM_ClassBootLoader.h"
#include "SIM_ClassDeviceMemory.h"
#include "SIM_ClassEventLog.h"
#include "SIM_ClassFaultPlan.h"
#include "SIM_ClassSimOptions.h"

// The one simulated device behind every link: its memory, its faults, its
// event log, its TBP boot loader, and the answers that do not depend on the
// link (micro reset, version query).
class CLASS_SIM_DEVICE : public QObject
{
    Q_OBJECT
public:
    static const char* const RESET_REQUEST;   // "1SYrst" (line end stripped)
    static const char* const RESET_ACCEPTED;  // "SYrst1\r\n"
    static const char* const RESET_REFUSED;   // "SYrst0\r\n"
    static const char* const VERSION_REQUEST; // "VEpac", the last field of the query line

    explicit CLASS_SIM_DEVICE(const T_SIM_OPTIONS& options, QObject* parent = nullptr);

    // Reads the state file and opens the event log; error names the file and the cause.
    Bool Start(QString& error);

    const T_SIM_OPTIONS& Options() const { return m_Options; }
    CLASS_SIM_DEVICE_MEMORY& Memory() { return m_Memory; }
    CLASS_SIM_FAULT_PLAN& Faults() { return m_Faults; }
    CLASS_SIM_EVENT_LOG& Log() { return m_Log; }
    CLASS_SIM_BOOT_LOADER& BootLoader() { return *m_BootLoader; }

    // The micro reset: restarts into the boot loader (SAM-BA RAM is lost) unless refused.
    QByteArray ResetAnswer(const QString& link);
    QByteArray VersionAnswer() const;

    // Rewrites the state file; a failure is logged and reported on standard error.
    void SaveState(const QString& link);
    // At the end of a run: what an unfinished programming left is kept too.
    void SaveIfChanged();
    void MarkChanged() { m_Changed = true; }

    // The flash is erasing or writing: nothing is read from the links and nothing answered
    // until SIGNAL_Ready.
    void BeginBusy(DWord milliseconds, const QString& link, const QString& what);
    Bool IsBusy() const { return m_BusyTimer.isActive(); }

    // Power fails now: no link answers any more, and the state file keeps the memory of this instant.
    void CutPower(const QString& link, const QString& why);
    Bool IsPoweredOff() const { return m_PoweredOff; }

    // A micro that boots with a torn resident boot loader runs only its ROM monitor
    // (SAM-BA): no boot loader, no firmware answers, until the RAM boot loader is started.
    // What runs keeps running while the resident boot loader is rewritten.
    Bool OnlyRomMonitor() const { return m_OnlyRomMonitor; }
    void StartRamBootLoader(const QString& link);
    // The micro restarts: RAM and what ran from it are gone.
    void ClearRam()
    {
        m_Memory.ClearRam();
        m_OnlyRomMonitor = m_Memory.ResidentTorn();
    }

signals:
    // Everything kept per conversation must be dropped (micro reset).
    void SIGNAL_Restarted();
    // The flash is done: held input and replies may go on.
    void SIGNAL_Ready();

private:
    T_SIM_OPTIONS m_Options;
    CLASS_SIM_DEVICE_MEMORY m_Memory;
    CLASS_SIM_FAULT_PLAN m_Faults;
    CLASS_SIM_EVENT_LOG m_Log;
    std::unique_ptr<CLASS_SIM_BOOT_LOADER> m_BootLoader;
    QTimer m_BusyTimer;
    QString m_BusyLink;
    QString m_BusyWhat;
    Bool m_PoweredOff = false;
    Bool m_OnlyRomMonitor = false;
    Bool m_Changed = false;
};
