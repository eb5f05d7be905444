#include "FRONTEND_ClassLogWindow.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QUrl>
#include <QVBoxLayout>

#include "Traces.h"

#define LOG_TEXT(text) QT_TRANSLATE_NOOP("CLASS_LOG_WINDOW", text)

namespace
{
const char* const TEXT_TITLE = LOG_TEXT("QRN207 Firmware Updater - Log");
const char* const TEXT_IDLE = LOG_TEXT("No update under way.");
const char* const TEXT_UNDER_WAY = LOG_TEXT("Under way: ");
const char* const TEXT_STARTING = LOG_TEXT("starting the update");
const char* const TEXT_STEP_STARTED = LOG_TEXT("started");
const char* const TEXT_ERASING = LOG_TEXT("erasing, about %1 s");
const char* const TEXT_SENDING = LOG_TEXT("sending data");
const char* const TEXT_FINISHED = LOG_TEXT("Update finished.");
const char* const TEXT_FAILED = LOG_TEXT("Update failed: ");
const char* const TEXT_FAILED_NO_CAUSE = LOG_TEXT("Update failed.");
const char* const TEXT_OPEN_FOLDER = LOG_TEXT("Open trace folder");
const char* const TEXT_NO_TRACES = LOG_TEXT("Tracing is off: no trace folder.");

const int DEFAULT_WIDTH = 760;
const int DEFAULT_HEIGHT = 420;
// Lines arriving in bursts are shown at most this often: the main thread
// does a bounded amount of work whatever the rate of tracing.
const int DRAIN_INTERVAL_MS = 50;
const int CLOCK_INTERVAL_MS = 1000;
const int ERROR_BLOCK = 1; // block user state of an error line

const QLatin1String STARTED_SUFFIX(" - Started");
const QLatin1String ERASE_SUFFIX(" ms for the device to erase");

// "[label][time stamp][tag]message": the time stamp, in ms since the epoch.
qint64 TimeStampOf(const QString& line)
{
    const int begin = line.indexOf(QLatin1String("][")) + 2;
    return begin >= 2 ? line.mid(begin, line.indexOf(QLatin1Char(']'), begin) - begin).toLongLong() : 0;
}
} // namespace

CLASS_LOG_WINDOW::CLASS_LOG_WINDOW(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("LOG_WINDOW"));
    setWindowTitle(TEXT_TITLE);
    resize(DEFAULT_WIDTH, DEFAULT_HEIGHT);

    QVBoxLayout* layout = new QVBoxLayout(this);
    m_StepLabel = new QLabel(TEXT_IDLE, this);
    m_StepLabel->setObjectName(QStringLiteral("LOG_STEP_LABEL"));
    m_StepLabel->setWordWrap(true);
    m_StepLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_StepLabel->font();
    bold.setBold(true);
    m_StepLabel->setFont(bold);
    layout->addWidget(m_StepLabel);

    m_View = new QPlainTextEdit(this);
    m_View->setObjectName(QStringLiteral("LOG_VIEW"));
    m_View->setReadOnly(true);
    m_View->setUndoRedoEnabled(false);
    // Long lines (a failure's cause above all) are wrapped, never cut.
    m_View->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_View->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_View->setMaximumBlockCount(LINE_LIMIT);
    m_View->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The protocol texts' leading tabs: an indent, not a column.
    m_View->setTabStopDistance(QFontMetricsF(m_View->font()).horizontalAdvance(QLatin1Char(' ')) * 2);
    layout->addWidget(m_View, 1);

    QHBoxLayout* folderRow = new QHBoxLayout;
    m_FolderLabel = new QLabel(this);
    m_FolderLabel->setObjectName(QStringLiteral("LOG_FOLDER_LABEL"));
    m_FolderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_FolderLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_FolderButton = new QPushButton(TEXT_OPEN_FOLDER, this);
    m_FolderButton->setObjectName(QStringLiteral("OPEN_TRACE_FOLDER_BUTTON"));
    folderRow->addWidget(m_FolderLabel, 1);
    folderRow->addWidget(m_FolderButton);
    layout->addLayout(folderRow);

    m_ErrorFormat.setForeground(QColor(0xA0, 0x00, 0x00));
    m_ErrorFormat.setBackground(QColor(0xFD, 0xE8, 0xE8));
    m_ErrorFormat.setFontWeight(QFont::Bold);

    m_StepClock.setInterval(CLOCK_INTERVAL_MS);
    connect(&m_StepClock, &QTimer::timeout, this, &CLASS_LOG_WINDOW::RefreshStep);
    m_DrainTimer.setSingleShot(true);
    connect(&m_DrainTimer, &QTimer::timeout, this, &CLASS_LOG_WINDOW::Drain);
    connect(m_FolderButton, &QPushButton::clicked, this, &CLASS_LOG_WINDOW::OpenTraceFolder);

    m_ListenerId = AddTraceListener([this](const QString& line, bool error) { Receive(line, error); });
}

