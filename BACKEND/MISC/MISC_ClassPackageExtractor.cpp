#include "MISC_ClassPackageExtractor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "MISC_PackageKey.h"
#include "Platform.h"
#include "Traces.h"
#include "UTILS_KtProcess.h"

namespace
{
const QString WORK_FOLDER_NAME = QStringLiteral("BOX_UPDATER");
const QString EXTRACTION_FOLDER_NAME = QStringLiteral("PackageExtraction");
const QString DECRYPTED_FILE_NAME = QStringLiteral("UPDATER.tar.gz");
const QString ARCHIVE_FILE_NAME = QStringLiteral("UPDATER.tar");
const QString PACKAGE_FILTER = QStringLiteral("*.ktp");
const QString PACKAGE_SUFFIX = QStringLiteral(".ktp");
// A package being copied in: not a "*.ktp" name until it is complete.
const QString INCOMING_SUFFIX = QStringLiteral(".part");
// An old package while the new one takes its place.
const QString SET_ASIDE_SUFFIX = QStringLiteral(".old");
const QString VERSION_FILE = QStringLiteral("/CONF/version.ini");
const QString CONFIGURATION_FILE = QStringLiteral("/CONF/components.json");
const QString BINARIES_FOLDER = QStringLiteral("/BINARIES/");
const QStringList REQUIRED_BINARIES = {
    QStringLiteral("MICRO/ORLEX_MAIN.bin"), QStringLiteral("MICRO/ORLEX_RESIDENT.bin"),
    QStringLiteral("MICRO/ORLEX_RAM.bin"), QStringLiteral("FPGA/CORVAL.bin")};
const QString NOT_COMPATIBLE_MESSAGE =
    QStringLiteral("The package is not compatible, please update the software");

// Test hook: the program killed at this point of the take-in, as a crash would end it.
void KillPoint(const char* point)
{
    static const QByteArray wanted = qgetenv(CLASS_PACKAGE_EXTRACTOR::KILL_ENVIRONMENT);
    if (wanted != point)
        return;
    std::printf("take-in killed at %s\n", point);
    std::fflush(stdout);
#ifdef SIGKILL
    std::raise(SIGKILL);
#endif
    std::_Exit(137);
}

QString FirstLocalDataFolder()
{
    return QStandardPaths::standardLocations(QStandardPaths::AppLocalDataLocation).value(0);
}

bool IsAbsoluteName(const QString& name)
{
    return name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')) ||
           (name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter());
}

bool HasParentStep(const QString& text)
{
    const QStringList steps =
        QString(text).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    return steps.contains(QStringLiteral(".."));
}
} // namespace

const char* const CLASS_PACKAGE_EXTRACTOR::KILL_ENVIRONMENT = "QRN207_TEST_TAKE_IN_KILL";

CLASS_PACKAGE_EXTRACTOR::CLASS_PACKAGE_EXTRACTOR(QObject* parent)
    : CLASS_PACKAGE_EXTRACTOR(QDir::tempPath(), FirstLocalDataFolder(), parent)
{
}

CLASS_PACKAGE_EXTRACTOR::CLASS_PACKAGE_EXTRACTOR(const QString& temporaryFolder,
                                                 const QString& localPackageFolder, QObject* parent)
    : QObject(parent), m_LocalPackageFolder(localPackageFolder)
{
    // An empty temporary path (the framework's answer for a TMPDIR that does
    // not exist) would put the work folder at the file-system root.
    const QFileInfo temporary(temporaryFolder);
    if (temporaryFolder.isEmpty() || !temporary.isDir() || !temporary.isWritable())
    {
        const QString named =
            temporaryFolder.isEmpty() ? QString::fromLocal8Bit(qgetenv("TMPDIR")) : temporaryFolder;
        m_WorkFolderError = QStringLiteral("The temporary folder \"") + named +
                            QStringLiteral("\" does not exist or cannot be written: no package can be "
                                           "unpacked, set TMPDIR to a usable folder");
        TraceError(TRACE_POS + m_WorkFolderError);
        return;
    }
    m_WorkFolder = temporaryFolder + QLatin1Char('/') + WORK_FOLDER_NAME;
    m_ExtractionFolder = m_WorkFolder + QLatin1Char('/') + EXTRACTION_FOLDER_NAME;
    if (!QDir(m_WorkFolder).exists() && !QDir().mkpath(m_WorkFolder))
        TraceError(TRACE_POS + "Unable to create the temporary extraction folder");
}

