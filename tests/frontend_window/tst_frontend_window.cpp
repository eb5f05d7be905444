#include <QtTest>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "BACKEND/Box_Updater.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "FRONTEND/FRONTEND_ClassBoxUpdaterWindow.h"
#include "FRONTEND/FRONTEND_ClassLogWindow.h"
#include "FRONTEND/FRONTEND_StyleSheet.h"
#include "FRONTEND/FRONTEND_WindowMode.h"
#include "FRONTEND/WIDGETS/WIDGETS_ClassUpdateLabel.h"
#include "FRONTEND/WIDGETS/WIDGETS_ClassUpdateProgressBar.h"
#include "TraceCapture.h"

namespace
{
// The window's widgets, found by object name.
struct Widgets
{
    CLASS_BOX_UPDATER_WINDOW& window;
    QPushButton* start = window.findChild<QPushButton*>("START_STOP_BUTTON");
    QPushButton* version = window.findChild<QPushButton*>("GET_DEVICE_VERSION_BUTTON");
    CLASS_UPDATE_PROGRESS_BAR* bar = window.findChild<CLASS_UPDATE_PROGRESS_BAR*>("UPDATE_PROGRESS_BAR");
    CLASS_UPDATE_LABEL* label = window.findChild<CLASS_UPDATE_LABEL*>("UPDATE_STATE_LABEL");
    QLabel* deviceVersion = window.findChild<QLabel*>("DEVICE_VERSION_VALUE_LABEL");
    QLabel* packageVersion = window.findChild<QLabel*>("PACKAGE_VERSION_VALUE_LABEL");
};

QRect PlaceIn(QWidget& window, QWidget* child)
{
    return QRect(child->mapTo(&window, QPoint(0, 0)), child->size());
}
} // namespace

class TestFrontendWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_Scratch;
    TraceCapture m_Traces;
    QUrl m_Opened;

