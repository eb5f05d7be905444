#pragma once

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>

#include "BACKEND/UPDATER/MVR_UpdaterDelays.h"
#include <memory>
#include <mutex>

#include "BACKEND/Box_UpdaterState.h"
#include "BACKEND/MISC/MISC_ClassConfigurationParser.h"
#include "BACKEND/MISC/MISC_ClassPackageExtractor.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardsManager.h"
#include "Types.h"

class CLASS_ABSTRACT_UPDATER;
class CLASS_CARD;
class CLASS_COMMUNICATION_CONF;
class CLASS_DEVICE_VERSION_RETRIEVER;
class CLASS_INIT_UPDATER;
class QLockFile;

// Waits of an update, in one place. The defaults are what the devices need;
// tests may hand shorter ones to SetDelays.
struct T_BOX_UPDATER_DELAYS
{
    // Pause between two polls of the updaters.
    unsigned long PollIntervalMs = 1000;
    // An updater without activity for this long is timed out.
    qint64 InactivityTimeoutMs = 15000;
    // Wait for a card's thread to end once the update is over.
    unsigned long CardThreadStopWaitMs = 500;
    // Wait of each updater before it opens its link (the device's own default unless set).
    int UpdaterStartWaitMs = T_UPDATER_DELAYS().StartWaitMs;
};

// Runs one update of the device: package, configuration, init reset, then
// one poll per second that starts each step's updaters when the steps they
// need are done, times out silent ones and decides how the update ended.
class BOX_UPDATER : public QObject
{
    Q_OBJECT
public:
    // Return codes of SIGNAL_CloseUpdater (quiet mode's exit code).
    static constexpr int RETURN_CODE_SUCCESS = 0;
    static constexpr int RETURN_CODE_CONFIGURATION_REJECTED = 2;
    static constexpr int RETURN_CODE_PACKAGE_UNUSABLE = 3;
    static constexpr int RETURN_CODE_UPDATER_FAILED = 4;

    // Requirement of a start: step -> status every updater of that step must
    // have.
    using T_REQUIREMENT = QHash<SDWord, SDWord>;

    BOX_UPDATER(Bool fullForce, Bool forceWithoutBootResident, Bool quiet, QObject* parent = nullptr);
    ~BOX_UPDATER() override;

    void StartUpdate(QString configurationFile);
    void StopUpdate();

    CLASS_PACKAGE_EXTRACTOR& GetPackageExtractor() { return m_PackageExtractor; }
    CLASS_DEVICE_VERSION_RETRIEVER* GetDeviceVersionRetriever() const { return m_DeviceVersionRetriever; }

    // Takes the package in as the one to use (checked, kept in the local
    // package folder). False, with the error traced, when it is refused.
    Bool TakePackage(const QString& filePath);

    // The work folder is shared by every instance on the machine: one
    // program holds it for its whole life (its start takes the first hold,
    // the destructor lets go). Holds nest; false, with the cause (another
    // updater, another account's folder, a folder that cannot be written)
    // traced and written to standard output.
    Bool HoldWorkFolder();
    void ReleaseWorkFolder();
    // Why the last HoldWorkFolder failed, as told to the operator.
    QString GetWorkFolderRefusal() const { return m_WorkFolderRefusal; }
    QString WorkFolderLockPath() const;

    void SetDelays(const T_BOX_UPDATER_DELAYS& delays) { m_Delays = delays; }
    const T_BOX_UPDATER_DELAYS& GetDelays() const { return m_Delays; }

    // The model of the running update.
    CLASS_CARDS_MANAGER& GetCardsManager() { return m_CardsManager; }

    // The program is leaving: the update loop ends within one poll, then the
    // card threads are stopped; nothing is reported as finished or failed.
    // Safe from any thread; connected to the application's about-to-quit.
    void RequestQuit();
    Bool QuitRequested() const { return m_QuitRequested.load(); }

    // The parts of an update, each blocking the calling thread.
    void InitUpdateInitialization();
    // The two waits for the init reset (started, then done), each bounded by
    // the inactivity time-out. False when the program is leaving.
    Bool WaitForInitialization(CLASS_ABSTRACT_UPDATER* init);
    void RunUpdate();
    // One poll of every updater: starts, time-outs, end of the update.
    void CardsUpdate(Bool& finished, Bool& error);
    void DisplayUpdaterState(CLASS_CARD* card, CLASS_ABSTRACT_UPDATER* updater);
    Bool AllUpdatersInStatus(const T_REQUIREMENT& requirement);

signals:
    void SIGNAL_CloseUpdater(int returnCode);
    void SIGNAL_ChangeCurrentState(T_BOX_UPDATER_STATE state);
    void SIGNAL_ChangeCurrentProgress(DWord progress);
    void SIGNAL_DisplayDebug(QString message);
    void SIGNAL_ExtractionFailed(QString errorMessage);
    // Window mode: what made the update fail, sent just before the error
    // state. The updater's name is empty when no updater is to blame (the
    // configuration was refused).
    void SIGNAL_UpdateFailed(QString updaterName, QString cause);

public slots:
    void SLOT_DisplayDebug(QString message);
    void SLOT_CopyKtpPackageInLocal(QString filePath);

private:
    void RunWholeUpdate(const QString& configurationFile);
    Bool StartRequirement(CLASS_CARD* card, CLASS_ABSTRACT_UPDATER* updater, T_REQUIREMENT& requirement,
                          Bool& noValidPreviousStep);
    void Failure(CLASS_CARD* card, CLASS_ABSTRACT_UPDATER* updater, Bool& finished, Bool& error);
    // Keeps the first failure of the run: later ones are usually its echoes.
    void RecordFailure(const QString& updaterName, const QString& cause);
    void ConfigurationRejected(const QString& configurationFile);
    CLASS_COMMUNICATION_CONF* FindMainCommunication();
    void StopInitialization();
    // Asks every card's thread to end, waits a bounded time for each; a card
    // whose thread ended lets go of its deleted updaters.
    void StopCardThreads();
    // Sleeps up to milliseconds; true (at once) when the program is leaving.
    Bool WaitOrQuit(unsigned long milliseconds);
    void ClearModel();
    void Close(int returnCode);
    // Why the lock could not be taken.
    QString LockRefusal() const;
    static void PrintLine(const QString& text);

    CLASS_CARDS_MANAGER m_CardsManager;
    QList<CLASS_COMMUNICATION_CONF*> m_Communications;
    CLASS_CONFIGURATION_PARSER m_ConfigurationParser;
    CLASS_PACKAGE_EXTRACTOR m_PackageExtractor;
    CLASS_DEVICE_VERSION_RETRIEVER* m_DeviceVersionRetriever;
    // Lives on the init thread and is deleted there when that thread ends.
    QPointer<CLASS_INIT_UPDATER> m_InitUpdater;
    QPointer<QThread> m_InitThread;
    QThread* m_VersionRetrieverThread;
    Bool m_Quiet;
    QHash<QPair<CLASS_ABSTRACT_UPDATER*, SDWord>, Byte> m_ShownProgress;
    Bool m_FailureRecorded = false;
    QString m_FailedUpdaterName;
    QString m_FailureCause;

    T_BOX_UPDATER_DELAYS m_Delays;
    std::unique_ptr<QLockFile> m_WorkFolderLock;
    int m_WorkFolderHolds = 0;
    QString m_WorkFolderRefusal;

    std::atomic<Bool> m_QuitRequested{false};
    std::mutex m_QuitMutex;
    std::condition_variable m_QuitCondition;
};
