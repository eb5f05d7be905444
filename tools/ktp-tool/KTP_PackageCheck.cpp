#include "KTP_PackageCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include "BACKEND/MISC/MISC_ClassConfigurationParser.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardsManager.h"
#include "Traces.h"

namespace
{
const QStringList REQUIRED_FILES = {
    QStringLiteral("CONF/version.ini"),
    QStringLiteral("CONF/components.json"),
    QStringLiteral("BINARIES/MICRO/ORLEX_MAIN.bin"),
    QStringLiteral("BINARIES/MICRO/ORLEX_RESIDENT.bin"),
    QStringLiteral("BINARIES/MICRO/ORLEX_RAM.bin"),
    QStringLiteral("BINARIES/FPGA/CORVAL.bin"),
};

QStringList CheckFiles(const QDir& root)
{
    QStringList errors;
    for (const QString& file : REQUIRED_FILES)
    {
        if (!QFileInfo(root.filePath(file)).isFile())
            errors << QStringLiteral("Missing package file \"%1\"").arg(file);
    }
    const QString versionPath = root.filePath(QStringLiteral("CONF/version.ini"));
    if (QFileInfo(versionPath).isFile())
    {
        const QSettings version(versionPath, QSettings::IniFormat);
        if (version.status() != QSettings::NoError)
            errors << QStringLiteral("\"CONF/version.ini\" is not a readable INI file");
        if (!version.contains(QStringLiteral("version")))
            errors << QStringLiteral(
                "\"CONF/version.ini\" has no \"version\": the program shows no package version");
        if (version.value(QStringLiteral("compatibility")).toString().trimmed() != QStringLiteral("1"))
            errors << QStringLiteral(
                "\"CONF/version.ini\" has no \"compatibility\" of 1: the program reports the "
                "package as not compatible");
    }
    return errors;
}

// The error lines the trace facility wrote, without their line head and
// source-place prefix: the parser's own texts.
QStringList ReadTracedErrors(const QString& errorFile)
{
    QFile file(errorFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        lines.removeFirst(); // the run header
    static const QRegularExpression head(QStringLiteral("^\\[[^\\]]*\\]\\[[^\\]]*\\]\\[[^\\]]*\\]"));
    static const QRegularExpression place(QStringLiteral("^\\.\\./\\S+ \\S+\\(\\) Line \\d+ "));
    QStringList messages;
    for (QString line : lines)
    {
        line.remove(head);
        line.remove(place);
        messages << line;
    }
    return messages;
}

QStringList ParseConfiguration(const QDir& root)
{
    // The parser takes relative binary paths below the program's extraction
    // folder under the temporary folder: a scratch temporary folder whose
    // extraction folder is the tree itself makes it read this tree.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return {QStringLiteral("Cannot create a temporary folder: ") + scratch.errorString()};
    const QString work = scratch.filePath(QStringLiteral("tmp/BOX_UPDATER"));
    const QString extraction = work + QStringLiteral("/PackageExtraction");
    if (!QDir().mkpath(work) || !QFile::link(root.absolutePath(), extraction))
        return {QStringLiteral("Cannot prepare the folder \"%1\"").arg(work)};
    const QByteArray savedTemporary = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(scratch.filePath(QStringLiteral("tmp"))));

    auto* traceThread = new QThread;
    traceThread->setObjectName(QStringLiteral("THREAD_TRACES"));
    QDir().mkpath(scratch.filePath(QStringLiteral("traces")));
    InitTraces(QStringLiteral("ktp-tool"), QStringLiteral("CHECK"),
               QDir(scratch.filePath(QStringLiteral("traces"))), traceThread);
    StartTraces();
    traceThread->start();

    QStringList errors;
    {
        CLASS_CARDS_MANAGER cards;
        const QList<CLASS_COMMUNICATION_CONF*> communications;
        CLASS_CONFIGURATION_PARSER parser(&cards, communications, false, false);
        const Bool parsed =
            parser.ParsingConfigurationsFile(extraction + QStringLiteral("/CONF/components.json"));
        const QString errorFile = CurrentErrorFilePath();
        StopTraces();
        errors = ReadTracedErrors(errorFile);
        if (!parsed && errors.isEmpty())
            errors << QStringLiteral("The configuration file is refused");
        cards.DeleteAllCards();
        parser.ClearBinaries();
    }
    delete traceThread;

    if (savedTemporary.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTemporary);
    // Name the tree, not the scratch link, in the messages.
    for (QString& error : errors)
        error.replace(extraction, root.absolutePath());
    return errors;
}
} // namespace

QStringList CheckPackageTree(const QString& folder)
{
    const QDir root(folder);
    if (!QFileInfo(folder).isDir())
        return {QStringLiteral("\"%1\" is not a folder").arg(folder)};
    QStringList errors = CheckFiles(root);
    if (QFileInfo(root.filePath(QStringLiteral("CONF/components.json"))).isFile())
        errors << ParseConfiguration(root);
    return errors;
}