Bool CLASS_PACKAGE_EXTRACTOR::WorkFolderUsable(const char* function) const
{
    if (!m_WorkFolder.isEmpty())
        return true;
    TraceError(TracePosition(__FILE__, function, __LINE__) + m_WorkFolderError);
    return false;
}

void CLASS_PACKAGE_EXTRACTOR::SetProgramTimeouts(int startTimeout, int finishTimeout)
{
    m_StartTimeout = startTimeout;
    m_FinishTimeout = finishTimeout;
}

QString CLASS_PACKAGE_EXTRACTOR::DecryptedFilePath() const
{
    return m_WorkFolder + QLatin1Char('/') + DECRYPTED_FILE_NAME;
}

QString CLASS_PACKAGE_EXTRACTOR::ArchiveFilePath() const
{
    return m_WorkFolder + QLatin1Char('/') + ARCHIVE_FILE_NAME;
}

QByteArray CLASS_PACKAGE_EXTRACTOR::PackageKeyBytes()
{
    return QByteArray(reinterpret_cast<const char*>(PackageKey::KEY), PackageKey::KEY_SIZE);
}

QByteArray CLASS_PACKAGE_EXTRACTOR::PackageIvBytes()
{
    return QByteArray(reinterpret_cast<const char*>(PackageKey::IV), PackageKey::IV_SIZE);
}

Bool CLASS_PACKAGE_EXTRACTOR::BuildDecryptionParameters(const QByteArray& key, const QByteArray& iv,
                                                        QString& keyText, QString& ivText)
{
    keyText.clear();
    ivText.clear();
    if (key.size() != PackageKey::KEY_SIZE || iv.size() != PackageKey::IV_SIZE)
    {
        TraceError(TRACE_POS + "Invalid decryption parameters: key of " + QString::number(key.size()) +
                   " bytes, IV of " + QString::number(iv.size()) + " bytes (expected " +
                   QString::number(PackageKey::KEY_SIZE) + " and " + QString::number(PackageKey::IV_SIZE) +
                   ")");
        return false;
    }
    for (const char byte : key)
        keyText += QStringLiteral("%1").arg(static_cast<Byte>(byte), 2, 16, QLatin1Char('0'));
    for (const char byte : iv)
        ivText += QStringLiteral("%1").arg(static_cast<Byte>(byte), 2, 16, QLatin1Char('0'));
    return true;
}

Bool CLASS_PACKAGE_EXTRACTOR::RunProgram(const QString& name, const QStringList& arguments,
                                         QByteArray* output) const
{
    const QString program = Platform::ExternalProgram(name);
    if (program.isEmpty())
    {
        TraceError(TRACE_POS + "External program \"" + name + "\" not found");
        return false;
    }
    CLASS_UTILS_KTPROCESS process(true, true);
    process.SetStopRequest(m_StopRequest);
    const Bool done = process.ShellProcessStart(program, arguments, m_StartTimeout, m_FinishTimeout);
    if (output)
        *output = process.GetRawOutput();
    return done;
}

Bool CLASS_PACKAGE_EXTRACTOR::Decrypt(const QString& path)
{
    QString keyText;
    QString ivText;
    if (!WorkFolderUsable("Decrypt") ||
        !BuildDecryptionParameters(PackageKeyBytes(), PackageIvBytes(), keyText, ivText))
        return false;
    const QString output = DecryptedFilePath();
    // A file left by an earlier run must never pass for this package's.
    QFile::remove(output);
    if (!QFileInfo(path).isFile())
    {
        TraceError(TRACE_POS + "Package file \"" + path + "\" does not exist");
        return false;
    }
    QDir().mkpath(m_WorkFolder);
    // Every path is an argument of its own, so blanks in it are harmless.
    const Bool done = RunProgram(QStringLiteral("openssl"),
                                 {QStringLiteral("enc"), QStringLiteral("-d"), QStringLiteral("-in"), path,
                                  QStringLiteral("-out"), output, QStringLiteral("-K"), keyText,
                                  QStringLiteral("-iv"), ivText, QStringLiteral("-aes-256-cbc")});
    if (!done)
        QFile::remove(output); // a wrong key still leaves what was decrypted before the check
    return done;
}