public slots:
    void OpenUrl(const QUrl& url) { m_Opened = url; }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationVersion("01.03.03");
        // The desktops' usual 9 pt font: the offscreen platform's default is larger
        // than any desktop's and would overfill the fixed window whatever its layout.
        QApplication::setFont(QFont("DejaVu Sans", 9));
        QVERIFY(m_Scratch.isValid());
        QVERIFY(m_Traces.Start(m_Scratch.path() + "/traces"));
    }

    void init() { m_Traces.NewErrors(); }

    // One operator's session: texts (title, menus, labels, buttons), versions, start,
    // progress, finish, stop.
    void startThenFinishedThenStop()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        Widgets w{window};
        const QString pickPackage = "Please use File/Open to select an KTP package.";
        QStringList texts{window.windowTitle()}; // and those of every action, label and button
        for (const QObject* child : window.findChildren<QObject*>())
            texts << child->property("text").toString();
        for (const QString& text : QStringList{"QRN207 Firmware Updater", "&File", "&Open KTP File", "&Exit",
                                               "&?", "&About QRN207 Firmware Updater",
                                               "Device Version: ", "Package Version: ", pickPackage,
                                               "Get Device Version", "Start", "Quit", "Version: 01.03.03"})
            QVERIFY2(texts.contains(text), qPrintable(text));
        window.ChangeUpdaterVersion(true, "02.01.00");
        QCOMPARE(w.packageVersion->text(), QString("02.01.00"));
        window.ChangeUpdaterVersion(false, QString());
        QCOMPARE(w.packageVersion->text(), pickPackage);
        QSignalSpy asked(&window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_GetDeviceVersion);
        w.version->click();
        QCOMPARE(asked.count(), 1);
        window.SetDeviceVersion(QString());
        QCOMPARE(w.deviceVersion->text(), QString("Failed to read version."));
        window.SetDeviceVersion("1.2.3");
        QCOMPARE(w.deviceVersion->text(), QString("1.2.3"));

        QSignalSpy started(&window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_StartUpdate);
        QSignalSpy stopped(&window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_StopUpdate);
        window.ChangeUpdaterCompatibility(true);
        window.ChangeCurrentProgress(40); // left over from an earlier run
        w.start->click();
        QCOMPARE(started.count(), 1);
        QVERIFY(
            started.at(0).at(0).toString().endsWith("/BOX_UPDATER/PackageExtraction/CONF/components.json"));
        QCOMPARE(w.bar->value(), 0);
        window.ChangeCurrentState(BOX_UPDATER_STATE_RUNNING);
        QLabel* loading = window.findChild<QLabel*>("LOADING_LABEL");
        QVERIFY(!loading->isHidden());
        window.ChangeCurrentProgress(100);
        window.ChangeCurrentState(BOX_UPDATER_STATE_FINISHED);
        QVERIFY(loading->isHidden());
        QCOMPARE(w.label->text(), QString("Current state: Finished"));
        QCOMPARE(w.bar->GetProgressBarState(), DWord(2));
        w.start->click();
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(window.GetCurrentState(), BOX_UPDATER_STATE_READY);
        QCOMPARE(w.bar->value(), 0);
    }

    // Events applied to a fresh window, then both buttons' state and the
    // message boxes shown. "version" and "start" press the buttons,
    // "device:<v>" delivers a device version, "compatible"/"incompatible" the
    // package check, "state:<n>" a state and "failed" an extraction failure.
    void enableRules_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<bool>("startEnabled");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<bool>("versionEnabled");
        QTest::addColumn<QString>("boxes");
        QTest::newRow("created") << QStringList{} << false << "Start" << true << "";
        QTest::newRow("version asked")
            << QStringList{"compatible", "version"} << false << "Start" << false << "";
        QTest::newRow("version received")
            << QStringList{"version", "device:1.2.3"} << true << "Start" << true << "";
        QTest::newRow("compatible") << QStringList{"version", "compatible"} << true << "Start" << false << "";
        QTest::newRow("incompatible") << QStringList{"compatible", "incompatible"} << false << "Start" << true
                                      << "Compatibility Error: not for this program";
        QTest::newRow("start") << QStringList{"compatible", "start"} << false << "Start" << false << "";
        QTest::newRow("finished") << QStringList{"compatible", "start", "state:1", "state:2"} << true
                                  << "Stop" << true << "";
        QTest::newRow("error") << QStringList{"compatible", "start", "state:1", "state:3"} << true << "Stop"
                               << true << "";
        QTest::newRow("stop") << QStringList{"compatible", "start", "state:2", "version", "start"} << false
                              << "Start" << false << "";
        // A start whose package cannot be unpacked has no state change to follow.
        QTest::newRow("failed start") << QStringList{"compatible", "start", "state:0", "failed"} << false
                                      << "Start" << true << "Extract Error: corrupted";
        QTest::newRow("USB device refused") << QStringList{"version", "usb:two devices", "device:"} << true
                                            << "Start" << true << "USB Device Error: two devices";
        QTest::newRow("USB device found") << QStringList{"usb:"} << false << "Start" << true << "";
        QTest::newRow("failed start, new package")
            << QStringList{"compatible", "start", "state:0", "failed", "compatible"} << true << "Start"
            << true << "Extract Error: corrupted";
    }

    void enableRules()
    {
        QFETCH(QStringList, events);
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        Widgets w{window};
        for (const QString& event : events)
        {
            if (event == "version")
                w.version->click();
            else if (event.startsWith("device:"))
                window.SetDeviceVersion(event.mid(7));
            else if (event.endsWith("compatible"))
                window.ChangeUpdaterCompatibility(event == "compatible", "not for this program");
            else if (event == "start")
                emit w.start->clicked(); // a disabled button ignores clicks
            else if (event.startsWith("state:"))
                window.ChangeCurrentState(static_cast<T_BOX_UPDATER_STATE>(event.mid(6).toUInt()));
            else if (event == "failed")
                window.ExtractionFailed("corrupted");
            else if (event.startsWith("usb:"))
                window.ShowUsbDevice("\"1-4\" (serial \"A1\")", event.mid(4));
        }
        QTEST(w.start->isEnabled(), "startEnabled");
        QTEST(w.start->text(), "startText");
        QTEST(w.version->isEnabled(), "versionEnabled");
        // Shown, not waited for: the window keeps taking notifications meanwhile.
        QStringList boxes;
        for (const QMessageBox* box : window.findChildren<QMessageBox*>())
            boxes << (box->isVisible() ? box->windowTitle() + ": " + box->text() : "hidden");
        QTEST(boxes.join('\n'), "boxes");
    }

    // A package that could not be taken in: the box updater's box tells the old one is kept.
    void refusedPackageKeepsTheOldOne()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        BOX_UPDATER box(false, false, false);
        ConnectWindowToBackend(&box, &window);
        box.SLOT_CopyKtpPackageInLocal(m_Scratch.filePath("absent.ktp"));
        QTRY_VERIFY(window.findChild<QMessageBox*>());
        QCOMPARE(window.findChild<QMessageBox*>()->text(),
                 QString("Error when extracting the selected package. Keeping the old package."));
    }

    // Only ".ktp" files, from the dialog or dropped, become the package.
    void openFile_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("package") << "/data/packages/UPDATE_01.ktp" << true;
        QTest::newRow("upper-case KTP") << "/data/packages/UPDATE_01.KTP" << false;
        QTest::newRow("other file") << "/data/packages/UPDATE_01.zip" << false;
        QTest::newRow("cancelled") << QString() << false;
    }

    void openFile()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, accepted);
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        QStringList asked;
        window.SetFileChooser(
            [&](QWidget*, const QString&, const QString& folder, const QString& filter)
            {
                asked << folder << filter;
                return chosen;
            });
        QSignalSpy copies(&window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_CopyKtpPackageInLocal);
        window.findChild<QAction*>("OPEN_KTP_FILE_ACTION")->trigger();
        QCOMPARE(asked, (QStringList{QDir::homePath(), "KTP (*.ktp);;All Files (*)"}));
        QCOMPARE(copies.count(), int(accepted));
        QVERIFY(!accepted || copies.at(0).at(0).toString() == chosen);
        const QStringList errors = m_Traces.NewErrors();
        QCOMPARE(errors.size(), int(!accepted));
        QVERIFY(accepted ||
                (errors.at(0).contains("SLOT_OnOpenKtpFileActionTriggered() Line ") &&
                 errors.at(0).endsWith(" Wrong file extension, please select an \"*.ktp\" file.")));

        QMimeData data;
        const QString folder = m_Scratch.path();
        data.setUrls({QUrl::fromLocalFile(folder + "/A.KTP"), QUrl::fromLocalFile(folder + "/notes.txt")});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QApplication::sendEvent(&window, &enter);
        QVERIFY(!enter.isAccepted());
        data.setUrls({QUrl::fromLocalFile(folder + "/first.ktp"), QUrl::fromLocalFile(folder + "/skip.KTP"),
                      QUrl::fromLocalFile(folder + "/sub/../second.ktp")});
        enter.ignore();
        QApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
        QCOMPARE(copies.count(), int(accepted) + 2);
        QCOMPARE(copies.last().at(0).toString(), folder + "/second.ktp");
    }

    // The shown window: styled at show (Qt's own dialogs left alone), the
    // package instruction wrapped whole inside the fixed window. An update
    // that fails names the updater and the cause in the status bar and the
    // state label's tooltip, elided in the room left; Stop and a new start clear them.
    void shownWindowAndAFailedUpdate()
    {
        InitEnumerationTables();
        BOX_UPDATER box(false, false, false);
        box.SetDelays({20, 100}); // polls every 20 ms, times out after 100 ms of silence
        CLASS_BINARY_INFORMATIONS noBinary(QString(), 0, 0);
        CLASS_CARD* card = box.GetCardsManager().AddCard(CARD_TYPE_BOX);
        QVERIFY(card &&
                card->AddComponent("APP", STEP_RAM_PROGRAM_MAIN, COMMUNICATION_TYPE_UDP, "MICRO", &noBinary,
                                   nullptr, COMPONENT_TYPE_RAM, END_ACTION_NONE, false, false));
        CLASS_ABSTRACT_UPDATER* updater = card->GetComponents().first()->GetUpdater();
        T_UPDATER_DELAYS quick;
        quick.CloseWaitMs = 0;
        updater->SetDelays(quick);
        // Programming, then silent: the box updater times it out.
        updater->SetStatus(UPDATER_STATUS_RUNNING);
        updater->GetTimer().start();

        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        ConnectWindowToBackend(&box, &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(qApp->styleSheet(), StyleSheet::LoadApplicationStyleSheet());
        Widgets w{window};
        QCOMPARE(window.size(), QSize(420, 170));
        QLabel* ready = w.packageVersion;
        const QRect needed =
            ready->fontMetrics().boundingRect(ready->contentsRect(), Qt::TextWordWrap, ready->text());
        QVERIFY(ready->contentsRect().contains(needed) && window.rect().contains(PlaceIn(window, ready)) &&
                !PlaceIn(window, ready).intersects(PlaceIn(window, w.bar)));
        QCOMPARE(w.deviceVersion->palette().color(QPalette::WindowText), QColor("#D3D3D3"));
        QFileDialog dialog(&window, "Open File", QDir::homePath(), "KTP (*.ktp)");
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.ensurePolished();
        QVERIFY(!dialog.findChildren<QLabel*>().isEmpty());
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            QCOMPARE(label->palette().color(QPalette::Active, QPalette::WindowText),
                     QApplication::palette().color(QPalette::Active, QPalette::WindowText));

        QLabel* failure = window.findChild<QLabel*>("UPDATE_FAILURE_LABEL");
        QVERIFY(failure->isHidden());
        window.ChangeCurrentState(BOX_UPDATER_STATE_RUNNING);
        box.RunUpdate();
        QTRY_COMPARE(window.GetCurrentState(), BOX_UPDATER_STATE_ERROR);
        QTRY_VERIFY(failure->isVisible());
        const QString shown = window.GetUpdateFailure();
        QVERIFY2(
            shown.startsWith("BOX_APP: Command timeout encountered for updater named \"BOX_APP\" in step \""),
            qPrintable(shown));
        QCOMPARE(w.label->toolTip(), shown);
        QTRY_VERIFY2(failure->text().startsWith("BOX_APP: ") &&
                         failure->text() == failure->fontMetrics().elidedText(
                                                shown, Qt::ElideRight, failure->contentsRect().width()),
                     qPrintable(failure->text()));
        QVERIFY(window.rect().contains(PlaceIn(window, failure)));
        QCOMPARE(w.label->text(), QString("Current state: Error"));
        QVERIFY(w.label->isVisible());
        QCOMPARE(window.size(), QSize(420, 170));

        // The box updater is left out of the acknowledgement and the next start.
        QObject::disconnect(&window, nullptr, &box, nullptr);
        w.start->click(); // Stop
        QVERIFY(window.GetUpdateFailure().isEmpty() && w.label->toolTip().isEmpty() && failure->isHidden());
        window.ShowUpdateFailure(QString(), "Invalid configurations file");
        QCOMPARE(w.label->toolTip(), QString("Invalid configurations file"));
        w.start->click(); // Start
        QVERIFY(w.label->toolTip().isEmpty() && failure->isHidden());
    }

    // The log window: closed, it keeps the newest lines and touches no widget;
    // "Show log" shows them in order, errors set apart, the newest in view; the
    // trace folder opens in the file manager.
    void logWindow()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        CLASS_LOG_WINDOW* log = window.GetLogWindow();
        auto* view = log->findChild<QPlainTextEdit*>("LOG_VIEW");
        window.findChild<QAction*>("SHOW_LOG_ACTION")->trigger();
        QVERIFY(log->isVisible());
        log->close();
        const int limit = CLASS_LOG_WINDOW::LINE_LIMIT;
        for (int i = 0; i < limit + 10; ++i)
            TraceInfo(QString("line %1").arg(i));
        QTest::qWait(100);
        QVERIFY(view->document()->isEmpty());
        log->ShowLog();
        QStringList shown = log->GetShownLines();
        QCOMPARE(shown.size(), limit);
        QVERIFY(shown.first().endsWith("]line 10") &&
                shown.last().endsWith(QString("]line %1").arg(limit + 9)));
        TraceError("broken");
        TraceInfo("after");
        QTRY_VERIFY(log->GetShownLines().last().endsWith("]after"));
        shown = log->GetShownLines();
        QVERIFY2(shown.at(limit - 2).startsWith("ERROR [") && shown.at(limit - 2).endsWith("]broken"),
                 qPrintable(shown.at(limit - 2)));
        QVERIFY(view->verticalScrollBar()->maximum() > 0);
        QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());

        QDesktopServices::setUrlHandler("file", this, "OpenUrl");
        log->findChild<QPushButton*>("OPEN_TRACE_FOLDER_BUTTON")->click();
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(m_Opened, QUrl::fromLocalFile(CurrentTraceSubfolder()));
    }

    // The step under way, from the updaters' start and protocol texts and the erase wait.
    void logWindowStep_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("step");
        QTest::newRow("after an erase")
            << QStringList{"BOX_A - Started", "\"BOX_A\" waits 23040 ms for the device to erase",
                           "\t CHECK_SHA"}
            << "BOX_A - CHECK_SHA";
        QTest::newRow("erasing") << QStringList{"BOX_A - Started", "\t\t START_SEND",
                                                "\"BOX_A\" waits 23040 ms for the device to erase"}
                                 << "BOX_A - erasing, about 23 s";
        QTest::newRow("erased") << QStringList{"BOX_A - Started",
                                               "\"BOX_A\" waits 0 ms for the device to erase"}
                                << "BOX_A - sending data";
        QTest::newRow("next step") << QStringList{"BOX_A - Started", "\t PING", "BOX_B - Started"}
                                   << "BOX_B - started";
    }
    void logWindowStep()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, step);
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        CLASS_LOG_WINDOW* log = window.GetLogWindow();
        window.ChangeCurrentState(BOX_UPDATER_STATE_RUNNING);
        log->ShowLog();
        for (const QString& line : lines)
            TraceInfo(TRACE_POS + line);
        QTRY_COMPARE(log->GetStepText(), "Under way: " + step);
        QVERIFY(log->windowTitle().endsWith(" - " + step));
    }
};

QTEST_MAIN(TestFrontendWindow)
#include "tst_frontend_window.moc"