CLASS_LOG_WINDOW::~CLASS_LOG_WINDOW()
{
    // Waits for a line being handed over: none reaches this object afterwards.
    RemoveTraceListener(m_ListenerId);
}

void CLASS_LOG_WINDOW::Receive(const QString& line, Bool error)
{
    const QString text = line.endsWith(QLatin1Char('\n')) ? line.chopped(1) : line;
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!error)
        FollowStep(m_Step, text);
    m_Lines.push_back({text, error});
    if (m_Lines.size() > size_t(LINE_LIMIT))
        m_Lines.pop_front();
    ++m_Received;
    if (m_Live && !m_WakePending)
    {
        m_WakePending = true;
        QMetaObject::invokeMethod(this, &CLASS_LOG_WINDOW::Drain, Qt::QueuedConnection);
    }
}

void CLASS_LOG_WINDOW::FollowStep(T_STEP& step, const QString& line)
{
    // Cheap tests first: this runs for every line, on the thread that writes.
    if (line.endsWith(STARTED_SUFFIX))
    {
        const int end = line.size() - STARTED_SUFFIX.size();
        const int begin = line.lastIndexOf(QLatin1Char(' '), end - 1) + 1;
        step = T_STEP();
        step.Updater = line.mid(begin, end - begin);
        step.Activity = TEXT_STEP_STARTED;
        return;
    }
    if (step.Updater.isEmpty())
        return;
    if (line.endsWith(ERASE_SUFFIX))
    {
        static const QRegularExpression erase(QStringLiteral(" waits (\\d+) ms for the device to erase$"));
        const QRegularExpressionMatch match = erase.match(line);
        if (match.hasMatch())
        {
            step.EraseMs = match.captured(1).toLongLong();
            step.EraseEndMs = TimeStampOf(line) + step.EraseMs;
        }
        return;
    }
    // Protocol texts: tabs, then the command or state.
    const int tab = line.indexOf(QLatin1Char('\t'));
    if (tab < 0)
        return;
    QString activity = line.mid(tab).trimmed();
    const QString own = step.Updater + QStringLiteral(" - ");
    if (activity.startsWith(own))
        activity.remove(0, own.size());
    step.Activity = activity;
    step.EraseEndMs = 0;
}

void CLASS_LOG_WINDOW::Drain()
{
    if (!isVisible())
        return;
    // A burst is taken in one go once the interval has passed.
    if (m_DrainClock.isValid() && !m_DrainClock.hasExpired(DRAIN_INTERVAL_MS))
    {
        if (!m_DrainTimer.isActive())
            m_DrainTimer.start(int(DRAIN_INTERVAL_MS - m_DrainClock.elapsed()));
        return;
    }
    m_DrainClock.start();
    std::vector<T_LINE> fresh;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_WakePending = false;
        const size_t missing = size_t(qMin<quint64>(m_Received - m_Shown, m_Lines.size()));
        fresh.assign(m_Lines.end() - long(missing), m_Lines.end());
        m_Shown = m_Received;
    }
    Append(fresh);
    RefreshStep();
    PinFailure();
}

void CLASS_LOG_WINDOW::Rebuild()
{
    std::vector<T_LINE> lines;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        lines.assign(m_Lines.begin(), m_Lines.end());
        m_Shown = m_Received;
        m_Live = true;
        m_WakePending = false;
    }
    m_View->clear();
    m_View->setExtraSelections({});
    m_Pinned = false;
    Append(lines);
}

void CLASS_LOG_WINDOW::Append(const std::vector<T_LINE>& lines)
{
    if (lines.empty())
        return;
    QScrollBar* bar = m_View->verticalScrollBar();
    const Bool follow = !m_Pinned && bar->value() == bar->maximum();
    QTextDocument* document = m_View->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const T_LINE& line : lines)
    {
        if (!document->isEmpty())
            cursor.insertBlock();
        cursor.insertText(line.Text, line.Error ? m_ErrorFormat : m_InfoFormat);
        cursor.block().setUserState(line.Error ? ERROR_BLOCK : 0);
    }
    cursor.endEditBlock();
    if (follow)
        bar->setValue(bar->maximum());
}

QString CLASS_LOG_WINDOW::StepText(const T_STEP& step)
{
    if (step.Updater.isEmpty())
        return TEXT_STARTING;
    QString activity = step.Activity;
    if (step.EraseEndMs > 0)
        activity = QDateTime::currentMSecsSinceEpoch() < step.EraseEndMs
                       ? QString(TEXT_ERASING).arg(qMax<qint64>(1, (step.EraseMs + 500) / 1000))
                       : QString(TEXT_SENDING);
    return step.Updater + QStringLiteral(" - ") + activity;
}

