#include <QtTest>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "BACKEND/Box_Updater.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCard.h"
#include "BACKEND/UPDATER/COMPONENTS/MVR_ClassCardComponent.h"
#include "BACKEND/UPDATER/ClassAbstractUpdater.h"
#include "BACKEND/UPDATER/MICRO/FILE/PROG_ClassBinaryInformations.h"
#include "FRONTEND/FRONTEND_ClassAboutWindow.h"
#include "FRONTEND/FRONTEND_ClassBoxUpdaterWindow.h"
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
    explicit Widgets(CLASS_BOX_UPDATER_WINDOW& window)
        : start(window.findChild<QPushButton*>("START_STOP_BUTTON")),
          version(window.findChild<QPushButton*>("GET_DEVICE_VERSION_BUTTON")),
          bar(window.findChild<CLASS_UPDATE_PROGRESS_BAR*>("UPDATE_PROGRESS_BAR")),
          label(window.findChild<CLASS_UPDATE_LABEL*>("UPDATE_STATE_LABEL")),
          loading(window.findChild<QLabel*>("LOADING_LABEL")),
          deviceVersion(window.findChild<QLabel*>("DEVICE_VERSION_VALUE_LABEL")),
          packageVersion(window.findChild<QLabel*>("PACKAGE_VERSION_VALUE_LABEL")),
          open(window.findChild<QAction*>("OPEN_KTP_FILE_ACTION"))
    {
    }
    bool complete() const
    {
        return start && version && bar && label && loading && deviceVersion && packageVersion && open;
    }

    QPushButton* start;
    QPushButton* version;
    CLASS_UPDATE_PROGRESS_BAR* bar;
    CLASS_UPDATE_LABEL* label;
    QLabel* loading;
    QLabel* deviceVersion;
    QLabel* packageVersion;
    QAction* open;
};

// The desktops' usual 9 pt font for the window's lifetime: the offscreen
// platform's default is larger than any desktop's and would overfill the
// fixed window whatever its layout.
class DesktopFont
{
public:
    DesktopFont() { QApplication::setFont(QFont("DejaVu Sans", 9)); }
    ~DesktopFont() { QApplication::setFont(m_Previous); }

private:
    const QFont m_Previous = QApplication::font();
};

QList<QMessageBox*> MessageBoxes(CLASS_BOX_UPDATER_WINDOW& window)
{
    return window.findChildren<QMessageBox*>();
}

QMimeData* PackageUrls(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    QMimeData* data = new QMimeData;
    data->setUrls(urls);
    return data;
}
} // namespace

