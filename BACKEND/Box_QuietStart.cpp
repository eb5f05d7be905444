#include "BACKEND/Box_QuietStart.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

#include "BACKEND/Box_Updater.h"
#include "Traces.h"

const char* const QUIET_TIMEOUT_ENVIRONMENT = "QRN207_TEST_INACTIVITY_TIMEOUT_MS";
const char* const QUIET_START_WAIT_ENVIRONMENT = "QRN207_TEST_START_WAIT_MS";

namespace
{
void PrintLine(const QString& text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

void RunQuietUpdate(BOX_UPDATER* boxUpdater, const T_STARTUP_OPTIONS& options)
{
    // Held for the program's whole life; the box updater lets go as it goes.
    if (!boxUpdater->HoldWorkFolder())
    {
        emit boxUpdater->SIGNAL_CloseUpdater(BOX_UPDATER::RETURN_CODE_PACKAGE_UNUSABLE);
        return;
    }
    if (options.PackageGiven)
    {
        if (!QFileInfo(options.PackagePath).isFile())
        {
            TraceError(TracePosition("main", "qMain", __LINE__) + "Failed to find Ktp file in argument");
            PrintLine(QStringLiteral("Failed to find Ktp file in argument: \"") + options.PackagePath + "\"");
            emit boxUpdater->SIGNAL_CloseUpdater(BOX_UPDATER::RETURN_CODE_PACKAGE_UNUSABLE);
            return;
        }
        // The operator asked for this package: when it is refused, no other
        // package may be used in its place.
        if (!boxUpdater->TakePackage(options.PackagePath))
        {
            PrintLine(QStringLiteral("The KTP package \"") + options.PackagePath +
                      QStringLiteral("\" cannot be decrypted, extracted or lacks files, abort updater!"));
            emit boxUpdater->SIGNAL_CloseUpdater(BOX_UPDATER::RETURN_CODE_PACKAGE_UNUSABLE);
            return;
        }
    }
    else if (boxUpdater->GetPackageExtractor().GetLocalPackagePath().isEmpty())
        PrintLine(QStringLiteral("No update package is kept: give one with --ktp PACKAGE.ktp"));
    boxUpdater->StartUpdate(options.ConfigurationFile);
}
} // namespace

std::unique_ptr<QObject> StartQuietMode(const T_STARTUP_OPTIONS& options)
{
    auto boxUpdater =
        std::make_unique<BOX_UPDATER>(options.FullForce, options.ForceWithoutBootResident, true);
    // Tests may shorten these waits; an operator's run never sets them.
    T_BOX_UPDATER_DELAYS delays = boxUpdater->GetDelays();
    bool ok = false;
    const qint64 timeout = qEnvironmentVariable(QUIET_TIMEOUT_ENVIRONMENT).toLongLong(&ok);
    if (ok && timeout > 0)
        delays.InactivityTimeoutMs = timeout;
    const int startWait = qEnvironmentVariable(QUIET_START_WAIT_ENVIRONMENT).toInt(&ok);
    if (ok && startWait >= 0)
        delays.UpdaterStartWaitMs = startWait;
    boxUpdater->SetDelays(delays);
    QObject::connect(
        boxUpdater.get(), &BOX_UPDATER::SIGNAL_CloseUpdater, QCoreApplication::instance(),
        [](int returnCode) { QCoreApplication::exit(returnCode); }, Qt::QueuedConnection);
    // Without a window, standard output is where the operator learns that the
    // package does not suit this program (it is still used).
    QObject::connect(&boxUpdater->GetPackageExtractor(),
                     &CLASS_PACKAGE_EXTRACTOR::SIGNAL_ChangeCompatibilityStatus,
                     [](Bool packageIsCompatible, const QString& errorMessage)
                     {
                         if (!packageIsCompatible)
                             PrintLine(errorMessage);
                     });
    BOX_UPDATER* raw = boxUpdater.get();
    // Started from the event loop, as a request from the window would be.
    QTimer::singleShot(0, raw, [raw, options]() { RunQuietUpdate(raw, options); });
    return boxUpdater;
}
