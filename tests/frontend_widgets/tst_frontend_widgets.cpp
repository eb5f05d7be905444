#include <QtTest>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "FRONTEND/CONFIGURATION/CONFIGURATION_ClassConf.h"
#include "FRONTEND/FRONTEND_ClassAboutWindow.h"
#include "FRONTEND/FRONTEND_StyleSheet.h"
#include "FRONTEND/LANGUAGES/LANGUAGES_ClassTranslatorManager.h"
#include "FRONTEND/WIDGETS/WIDGETS_ClassUpdateLabel.h"
#include "FRONTEND/WIDGETS/WIDGETS_ClassUpdateProgressBar.h"
#include "TraceCapture.h"

class TestFrontendWidgets : public QObject
{
    Q_OBJECT

    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationVersion("01.03.03");
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.path() + "/traces"));
    }

    // chunkChannel: the colour channel that dominates the progress bar's chunk (red, green, blue).
    void widgetsFollowState_data()
    {
        QTest::addColumn<DWord>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("labelColour");
        QTest::addColumn<int>("chunkChannel");
        QTest::newRow("ready") << DWord(0) << "Ready" << QColor("#D3D3D3") << 2;
        QTest::newRow("running") << DWord(1) << "Running" << QColor("#D85600") << 0;
        QTest::newRow("finished") << DWord(2) << "Finished" << QColor("#239123") << 1;
        QTest::newRow("error") << DWord(3) << "Error" << QColor("#aa4444") << 0;
    }

    void widgetsFollowState()
    {
        QFETCH(DWord, state);
        QFETCH(QString, text);
        QFETCH(int, chunkChannel);
        qApp->setStyleSheet(StyleSheet::LoadApplicationStyleSheet());
        CLASS_UPDATE_LABEL label;
        label.SetLabelState(state);
        QCOMPARE(label.text(), "Current state: " + text);
        QTEST(label.palette().color(label.foregroundRole()), "labelColour");

        CLASS_UPDATE_PROGRESS_BAR bar;
        bar.resize(200, 24);
        bar.setRange(0, 100);
        bar.setValue(100);
        bar.SetProgressBarState(state);
        const QColor chunk = bar.grab().toImage().pixelColor(12, 12);
        const int channels[] = {chunk.red(), chunk.green(), chunk.blue()};
        for (int other = 0; other < 3; ++other)
            QVERIFY2(other == chunkChannel || channels[chunkChannel] > channels[other],
                     qPrintable(chunk.name()));
    }

    // Colour names all resolved (a sheet that does not parse fails the colours above).
    void styleSheetHasNoColourNameLeft()
    {
        const QString sheet = StyleSheet::LoadApplicationStyleSheet();
        QVERIFY(sheet.contains("#D85600"));
        for (const auto& colour : StyleSheet::ColourTable())
            QVERIFY2(!sheet.contains(colour.first), qPrintable(colour.first));
    }

    // Created empty once; an existing file keeps its content and its date.
    void settingsFileCreatedOnceAndLeftAlone()
    {
        const QString path = m_Scratch.filePath("settings.ini");
        CLASS_CONF(m_Scratch.path(), nullptr);
        QCOMPARE(QFileInfo(path).size(), 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[General]\nkept=1\n") > 0 && file.flush());
        const QDateTime old = QDateTime::currentDateTime().addDays(-3);
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        file.close();
        CLASS_CONF(m_Scratch.path(), nullptr);
        QCOMPARE(QFileInfo(path).lastModified(), old);
        QCOMPARE(QFileInfo(path).size(), qint64(17));
    }

    // The program's catalogues load (only the English one installed; one it does
    // not support is refused); the About window shows the program's version and
    // follows the installed catalogue.
    void cataloguesAndAboutWindow()
    {
        CLASS_TRANSLATOR_MANAGER manager;
        QCOMPARE(manager.GetCurrentLanguage(), QLocale::English);
        QVERIFY(manager.GetTranslator(QLocale::Italian) == nullptr);
        QVERIFY(m_Traces.NewErrorEndsWith(
            " Language with ICU code \"it_IT\" not available for this application"));
        QCOMPARE(manager.GetTranslator(QLocale::German)->translate("CLASS_ABOUT_WINDOW", "Close"),
                 QString("Schließen"));
        QCOMPARE(QCoreApplication::translate("CLASS_ABOUT_WINDOW", "Close"), QString("Close"));
        QTranslator french;
        QVERIFY(french.load("lang_fr_FR.qm", ":/lang"));
        QCoreApplication::installTranslator(&french);
        CLASS_ABOUT_WINDOW about;
        QCoreApplication::removeTranslator(&french);
        QVERIFY2(about.windowTitle().startsWith(QString::fromUtf8("À propos de ")),
                 qPrintable(about.windowTitle()));
        QCOMPARE(about.findChild<QPushButton*>("ABOUT_CLOSE_BUTTON")->text(), QString("Fermer"));
        QStringList texts;
        for (const QLabel* label : about.findChildren<QLabel*>())
            texts << label->text();
        QVERIFY(texts.contains("01.03.03"));
    }
};

QTEST_MAIN(TestFrontendWidgets)
#include "tst_frontend_widgets.moc"