class TestFrontendWindow : public QObject
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

    void init() { m_Traces.NewErrors(); }
    void cleanup() { qApp->setStyleSheet(QString()); }

    void construction()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        Widgets w(window);
        QVERIFY(w.complete());
        QCOMPARE(window.windowTitle(), QString("QRN207 Firmware Updater"));
        QVERIFY(window.acceptDrops());
        QCOMPARE(w.packageVersion->text(), QString("Please use File/Open to select an KTP package."));
        QCOMPARE(w.label->text(), QString("Current state: Ready"));
        QCOMPARE(window.findChild<QLabel*>("PROGRAM_VERSION_LABEL")->text(), QString("Version: 01.03.03"));
        QVERIFY(window.GetConfigurationFilePath().endsWith(
            "/BOX_UPDATER/PackageExtraction/CONF/components.json"));
    }

    // Each row: events applied from a fresh window, then both buttons' state.
    // Events: "version" presses Get Device Version, "device:<v>" delivers a
    // device version, "compatible"/"incompatible" deliver the package check,
    // "start" presses the Start/Stop button, "state:<n>" delivers a state.
    void enableRules_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<bool>("startEnabled");
        QTest::addColumn<QString>("startText");
        QTest::addColumn<bool>("versionEnabled");

        QTest::newRow("window created") << QStringList{} << false << "Start" << true;
        QTest::newRow("get device version pressed")
            << QStringList{"compatible", "version"} << false << "Start" << false;
        QTest::newRow("device version received")
            << QStringList{"version", "device:1.2.3"} << true << "Start" << true;
        QTest::newRow("compatible package, version button unchanged")
            << QStringList{"version", "compatible"} << true << "Start" << false;
        QTest::newRow("incompatible package")
            << QStringList{"compatible", "incompatible"} << false << "Start" << true;
        QTest::newRow("start pressed") << QStringList{"compatible", "start"} << false << "Start" << false;
        QTest::newRow("state 2") << QStringList{"compatible", "start", "state:1", "state:2"} << true << "Stop"
                                 << true;
        QTest::newRow("state 3") << QStringList{"compatible", "start", "state:1", "state:3"} << true << "Stop"
                                 << true;
        QTest::newRow("stop pressed")
            << QStringList{"compatible", "start", "state:2", "version", "start"} << false << "Start" << false;
    }

    void enableRules()
    {
        QFETCH(QStringList, events);
        QFETCH(bool, startEnabled);
        QFETCH(QString, startText);
        QFETCH(bool, versionEnabled);

        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        Widgets w(window);
        for (const QString& event : events)
        {
            if (event == "version")
                w.version->click();
            else if (event.startsWith("device:"))
                window.SetDeviceVersion(event.mid(7));
            else if (event == "compatible")
                window.ChangeUpdaterCompatibility(true);
            else if (event == "incompatible")
                window.ChangeUpdaterCompatibility(false, "not for this program");
            else if (event == "start")
                // A disabled button ignores clicks: press it through its signal.
                emit w.start->clicked();
            else if (event.startsWith("state:"))
                window.ChangeCurrentState(static_cast<T_BOX_UPDATER_STATE>(event.mid(6).toUInt()));
        }
        QCOMPARE(w.start->isEnabled(), startEnabled);
        QCOMPARE(w.start->text(), startText);
        QCOMPARE(w.version->isEnabled(), versionEnabled);
    }

    void startThenFinishedThenStop()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        Widgets w(window);
        QSignalSpy started(&window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_StartUpdate);
        QSignalSpy stopped(&window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_StopUpdate);
        window.ChangeUpdaterCompatibility(true);
        window.ChangeCurrentProgress(40); // left over from an earlier run
        w.start->click();
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0).at(0).toString(), window.GetConfigurationFilePath());
        QCOMPARE(w.bar->value(), 0);
        window.ChangeCurrentState(BOX_UPDATER_STATE_RUNNING);
        QVERIFY(!w.loading->isHidden());
        window.ChangeCurrentProgress(100);
        window.ChangeCurrentState(BOX_UPDATER_STATE_FINISHED);
        QVERIFY(w.loading->isHidden());
        QCOMPARE(w.label->text(), QString("Current state: Finished"));
        QCOMPARE(w.bar->GetProgressBarState(), DWord(2));
        w.start->click();
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(window.GetCurrentState(), BOX_UPDATER_STATE_READY);
        QCOMPARE(w.bar->value(), 0);
        QCOMPARE(w.start->text(), QString("Start"));
    }

    void unknownStateShowsReady()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        Widgets w(window);
        window.ChangeUpdaterCompatibility(true);
        window.ChangeCurrentState(BOX_UPDATER_STATE_RUNNING);
        window.ChangeCurrentProgress(30);
        window.ChangeCurrentState(static_cast<T_BOX_UPDATER_STATE>(7));
        QCOMPARE(window.DisplayStateOf(static_cast<T_BOX_UPDATER_STATE>(7)), DWord(0));
        QCOMPARE(w.label->GetLabelState(), DWord(0));
        QCOMPARE(w.bar->GetProgressBarState(), DWord(0));
        QCOMPARE(w.label->text(), QString("Current state: Ready"));
        QCOMPARE(w.bar->value(), 30);
        QVERIFY(m_Traces.NewErrors().isEmpty());
    }

    void progressAndVersions()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        Widgets w(window);
        window.ChangeUpdaterVersion(true, "02.01.00");
        QCOMPARE(w.packageVersion->text(), QString("02.01.00"));
        window.ChangeUpdaterVersion(false, QString());
        QCOMPARE(w.packageVersion->text(), QString("Please use File/Open to select an KTP package."));
        QSignalSpy asked(&window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_GetDeviceVersion);
        w.version->click();
        QCOMPARE(asked.count(), 1);
        window.SetDeviceVersion(QString());
        QCOMPARE(w.deviceVersion->text(), QString("Failed to read version."));
        window.SetDeviceVersion("1.2.3");
        QCOMPARE(w.deviceVersion->text(), QString("1.2.3"));
    }

    // Not waited for: the window keeps taking notifications while a box is open.
    void messageBoxes()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        window.ChangeUpdaterCompatibility(true, "ignored");
        window.ChangeUpdaterCompatibility(false, "The package is not compatible, please update the software");
        window.ExtractionFailed("Error when extracting the selected package. Keeping the old package.");
        const QList<QMessageBox*> boxes = MessageBoxes(window);
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(0)->windowTitle(), QString("Compatibility Error"));
        QCOMPARE(boxes.at(0)->text(), QString("The package is not compatible, please update the software"));
        QCOMPARE(boxes.at(1)->windowTitle(), QString("Extract Error"));
        QVERIFY(boxes.at(1)->isVisible());
    }

    // A start whose package cannot be unpacked ends with the extraction
    // message and no state change: the version button must come back.
    void failedStartGivesButtonsBack()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        Widgets w(window);
        window.ChangeUpdaterCompatibility(true);
        w.start->click();
        window.ChangeCurrentState(BOX_UPDATER_STATE_READY);
        window.ExtractionFailed("The current package is corrupted. Please select a new one.");
        QVERIFY(w.version->isEnabled());
        QVERIFY(!w.start->isEnabled());
        window.ChangeUpdaterCompatibility(true);
        QVERIFY(w.start->isEnabled());
    }

    void openFile_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("lower-case package") << "/data/packages/UPDATE_01.ktp" << true;
        QTest::newRow("upper-case KTP") << "/data/packages/UPDATE_01.KTP" << false;
        QTest::newRow("other file") << "/data/packages/UPDATE_01.zip" << false;
        QTest::newRow("dialog cancelled") << QString() << false;
    }

    void openFile()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, accepted);
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        Widgets w(window);
        QStringList asked;
        window.SetFileChooser(
            [&](QWidget* parent, const QString& caption, const QString& directory, const QString& filter)
            {
                asked << (parent == &window ? "window" : "other") << caption << directory << filter;
                return chosen;
            });
        QSignalSpy copies(&window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_CopyKtpPackageInLocal);
        w.open->trigger();

        QCOMPARE(asked, (QStringList{"window", "Open File", QDir::homePath(), "KTP (*.ktp);;All Files (*)"}));
        const QStringList errors = m_Traces.NewErrors();
        if (accepted)
        {
            QCOMPARE(copies.count(), 1);
            QCOMPARE(copies.at(0).at(0).toString(), chosen);
            QVERIFY(errors.isEmpty());
        }
        else
        {
            QCOMPARE(copies.count(), 0);
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors.at(0).contains("SLOT_OnOpenKtpFileActionTriggered() Line ") &&
                         errors.at(0).endsWith(" Wrong file extension, please select an \"*.ktp\" file."),
                     qPrintable(errors.at(0)));
            QVERIFY(MessageBoxes(window).isEmpty());
        }
    }

    void dragAndDrop()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        QSignalSpy copies(&window, &CLASS_BOX_UPDATER_WINDOW::SIGNAL_CopyKtpPackageInLocal);
        const QString folder = m_Scratch.path();

        std::unique_ptr<QMimeData> refused(PackageUrls({folder + "/A.KTP", folder + "/notes.txt"}));
        QDragEnterEvent refusedEnter(QPoint(10, 10), Qt::CopyAction, refused.get(), Qt::LeftButton,
                                     Qt::NoModifier);
        refusedEnter.ignore();
        QApplication::sendEvent(&window, &refusedEnter);
        QVERIFY(!refusedEnter.isAccepted());

        std::unique_ptr<QMimeData> text(new QMimeData);
        text->setText(folder + "/first.ktp");
        QDragEnterEvent textEnter(QPoint(10, 10), Qt::CopyAction, text.get(), Qt::LeftButton, Qt::NoModifier);
        textEnter.ignore();
        QApplication::sendEvent(&window, &textEnter);
        QVERIFY(!textEnter.isAccepted());

        std::unique_ptr<QMimeData> packages(
            PackageUrls({folder + "/first.ktp", folder + "/skip.KTP", folder + "/sub/../second.ktp"}));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, packages.get(), Qt::LeftButton, Qt::NoModifier);
        enter.ignore();
        QApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());

        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, packages.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
        QCOMPARE(copies.count(), 2);
        QCOMPARE(copies.at(0).at(0).toString(), folder + "/first.ktp");
        QCOMPARE(copies.at(1).at(0).toString(), folder + "/second.ktp");
    }

    void styleSheetAppliedAtShow()
    {
        qApp->setStyleSheet(QString());
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        QVERIFY(qApp->styleSheet().isEmpty());

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString applied = qApp->styleSheet();
        QVERIFY(!applied.isEmpty());
        for (const auto& colour : StyleSheet::ColourTable())
            QVERIFY2(!applied.contains(colour.first), qPrintable(colour.first));
        QVERIFY(applied.contains("#D85600")); // ORANGE_DARKER buttons
        QVERIFY(applied.contains("#283239")); // SLATE_GREY_700 window

        // Shown again: loaded again (a sheet set meanwhile is replaced).
        window.hide();
        qApp->setStyleSheet("QLabel { color: red; }");
        window.show();
        QCOMPARE(qApp->styleSheet(), applied);

        // The selectors reach the widgets: finished turns the state label green.
        window.ChangeCurrentState(BOX_UPDATER_STATE_FINISHED);
        Widgets w(window);
        QCOMPARE(w.label->palette().color(QPalette::WindowText), QColor("#239123"));
        window.hide();
        qApp->setStyleSheet(QString());
    }

    // An update that fails names the updater and the cause in the status bar
    // and the state label's tooltip; Stop and a new start clear them.
    void failedUpdateNamesUpdaterAndCause()
    {
        InitEnumerationTables();
        BOX_UPDATER box(false, false, false);
        T_BOX_UPDATER_DELAYS delays;
        delays.PollIntervalMs = 20;
        delays.InactivityTimeoutMs = 100;
        box.SetDelays(delays);
        CLASS_BINARY_INFORMATIONS noBinary(QString(), 0, 0);
        CLASS_CARD* card = box.GetCardsManager().AddCard(CARD_TYPE_BOX);
        QVERIFY(card);
        QVERIFY(card->AddComponent("APP", STEP_RAM_PROGRAM_MAIN, COMMUNICATION_TYPE_UDP, "MICRO", &noBinary,
                                   nullptr, COMPONENT_TYPE_RAM, END_ACTION_NONE, false, false));
        CLASS_ABSTRACT_UPDATER* updater = card->GetComponents().first()->GetUpdater();
        T_UPDATER_DELAYS quick;
        quick.CloseWaitMs = 0;
        updater->SetDelays(quick);
        // Programming, then silent: the box updater times it out.
        updater->SetStatus(UPDATER_STATUS_RUNNING);
        updater->GetTimer().start();

        const DesktopFont font;
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        ConnectWindowToBackend(&box, &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Widgets w(window);
        QLabel* failure = window.findChild<QLabel*>("UPDATE_FAILURE_LABEL");
        QVERIFY(failure && failure->isHidden());
        window.ChangeCurrentState(BOX_UPDATER_STATE_RUNNING);
        box.RunUpdate();
        QTRY_COMPARE(window.GetCurrentState(), BOX_UPDATER_STATE_ERROR);
        QTRY_VERIFY(failure->isVisible());

        const QString shown = window.GetUpdateFailure();
        QVERIFY2(
            shown.startsWith("BOX_APP: Command timeout encountered for updater named \"BOX_APP\" in step \""),
            qPrintable(shown));
        QCOMPARE(w.label->toolTip(), shown);
        QCOMPARE(failure->toolTip(), shown);
        // In the room the status bar leaves once laid out, elided, inside the window.
        QTRY_VERIFY2(failure->text().startsWith("BOX_APP: ") &&
                         failure->text() == failure->fontMetrics().elidedText(
                                                shown, Qt::ElideRight, failure->contentsRect().width()),
                     qPrintable(failure->text()));
        QVERIFY(window.rect().contains(QRect(failure->mapTo(&window, QPoint(0, 0)), failure->size())));
        // The state and version texts and the window size stay.
        QCOMPARE(w.label->text(), QString("Current state: Error"));
        QVERIFY(w.label->isVisible());
        QCOMPARE(window.findChild<QLabel*>("PROGRAM_VERSION_LABEL")->text(), QString("Version: 01.03.03"));
        QCOMPARE(window.size(), QSize(420, 170));

        // The box updater is left out of the acknowledgement and the next start.
        QObject::disconnect(&window, nullptr, &box, nullptr);
        w.start->click(); // Stop
        QVERIFY(window.GetUpdateFailure().isEmpty());
        QVERIFY(w.label->toolTip().isEmpty());
        QVERIFY(failure->isHidden());
        window.ShowUpdateFailure(QString(), "Invalid configurations file at path \"x\", abort updater!");
        QCOMPARE(w.label->toolTip(), QString("Invalid configurations file at path \"x\", abort updater!"));
        w.start->click(); // Start
        QVERIFY(w.label->toolTip().isEmpty());
        QVERIFY(failure->isHidden());
    }

    // The package instruction is wider than the fixed window: it wraps and
    // shows whole, above the progress bar.
    void readyTextWrapsInsideTheWindow()
    {
        const DesktopFont font;
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        window.show(); // with the style sheet's bold labels
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Widgets w(window);
        QLabel* ready = w.packageVersion;
        QVERIFY(ready->wordWrap());
        QCOMPARE(window.size(), QSize(420, 170));
        const QRect room = ready->contentsRect();
        const QRect needed = ready->fontMetrics().boundingRect(room, Qt::TextWordWrap, ready->text());
        QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(),
                 qPrintable(QString("needs %1x%2, has %3x%4")
                                .arg(needed.width())
                                .arg(needed.height())
                                .arg(room.width())
                                .arg(room.height())));
        const QRect label(ready->mapTo(&window, QPoint(0, 0)), ready->size());
        QVERIFY(window.rect().contains(label));
        QVERIFY(!label.intersects(QRect(w.bar->mapTo(&window, QPoint(0, 0)), w.bar->size())));
    }

    // The style sheet colours our widgets only: a file dialog opened over the
    // window keeps the application palette; message boxes keep their own rule.
    void styleSheetLeavesQtDialogsAlone()
    {
        CLASS_BOX_UPDATER_WINDOW window(nullptr);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPalette plain = QApplication::palette();
        const QColor labelGrey("#D3D3D3");

        QFileDialog dialog(&window, "Open File", QDir::homePath(), "KTP (*.ktp)");
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.ensurePolished();
        const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
        QVERIFY(!labels.isEmpty());
        for (const QLabel* label : labels)
            QCOMPARE(label->palette().color(QPalette::Active, QPalette::WindowText),
                     plain.color(QPalette::Active, QPalette::WindowText));
        for (const QPushButton* button : dialog.findChildren<QPushButton*>())
            QCOMPARE(button->palette().color(QPalette::Active, QPalette::ButtonText),
                     plain.color(QPalette::Active, QPalette::ButtonText));

        QMessageBox box(QMessageBox::Critical, "Extract Error", "text", QMessageBox::Ok, &window);
        box.ensurePolished();
        QCOMPARE(box.findChild<QLabel*>("qt_msgbox_label")->palette().color(QPalette::WindowText),
                 QColor("#FFFFFF"));

        // Ours keep the light grey.
        QCOMPARE(Widgets(window).deviceVersion->palette().color(QPalette::WindowText), labelGrey);
        QCOMPARE(window.findChild<QLabel*>("PROGRAM_VERSION_LABEL")->palette().color(QPalette::WindowText),
                 labelGrey);
        window.GetAboutWindow()->ensurePolished();
        QCOMPARE(window.GetAboutWindow()
                     ->findChild<QLabel*>("ABOUT_CREDITS_LABEL")
                     ->palette()
                     .color(QPalette::WindowText),
                 labelGrey);
    }
};

QTEST_MAIN(TestFrontendWindow)
#include "tst_frontend_window.moc"
