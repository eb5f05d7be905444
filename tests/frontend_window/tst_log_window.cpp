#include <QtTest>

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>

#include "BACKEND/Box_Updater.h"
#include "FRONTEND/FRONTEND_ClassBoxUpdaterWindow.h"
#include "FRONTEND/FRONTEND_ClassLogWindow.h"
#include "FRONTEND/FRONTEND_WindowMode.h"
#include "Traces.h"
#include "UpdateRuns.h"

using namespace UpdateRuns;

namespace
{
const int PACKAGE_TIMEOUT_MS = 60000;
const int PROBE_INTERVAL_MS = 10;
// The window's bound on a main-thread stall (docs/PERFORMANCE.md); instrumented builds run slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const double STALL_LIMIT_MS = 250;
#else
const double STALL_LIMIT_MS = 50;
#endif

// Nanoseconds the main thread sat runnable without a processor (schedstat): a
// loaded machine's doing, not the window's.
qint64 RunQueueWaitNs()
{
    QFile file(QStringLiteral("/proc/thread-self/schedstat"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(1).toLongLong() : 0;
}
} // namespace

// The log window in the window-mode start-up, against the device simulator,
// with the real trace facility (its own thread) feeding it.
class TestLogWindow : public QObject
{
    Q_OBJECT

    T_SCRATCH m_Scratch;

    // The window mode on a package for a simulator started with faults, the steps' start waits short.
    std::unique_ptr<CLASS_WINDOW_MODE> Start(SimulatorPeers::SimulatorProcess& simulator,
                                             const QStringList& faults, const QStringList& sample)
    {
        if (!simulator.Start(QStringList{"--udp-port", "0"} + faults))
            return nullptr;
        T_STARTUP_OPTIONS options;
        options.PackageGiven = true;
        options.PackagePath =
            m_Scratch.MakePackage(QString::number(simulator.UdpPort()),
                                  QStringList{"--udp-port", QString::number(simulator.UdpPort())} + sample);
        auto mode = std::make_unique<CLASS_WINDOW_MODE>(options);
        T_BOX_UPDATER_DELAYS delays;
        delays.UpdaterStartWaitMs = START_WAIT_MS;
        mode->GetBoxUpdater()->SetDelays(delays);
        return mode;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterTypeAliases();
        QVERIFY(m_Scratch.IsValid());
        StartTracing(QStringLiteral("BOX_UPDATER"));
        QVERIFY(!CurrentInfoFilePath().isEmpty());
    }
    void cleanupTestCase() { StopTraces(); }

    // A boot loader that refuses the first transfer: the log window opens by
    // itself at the failing updater's line, shown whole, and holds the trace
    // files' lines in their order.
    void failingUpdateOpensTheLog()
    {
        SimulatorPeers::SimulatorProcess simulator;
        const auto mode = Start(simulator, {"--fault-error", "5@START_SEND"}, {});
        QVERIFY(mode);
        CLASS_BOX_UPDATER_WINDOW* window = mode->GetWindow();
        CLASS_LOG_WINDOW* log = window->GetLogWindow();
        QPushButton* start = window->findChild<QPushButton*>("START_STOP_BUTTON");
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), PACKAGE_TIMEOUT_MS);
        QVERIFY(!log->isVisible());
        start->click();
        QTRY_COMPARE_WITH_TIMEOUT(window->GetCurrentState(), BOX_UPDATER_STATE_ERROR, UPDATE_TIMEOUT_MS);
        QVERIFY(log->isVisible());
        const QString cause = "Error has been encountered with value code \"5\" - Message: Micro is busy(5)";
        QVERIFY2(log->GetStepText().startsWith("Update failed: BOX_STEP_RESIDENT_PROGRAM_RAM: "),
                 qPrintable(log->GetStepText()));
        QVERIFY2(log->GetStepText().endsWith(cause), qPrintable(log->GetStepText()));
        auto* view = log->findChild<QPlainTextEdit*>("LOG_VIEW");
        QTRY_VERIFY(view->textCursor().block().text().endsWith(" " + cause));
        QVERIFY(view->viewport()->rect().contains(view->cursorRect()));
        QCOMPARE(view->horizontalScrollBar()->maximum(), 0); // wrapped, nothing cut

        // The info file's lines, in its order, the newest included.
        const QStringList file =
            QString::fromUtf8(ReadFile(CurrentInfoFilePath())).split('\n', Qt::SkipEmptyParts);
        QTRY_COMPARE(log->GetShownLines().filter(QRegularExpression("^\\[")).last(), file.last());
        const QStringList shown = log->GetShownLines().filter(QRegularExpression("^\\["));
        QCOMPARE(shown, file.mid(file.size() - shown.size()));
    }

    // A real-size update (main 1.5 MiB, FPGA 16 MiB), then the same again with
    // every content up to date (some 18,000 check lines), with the log window
    // open: the main thread keeps within the window's bound, and the erase
    // wait of the main firmware is shown as such.
    void realSizeUpdateWithTheLogOpen()
    {
        SimulatorPeers::SimulatorProcess simulator;
        const auto mode = Start(simulator, {}, {"--sizes", "real"});
        QVERIFY(mode);
        CLASS_BOX_UPDATER_WINDOW* window = mode->GetWindow();
        QPushButton* start = window->findChild<QPushButton*>("START_STOP_BUTTON");
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), PACKAGE_TIMEOUT_MS);
        window->findChild<QAction*>("SHOW_LOG_ACTION")->trigger();
        // The longest gap between two ticks of a 10 ms timer, less the interval and the run-queue wait.
        QStringList steps;
        double longest = 0;
        int samples = 0;
        QElapsedTimer clock;
        qint64 last = 0, lastWait = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        connect(&probe, &QTimer::timeout,
                [&]
                {
                    const qint64 now = clock.nsecsElapsed(), wait = RunQueueWaitNs();
                    longest = qMax(longest, double(now - last - (wait - lastWait)) / 1e6 - PROBE_INTERVAL_MS);
                    last = now;
                    lastWait = wait;
                    ++samples;
                    if (!steps.endsWith(window->GetLogWindow()->GetStepText()))
                        steps << window->GetLogWindow()->GetStepText();
                });
        clock.start();
        probe.start(PROBE_INTERVAL_MS);
        QTest::qWait(1000); // the window's own start-up is not counted
        longest = 0;
        for (int run = 0; run < 2; ++run)
        {
            start->click();
            QTRY_VERIFY_WITH_TIMEOUT(window->GetCurrentState() == BOX_UPDATER_STATE_FINISHED ||
                                         window->GetCurrentState() == BOX_UPDATER_STATE_ERROR,
                                     UPDATE_TIMEOUT_MS * 2);
            QCOMPARE(window->GetCurrentState(), BOX_UPDATER_STATE_FINISHED);
            start->click(); // Stop
        }
        probe.stop();
        qInfo("stall: %d samples, longest %.1f ms", samples, longest);
        QVERIFY2(longest < STALL_LIMIT_MS, qPrintable(QString::number(longest)));
        const QRegularExpression erasing("^Under way: BOX_STEP_RAM_PROGRAM_MAIN_\\d+ - erasing, about 23 s$");
        QVERIFY2(steps.indexOf(erasing) >= 0, qPrintable(steps.join('\n')));
    }
};

QTEST_MAIN(TestLogWindow)
#include "tst_log_window.moc"