Bool CLASS_PACKAGE_EXTRACTOR::ListingIsSafe(const QByteArray& listing, QString& offendingEntry)
{
    offendingEntry.clear();
    const QStringList lines = QString::fromUtf8(listing).split(QLatin1Char('\n'));
    bool inEntries = false;
    for (QString line : lines)
    {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!inEntries)
        {
            // Before this line: the archive's own description.
            inEntries = line == QStringLiteral("----------");
            continue;
        }
        const int equal = line.indexOf(QStringLiteral(" = "));
        const QString key = equal < 0 ? QString() : line.left(equal);
        const QString value = equal < 0 ? line : line.mid(equal + 3);
        const bool isName = key == QStringLiteral("Path") || key == QStringLiteral("Symbolic Link") ||
                            key == QStringLiteral("Hard Link");
        // Any ".." step is refused, even on a line that does not look like a
        // name: a name holding a line break must not slip through.
        if (HasParentStep(value) || (isName && IsAbsoluteName(value)))
        {
            offendingEntry = value;
            return false;
        }
    }
    return true;
}

Bool CLASS_PACKAGE_EXTRACTOR::ArchiveIsSafe(const QString& archive) const
{
    QByteArray listing;
    if (!RunProgram(QStringLiteral("7z"), {QStringLiteral("l"), QStringLiteral("-slt"), archive}, &listing))
    {
        TraceError(TRACE_POS + "Unable to list the archive \"" + archive + "\"");
        return false;
    }
    QString entry;
    if (!ListingIsSafe(listing, entry))
    {
        TraceError(TRACE_POS + "The archive \"" + archive + "\" holds the entry \"" + entry +
                   "\" that would be written outside the extraction folder: package refused");
        return false;
    }
    return true;
}

Bool CLASS_PACKAGE_EXTRACTOR::ExtractOnePass(const QString& archive, const QString& outputFolder) const
{
    // 7-Zip quietly rewrites hostile names instead of refusing them, so the
    // names are checked before anything is written.
    if (!ArchiveIsSafe(archive))
        return false;
    return RunProgram(QStringLiteral("7z"), {QStringLiteral("x"), QStringLiteral("-y"), archive,
                                             QStringLiteral("-o") + outputFolder});
}

Bool CLASS_PACKAGE_EXTRACTOR::ExtractCompressedPackage()
{
    if (!WorkFolderUsable("ExtractCompressedPackage"))
        return false;
    // Start from an empty tree: files of an earlier package must not make up
    // for files missing from this one.
    QFile::remove(ArchiveFilePath());
    QDir(m_ExtractionFolder).removeRecursively();
    if (!QDir().mkpath(m_ExtractionFolder))
        TraceError(TRACE_POS + "Unable to create the temporary extracted files folder");

    if (ExtractOnePass(DecryptedFilePath(), m_WorkFolder) &&
        ExtractOnePass(ArchiveFilePath(), m_ExtractionFolder))
        return true;
    QFile::remove(ArchiveFilePath());
    QDir(m_ExtractionFolder).removeRecursively();
    return false;
}

QVariant CLASS_PACKAGE_EXTRACTOR::ReadVersionValue(const QString& versionFile, const QString& key)
{
    // QSettings keeps parsed files in a process-wide cache that it trusts
    // while size and modification time are unchanged: a second package made
    // in the same second, with a version file of the same size, would show
    // the first one's values. A private copy under a fresh name is always parsed.
    QTemporaryDir copyFolder;
    const QString copy = copyFolder.path() + QStringLiteral("/version.ini");
    if (!copyFolder.isValid() || !QFile::copy(versionFile, copy))
        return QVariant();
    return QSettings(copy, QSettings::IniFormat).value(key);
}

