#include "BACKEND/Box_Updater.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>

#include <cstdio>

#include "BACKEND/MISC/MISC_ClassDeviceVersionRetriever.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassAbstractProgFileWithProtocol.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassUtilsProgFile.h"
#include "BACKEND/UPDATER/MVR_ClassInitUpdater.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPErrorProtocol.h"
#include "THIRDBLOCKPROTOCOL_ClassTBPMvrUpdater.h"
#include "Traces.h"

namespace
{
const QString INIT_UPDATER_NAME = QStringLiteral("BOX_UPDATER_INIT");
const QString LOCK_FILE_NAME = QStringLiteral("BOX_UPDATER.lock");
const QString VERSION_FILE = QStringLiteral("/CONF/version.ini");
const QString CORRUPTED_PACKAGE_MESSAGE =
    QStringLiteral("The current package is corrupted. Please select a new one.");
const QString KEEPING_OLD_PACKAGE_MESSAGE =
    QStringLiteral("Error when extracting the selected package. Keeping the old package.");
const QString TIMEOUT_INIT_MESSAGE =
    QStringLiteral("Timeout encountered during initialization updater, abort updater!");
} // namespace

BOX_UPDATER::BOX_UPDATER(Bool fullForce, Bool forceWithoutBootResident, Bool quiet, QObject* parent)
    : QObject(parent),
      m_ConfigurationParser(&m_CardsManager, m_Communications, fullForce, forceWithoutBootResident),
      m_DeviceVersionRetriever(new CLASS_DEVICE_VERSION_RETRIEVER), m_VersionRetrieverThread(new QThread),
      m_Quiet(quiet)
{
    RegisterBoxUpdaterState();
    // Built with the program's other fixed tables, before any configuration is read.
    InitEnumerationTables();
    CLASS_TBP_ERRORPROTOCOL::CreateDescriptors();
    CLASS_TBP_MVRUPDATER::CreateDescriptors();

    m_VersionRetrieverThread->setObjectName(QStringLiteral("THREAD_VERSION_RETRIEVER"));
    // Direct: the update loop blocks this object's thread and must see the
    // quit before anything it polls is stopped.
    if (QCoreApplication::instance())
        connect(
            QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { RequestQuit(); },
            Qt::DirectConnection);
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, m_VersionRetrieverThread,
                &QThread::quit, Qt::QueuedConnection);
    m_DeviceVersionRetriever->moveToThread(m_VersionRetrieverThread);
    m_PackageExtractor.SetStopRequest(&m_QuitRequested);
    // The retriever and its port are deleted on their own thread as it ends.
    connect(m_VersionRetrieverThread, &QThread::finished, m_DeviceVersionRetriever, &QObject::deleteLater);
    m_VersionRetrieverThread->start(QThread::InheritPriority);
}

BOX_UPDATER::~BOX_UPDATER()
{
    StopInitialization();
    delete m_InitThread.data();
    ClearModel();
    m_VersionRetrieverThread->quit();
    m_VersionRetrieverThread->wait();
    delete m_VersionRetrieverThread;
    m_WorkFolderLock.reset();
}

QString BOX_UPDATER::WorkFolderLockPath() const
{
    return m_PackageExtractor.GetWorkFolder() + QLatin1Char('/') + LOCK_FILE_NAME;
}

Bool BOX_UPDATER::HoldWorkFolder()
{
    if (m_WorkFolderHolds > 0)
    {
        ++m_WorkFolderHolds;
        return true;
    }
    m_WorkFolderRefusal = m_PackageExtractor.SecureWorkFolder();
    if (m_WorkFolderRefusal.isEmpty())
    {
        if (!m_WorkFolderLock)
        {
            m_WorkFolderLock.reset(new QLockFile(WorkFolderLockPath()));
            // Only a lock whose process is gone counts as stale, however old.
            m_WorkFolderLock->setStaleLockTime(0);
        }
        if (m_WorkFolderLock->tryLock(0))
        {
            m_WorkFolderHolds = 1;
            // Whatever a killed holder left half done is settled first.
            m_PackageExtractor.RecoverInterruptedTakeIn();
            return true;
        }
        m_WorkFolderRefusal = LockRefusal();
    }
    m_WorkFolderRefusal += QStringLiteral(", abort updater!");
    PrintLine(m_WorkFolderRefusal);
    TraceError(TRACE_POS + m_WorkFolderRefusal);
    return false;
}

