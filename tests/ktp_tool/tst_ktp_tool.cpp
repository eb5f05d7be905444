// ktp-tool as a release engineer runs it: the check of a package tree, with the real
// openssl and 7-Zip.
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"

namespace
{
struct T_RESULT
{
    int ExitCode = -1;
    QString Output;
    QString Errors;
};

T_RESULT Tool(const QStringList& arguments)
{
    T_RESULT result;
    QProcess process;
    process.start(TestSupport::BinaryDir() + "/ktp-tool", arguments);
    if (!process.waitForFinished(120000))
        return result;
    result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.Output = QString::fromUtf8(process.readAllStandardOutput());
    result.Errors = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Write(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}
} // namespace

class TST_KTP_TOOL : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_Scratch;

private slots:
    void initTestCase() { QVERIFY(m_Scratch.isValid()); }

    // Every error of a broken tree is listed, one per line, in the parser's words.
    void CheckListsEveryError()
    {
        const QString tree = m_Scratch.filePath("broken");
        QCOMPARE(Tool({"sample", tree}).ExitCode, 0);
        QVERIFY(QFile::remove(tree + "/BINARIES/FPGA/CORVAL.bin"));
        QVERIFY(Write(tree + "/CONF/version.ini", "[General]\nversion=2.0\n"));
        QByteArray configuration = Read(tree + "/CONF/components.json");
        QVERIFY(configuration.contains("\"end-action\""));
        QVERIFY(Write(tree + "/CONF/components.json", configuration.replace("\"end-action\"", "\"end\"")));

        const T_RESULT check = Tool({"check", tree});
        QCOMPARE(check.ExitCode, 1);
        const QStringList lines = check.Output.split('\n', Qt::SkipEmptyParts);
        const QStringList expected{
            "Missing package file \"BINARIES/FPGA/CORVAL.bin\"",
            "\"CONF/version.ini\" has no \"compatibility\" of 1: the program reports the package as not "
            "compatible",
            "Error has been encountered during parsing configuration file \"end-action\" is missing !",
            "Invalid component parameters for components in card named \"CARD_BOX\"",
        };
        for (const QString& line : expected)
            QVERIFY2(lines.contains(line), qPrintable("missing: " + line + "\n" + check.Output));
        // The configuration's own path is named as the tree's, never a scratch copy.
        QVERIFY2(!check.Output.contains("BOX_UPDATER/PackageExtraction"), qPrintable(check.Output));
        QVERIFY(check.Errors.contains("error(s)"));
    }
};

QTEST_GUILESS_MAIN(TST_KTP_TOOL)
#include "tst_ktp_tool.moc"