Bool CLASS_PACKAGE_EXTRACTOR::CheckExtractedFiles()
{
    bool complete = QFileInfo::exists(m_ExtractionFolder + CONFIGURATION_FILE);
    for (const QString& binary : REQUIRED_BINARIES)
        complete = complete && QFileInfo::exists(m_ExtractionFolder + BINARIES_FOLDER + binary);
    const QString versionFile = m_ExtractionFolder + VERSION_FILE;
    if (!complete || !QFileInfo::exists(versionFile))
    {
        TraceError(TRACE_POS + "The package lacks a configuration, version or binary file");
        emit SIGNAL_ChangeUpdaterVersion(false, QString());
        return false;
    }
    emit SIGNAL_ChangeUpdaterVersion(true,
                                     ReadVersionValue(versionFile, QStringLiteral("version")).toString());
    return true;
}

void CLASS_PACKAGE_EXTRACTOR::CheckCompatibility()
{
    bool ok = false;
    const int compatibility =
        ReadVersionValue(m_ExtractionFolder + VERSION_FILE, QStringLiteral("compatibility"))
            .toString()
            .trimmed()
            .toInt(&ok);
    if (ok && compatibility == 1)
        emit SIGNAL_ChangeCompatibilityStatus(true, QString());
    else
        emit SIGNAL_ChangeCompatibilityStatus(false, NOT_COMPATIBLE_MESSAGE);
}

Bool CLASS_PACKAGE_EXTRACTOR::VerifyPackageValidity(const QString& path)
{
    if (!Decrypt(path))
    {
        TraceError(TRACE_POS + "Unable to decrypt KTP Package at path: \"" + path + "\"");
        emit SIGNAL_ChangeUpdaterVersion(false, QString());
        return false;
    }
    if (!ExtractCompressedPackage())
    {
        TraceError(TRACE_POS + "Unable to extract KTP Package");
        emit SIGNAL_ChangeUpdaterVersion(false, QString());
        return false;
    }
    if (!CheckExtractedFiles())
        return false;
    // An incompatible package is still valid: the window decides.
    CheckCompatibility();
    return true;
}

QString CLASS_PACKAGE_EXTRACTOR::GetLocalPackagePath() const
{
    const QDir folder(m_LocalPackageFolder);
    if (m_LocalPackageFolder.isEmpty() || !folder.exists())
        return QString();
    const QStringList packages = folder.entryList({PACKAGE_FILTER}, QDir::Files, QDir::Time);
    if (packages.isEmpty())
        return QString();
    return folder.absolutePath() + QDir::separator() + packages.first();
}