void CLASS_LOG_WINDOW::RefreshStep()
{
    if (!isVisible())
        return;
    QString text;
    QString title = TEXT_TITLE;
    switch (m_State)
    {
    case BOX_UPDATER_STATE_RUNNING:
    {
        T_STEP step;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            step = m_Step;
        }
        const QString under = StepText(step);
        text = TEXT_UNDER_WAY + under;
        title += QStringLiteral(" - ") + under;
        break;
    }
    case BOX_UPDATER_STATE_FINISHED:
        text = TEXT_FINISHED;
        break;
    case BOX_UPDATER_STATE_ERROR:
        text = m_Failure.isEmpty() ? QString(TEXT_FAILED_NO_CAUSE) : TEXT_FAILED + m_Failure;
        break;
    default:
        text = TEXT_IDLE;
        break;
    }
    if (m_StepLabel && m_StepLabel->text() != text)
        m_StepLabel->setText(text);
    if (windowTitle() != title)
        setWindowTitle(title);
}

void CLASS_LOG_WINDOW::SetUpdateState(T_BOX_UPDATER_STATE state)
{
    m_State = state;
    if (state == BOX_UPDATER_STATE_READY)
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Step = T_STEP();
    }
    if (state == BOX_UPDATER_STATE_READY || state == BOX_UPDATER_STATE_RUNNING)
    {
        m_Failure.clear();
        m_FailureCause.clear();
        m_PinPending = false;
        m_Pinned = false;
        if (m_View && isVisible())
            m_View->setExtraSelections({});
    }
    RefreshStep();
    if (state == BOX_UPDATER_STATE_ERROR)
    {
        m_PinPending = true;
        ShowLog();
        PinFailure();
    }
}

void CLASS_LOG_WINDOW::SetUpdateFailure(const QString& updaterName, const QString& cause)
{
    m_Failure = updaterName.isEmpty() ? cause : updaterName + QStringLiteral(": ") + cause;
    m_FailureCause = cause;
    RefreshStep();
}

void CLASS_LOG_WINDOW::ShowLog()
{
    show();
    raise();
}

void CLASS_LOG_WINDOW::PinFailure()
{
    if (!m_PinPending || !m_View || !isVisible())
        return;
    QTextDocument* document = m_View->document();
    QTextBlock block;
    if (!m_FailureCause.isEmpty())
    {
        block = document
                    ->find(m_FailureCause, document->characterCount() - 1,
                           QTextDocument::FindBackward | QTextDocument::FindCaseSensitively)
                    .block();
    }
    else
    {
        // No cause given: the newest error line.
        for (block = document->lastBlock(); block.isValid() && block.userState() != ERROR_BLOCK;
             block = block.previous())
        {
        }
    }
    if (!block.isValid())
        return; // not written yet: looked for again as lines arrive
    m_PinPending = false;
    m_Pinned = true;
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(block);
    mark.format.setBackground(QColor(0xFF, 0xD0, 0x60));
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    m_View->setExtraSelections({mark});
    m_View->setTextCursor(QTextCursor(block));
    m_View->centerCursor();
    // Once the window has its final size.
    QTimer::singleShot(0, m_View, [view = m_View] { view->centerCursor(); });
}

void CLASS_LOG_WINDOW::OpenTraceFolder()
{
    const QString folder = CurrentTraceSubfolder();
    if (folder.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        TraceError(TRACE_POS + QStringLiteral("Unable to open the trace folder \"") + folder +
                   QStringLiteral("\""));
}

QString CLASS_LOG_WINDOW::GetStepText() const
{
    return m_StepLabel ? m_StepLabel->text() : QString();
}

QStringList CLASS_LOG_WINDOW::GetShownLines() const
{
    QStringList lines;
    for (QTextBlock block = m_View->document()->begin(); block.isValid(); block = block.next())
        lines << (block.userState() == ERROR_BLOCK ? QStringLiteral("ERROR ") : QString()) + block.text();
    return lines;
}

void CLASS_LOG_WINDOW::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    const QString folder = CurrentTraceSubfolder();
    m_FolderLabel->setText(folder.isEmpty() ? QString(TEXT_NO_TRACES) : folder);
    m_FolderLabel->setToolTip(folder);
    m_FolderButton->setEnabled(!folder.isEmpty());
    Rebuild();
    m_StepClock.start();
    RefreshStep();
    PinFailure();
}

void CLASS_LOG_WINDOW::hideEvent(QHideEvent* event)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Live = false;
        m_WakePending = false;
    }
    m_StepClock.stop();
    m_DrainTimer.stop();
    QWidget::hideEvent(event);
}
