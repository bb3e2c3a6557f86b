#include "ui/RunView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <optional>

#include "ui/RunTexts.h"
#include "ui/Sizes.h"
#include "ui/StatusBar.h"
#include "ui/Texts.h"
#include "watch/EventLog.h"

namespace {

constexpr int kStatusPanel = 0;
constexpr int kProgressPanel = 1;
constexpr int kRatePanel = 2;
constexpr int kBarWidth = 150;
constexpr int kLeastBarWidth = 40;
// About 30 pictures a second: a run over many small files is not slowed down by drawing.
constexpr auto kPaintInterval = std::chrono::milliseconds(33);
// The bar's steps: a share of the work, fine enough for a bar as wide as a screen.
constexpr int kBarSteps = 1000;

// The engine's status texts, which the window puts in its own words.
constexpr char kCopyStatus[] = "  Copy file :";
constexpr char kDeleteStatus[] = "  Delete file :";
constexpr char kRunningStatus[] = "Выполняется ";

// A bar of its designed width where there is room, narrower where there is not.
class ProgressBar : public QProgressBar {
  public:
    using QProgressBar::QProgressBar;
    QSize sizeHint() const override { return {kBarWidth, QProgressBar::sizeHint().height()}; }
};

QString duration(double seconds) {
    const tessel::TimeParts parts = tessel::timeParts(seconds);
    switch (parts.unit) {
        case tessel::TimeParts::Unit::Seconds:
            return RunView::tr("about %n s left", nullptr, parts.count);
        case tessel::TimeParts::Unit::Minutes:
            return RunView::tr("about %n min left", nullptr, parts.count);
        case tessel::TimeParts::Unit::Hours:
            break;
    }
    return RunView::tr("about %1 h %2 min left").arg(parts.count).arg(parts.minutes);
}

}  // namespace

RunView::RunView(QWidget* host, QObject* parent) : QObject(parent) {
    m_statusBar = new StatusBar(host);
    m_statusBar->setObjectName(QStringLiteral("statusBar"));
    m_statusBar->addPanel(120, 1);
    m_statusBar->addPanel(0);
    m_statusBar->addPanel(0);
    m_statusBar->setMinimumHeight(19);

    QFrame* progressPanel = m_statusBar->panel(kProgressPanel);
    m_progressBar = new ProgressBar(progressPanel);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    // Narrower in a narrow window: a run must never make the window wider, past the screen's edge.
    m_progressBar->setFixedHeight(16);
    m_progressBar->setMinimumWidth(kLeastBarWidth);
    m_progressBar->setMaximumWidth(kBarWidth);
    m_progressBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_progressBar->setTextVisible(false);
    m_progressBar->setRange(0, 1);
    m_progressBar->setValue(0);
    // Hiding the bar at the end of a run must not make the panel shrink under it.
    QSizePolicy keepPlace = m_progressBar->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_progressBar->setSizePolicy(keepPlace);
    m_countsLabel = new ElidedLabel(progressPanel);
    m_countsLabel->setObjectName(QStringLiteral("countsLabel"));
    m_countsLabel->setPreferredWidth(
        m_countsLabel->fontMetrics().horizontalAdvance(QStringLiteral("100,000 of 100,000 · 100 %")));
    auto* progressLayout = static_cast<QHBoxLayout*>(progressPanel->layout());
    progressLayout->insertWidget(0, m_progressBar);
    progressLayout->insertWidget(1, m_countsLabel);
    m_statusBar->panelLabel(kProgressPanel)->hide();
    m_rateLabel = m_statusBar->panelLabel(kRatePanel);
    m_rateLabel->setObjectName(QStringLiteral("rateLabel"));
    m_rateLabel->setPreferredWidth(
        m_rateLabel->fontMetrics().horizontalAdvance(QStringLiteral("1,250 files/s · about 59 min left")));

    showIdle();

    m_logArea = new QPlainTextEdit(host);
    m_logArea->setObjectName(QStringLiteral("logArea"));
    m_logArea->setReadOnly(true);
    m_logArea->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_logArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_logArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Clicks may still select text to copy; the Tab key passes the log by.
    m_logArea->setFocusPolicy(Qt::ClickFocus);
    m_logArea->setTabChangesFocus(true);
    // Room for the seven lines the log area keeps.
    const int documentMargin = static_cast<int>(m_logArea->document()->documentMargin());
    m_logArea->setMinimumHeight(m_logArea->fontMetrics().lineSpacing() * tessel::kLogAreaLines +
                                2 * documentMargin + 2 * m_logArea->frameWidth());
}