QString BOX_UPDATER::LockRefusal() const
{
    const QString folder = QStringLiteral("the work folder \"") + m_PackageExtractor.GetWorkFolder() + "\"";
    if (m_WorkFolderLock->error() != QLockFile::LockFailedError)
        return QStringLiteral("The lock file \"") + WorkFolderLockPath() +
               QStringLiteral("\" cannot be made: ") + folder + QStringLiteral(" cannot be written");
    QString holder;
    qint64 pid = 0;
    QString hostName;
    QString application;
    if (m_WorkFolderLock->getLockInfo(&pid, &hostName, &application))
        holder =
            QStringLiteral(" (process ") + QString::number(pid) + QStringLiteral(" on ") + hostName + ")";
    return QStringLiteral("Another updater is using ") + folder + holder +
           QStringLiteral(", wait for it to end");
}

void BOX_UPDATER::ReleaseWorkFolder()
{
    if (m_WorkFolderHolds <= 0)
        return;
    if (--m_WorkFolderHolds == 0 && m_WorkFolderLock)
        m_WorkFolderLock->unlock();
}

void BOX_UPDATER::PrintLine(const QString& text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

void BOX_UPDATER::RequestQuit()
{
    {
        std::lock_guard<std::mutex> lock(m_QuitMutex);
        m_QuitRequested.store(true);
    }
    m_QuitCondition.notify_all();
}

Bool BOX_UPDATER::WaitOrQuit(unsigned long milliseconds)
{
    std::unique_lock<std::mutex> lock(m_QuitMutex);
    return m_QuitCondition.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                    [this] { return m_QuitRequested.load(); });
}

void BOX_UPDATER::Close(int returnCode)
{
    if (m_Quiet)
        emit SIGNAL_CloseUpdater(returnCode);
}

void BOX_UPDATER::SLOT_DisplayDebug(QString message)
{
    TraceInfo(TRACE_POS + message);
}

Bool BOX_UPDATER::TakePackage(const QString& filePath)
{
    if (!HoldWorkFolder())
        return false;
    const Bool taken = m_PackageExtractor.CopyKtpPackageInLocal(filePath);
    ReleaseWorkFolder();
    if (!taken)
        TraceError(TRACE_POS + "Unable to save the following KTP Package from path: \"" + filePath + "\"");
    return taken;
}

void BOX_UPDATER::SLOT_CopyKtpPackageInLocal(QString filePath)
{
    // A take-in cut short by quitting is no failure to show.
    if (!TakePackage(filePath) && !QuitRequested())
        emit SIGNAL_ExtractionFailed(KEEPING_OLD_PACKAGE_MESSAGE);
}

void BOX_UPDATER::StopUpdate()
{
    // The extraction folder may be another instance's running update.
    if (HoldWorkFolder())
    {
        m_PackageExtractor.CleanExtractionFolder();
        ReleaseWorkFolder();
    }
    ClearModel();
}

void BOX_UPDATER::ClearModel()
{
    m_CardsManager.DeleteAllCards();
    m_Communications.clear();
    m_ShownProgress.clear();
    m_ConfigurationParser.ClearBinaries();
    m_FailureRecorded = false;
    m_FailedUpdaterName.clear();
    m_FailureCause.clear();
}

void BOX_UPDATER::StartUpdate(QString configurationFile)
{
    emit SIGNAL_ChangeCurrentState(BOX_UPDATER_STATE_READY);
    if (!HoldWorkFolder())
    {
        emit SIGNAL_ExtractionFailed(m_WorkFolderRefusal);
        Close(RETURN_CODE_PACKAGE_UNUSABLE);
        return;
    }
    RunWholeUpdate(configurationFile);
    ReleaseWorkFolder();
}

