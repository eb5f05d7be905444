// ktp-tool as a release engineer runs it: the check of a package tree, with the real
// openssl and 7-Zip.
#include <QTest>

#include "UpdateRuns.h"

class TST_KTP_TOOL : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_Scratch;

private slots:
    // Every error of a broken tree is listed, one per line, in the parser's words, naming the
    // tree's own files.
    void CheckListsEveryError()
    {
        const QString tree = m_Scratch.filePath("broken");
        QVERIFY(UpdateRuns::Tool({"sample", tree}));
        QVERIFY(QFile::remove(tree + "/BINARIES/FPGA/CORVAL.bin"));
        QVERIFY(!TestSupport::WriteFile(m_Scratch, "broken/CONF/version.ini", "[General]\nversion=2.0\n")
                     .isEmpty());

        QProcess check;
        check.start(TestSupport::BinaryDir() + "/ktp-tool", {"check", tree});
        QVERIFY(check.waitForFinished(UpdateRuns::TOOL_TIMEOUT_MS));
        QCOMPARE(check.exitCode(), 1);
        QVERIFY(check.readAllStandardError().contains("error(s)"));
        const QString output = QString::fromUtf8(check.readAllStandardOutput());
        const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
        for (const QString& line : QStringList{
                 "Missing package file \"BINARIES/FPGA/CORVAL.bin\"",
                 "\"CONF/version.ini\" has no \"compatibility\" of 1: the program reports the package as not "
                 "compatible",
                 "Invalid component parameters for components in card named \"CARD_BOX\"",
                 "Invalid binary file path: " + tree +
                     "/BINARIES/FPGA/CORVAL.bin for entry STEP_RAM_PROGRAM_FPGA_0"})
            QVERIFY2(lines.contains(line), qPrintable("missing: " + line + "\n" + output));
        // The configuration's own path is named as the tree's, never a scratch copy.
        QVERIFY2(!output.contains("BOX_UPDATER/PackageExtraction"), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TST_KTP_TOOL)
#include "tst_ktp_tool.moc"