// ---- Status text and progress ----------------------------------------------------------------------

QString RunView::wording(const QString& text) const {
    // The current file alone: the counts beside the bar say what is being done with it.
    if (text.startsWith(QLatin1String(kCopyStatus)))
        return text.mid(static_cast<qsizetype>(std::char_traits<char>::length(kCopyStatus)));
    if (text.startsWith(QLatin1String(kDeleteStatus)))
        return tr("Deleted %1")
            .arg(text.mid(static_cast<qsizetype>(std::char_traits<char>::length(kDeleteStatus))));
    const QString running = QString::fromUtf8(kRunningStatus);
    if (text.startsWith(running)) return tr("Running %1").arg(text.mid(running.size()));
    return text;
}

void RunView::setStatusText(const std::string& text) {
    m_statusText = fromBytes(text);
    // A cleared status shows at once: the run is over, or about to wait for the after-sync program.
    refresh(!text.empty());
}

void RunView::setProgressRange(int minimum, int maximum) {
    m_progressMin = minimum;
    m_progress.begin(std::max(maximum - minimum, 0));
    refresh(false);
}

void RunView::extendProgressRange(int maximum) {
    m_progress.countFiles(std::max(maximum - m_progressMin, 0));
    refresh(false);
}

void RunView::setProgressPosition(int position) {
    m_progress.setFilesDone(std::max(position - m_progressMin, 0));
    refresh(false);
}

void RunView::advance(int files) {
    if (files <= 0) return;
    m_progress.stepFiles(files);
    refresh(true);
}

void RunView::setProgressVisible(bool visible) {
    m_progressBar->setVisible(visible);
    if (visible) showRunning();
    // Hidden, the run's copies are over (the after-sync program may run yet).
    if (!visible) m_progress.forgetFiles();
    refresh(false);
}

void RunView::completeProgress() {
    m_progress.complete();
    refresh(false);
}

void RunView::changePlan(const tessel::RunDisplay::PlanChange& change) {
    m_progress.changePlan(change.bytes, change.sized, change.unsized);
    refresh(true);
}

void RunView::addCopiedBytes(std::uint64_t bytes) {
    m_progress.copyBytes(bytes);
    refresh(true);
}

void RunView::showFileProgress(const std::string& path, std::uint64_t done, std::uint64_t size) {
    m_progress.showFile(path, done, size);
    refresh(true);
}

int RunView::percentDone() const {
    return m_progress.percent();
}

QString RunView::countsText() const {
    if (m_progress.files() <= 0) return {};
    const QLocale locale = shownLocale();
    //: Files done of all files of the run, and the percent of the work done: "4,210 of 100,000 · 4 %".
    return tr("%1 of %2 · %3 %")
        .arg(locale.toString(static_cast<qlonglong>(m_progress.filesDone())),
             locale.toString(static_cast<qlonglong>(m_progress.files())))
        .arg(percentDone());
}

QString RunView::rateText() const {
    const std::optional<double> files = m_progress.filesPerSecond();
    const std::optional<double> bytes = m_progress.bytesPerSecond();
    if (!files || !bytes) return {};
    QString rate = *bytes > 0 ? bytesPerSecondText(*bytes)
                              : tr("%1 files/s").arg(shownLocale().toString(std::llround(*files)));
    if (const std::optional<double> left = m_progress.secondsLeft()) rate += tr(" · ") + duration(*left);
    return rate;
}

QString RunView::fileProgressText() const {
    const tessel::RunProgress::LargeFile* file = m_progress.largeFile();
    if (file == nullptr) return {};
    //: A large file's own progress in the status bar: "Copying big.iso: 1.2 GB of 3.1 GB".
    return tr("Copying %1: %2 of %3")
        .arg(fromBytes(file->name()), sizeText(file->done), sizeText(file->size));
}