void BOX_UPDATER::ConfigurationRejected(const QString& configurationFile)
{
    const QString message = QStringLiteral("Invalid configurations file at path \"") + configurationFile +
                            QStringLiteral("\", abort updater!");
    if (!m_Quiet)
    {
        emit SIGNAL_UpdateFailed(QString(), message);
        emit SIGNAL_ChangeCurrentState(BOX_UPDATER_STATE_ERROR);
        return;
    }
    emit SIGNAL_DisplayDebug(message);
    PrintLine(message);
    emit SIGNAL_CloseUpdater(RETURN_CODE_CONFIGURATION_REJECTED);
}

void BOX_UPDATER::RunWholeUpdate(const QString& configurationFile)
{
    // A model left by an earlier update must not take part in this one.
    StopInitialization();
    ClearModel();

    const QString packagePath = m_PackageExtractor.GetLocalPackagePath();
    const Bool decrypted = m_PackageExtractor.Decrypt(packagePath);
    if (QuitRequested())
        return;
    if (!decrypted)
    {
        TraceError(TRACE_POS + "Unable to decrypt KTP Package at path: \"" + packagePath + "\"");
        emit SIGNAL_ExtractionFailed(CORRUPTED_PACKAGE_MESSAGE);
        Close(RETURN_CODE_PACKAGE_UNUSABLE);
        return;
    }
    const Bool extracted = m_PackageExtractor.ExtractCompressedPackage();
    if (QuitRequested())
        return;
    if (!extracted)
    {
        TraceError(TRACE_POS + "Unable to extract KTP Package");
        emit SIGNAL_ExtractionFailed(CORRUPTED_PACKAGE_MESSAGE);
        Close(RETURN_CODE_PACKAGE_UNUSABLE);
        return;
    }
    if (QuitRequested())
        return;

    {
        // Read afresh: a cached read would show an earlier package's version.
        const QVariant value = CLASS_PACKAGE_EXTRACTOR::ReadVersionValue(
            m_PackageExtractor.GetExtractionFolder() + VERSION_FILE, QStringLiteral("version"));
        std::printf("Updater configuration version: %s\n",
                    value.isValid() ? value.toString().toUtf8().constData() : "XXX");
        std::fflush(stdout);
    }

    if (!m_ConfigurationParser.ParsingConfigurationsFile(configurationFile))
    {
        ConfigurationRejected(configurationFile);
        return;
    }
    // Without a card the polls would never end.
    if (m_CardsManager.GetCards().isEmpty())
    {
        TraceError(TRACE_POS + "The configuration file \"" + configurationFile + "\" describes no card");
        ConfigurationRejected(configurationFile);
        return;
    }

    for (CLASS_CARD* card : m_CardsManager.GetCards())
    {
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
        {
            CLASS_ABSTRACT_UPDATER* updater = component ? component->GetUpdater() : nullptr;
            if (!updater)
                continue;
            connect(updater, &CLASS_ABSTRACT_UPDATER::SIGNAL_DisplayDebug, this,
                    &BOX_UPDATER::SLOT_DisplayDebug, Qt::DirectConnection);
            // Set before the updater starts: its thread reads them only once started.
            if (updater->GetDelays().StartWaitMs != m_Delays.UpdaterStartWaitMs)
            {
                T_UPDATER_DELAYS delays = updater->GetDelays();
                delays.StartWaitMs = m_Delays.UpdaterStartWaitMs;
                updater->SetDelays(delays);
            }
        }
    }

    emit SIGNAL_ChangeCurrentState(BOX_UPDATER_STATE_RUNNING);

    CLASS_COMMUNICATION_CONF* mainCommunication = FindMainCommunication();
    if (!mainCommunication)
    {
        TraceError(TRACE_POS +
                   "Error during init updater initialization, cannot found main communication data, abort!");
        // Nothing could run: the configuration is refused rather than left running.
        ConfigurationRejected(configurationFile);
        return;
    }

    auto* initUpdater = new CLASS_INIT_UPDATER(INIT_UPDATER_NAME, mainCommunication);
    auto* initThread = new QThread;
    initThread->setObjectName(QStringLiteral("THREAD_INITIALIZATION"));
    connect(initThread, &QThread::started, initUpdater, &CLASS_ABSTRACT_UPDATER::Process,
            Qt::QueuedConnection);
    connect(initThread, &QThread::finished, initThread, &QObject::deleteLater, Qt::QueuedConnection);
    // Deleted on its own thread, where its port lives, as that thread ends;
    // after the hand-over mutex, which this thread releases once it has last
    // read the updater (thread checkers see the order too).
    connect(
        initThread, &QThread::finished, initUpdater,
        [initUpdater]
        {
            {
                std::lock_guard<std::mutex> lock(CLASS_CARD_THREAD::HandOffMutex());
            }
            delete initUpdater;
        },
        Qt::DirectConnection);
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, initThread, &QThread::quit,
                Qt::QueuedConnection);
    initUpdater->moveToThread(initThread);
    m_InitUpdater = initUpdater;
    m_InitThread = initThread;
    initThread->start(QThread::InheritPriority);

    InitUpdateInitialization();
}