Bool CLASS_PACKAGE_EXTRACTOR::CopyKtpPackageInLocal(const QString& path)
{
    if (!VerifyPackageValidity(path))
        return false;
    CleanExtractionFolder();

    QDir folder(m_LocalPackageFolder);
    if (m_LocalPackageFolder.isEmpty() || !folder.mkpath(QStringLiteral(".")))
    {
        TraceError(TRACE_POS + "Unable to copy the ktp package in local");
        return false;
    }
    // The kept package is found by its ".ktp" suffix: a package chosen under
    // another name would be lost for later runs.
    QString name = QFileInfo(path).fileName();
    if (!name.endsWith(PACKAGE_SUFFIX, Qt::CaseInsensitive))
        name += PACKAGE_SUFFIX;
    const QString target = folder.absoluteFilePath(name);
    const bool sameFile = QFileInfo(path).canonicalFilePath() == QFileInfo(target).canonicalFilePath();

    // The new package is complete in the folder before the old one goes, so a
    // failed copy (or the kept package chosen again) loses nothing.
    const QString incoming = target + INCOMING_SUFFIX;
    if (!sameFile)
    {
        QFile::remove(incoming);
        if (!QFile::copy(path, incoming))
        {
            TraceError(TRACE_POS + "Unable to copy the ktp package in local");
            QFile::remove(incoming);
            return false;
        }
    }
    KillPoint("copied");
    // The old packages are set aside, not removed, until the new one is in
    // place: whatever step fails, they are put back and one package is kept.
    QStringList setAside;
    const auto putBack = [&folder, &setAside, &incoming]()
    {
        for (const QString& old : qAsConst(setAside))
            folder.rename(old + SET_ASIDE_SUFFIX, old);
        QFile::remove(incoming);
    };
    for (const QString& old : folder.entryList({PACKAGE_FILTER}, QDir::Files))
    {
        if (sameFile && folder.absoluteFilePath(old) == target)
            continue;
        folder.remove(old + SET_ASIDE_SUFFIX);
        if (!folder.rename(old, old + SET_ASIDE_SUFFIX))
        {
            TraceError(TRACE_POS + "Unable to remove the following ktp package : \"" + old + "\"");
            putBack();
            return false;
        }
        setAside << old;
    }
    KillPoint("set-aside");
    if (!sameFile && !QFile::rename(incoming, target))
    {
        TraceError(TRACE_POS + "Unable to copy the ktp package in local");
        putBack();
        return false;
    }
    KillPoint("placed");
    for (const QString& old : qAsConst(setAside))
    {
        if (!folder.remove(old + SET_ASIDE_SUFFIX))
            TraceError(TRACE_POS + "Unable to remove the following ktp package : \"" + old + "\"");
    }
    return true;
}

void CLASS_PACKAGE_EXTRACTOR::CleanExtractionFolder()
{
    // An empty folder name would be the current folder.
    if (m_WorkFolder.isEmpty())
        return;
    QFile::remove(DecryptedFilePath());
    QFile::remove(ArchiveFilePath());
    QDir(m_ExtractionFolder).removeRecursively();
}

QString CLASS_PACKAGE_EXTRACTOR::SecureWorkFolder()
{
    if (!m_WorkFolderError.isEmpty())
        return m_WorkFolderError;
    const QString named = QStringLiteral("The work folder \"") + m_WorkFolder + QStringLiteral("\"");
    if (!QDir().mkpath(m_WorkFolder))
        return named + QStringLiteral(" cannot be created");
    // Another account's folder in a shared temporary folder: that account
    // could read or swap the decrypted firmware, and may be updating.
    QString owner;
    if (!Platform::OwnedByThisAccount(m_WorkFolder, &owner))
        return named + QStringLiteral(" belongs to the account \"") + owner +
               QStringLiteral("\", not to this one: set TMPDIR to a folder of your own");
    if (!Platform::MakeFolderPrivate(m_WorkFolder))
        return named + QStringLiteral(" can be reached by other accounts and its permissions cannot be "
                                      "narrowed");
    return QString();
}

void CLASS_PACKAGE_EXTRACTOR::RecoverInterruptedTakeIn()
{
    QDir folder(m_LocalPackageFolder);
    if (m_LocalPackageFolder.isEmpty() || !folder.exists())
        return;
    const QStringList incoming = folder.entryList({PACKAGE_FILTER + INCOMING_SUFFIX}, QDir::Files);
    const QStringList setAside = folder.entryList({PACKAGE_FILTER + SET_ASIDE_SUFFIX}, QDir::Files);
    // A copy still coming in never took the old package's place; without any
    // package left, the one set aside is all there is.
    const bool bringBack = !incoming.isEmpty() || folder.entryList({PACKAGE_FILTER}, QDir::Files).isEmpty();
    for (const QString& old : setAside)
    {
        const QString name = old.left(old.size() - SET_ASIDE_SUFFIX.size());
        if (bringBack && folder.rename(old, name))
            TraceInfo(TRACE_POS + "The package \"" + name + "\" set aside by an interrupted take-in is back");
        else if (!folder.remove(old))
            TraceError(TRACE_POS + "Unable to remove the following ktp package : \"" + old + "\"");
    }
    for (const QString& part : incoming)
        folder.remove(part);
}
