#include <QtTest>

#include <QSignalSpy>
#include <QTemporaryDir>

#include "BACKEND/MISC/MISC_ClassPackageExtractor.h"
#include "Platform.h"
#include "TestSupport.h"
#include "Types.h"
#include "UpdateRuns.h"

namespace
{
const QStringList BINARIES = {"MICRO/ORLEX_MAIN.bin", "MICRO/ORLEX_RESIDENT.bin", "MICRO/ORLEX_RAM.bin",
                              "FPGA/CORVAL.bin"};
const QString OTHER_KEY = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";

int Run(const QString& program, const QStringList& arguments, const QString& folder = QString())
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    return ended ? process.exitCode() : -1;
}

bool Write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

using UpdateRuns::ReadFile;

// A complete package tree; version.ini gets the given lines.
void MakeTree(const QString& root, const QByteArray& versionLines, const QString& skip = QString())
{
    Write(root + "/CONF/version.ini", versionLines);
    Write(root + "/CONF/components.json", "{\"cards\": []}\n");
    for (const QString& binary : BINARIES)
        if (binary != skip)
            Write(root + "/BINARIES/" + binary, TestSupport::Pattern(3000, BINARIES.indexOf(binary)));
}

// The program's key (first) and iv (second) as openssl takes them.
QPair<QString, QString> KeyAndIv()
{
    QPair<QString, QString> texts;
    CLASS_PACKAGE_EXTRACTOR::BuildDecryptionParameters(CLASS_PACKAGE_EXTRACTOR::PackageKeyBytes(),
                                                       CLASS_PACKAGE_EXTRACTOR::PackageIvBytes(), texts.first,
                                                       texts.second);
    return texts;
}

bool Encrypt(const QString& plain, const QString& package, const QString& key = KeyAndIv().first)
{
    return Run(Platform::ExternalProgram("openssl"), {"enc", "-aes-256-cbc", "-in", plain, "-out", package,
                                                      "-K", key, "-iv", KeyAndIv().second}) == 0;
}
} // namespace

class TestPackageExtractor : public QObject
{
    Q_OBJECT

private:
    // One fresh set of folders per case; every path holds a blank.
    struct T_FOLDERS
    {
        QTemporaryDir root;
        QString temporary = root.path() + "/tmp with blank", local = root.path() + "/local data";
        QString packages = root.path() + "/my packages";
        T_FOLDERS() { QDir().mkpath(temporary) && QDir().mkpath(packages); }
    };

    // Package made by ktp-tool pack, as the release process makes them.
    static QString Pack(const T_FOLDERS& folders, const QString& name, const QByteArray& versionLines,
                        const QString& skip = QString())
    {
        const QString tree = folders.root.path() + "/tree " + name;
        MakeTree(tree, versionLines, skip);
        const QString package = folders.packages + "/" + name;
        return UpdateRuns::Tool({"pack", tree, package}) ? package : QString();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterTypeAliases();
        QVERIFY2(!Platform::ExternalProgram("openssl").isEmpty(), "openssl is needed");
        QVERIFY2(!Platform::ExternalProgram("7z").isEmpty(), "7z or 7zz is needed");
    }

    // Packages already in the field were encrypted with exactly these texts.
    void decryptionParameters()
    {
        QCOMPARE(KeyAndIv(),
                 qMakePair(QString("4eee9464f285f3a375061517e3a923735712b6f244897ddfebc6362bdc2f1549"),
                           QString("bd83142c21001f6d8769d6fa97e7da59")));
    }

    void listingNames_data()
    {
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<QString>("offending");
        QTest::newRow("plain") << QByteArray("Path = CONF/version.ini\nFolder = -\nSymbolic Link = \n\n"
                                             "Path = BINARIES/MICRO/my..file.bin\nSymbolic Link = sub/x\n")
                               << "";
        QTest::newRow("parent step") << QByteArray("Path = CONF\n\nPath = CONF/../../evil\n")
                                     << "CONF/../../evil";
        QTest::newRow("absolute") << QByteArray("Path = /etc/evil\n") << "/etc/evil";
        QTest::newRow("drive") << QByteArray("Path = C:\\evil\n") << "C:\\evil";
        QTest::newRow("backslash parent") << QByteArray("Path = a\\..\\..\\evil\n") << "a\\..\\..\\evil";
        QTest::newRow("absolute link") << QByteArray("Path = l\nSymbolic Link = /etc\n") << "/etc";
        QTest::newRow("name with line break") << QByteArray("Path = x\n/../../evil\n") << "/../../evil";
    }

