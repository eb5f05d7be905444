// ktp-tool: makes and opens update packages (.ktp) with the program's own key.
//   ktp-tool pack DIR OUT.ktp    tar of DIR's content, gzip, then AES-256-CBC
//   ktp-tool unpack PKG DIR      decrypts and unpacks with the program's extractor
//   ktp-tool check DIR           checks an unpacked tree as the program would use it
//   ktp-tool sample DIR [--udp-port N | --serial PORT | --usb] [--recovery] [--version TEXT] [--incompatible]
//                       [--sizes small|real] [--fpga-size N] [--main-size N] [--without STEP[,STEP...]]
//                                writes a complete tree for the device simulator on loopback

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

#include "BACKEND/MISC/MISC_ClassPackageExtractor.h"
#include "KTP_PackageCheck.h"
#include "KTP_SamplePackage.h"
#include "Platform.h"
#include "UTILS_KtProcess.h"

namespace
{
constexpr int PROGRAM_TIMEOUT_MS = 120000;
constexpr int EXIT_FAILURE_CODE = 1;
constexpr int EXIT_USAGE = 2;

void Error(const QString& text)
{
    std::fprintf(stderr, "ktp-tool: %s\n", qPrintable(text));
}

// Runs an external program; on failure prints what it said.
bool Run(const QString& name, const QStringList& arguments, const QString& workingFolder = QString())
{
    const QString program = Platform::ExternalProgram(name);
    if (program.isEmpty())
    {
        Error("external program \"" + name + "\" not found");
        return false;
    }
    CLASS_UTILS_KTPROCESS process(false, false);
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    if (process.ShellProcessStart(program, arguments, PROGRAM_TIMEOUT_MS, PROGRAM_TIMEOUT_MS))
        return true;
    Error(name + " " + arguments.join(' ') + " failed (exit code " + QString::number(process.GetResult()) +
          "): " + process.GetErrorOutput() + " " + process.GetOutput());
    return false;
}

int Pack(const QString& sourceFolder, const QString& outputFile)
{
    const QFileInfo source(sourceFolder);
    if (!source.isDir())
    {
        Error("\"" + sourceFolder + "\" is not a folder");
        return EXIT_FAILURE_CODE;
    }
    QTemporaryDir work;
    if (!work.isValid())
    {
        Error("cannot create a temporary folder: " + work.errorString());
        return EXIT_FAILURE_CODE;
    }
    // The gzip layer carries the name "UPDATER.tar", the name under which the
    // extractor's first pass writes it and its second pass reads it.
    const QString tar = work.filePath("UPDATER.tar");
    const QString gz = work.filePath("UPDATER.tar.gz");
    QString keyText;
    QString ivText;
    if (!CLASS_PACKAGE_EXTRACTOR::BuildDecryptionParameters(CLASS_PACKAGE_EXTRACTOR::PackageKeyBytes(),
                                                            CLASS_PACKAGE_EXTRACTOR::PackageIvBytes(),
                                                            keyText, ivText))
        return EXIT_FAILURE_CODE;
    // Entries are named relative to DIR ("CONF/version.ini").
    if (!Run("7z", {"a", "-ttar", tar, "."}, source.absoluteFilePath()) ||
        !Run("7z", {"a", "-tgzip", gz, tar}) ||
        !Run("openssl", {"enc", "-aes-256-cbc", "-in", gz, "-out", outputFile, "-K", keyText, "-iv", ivText}))
    {
        QFile::remove(outputFile);
        return EXIT_FAILURE_CODE;
    }
    std::printf("%s\n", qPrintable(QFileInfo(outputFile).absoluteFilePath()));
    return 0;
}

int Unpack(const QString& package, const QString& outputFolder)
{
    const QDir target(outputFolder);
    if (target.exists() && !target.isEmpty())
    {
        Error("\"" + outputFolder + "\" exists and is not empty");
        return EXIT_FAILURE_CODE;
    }
    const QString parent = QFileInfo(target.absolutePath()).absolutePath();
    if (!QDir().mkpath(parent))
    {
        Error("cannot create \"" + parent + "\"");
        return EXIT_FAILURE_CODE;
    }
    // Work beside the target, so the tree is moved there, not copied.
    QTemporaryDir work(parent + "/.ktp-tool-XXXXXX");
    if (!work.isValid())
    {
        Error("cannot create a temporary folder: " + work.errorString());
        return EXIT_FAILURE_CODE;
    }
    CLASS_PACKAGE_EXTRACTOR extractor(work.path(), QString());
    extractor.SetProgramTimeouts(PROGRAM_TIMEOUT_MS, PROGRAM_TIMEOUT_MS);
    if (!extractor.Decrypt(package))
    {
        Error("cannot decrypt \"" + package + "\" (missing file, wrong key or damaged package)");
        return EXIT_FAILURE_CODE;
    }
    if (!extractor.ExtractCompressedPackage())
    {
        Error("cannot extract \"" + package + "\" (damaged archive or an entry outside the package folder)");
        return EXIT_FAILURE_CODE;
    }
    QDir().rmdir(target.absolutePath());
    if (!QDir().rename(extractor.GetExtractionFolder(), target.absolutePath()))
    {
        Error("cannot move the unpacked tree to \"" + outputFolder + "\"");
        return EXIT_FAILURE_CODE;
    }
    std::printf("%s\n", qPrintable(target.absolutePath()));
    return 0;
}
int Check(const QString& folder)
{
    const QStringList errors = CheckPackageTree(folder);
    for (const QString& error : errors)
        std::printf("%s\n", qPrintable(error));
    std::fflush(stdout);
    if (!errors.isEmpty())
    {
        Error(QString::number(errors.size()) + " error(s) in \"" + folder + "\"");
        return EXIT_FAILURE_CODE;
    }
    std::printf("%s: no error\n", qPrintable(QFileInfo(folder).absoluteFilePath()));
    return 0;
}

int Sample(const QStringList& arguments)
{
    T_SAMPLE_OPTIONS options;
    QString folder;
    for (int i = 0; i < arguments.size(); ++i)
    {
        const QString& argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--udp-port" && hasValue)
        {
            bool ok = false;
            const uint port = arguments.at(++i).toUInt(&ok);
            if (!ok || port == 0 || port > 65535)
            {
                Error("--udp-port: bad port \"" + arguments.at(i) + "\" (1 to 65535)");
                return EXIT_USAGE;
            }
            options.UdpPort = Word(port);
        }
        else if (argument == "--serial" && hasValue)
            options.SerialPort = arguments.at(++i);
        else if (argument == "--usb")
            options.Usb = true;
        else if (argument == "--version" && hasValue)
            options.Version = arguments.at(++i);
        else if (argument == "--sizes" && hasValue)
        {
            const QString sizes = arguments.at(++i);
            if (sizes != "real" && sizes != "small")
            {
                Error("--sizes: unknown set \"" + sizes + "\" (real or small)");
                return EXIT_USAGE;
            }
            options.Sizes =
                sizes == "real" ? T_SAMPLE_OPTIONS::RealSampleSizes() : T_SAMPLE_OPTIONS::SmallSampleSizes();
        }
        else if ((argument == "--fpga-size" || argument == "--main-size") && hasValue)
        {
            const int size = ParseSampleSize(arguments.at(++i));
            if (size < 0)
            {
                Error(argument + ": bad size \"" + arguments.at(i) + "\" (bytes, or with K or M)");
                return EXIT_USAGE;
            }
            options.Sizes[argument == "--fpga-size" ? SAMPLE_FPGA : SAMPLE_MAIN] = size;
        }
        else if (argument == "--recovery")
            options.Recovery = true;
        else if (argument == "--without" && hasValue)
            options.Without = arguments.at(++i).split(',');
        else if (argument == "--incompatible")
            options.Compatible = false;
        else if (!argument.startsWith("--") && folder.isEmpty())
            folder = argument;
        else
        {
            Error("sample: unexpected argument \"" + argument + "\"");
            return EXIT_USAGE;
        }
    }
    if (folder.isEmpty())
    {
        Error("sample: no folder given");
        return EXIT_USAGE;
    }
    QString error;
    if (!WriteSamplePackage(folder, options, error))
    {
        Error(error);
        return EXIT_FAILURE_CODE;
    }
    std::printf("%s\n", qPrintable(QFileInfo(folder).absoluteFilePath()));
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 3 && arguments.at(0) == "pack")
        return Pack(arguments.at(1), arguments.at(2));
    if (arguments.size() == 3 && arguments.at(0) == "unpack")
        return Unpack(arguments.at(1), arguments.at(2));
    if (arguments.size() == 2 && arguments.at(0) == "check")
        return Check(arguments.at(1));
    if (arguments.size() >= 2 && arguments.at(0) == "sample")
        return Sample(arguments.mid(1));
    std::fprintf(stderr, "usage: ktp-tool pack DIR OUT.ktp\n"
                         "       ktp-tool unpack PKG DIR\n"
                         "       ktp-tool check DIR\n"
                         "       ktp-tool sample DIR [--udp-port N | --serial PORT | --usb] [--recovery]\n"
                         "                           [--version TEXT] [--incompatible]\n"
                         "                           [--sizes small|real] [--fpga-size N] [--main-size N]\n"
                         "                           [--without STEP[,STEP...]]\n");
    return EXIT_USAGE;
}
