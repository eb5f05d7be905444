#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <atomic>

#include "Types.h"

// Checks, keeps and unpacks the update package (.ktp): an AES-256-CBC
// encrypted tar.gz, decrypted by the external OpenSSL program and unpacked
// by two passes of the external 7-Zip program.
class CLASS_PACKAGE_EXTRACTOR : public QObject
{
    Q_OBJECT
public:
    static constexpr int PROGRAM_START_TIMEOUT_MS = 30000;
    static constexpr int PROGRAM_FINISH_TIMEOUT_MS = 30000;

    // Folders of the running program: the system's temporary folder and the
    // first application-local data folder.
    explicit CLASS_PACKAGE_EXTRACTOR(QObject* parent = nullptr);
    // Same work under other folders (tools, tests).
    CLASS_PACKAGE_EXTRACTOR(const QString& temporaryFolder, const QString& localPackageFolder,
                            QObject* parent = nullptr);

    QString GetLocalPackagePath() const;
    Bool CopyKtpPackageInLocal(const QString& path);
    Bool VerifyPackageValidity(const QString& path);
    Bool Decrypt(const QString& path);
    Bool ExtractCompressedPackage();
    void CleanExtractionFolder();

    // "<temporary>/BOX_UPDATER", holding "UPDATER.tar.gz" and "UPDATER.tar".
    QString GetWorkFolder() const { return m_WorkFolder; }
    // "<temporary>/BOX_UPDATER/PackageExtraction": the unpacked package tree.
    QString GetExtractionFolder() const { return m_ExtractionFolder; }
    QString GetLocalPackageFolder() const { return m_LocalPackageFolder; }
    // Empty work and extraction folders and this text when the temporary
    // folder cannot hold them; every operation on them then refuses.
    QString GetWorkFolderError() const { return m_WorkFolderError; }

    void SetProgramTimeouts(int startTimeout, int finishTimeout);
    // Once set, a running external program is ended and its step fails.
    void SetStopRequest(const std::atomic<Bool>* stopRequest) { m_StopRequest = stopRequest; }

    // Creates the work folder, private to this account. Empty when it is
    // usable; otherwise why not, naming the folder.
    QString SecureWorkFolder();
    // A take-in cut short (the program killed or the machine down): the
    // package set aside comes back unless the new one took its place, and
    // the copy that was coming in is removed. Call with the work folder held.
    void RecoverInterruptedTakeIn();

    // Test hook: the program kills itself at the point of the take-in named
    // by this environment variable ("copied", "set-aside", "placed"), once
    // it has said so on standard output.
    static const char* const KILL_ENVIRONMENT;

    // Lower-case hexadecimal texts of a 32-byte key and a 16-byte IV. False,
    // with both texts empty, when a length is wrong: the decryption program
    // would pad a short key with zeros and decrypt garbage without a word.
    static Bool BuildDecryptionParameters(const QByteArray& key, const QByteArray& iv, QString& keyText,
                                          QString& ivText);
    // The program's own key and IV.
    static QByteArray PackageKeyBytes();
    static QByteArray PackageIvBytes();

    // False when an entry of the listing ("7z l -slt" output) would land
    // outside the extraction folder: an absolute name, a ".." step, or a link
    // to an absolute target. The first such entry is put in offendingEntry.
    // A value of an extracted "version.ini", read afresh every time.
    static QVariant ReadVersionValue(const QString& versionFile, const QString& key);

    static Bool ListingIsSafe(const QByteArray& listing, QString& offendingEntry);

signals:
    void SIGNAL_ChangeUpdaterVersion(Bool areFileExtracted, QString packageVersion);
    void SIGNAL_ChangeCompatibilityStatus(Bool packageIsCompatible, QString errorMessage);

private:
    Bool CheckExtractedFiles();
    void CheckCompatibility();
    Bool RunProgram(const QString& name, const QStringList& arguments, QByteArray* output = nullptr) const;
    Bool ArchiveIsSafe(const QString& archive) const;
    Bool ExtractOnePass(const QString& archive, const QString& outputFolder) const;
    QString DecryptedFilePath() const;
    Bool WorkFolderUsable(const char* function) const;
    QString ArchiveFilePath() const;

    QString m_WorkFolder;
    QString m_ExtractionFolder;
    QString m_LocalPackageFolder;
    QString m_WorkFolderError;
    int m_StartTimeout = PROGRAM_START_TIMEOUT_MS;
    int m_FinishTimeout = PROGRAM_FINISH_TIMEOUT_MS;
    const std::atomic<Bool>* m_StopRequest = nullptr;
};