    void listingNames()
    {
        QFETCH(QByteArray, entries);
        QFETCH(QString, offending);
        // The archive's own description comes first and may name anything.
        const QByteArray listing = "--\nPath = /tmp/x/../UPDATER.tar\nType = tar\n\n----------\n" + entries;
        QString entry = "stale";
        QCOMPARE(CLASS_PACKAGE_EXTRACTOR::ListingIsSafe(listing, entry), offending.isEmpty());
        QCOMPARE(entry, offending);
    }

    void packedPackageUnpacksUnderBlanks()
    {
        T_FOLDERS folders;
        const QString package = Pack(folders, "release 1.ktp", "version=1.2.3\ncompatibility=1\n");
        QVERIFY(!package.isEmpty());
        CLASS_PACKAGE_EXTRACTOR extractor(folders.temporary, folders.local);
        QSignalSpy version(&extractor, &CLASS_PACKAGE_EXTRACTOR::SIGNAL_ChangeUpdaterVersion);
        QSignalSpy compatibility(&extractor, &CLASS_PACKAGE_EXTRACTOR::SIGNAL_ChangeCompatibilityStatus);
        QVERIFY(extractor.VerifyPackageValidity(package));
        QCOMPARE(version, QList<QList<QVariant>>({{true, "1.2.3"}}));
        QCOMPARE(compatibility, QList<QList<QVariant>>({{true, QString()}}));
        const QString extracted = folders.temporary + "/BOX_UPDATER/PackageExtraction";
        QCOMPARE(extractor.GetExtractionFolder(), extracted);
        const QString tree = folders.root.path() + "/tree release 1.ktp";
        for (const QString& name : QStringList{"CONF/version.ini", "CONF/components.json"} + BINARIES)
            QCOMPARE(ReadFile(extracted + "/" + name), ReadFile(tree + "/" + name));

        extractor.CleanExtractionFolder();
        QVERIFY(!QFileInfo::exists(extracted));
        QVERIFY(!QFileInfo::exists(folders.temporary + "/BOX_UPDATER/UPDATER.tar.gz"));
        QVERIFY(!QFileInfo::exists(folders.temporary + "/BOX_UPDATER/UPDATER.tar"));
    }

    // A package of another key, or whose archive is cut short, is refused at its own step,
    // leaves nothing behind and is not kept.
    void damagedPackageIsRefused_data()
    {
        QTest::addColumn<bool>("foreignKey");
        QTest::newRow("foreign key") << true;
        QTest::newRow("truncated archive") << false;
    }

    void damagedPackageIsRefused()
    {
        QFETCH(bool, foreignKey);
        T_FOLDERS folders;
        const QString tree = folders.root.path() + "/tree";
        MakeTree(tree, "version=1\ncompatibility=1\n");
        const QString tgz = folders.root.path() + "/p.tar.gz";
        QCOMPARE(Run("tar", {"czf", tgz, "-C", tree, "."}), 0);
        if (!foreignKey)
            QVERIFY(Write(tgz, ReadFile(tgz).left(QFileInfo(tgz).size() / 2)));
        const QString package = folders.packages + "/bad.ktp";
        QVERIFY(foreignKey ? Encrypt(tgz, package, OTHER_KEY) : Encrypt(tgz, package));

        CLASS_PACKAGE_EXTRACTOR extractor(folders.temporary, folders.local);
        QCOMPARE(extractor.Decrypt(package), !foreignKey);
        if (foreignKey)
            QVERIFY(!QFileInfo::exists(extractor.GetWorkFolder() + "/UPDATER.tar.gz")); // no partial file
        else
            QVERIFY(!extractor.ExtractCompressedPackage());
        QSignalSpy version(&extractor, &CLASS_PACKAGE_EXTRACTOR::SIGNAL_ChangeUpdaterVersion);
        QVERIFY(!extractor.CopyKtpPackageInLocal(package));
        QCOMPARE(version.at(0), (QList<QVariant>{false, QString()}));
        QVERIFY(extractor.GetLocalPackagePath().isEmpty());
    }

