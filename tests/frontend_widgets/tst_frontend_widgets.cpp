#include <QtTest>

#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "FRONTEND/CONFIGURATION/CONFIGURATION_ClassConf.h"
#include "FRONTEND/FRONTEND_ClassAboutWindow.h"
#include "FRONTEND/FRONTEND_StyleSheet.h"
#include "FRONTEND/LANGUAGES/LANGUAGES_ClassTranslatorManager.h"
#include "FRONTEND/WIDGETS/WIDGETS_ClassUpdateLabel.h"
#include "FRONTEND/WIDGETS/WIDGETS_ClassUpdateProgressBar.h"
#include "Traces.h"

namespace
{
QStringList g_Warnings;
void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_Warnings << message;
}

QStringList ErrorLinesSince(int first)
{
    QFile file(CurrentErrorFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    return lines.mid(first);
}
int ErrorLineCount()
{
    return ErrorLinesSince(0).size();
}
} // namespace

class TestFrontendWidgets : public QObject
{
    Q_OBJECT

    QTemporaryDir m_TraceFolder;
    QThread m_IdleTraceThread;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationVersion("01.03.03");
        // Tracing with a trace thread that never runs: every line is written
        // by the caller, so the error file is complete when a call returns.
        QVERIFY(m_TraceFolder.isValid());
        InitTraces("tst_frontend_widgets", "TST_FRONTEND", QDir(m_TraceFolder.path()), &m_IdleTraceThread);
        StartTraces();
        StopTraces();
        TraceError("test start"); // writes the file header, so later counts see only new lines
        QCOMPARE(ErrorLineCount(), 2);
    }

    void cleanup() { qApp->setStyleSheet(QString()); }

    void labelTextFollowsState_data()
    {
        QTest::addColumn<DWord>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("ready") << DWord(0) << "Current state: Ready";
        QTest::newRow("running") << DWord(1) << "Current state: Running";
        QTest::newRow("finished") << DWord(2) << "Current state: Finished";
        QTest::newRow("error") << DWord(3) << "Current state: Error";
    }

    void labelTextFollowsState()
    {
        QFETCH(DWord, state);
        QFETCH(QString, text);
        CLASS_UPDATE_LABEL label;
        label.SetLabelState(state);
        QCOMPARE(label.text(), text);
        QCOMPARE(label.property("state").value<DWord>(), state);
    }

    void labelUnknownStateKeepsTextAndTraces()
    {
        CLASS_UPDATE_LABEL label;
        label.SetLabelState(1);
        const int before = ErrorLineCount();
        label.SetLabelState(9);
        QCOMPARE(label.text(), QString("Current state: Running"));
        const QStringList errors = ErrorLinesSince(before);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().endsWith(" Unmanaged state for the update label: 9"),
                 qPrintable(errors.first()));
    }

    void styleSheetHasNoColourNameLeft()
    {
        const QString sheet = StyleSheet::LoadApplicationStyleSheet();
        QVERIFY(sheet.contains("#D85600"));
        for (const auto& colour : StyleSheet::ColourTable())
            QVERIFY2(!sheet.contains(colour.first), qPrintable(colour.first));
        // Table order: a longer name that starts with an earlier one is cut.
        QCOMPARE(StyleSheet::SubstituteColourNames("SLATE_GREY_500 grey_kt"), QString("#F2F2F30 grey_kt"));

        g_Warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(CollectWarnings);
        qApp->setStyleSheet(sheet);
        CLASS_UPDATE_LABEL label;
        label.ensurePolished();
        qInstallMessageHandler(previous);
        QVERIFY2(g_Warnings.isEmpty(), qPrintable(g_Warnings.join('\n')));
    }

    void styleSheetColoursByState_data()
    {
        QTest::addColumn<DWord>("state");
        QTest::addColumn<QColor>("labelColour");
        QTest::addColumn<int>("chunkChannel"); // 0 red, 1 green, 2 blue dominates the chunk
        QTest::newRow("ready") << DWord(0) << QColor("#D3D3D3") << 2;
        QTest::newRow("running") << DWord(1) << QColor("#D85600") << 0;
        QTest::newRow("finished") << DWord(2) << QColor("#239123") << 1;
        QTest::newRow("error") << DWord(3) << QColor("#aa4444") << 0;
    }

    void styleSheetColoursByState()
    {
        QFETCH(DWord, state);
        QFETCH(QColor, labelColour);
        QFETCH(int, chunkChannel);
        qApp->setStyleSheet(StyleSheet::LoadApplicationStyleSheet());

        CLASS_UPDATE_LABEL label;
        label.SetLabelState(state);
        QCOMPARE(label.palette().color(label.foregroundRole()), labelColour);

        CLASS_UPDATE_PROGRESS_BAR bar;
        bar.resize(200, 24);
        bar.setRange(0, 100);
        bar.setValue(100);
        bar.SetProgressBarState(state);
        const QColor chunk = bar.grab().toImage().pixelColor(12, 12);
        const int channels[] = {chunk.red(), chunk.green(), chunk.blue()};
        for (int other = 0; other < 3; ++other)
            if (other != chunkChannel)
                QVERIFY2(channels[chunkChannel] > channels[other], qPrintable(chunk.name()));
    }

    void translatorManagerLoadsKnownCataloguesOnly()
    {
        int languageChanges = 0;
        struct Filter : QObject
        {
            int* count;
            bool eventFilter(QObject*, QEvent* event) override
            {
                *count += event->type() == QEvent::LanguageChange;
                return false;
            }
        } filter;
        filter.count = &languageChanges;
        qApp->installEventFilter(&filter);

        const int before = ErrorLineCount();
        {
            CLASS_TRANSLATOR_MANAGER manager;
            QCOMPARE(manager.GetCurrentLanguage(), QLocale::English);
            QVERIFY(manager.GetTranslator(QLocale::Italian) == nullptr);
            QCOMPARE(manager.GetTranslator(QLocale::French)->translate("CLASS_ABOUT_WINDOW", "Close"),
                     QString("Fermer"));
            QCOMPARE(manager.GetTranslator(QLocale::German)->translate("CLASS_ABOUT_WINDOW", "Close"),
                     QString("Schließen"));
            QCOMPARE(manager.GetTranslator(QLocale::English)->translate("CLASS_ABOUT_WINDOW", "Close"),
                     QString("Close"));
            QCOMPARE(languageChanges, 1); // only the English catalogue is installed
            QCOMPARE(QCoreApplication::translate("CLASS_ABOUT_WINDOW", "Close"), QString("Close"));
        }
        qApp->removeEventFilter(&filter);

        const QStringList errors = ErrorLinesSince(before);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(" CLASS_TRANSLATOR_MANAGER() Line "), qPrintable(errors.first()));
        QVERIFY2(
            errors.first().endsWith(" Language with ICU code \"it_IT\" not available for this application"),
            qPrintable(errors.first()));
    }

    // Created empty once; an existing file keeps its content and its date.
    void settingsFileCreatedOnceAndLeftAlone()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("settings.ini");
        CLASS_CONF(folder.path(), nullptr);
        QCOMPARE(QFileInfo(path).size(), 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nkept=1\n");
        file.flush();
        const QDateTime old = QDateTime::currentDateTime().addDays(-3);
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        file.close();
        CLASS_CONF again(folder.path(), nullptr);
        QCOMPARE(QFileInfo(path).lastModified(), old);
        QCOMPARE(again.GetValue("kept").toInt(), 1);
        again.SetValueInGroup("Window", "x", 12);
        QCOMPARE(again.GetValueInGroup("Window", "x").toInt(), 12);
    }

    void aboutWindow()
    {
        CLASS_ABOUT_WINDOW about;
        QCOMPARE(about.windowTitle(), "About " + QCoreApplication::applicationName());
        QStringList texts;
        for (const QLabel* label : about.findChildren<QLabel*>())
            texts << label->text();
        QVERIFY(texts.contains("01.03.03"));
        // The copyright runs to the current year.
        QVERIFY(about.findChild<QLabel*>("ABOUT_CREDITS_LABEL")
                    ->text()
                    .contains(QString("1989-%1").arg(QDate::currentDate().year())));
        about.show();
        QTest::mouseClick(about.findChild<QPushButton*>("ABOUT_CLOSE_BUTTON"), Qt::LeftButton);
        QVERIFY(!about.isVisible());
    }

    void aboutWindowFollowsInstalledCatalogue()
    {
        CLASS_TRANSLATOR_MANAGER manager;
        QTranslator french;
        QVERIFY(french.load("lang_fr_FR.qm", ":/lang"));
        QCoreApplication::installTranslator(&french);
        CLASS_ABOUT_WINDOW about;
        QCoreApplication::removeTranslator(&french);
        QVERIFY2(about.windowTitle().startsWith(QString::fromUtf8("À propos de ")),
                 qPrintable(about.windowTitle()));
        QCOMPARE(about.findChild<QPushButton*>("ABOUT_CLOSE_BUTTON")->text(), QString("Fermer"));
    }
};

QTEST_MAIN(TestFrontendWidgets)
#include "tst_frontend_widgets.moc"