CLASS_COMMUNICATION_CONF* BOX_UPDATER::FindMainCommunication()
{
    CLASS_COMMUNICATION_CONF* found = nullptr;
    for (CLASS_CARD* card : m_CardsManager.GetCards())
    {
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
        {
            CLASS_ABSTRACT_UPDATER* updater = component ? component->GetUpdater() : nullptr;
            if (updater && updater->GetStep() == STEP_RAM_PROGRAM_MAIN)
            {
                found = updater->GetCommunication();
                break;
            }
        }
    }
    return found;
}

void BOX_UPDATER::StopInitialization()
{
    if (!m_InitThread)
        return;
    // Its waits end early: the reset has nothing left to do.
    m_InitThread->requestInterruption();
    m_InitThread->quit();
    m_InitThread->wait();
    // The thread object itself goes through its deferred deletion.
}

void BOX_UPDATER::InitUpdateInitialization()
{
    CLASS_INIT_UPDATER* init = m_InitUpdater.data();
    const Bool waited = !init || WaitForInitialization(init);
    // Not read here any more: its thread may end and delete it from now on.
    {
        std::lock_guard<std::mutex> lock(CLASS_CARD_THREAD::HandOffMutex());
    }
    if (!waited)
        return;
    if (QuitRequested())
        return;
    // The update goes on whatever the reset gave.
    RunUpdate();
}

Bool BOX_UPDATER::WaitForInitialization(CLASS_ABSTRACT_UPDATER* init)
{
    QElapsedTimer timer;
    timer.start();
    Bool timedOut = false;
    while (init->GetStatus() == UPDATER_STATUS_IDLE)
    {
        if (timer.elapsed() >= m_Delays.InactivityTimeoutMs)
        {
            timedOut = true;
            break;
        }
        if (WaitOrQuit(m_Delays.PollIntervalMs))
            return false;
    }
    // The activity timer is only valid once the reset has begun: until then
    // the wait is measured from here, so it always ends.
    QElapsedTimer silence;
    silence.start();
    while (!timedOut && init->GetStatus() != UPDATER_STATUS_SUCCESS &&
           init->GetStatus() != UPDATER_STATUS_ERROR)
    {
        const qint64 idle = init->GetTimer().isValid() ? init->GetTimer().elapsed() : silence.elapsed();
        if (idle >= m_Delays.InactivityTimeoutMs)
            timedOut = true;
        else if (WaitOrQuit(m_Delays.PollIntervalMs))
            return false;
    }
    if (timedOut)
    {
        PrintLine(TIMEOUT_INIT_MESSAGE);
        TraceError(TRACE_POS + TIMEOUT_INIT_MESSAGE);
        emit init->SIGNAL_TimeOut();
    }
    if (init->GetStatus() == UPDATER_STATUS_SUCCESS || init->GetStatus() == UPDATER_STATUS_ERROR)
        emit SIGNAL_DisplayDebug(QStringLiteral("Initialization finished!"));
    return true;
}