    // An entry that climbs out of the extraction folder refuses the whole package.
    void hostileEntryRefusesThePackage()
    {
        T_FOLDERS folders;
        const QString tree = folders.root.path() + "/tree";
        MakeTree(tree, "version=1\ncompatibility=1\n");
        // The victim exists only while the archive is made, from where the entry would be extracted.
        const QString victim = folders.root.path() + "/victim.txt";
        QVERIFY(Write(victim, "overwritten"));
        const QString tar = folders.root.path() + "/p.tar";
        QCOMPARE(Run("tar", {"cf", tar, "-C", tree, "."}), 0);
        const QString entry = "../../../victim.txt";
        const QString from = folders.temporary + "/BOX_UPDATER/PackageExtraction";
        QVERIFY(QDir().mkpath(from) && QFile::exists(from + "/" + entry));
        QCOMPARE(Run("tar", {"-P", "-rf", tar, entry}, from), 0);
        QVERIFY(QFile::remove(victim));
        QCOMPARE(Run("gzip", {"-n", tar}), 0);
        const QString package = folders.packages + "/hostile.ktp";
        QVERIFY(Encrypt(tar + ".gz", package));

        CLASS_PACKAGE_EXTRACTOR extractor(folders.temporary, folders.local);
        QVERIFY(extractor.Decrypt(package));
        QVERIFY(!extractor.ExtractCompressedPackage());
        QVERIFY(!QFileInfo::exists(victim));
        QVERIFY(!QFileInfo::exists(extractor.GetExtractionFolder() + "/CONF/version.ini"));
        QVERIFY(!extractor.CopyKtpPackageInLocal(package));
        QVERIFY(!QFileInfo::exists(victim));
        QVERIFY(extractor.GetLocalPackagePath().isEmpty());
    }

    void leftoversDoNotCompleteAPackage()
    {
        T_FOLDERS folders;
        const QString full = Pack(folders, "full.ktp", "version=1\ncompatibility=1\n");
        const QString lacking =
            Pack(folders, "lacking.ktp", "version=2\ncompatibility=1\n", "MICRO/ORLEX_RAM.bin");
        QVERIFY(!full.isEmpty() && !lacking.isEmpty());
        CLASS_PACKAGE_EXTRACTOR extractor(folders.temporary, folders.local);
        // As an update leaves it: the full tree still extracted.
        QVERIFY(extractor.Decrypt(full));
        QVERIFY(extractor.ExtractCompressedPackage());
        QSignalSpy version(&extractor, &CLASS_PACKAGE_EXTRACTOR::SIGNAL_ChangeUpdaterVersion);
        QVERIFY(!extractor.VerifyPackageValidity(lacking));
        QCOMPARE(version.at(0), (QList<QVariant>{false, QString()}));
    }

    void keptPackageFollowsTheOperatorsChoice()
    {
        T_FOLDERS folders;
        const QString first = Pack(folders, "first.ktp", "version=1\ncompatibility=1\n");
        const QString second = Pack(folders, "second.ktp", "version=2\ncompatibility=1\n");
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        const QString tgz = folders.root.path() + "/x.tar.gz";
        QVERIFY(Write(tgz, "not even an archive"));
        const QString foreign = folders.packages + "/foreign.ktp";
        QVERIFY(Encrypt(tgz, foreign, OTHER_KEY));

        CLASS_PACKAGE_EXTRACTOR extractor(folders.temporary, folders.local);
        QVERIFY(extractor.CopyKtpPackageInLocal(first));
        QVERIFY(extractor.CopyKtpPackageInLocal(second));
        QCOMPARE(QDir(folders.local).entryList(QDir::Files), QStringList{"second.ktp"});
        QCOMPARE(ReadFile(extractor.GetLocalPackagePath()), ReadFile(second));

        QVERIFY(!extractor.CopyKtpPackageInLocal(foreign)); // its report: damagedPackageIsRefused
        QCOMPARE(QDir(folders.local).entryList(QDir::Files), QStringList{"second.ktp"});

        // The kept package chosen again stays kept.
        QVERIFY(extractor.CopyKtpPackageInLocal(extractor.GetLocalPackagePath()));
        QCOMPARE(QDir(folders.local).entryList(QDir::Files), QStringList{"second.ktp"});
        QCOMPARE(ReadFile(extractor.GetLocalPackagePath()), ReadFile(second));

        // A package under another name is kept where it will be found again.
        QVERIFY(QFile::copy(first, folders.packages + "/first.bin"));
        QVERIFY(extractor.CopyKtpPackageInLocal(folders.packages + "/first.bin"));
        QCOMPARE(QDir(folders.local).entryList(QDir::Files), QStringList{"first.bin.ktp"});
    }

