#include "FRONTEND_WindowMode.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

#include "BACKEND/Box_Updater.h"
#include "BACKEND/MISC/MISC_ClassDeviceVersionRetriever.h"
#include "BACKEND/MISC/MISC_ClassPackageExtractor.h"
#include "FRONTEND/FRONTEND_ClassBoxUpdaterWindow.h"
#include "FRONTEND/LANGUAGES/LANGUAGES_ClassTranslatorManager.h"
#include "Traces.h"

CLASS_WINDOW_MODE::CLASS_WINDOW_MODE(const T_STARTUP_OPTIONS& options)
{
    RegisterBoxUpdaterState();
    m_BoxUpdater =
        new BOX_UPDATER(options.FullForce, options.ForceWithoutBootResident, options.Quiet, nullptr);
    m_TranslatorManager = std::make_unique<CLASS_TRANSLATOR_MANAGER>(nullptr);

    m_BackendThread = new QThread;
    m_BackendThread->setObjectName(QStringLiteral("THREAD_BACKEND"));
    m_BoxUpdater->moveToThread(m_BackendThread);
    // The box updater goes with its thread, on that thread.
    connect(m_BackendThread, &QThread::finished, m_BoxUpdater, &QObject::deleteLater);
    m_BackendThread->start(QThread::InheritPriority);
    connect(qApp, &QCoreApplication::aboutToQuit, m_BackendThread, &QThread::quit, Qt::QueuedConnection);

    m_Window = new CLASS_BOX_UPDATER_WINDOW(m_TranslatorManager.get());
    connect(qApp, &QCoreApplication::aboutToQuit, m_Window, &QObject::deleteLater, Qt::QueuedConnection);

    Connect();
    // One updater per work folder for the program's whole life: an idle
    // window's package cannot be swapped by another instance.
    if (!m_BoxUpdater->HoldWorkFolder())
    {
        RefuseToStart(m_BoxUpdater->GetWorkFolderRefusal());
        return;
    }
    if (!options.UsbDevice.isEmpty())
        m_Window->ShowUsbDevice(QLatin1Char('"') + options.UsbDevice + QLatin1Char('"'), QString());
    TakeInPackage(options);
    m_Window->show();
}

void CLASS_WINDOW_MODE::RefuseToStart(const QString& refusal)
{
    // Nothing is taken in nor touched; the program ends once the operator has read why.
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Work Folder Error"), refusal,
                                QMessageBox::Ok, m_Window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, qApp, [] { QCoreApplication::exit(REFUSED_EXIT_CODE); });
    box->open();
}

CLASS_WINDOW_MODE::~CLASS_WINDOW_MODE()
{
    delete m_Window;
    m_BackendThread->quit();
    // An update blocks the backend thread until it ends; a program that is
    // leaving does not wait for that, and a running thread must not be
    // destroyed: the process exit takes it down.
    if (!m_BackendThread->wait(BACKEND_STOP_TIMEOUT_MS))
    {
        TraceError(TRACE_POS +
                   QStringLiteral("The backend thread is still busy, leaving it to the process exit"));
        return;
    }
    delete m_BackendThread;
}

CLASS_BOX_UPDATER_WINDOW* CLASS_WINDOW_MODE::GetWindow() const
{
    return m_Window;
}

BOX_UPDATER* CLASS_WINDOW_MODE::GetBoxUpdater() const
{
    return m_BoxUpdater;
}

void CLASS_WINDOW_MODE::Connect()
{
    ConnectWindowToBackend(m_BoxUpdater, m_Window);
}

void ConnectWindowToBackend(BOX_UPDATER* box, CLASS_BOX_UPDATER_WINDOW* window)
{
    CLASS_PACKAGE_EXTRACTOR* extractor = &box->GetPackageExtractor();
    CLASS_DEVICE_VERSION_RETRIEVER* retriever = box->GetDeviceVersionRetriever();
    const Qt::ConnectionType queued = Qt::QueuedConnection;

    QObject::connect(box, &BOX_UPDATER::SIGNAL_ChangeCurrentState, window,
                     &CLASS_BOX_UPDATER_WINDOW::ChangeCurrentState, queued);
    QObject::connect(box, &BOX_UPDATER::SIGNAL_ChangeCurrentProgress, window,
                     &CLASS_BOX_UPDATER_WINDOW::ChangeCurrentProgress, queued);
    QObject::connect(extractor, &CLASS_PACKAGE_EXTRACTOR::SIGNAL_ChangeUpdaterVersion, window,
                     &CLASS_BOX_UPDATER_WINDOW::ChangeUpdaterVersion, queued);
    QObject::connect(extractor, &CLASS_PACKAGE_EXTRACTOR::SIGNAL_ChangeCompatibilityStatus, window,
                     &CLASS_BOX_UPDATER_WINDOW::ChangeUpdaterCompatibility, queued);
    QObject::connect(retriever, &CLASS_DEVICE_VERSION_RETRIEVER::SIGNAL_SetDeviceVersion, window,
                     &CLASS_BOX_UPDATER_WINDOW::SetDeviceVersion, queued);
    QObject::connect(window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_StartUpdate, box, &BOX_UPDATER::StartUpdate,
                     queued);
    QObject::connect(window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_StopUpdate, box, &BOX_UPDATER::StopUpdate,
                     queued);
    QObject::connect(window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_GetDeviceVersion, retriever,
                     &CLASS_DEVICE_VERSION_RETRIEVER::GetVersion, queued);
    QObject::connect(window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_CopyKtpPackageInLocal, box,
                     &BOX_UPDATER::SLOT_CopyKtpPackageInLocal, queued);
    QObject::connect(box, &BOX_UPDATER::SIGNAL_ExtractionFailed, window,
                     &CLASS_BOX_UPDATER_WINDOW::ExtractionFailed, queued);
    QObject::connect(box, &BOX_UPDATER::SIGNAL_UpdateFailed, window,
                     &CLASS_BOX_UPDATER_WINDOW::ShowUpdateFailure, queued);
    QObject::connect(retriever, &CLASS_DEVICE_VERSION_RETRIEVER::SIGNAL_SetUsbDevice, window,
                     &CLASS_BOX_UPDATER_WINDOW::ShowUsbDevice, queued);
}

void CLASS_WINDOW_MODE::TakeInPackage(const T_STARTUP_OPTIONS& options)
{
    // The backend thread is idle until the event loop runs, so the extractor
    // is used from here; its signals reach the window through the queue.
    CLASS_PACKAGE_EXTRACTOR& extractor = m_BoxUpdater->GetPackageExtractor();
    if (options.PackageGiven && QFileInfo::exists(options.PackagePath))
        extractor.CopyKtpPackageInLocal(options.PackagePath);
    const QString kept = extractor.GetLocalPackagePath();
    if (!kept.isEmpty())
    {
        extractor.VerifyPackageValidity(kept);
        extractor.CleanExtractionFolder();
    }
}

std::unique_ptr<QObject> StartWindowMode(const T_STARTUP_OPTIONS& options)
{
    return std::make_unique<CLASS_WINDOW_MODE>(options);
}