void BOX_UPDATER::StopCardThreads()
{
    for (CLASS_CARD* card : m_CardsManager.GetCards())
        card->GetThread()->exit(0);
    for (CLASS_CARD* card : m_CardsManager.GetCards())
    {
        if (card->GetThread()->wait(m_Delays.CardThreadStopWaitMs))
            card->StopThread();
    }
}

void BOX_UPDATER::RunUpdate()
{
    for (CLASS_CARD* card : m_CardsManager.GetCards())
    {
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
        {
            CLASS_ABSTRACT_UPDATER* updater = component ? component->GetUpdater() : nullptr;
            if (updater)
                m_ShownProgress.insert(qMakePair(updater, SDWord(UPDATER_STATUS_RUNNING)),
                                       Byte(updater->GetProgress()));
        }
    }

    Bool finished = false;
    Bool error = false;
    while (!finished && !QuitRequested())
    {
        CardsUpdate(finished, error);
        if (WaitOrQuit(m_Delays.PollIntervalMs))
            break;
    }

    // The polls are over: only now may the card threads delete their updaters.
    StopCardThreads();
    StopInitialization();
    if (QuitRequested())
    {
        TraceInfo(TRACE_POS + QStringLiteral("The program is closing: update stopped"));
        return;
    }

    if (!error)
    {
        if (m_Quiet)
            emit SIGNAL_CloseUpdater(RETURN_CODE_SUCCESS);
        else
            emit SIGNAL_ChangeCurrentState(BOX_UPDATER_STATE_FINISHED);
        return;
    }
    PrintLine(QStringLiteral("We have encountered an error on the updater, abort updater!"));
    if (m_Quiet)
    {
        emit SIGNAL_CloseUpdater(RETURN_CODE_UPDATER_FAILED);
        return;
    }
    emit SIGNAL_UpdateFailed(m_FailedUpdaterName, m_FailureCause);
    emit SIGNAL_ChangeCurrentState(BOX_UPDATER_STATE_ERROR);
}

Bool BOX_UPDATER::AllUpdatersInStatus(const T_REQUIREMENT& requirement)
{
    if (requirement.isEmpty())
        return false;
    for (CLASS_CARD* card : m_CardsManager.GetCards())
    {
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
        {
            CLASS_ABSTRACT_UPDATER* updater = component ? component->GetUpdater() : nullptr;
            if (!updater)
                continue;
            const auto wanted = requirement.constFind(updater->GetStep());
            if (wanted != requirement.constEnd() && updater->GetStatus() != wanted.value())
                return false;
        }
    }
    return true;
}

void BOX_UPDATER::Failure(CLASS_CARD* card, CLASS_ABSTRACT_UPDATER* updater, Bool& finished, Bool& error)
{
    card->SetCardState(BOX_UPDATER_STATE_ERROR);
    const QString message = QStringLiteral("We have encountered an error on the updater named \"") +
                            updater->GetName() + QStringLiteral("\", abort updater!");
    SLOT_DisplayDebug(message);
    // An updater that gave no reason is still named.
    const QString cause = updater->GetFailureCause();
    RecordFailure(updater->GetName(), cause.isEmpty() ? message : cause);
    error = true;
    finished = true;
}

void BOX_UPDATER::RecordFailure(const QString& updaterName, const QString& cause)
{
    if (m_FailureRecorded)
        return;
    m_FailureRecorded = true;
    m_FailedUpdaterName = updaterName;
    m_FailureCause = cause;
}

