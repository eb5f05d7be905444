#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QTime>
#include <atomic>
#include <memory>

#include "BACKEND/UPDATER/COMPONENTS/MVR_Enumerations.h"
#include "BACKEND/UPDATER/MVR_ClassActivityTimer.h"
#include "BACKEND/UPDATER/MVR_UpdaterDelays.h"
#include "Types.h"

class CLASS_BINARY_INFORMATIONS;
class CLASS_COMMUNICATION_CONF;
class CLASS_UNIVERSALPORT;
class CLASS_UNIVERSALPORT_SETTINGS;
class CLASS_UTILS_PROG_FILE;

enum T_UPDATER_STATUS : SDWord
{
    UPDATER_STATUS_IDLE = 0,
    UPDATER_STATUS_RUNNING = 1,
    UPDATER_STATUS_SUCCESS = 2,
    UPDATER_STATUS_ERROR = 3
};

// Step given to the init updater, after the component steps.
constexpr SDWord UPDATER_STEP_INIT = 8;

// Base of every updater: programs or resets one card component over one link.
// Lives on its card's thread; the box updater polls status, progress and the
// activity timer from its own thread (all three are safe to read from there)
// and drives it only through SIGNAL_Start and SIGNAL_TimeOut, both queued to
// this object so that Process and SLOT_TimeOut run on the updater's thread.
class CLASS_ABSTRACT_UPDATER : public QObject
{
    Q_OBJECT
public:
    CLASS_ABSTRACT_UPDATER(const QString& name, SDWord step, CLASS_COMMUNICATION_CONF* communication,
                           QObject* parent = nullptr);
    ~CLASS_ABSTRACT_UPDATER() override;

    // endAction, componentType and cardType point to their values (a null
    // pointer leaves the current value). isRam selects the programming-file
    // protocol: 0 TBP, 1 SAM-BA ASCII.
    Bool Configure(CLASS_BINARY_INFORMATIONS* binary, CLASS_BINARY_INFORMATIONS* verificationBinary,
                   SDWord isRam, const T_END_ACTION* endAction, const T_COMPONENT_TYPE* componentType,
                   const T_CARD_TYPE* cardType);
    void SetCommunicationData(CLASS_COMMUNICATION_CONF* communication);
    void ErrorStatus(const QString& message);

    virtual SDWord GetStatus();
    virtual DWord GetProgress() = 0;
    virtual QString GetErrorMessage();
    // Why the updater last failed, as its failure message says; empty until it
    // fails and again after Reset. Safe from any thread.
    QString GetFailureCause() const;
public slots:
    virtual void Process() = 0;

public:
    virtual Bool IsFinished(SDWord* status);
    virtual SDWord GetExtendedStatus() = 0;
    virtual void ConnectDebugSignals();
    virtual void Reset();
public slots:
    virtual void SLOT_TimeOut();

public:
    CLASS_ACTIVITY_TIMER& GetTimer() { return m_ActivityTimer; }
    void SetProgress(DWord progress) { m_Progress.store(progress); }
    void SetStatus(SDWord status) { m_Status.store(status); }
    const QString& GetName() const { return m_Name; }
    SDWord GetStep() const { return m_Step; }
    T_END_ACTION GetEndAction() const { return m_EndAction; }
    T_CARD_TYPE GetCardType() const { return m_CardType; }
    CLASS_UTILS_PROG_FILE* GetProgFileUtility() const { return m_ProgFileUtility.get(); }
    CLASS_COMMUNICATION_CONF* GetCommunication() const { return m_Communication; }
    CLASS_UNIVERSALPORT* GetPort() const { return m_Port; }
    QTime GetLastActionTime() const { return m_LastActionTime; }

    // Waits and clock; set before the updater starts (tests shorten them).
    void SetDelays(const T_UPDATER_DELAYS& delays);
    const T_UPDATER_DELAYS& GetDelays() const { return m_Delays; }

signals:
    void SIGNAL_TimeOut();
    void SIGNAL_DisplayDebug(QString message);
    void SIGNAL_Start();

protected:
    void SetFinished(Bool finished) { m_Finished.store(finished); }
    void SetErrorText(const QString& text);
    // Set before the status turns to error, so a poller that sees the error
    // also sees its cause.
    void SetFailureCause(const QString& cause);
    void SetLastActionTime() { m_LastActionTime = QTime::currentTime(); }
    static void SleepMs(int milliseconds);

    // Asks the communication configuration for a port and its settings (owned
    // here). False when either is missing afterwards.
    Bool CreatePortFromCommunication(const QString& suffix);
    // Copies the settings into the port by communication type. An unknown type
    // is traced under functionName and the caller goes on.
    void ApplyPortSettings(const char* file, int line, const char* functionName);
    // Up to UPDATER_OPEN_ATTEMPTS opens, pausing retryMs after each failure.
    Bool OpenPortWithRetries(int retryMs);
    // ": " and why the port's last open failed, when the port tells it (which
    // USB devices match, who holds the device); empty otherwise.
    QString PortOpenFailure() const;
    Bool IsPortConnected() const;
    // Closes and deletes the port and its settings.
    void DeletePort();
    void DeletePortSettings();

    CLASS_ACTIVITY_TIMER m_ActivityTimer;
    std::atomic<DWord> m_Progress;
    const QString m_Name;
    const SDWord m_Step;
    QString m_ErrorText;
    std::atomic<Bool> m_Finished;
    std::atomic<SDWord> m_Status;
    QTime m_LastActionTime;
    std::unique_ptr<CLASS_UTILS_PROG_FILE> m_ProgFileUtility;
    T_END_ACTION m_EndAction;
    CLASS_COMMUNICATION_CONF* m_Communication;
    CLASS_UNIVERSALPORT* m_Port;
    CLASS_UNIVERSALPORT_SETTINGS* m_PortSettings;
    T_CARD_TYPE m_CardType;
    T_UPDATER_DELAYS m_Delays;

private:
    mutable QMutex m_ErrorTextMutex;
    QString m_FailureCause;
};