void RunView::refresh(bool soon) {
    const Clock::time_point now = m_now();
    if (soon && now - m_lastPaint < kPaintInterval) {
        if (!m_paintPending) {
            m_paintPending = true;
            QTimer::singleShot(kPaintInterval, this, [this] {
                if (m_paintPending) paint();
            });
        }
        return;
    }
    paint();
}

void RunView::paint() {
    m_paintPending = false;
    m_lastPaint = m_now();
    const bool running = m_progressBar->isVisibleTo(m_progressBar->parentWidget());
    const bool measured = m_progress.files() > 0 || m_progress.plannedBytes() > 0;
    if (running && measured) m_progress.sample(m_lastPaint);
    const QString file = fileProgressText();
    m_statusBar->setPanelText(kStatusPanel, file.isEmpty() ? wording(m_statusText) : file);
    m_statusBar->panelLabel(kStatusPanel)->setDetails(QString());
    // An empty run shows an empty bar rather than the "busy" animation of an empty range.
    m_progressBar->setRange(0, kBarSteps);
    m_progressBar->setValue(measured ? static_cast<int>(m_progress.fraction() * kBarSteps) : 0);
    m_progressBar->setToolTip(m_progress.plannedBytes() > 0 ? tr("%1 of %2 copied")
                                                                  .arg(sizeText(m_progress.copiedBytes()),
                                                                       sizeText(m_progress.plannedBytes()))
                                                            : QString());
    m_countsLabel->setText(running ? countsText() : QString());
    m_rateLabel->setText(running ? rateText() : QString());
}

void RunView::showSummary(const QString& summary, const QString& details) {
    m_statusText.clear();
    m_statusBar->setPanelText(kStatusPanel, summary);
    m_statusBar->panelLabel(kStatusPanel)->setDetails(details);
    // The whole bar for it until the next run.
    showIdle();
}

void RunView::showIdle() {
    // An empty box beside the text would look like a run that is stuck.
    m_statusBar->panel(kProgressPanel)->hide();
    m_statusBar->panel(kRatePanel)->hide();
}

void RunView::showRunning() {
    m_statusBar->panel(kProgressPanel)->show();
    m_statusBar->panel(kRatePanel)->show();
}

bool RunView::progressShown() const {
    return !m_statusBar->panel(kProgressPanel)->isHidden();
}

// ---- Log area ---------------------------------------------------------------------------------------

void RunView::appendLogLine(const std::string& line) {
    m_logArea->appendPlainText(fromBytes(line));
    scrollLogToEnd();
}

int RunView::logLineCount() const {
    const QTextDocument* document = m_logArea->document();
    if (document->isEmpty()) return 0;
    // Until the log area is on screen it has no width to wrap at: each line is one line.
    auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
    if (layout == nullptr || !m_logArea->isVisible()) return document->blockCount();
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        layout->ensureBlockLayout(block);
        lines += std::max(1, block.layout()->lineCount());
    }
    return lines;
}

void RunView::removeFirstLogLine() {
    QTextDocument* document = m_logArea->document();
    const QTextBlock first = document->begin();
    if (!first.isValid() || document->isEmpty()) return;
    QTextCursor cursor(document);
    cursor.setPosition(first.position());
    auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
    const bool shown = m_logArea->isVisible();
    if (layout != nullptr && shown) layout->ensureBlockLayout(first);
    const QTextLayout* lines = first.layout();
    if (shown && lines != nullptr && lines->lineCount() > 1) {
        // Only the first displayed piece of a wrapped line goes.
        cursor.setPosition(first.position() + lines->lineAt(0).textLength(), QTextCursor::KeepAnchor);
    } else if (first.next().isValid()) {
        cursor.setPosition(first.next().position(), QTextCursor::KeepAnchor);
    } else {
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
    scrollLogToEnd();
}

void RunView::scrollLogToEnd() {
    // No scroll bars: the newest line must stay in view by itself.
    m_logArea->verticalScrollBar()->setValue(m_logArea->verticalScrollBar()->maximum());
}