Bool BOX_UPDATER::StartRequirement(CLASS_CARD* card, CLASS_ABSTRACT_UPDATER* updater,
                                   T_REQUIREMENT& requirement, Bool& noValidPreviousStep)
{
    noValidPreviousStep = false;
    requirement.clear();
    switch (updater->GetStep())
    {
    case STEP_SAMBA_PROGRAM_RAM:
        requirement = {{STEP_RESIDENT_PROGRAM_RAM, UPDATER_STATUS_ERROR}};
        break;
    case STEP_RAM_PROGRAM_RESIDENT:
        requirement = {{STEP_SAMBA_PROGRAM_RAM, UPDATER_STATUS_SUCCESS},
                       {STEP_RESIDENT_PROGRAM_RAM, UPDATER_STATUS_ERROR}};
        break;
    case STEP_RESIDENT_PROGRAM_RAM:
        requirement = {{STEP_RAM_PROGRAM_RESIDENT, UPDATER_STATUS_SUCCESS}};
        if (!AllUpdatersInStatus(requirement))
            requirement = {{STEP_SAMBA_PROGRAM_RAM, UPDATER_STATUS_IDLE}};
        break;
    case STEP_RAM_PROGRAM_MAIN:
        requirement = {{STEP_RESIDENT_PROGRAM_RAM, UPDATER_STATUS_SUCCESS}};
        if (AllUpdatersInStatus(requirement))
        {
            // The recovery road was not needed: its steps count as done.
            for (const SDWord step : {STEP_SAMBA_PROGRAM_RAM, STEP_RAM_PROGRAM_RESIDENT})
            {
                CLASS_ABSTRACT_UPDATER* skipped =
                    m_CardsManager.GetUpdaterOfStep(updater->GetName(), T_UPDATE_STEP(step));
                if (skipped)
                    skipped->SetProgress(100);
            }
        }
        break;
    case STEP_RAM_PROGRAM_FPGA_0:
        requirement = {{STEP_RAM_PROGRAM_MAIN, UPDATER_STATUS_SUCCESS}};
        break;
    case STEP_RAM_PROGRAM_EDID_0:
        requirement = {{STEP_RAM_PROGRAM_FPGA_0, UPDATER_STATUS_SUCCESS}};
        break;
    case STEP_RAM_PROGRAM_HDCP_0:
        requirement = {{STEP_RAM_PROGRAM_EDID_0, UPDATER_STATUS_SUCCESS}};
        break;
    case STEP_FINAL_RESET:
    {
        const SDWord lastStep = m_CardsManager.GetLastStepOfCard(updater->GetName());
        if (lastStep == STEP_NONE)
        {
            noValidPreviousStep = true;
            return false;
        }
        requirement = {{lastStep, UPDATER_STATUS_SUCCESS}};
        break;
    }
    default:
        break;
    }
    Q_UNUSED(card);
    return AllUpdatersInStatus(requirement);
}

void BOX_UPDATER::CardsUpdate(Bool& finished, Bool& error)
{
    DWord sum = 0;
    DWord count = 0;
    for (CLASS_CARD* card : m_CardsManager.GetCards())
    {
        ++count;
        sum += card->GetCardProgress();
        for (CLASS_CARD_COMPONENT* component : card->GetComponents())
        {
            CLASS_ABSTRACT_UPDATER* updater = component ? component->GetUpdater() : nullptr;
            if (!updater)
                continue;
            const SDWord step = updater->GetStep();
            const SDWord status = updater->GetStatus();
            Bool watch = false;
            Bool tryStart = false;
            if (step == STEP_FINAL_RESET)
            {
                if (status == UPDATER_STATUS_IDLE)
                    tryStart = true;
                else if (status == UPDATER_STATUS_RUNNING)
                    watch = true;
                else if (status == UPDATER_STATUS_SUCCESS)
                {
                    card->SetCardState(BOX_UPDATER_STATE_FINISHED);
                    finished = true;
                }
                else
                    Failure(card, updater, finished, error);
            }
            else
            {
                if (status == UPDATER_STATUS_SUCCESS)
                    continue;
                if (status == UPDATER_STATUS_RUNNING)
                    watch = true;
                else if (status == UPDATER_STATUS_IDLE)
                    tryStart = true;
                else if (step != STEP_RESIDENT_PROGRAM_RAM)
                    Failure(card, updater, finished, error);
                else if (AllUpdatersInStatus({{STEP_RAM_PROGRAM_RESIDENT, UPDATER_STATUS_SUCCESS}}))
                    Failure(card, updater, finished, error);
                else if (!AllUpdatersInStatus({{STEP_RAM_PROGRAM_RESIDENT, UPDATER_STATUS_IDLE}}))
                    updater->Reset(); // runs again once the resident boot loader is
                                      // reprogrammed
            }

            if (watch && updater->GetTimer().elapsed() >= m_Delays.InactivityTimeoutMs)
                emit updater->SIGNAL_TimeOut();
            if (tryStart)
            {
                T_REQUIREMENT requirement;
                Bool noValidPreviousStep = false;
                if (StartRequirement(card, updater, requirement, noValidPreviousStep))
                    emit updater->SIGNAL_Start();
                else if (noValidPreviousStep)
                {
                    const QString message = QStringLiteral("Updater \"") + updater->GetName() +
                                            QStringLiteral("\" has no valid previous updater, abort update!");
                    TraceError(TRACE_POS + message);
                    RecordFailure(updater->GetName(), message);
                    // Nothing was reset: this ends as a failure, not a success.
                    finished = true;
                    error = true;
                }
            }
            DisplayUpdaterState(card, updater);
        }
    }
    emit SIGNAL_ChangeCurrentProgress(count == 0 ? 0 : sum / count);
    // Without a card nothing can ever end the polls.
    if (count == 0)
        finished = true;
}