    // The old package goes only once the new one is in place.
    void keptPackageStaysWhenTheNewOneCannotTakeItsPlace()
    {
        T_FOLDERS folders;
        const QString old = Pack(folders, "old.ktp", "version=1\ncompatibility=1\n");
        const QString blocked = Pack(folders, "blocked.ktp", "version=2\ncompatibility=1\n");
        QVERIFY(!old.isEmpty() && !blocked.isEmpty());
        CLASS_PACKAGE_EXTRACTOR extractor(folders.temporary, folders.local);
        QVERIFY(extractor.CopyKtpPackageInLocal(old));
        // A folder under the new package's name: the final rename fails.
        QVERIFY(QDir().mkpath(folders.local + "/blocked.ktp"));
        QVERIFY(!extractor.CopyKtpPackageInLocal(blocked));
        QCOMPARE(QDir(folders.local).entryList(QDir::Files), QStringList{"old.ktp"});
        QCOMPARE(ReadFile(extractor.GetLocalPackagePath()), ReadFile(old));
    }

    // Two packages made in the same second, with version files of the same size (the second
    // without a compatibility line): the second one's version and compatibility must be read,
    // not the first one's remembered values. Not compatible is reported, not refused; each
    // package is kept and its scratch files go.
    void secondPackageOfTheSameSecondIsReadAfresh()
    {
        T_FOLDERS folders;
        const QDateTime stamp = QDateTime::currentDateTime().addSecs(-60);
        QStringList packages;
        for (const QByteArray& lines : {QByteArray("version=01.00.01\ncompatibility=1\n"),
                                        QByteArray("version=01.00.02\nother-setting=1\n")})
        {
            const QString tree = folders.root.path() + "/same second " + QString::number(packages.size());
            MakeTree(tree, lines);
            QFile version(tree + "/CONF/version.ini");
            QVERIFY(version.open(QIODevice::ReadWrite));
            QVERIFY(version.setFileTime(stamp, QFileDevice::FileModificationTime));
            version.close();
            packages << folders.packages + "/same" + QString::number(packages.size()) + ".ktp";
            QCOMPARE(Run(TestSupport::BinaryDir() + "/ktp-tool", {"pack", tree, packages.last()}), 0);
        }

        CLASS_PACKAGE_EXTRACTOR extractor(folders.temporary, folders.local);
        QSignalSpy version(&extractor, &CLASS_PACKAGE_EXTRACTOR::SIGNAL_ChangeUpdaterVersion);
        QSignalSpy compatibility(&extractor, &CLASS_PACKAGE_EXTRACTOR::SIGNAL_ChangeCompatibilityStatus);
        QVERIFY(extractor.CopyKtpPackageInLocal(packages.at(0)));
        QVERIFY(extractor.CopyKtpPackageInLocal(packages.at(1)));
        QCOMPARE(extractor.GetLocalPackagePath(), folders.local + "/same1.ktp");
        QVERIFY(!QFileInfo::exists(extractor.GetExtractionFolder()));
        QCOMPARE(version, QList<QList<QVariant>>({{true, "01.00.01"}, {true, "01.00.02"}}));
        QCOMPARE(compatibility, QList<QList<QVariant>>(
                                    {{true, QString()},
                                     {false, "The package is not compatible, please update the software"}}));
    }

    // Quiet mode without a package takes the newest kept one, whatever its name.
    void newestKeptPackageIsChosen()
    {
        T_FOLDERS folders;
        CLASS_PACKAGE_EXTRACTOR extractor(folders.temporary, folders.local);
        QVERIFY(extractor.GetLocalPackagePath().isEmpty());
        const auto touch = [&folders](const QString& name, int age)
        {
            QFile file(folders.local + "/" + name);
            return Write(file.fileName(), "x") && file.open(QIODevice::ReadWrite) &&
                   file.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                                    QFileDevice::FileModificationTime);
        };
        QVERIFY(touch("a_new.ktp", 10) && touch("b_old.ktp", 3600) && touch("z_newest.txt", 0));
        QCOMPARE(extractor.GetLocalPackagePath(), folders.local + "/a_new.ktp");
        QVERIFY(touch("b_old.ktp", 0));
        QCOMPARE(extractor.GetLocalPackagePath(), folders.local + "/b_old.ktp");
    }
};

QTEST_GUILESS_MAIN(TestPackageExtractor)
#include "tst_package_extractor.moc"