void BOX_UPDATER::DisplayUpdaterState(CLASS_CARD* card, CLASS_ABSTRACT_UPDATER* updater)
{
    const SDWord status = updater->GetStatus();
    const DWord progress = updater->GetProgress();
    const auto key = qMakePair(updater, status);
    const auto shown = m_ShownProgress.constFind(key);
    const Bool firstReport = shown == m_ShownProgress.constEnd();
    if (!firstReport && shown.value() == Byte(progress))
        return;
    m_ShownProgress.insert(key, Byte(progress));

    const QString& name = updater->GetName();
    switch (status)
    {
    case UPDATER_STATUS_RUNNING:
    {
        QString line = name + QStringLiteral(": ") + QString::number(progress) + QLatin1Char('%');
        CLASS_UTILS_PROG_FILE* utility = updater->GetProgFileUtility();
        CLASS_ABSTRACT_PROG_FILE_WITH_PROTOCOL* file = utility ? utility->GetProgFile() : nullptr;
        if (updater->GetStep() != STEP_FINAL_RESET && file)
        {
            const DWord total = file->GetBinary() ? file->GetBinary()->GetSize() : 0;
            line += QStringLiteral(" - ") + QString::number(file->GetOffset()) + QLatin1Char('/') +
                    QString::number(total) + QStringLiteral(" octets");
        }
        PrintLine(line);
        break;
    }
    case UPDATER_STATUS_ERROR:
        // Only the line is for the first report: step 2 failing again after
        // the recovery is a later report and must still end in state 3.
        if (firstReport)
            PrintLine(QStringLiteral("Updater \"") + name + QStringLiteral("\" has encountered an error!"));
        emit SIGNAL_DisplayDebug(name + QStringLiteral(" - Error"));
        if (updater->GetStep() == STEP_RESIDENT_PROGRAM_RAM)
        {
            CLASS_ABSTRACT_UPDATER* resident =
                m_CardsManager.GetUpdaterOfStep(name, STEP_RAM_PROGRAM_RESIDENT);
            if (resident && resident->GetStatus() == UPDATER_STATUS_SUCCESS)
                emit SIGNAL_ChangeCurrentState(BOX_UPDATER_STATE_ERROR);
        }
        break;
    case UPDATER_STATUS_SUCCESS:
        if (!firstReport)
            break;
        emit SIGNAL_DisplayDebug(name + QStringLiteral(" - Finished"));
        if (updater->GetStep() == STEP_FINAL_RESET)
        {
            QString line = QStringLiteral("Reset succeed - ") + card->GetName();
            if (card->GetType() == CARD_TYPE_BOX)
                line += QStringLiteral("\nAll reset succeed, go to reboot!");
            PrintLine(line);
            emit SIGNAL_ChangeCurrentState(BOX_UPDATER_STATE_FINISHED);
        }
        break;
    default:
        break;
    }
}
