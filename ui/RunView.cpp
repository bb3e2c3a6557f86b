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

#include "ui/RunTexts.h"
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
// The rate is that of the last few seconds, and is shown once there is a second to measure.
constexpr auto kRateWindow = std::chrono::seconds(5);
constexpr auto kRateMinimum = std::chrono::seconds(1);

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
    if (seconds < 60) return RunView::tr("about %n s left", nullptr, std::max(1, int(std::ceil(seconds))));
    if (seconds < 3600) return RunView::tr("about %n min left", nullptr, int(std::ceil(seconds / 60)));
    return RunView::tr("about %1 h %2 min left")
        .arg(int(seconds / 3600))
        .arg(int(std::fmod(seconds, 3600) / 60));
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
    m_progressMax = maximum;
    m_progressPosition = std::clamp(m_progressPosition, minimum, std::max(minimum, maximum));
    m_done = 0;
    m_bytes = 0;
    m_samples.clear();
    refresh(false);
}

void RunView::extendProgressRange(int maximum) {
    m_progressMax = std::max(m_progressMin, maximum);
    refresh(false);
}

void RunView::setProgressPosition(int position) {
    m_progressPosition = std::clamp(position, m_progressMin, std::max(m_progressMin, m_progressMax));
    refresh(false);
}

void RunView::advance(int files) {
    if (files <= 0) return;
    m_done += files;
    if (m_progressMax <= m_progressMin) {
        m_progressPosition = m_progressMin;
    } else {
        const std::int64_t span = std::int64_t(m_progressMax) - m_progressMin + 1;
        m_progressPosition =
            m_progressMin + int((std::int64_t(m_progressPosition) - m_progressMin + files) % span);
    }
    refresh(true);
}

void RunView::setProgressVisible(bool visible) {
    m_progressBar->setVisible(visible);
    if (visible) showRunning();
    if (!visible) m_samples.clear();
    refresh(false);
}

void RunView::addCopiedBytes(std::uint64_t bytes) {
    m_bytes += bytes;
}

int RunView::percentDone() const {
    if (m_progressMax <= m_progressMin) return 0;
    return int(std::int64_t(m_progressPosition - m_progressMin) * 100 / (m_progressMax - m_progressMin));
}

QString RunView::countsText() const {
    if (m_progressMax <= m_progressMin) return {};
    const QLocale locale = shownLocale();
    //: Files done of all files of the run, and the percent done: "4,210 of 100,000 · 4 %".
    return tr("%1 of %2 · %3 %")
        .arg(locale.toString(m_progressPosition - m_progressMin),
             locale.toString(m_progressMax - m_progressMin))
        .arg(percentDone());
}

QString RunView::rateText() const {
    if (m_samples.size() < 2) return {};
    const Point& first = m_samples.front();
    const Point& last = m_samples.back();
    const std::chrono::duration<double> span = last.at - first.at;
    if (span < kRateMinimum) return {};
    const double files = double(last.files - first.files) / span.count();
    const double bytes = double(last.bytes - first.bytes) / span.count();
    const QLocale locale = shownLocale();
    QString rate =
        bytes > 0 ? locale.formattedDataSize(std::int64_t(bytes), 1, QLocale::DataSizeSIFormat) + tr("/s")
                  : tr("%1 files/s").arg(locale.toString(std::llround(files)));
    const int left = m_progressMax - m_progressPosition;
    if (files > 0 && left > 0) rate += tr(" · ") + duration(left / files);
    return rate;
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
    if (m_progressBar->isVisibleTo(m_progressBar->parentWidget()) && m_progressMax > m_progressMin) {
        m_samples.push_back({m_lastPaint, m_done, m_bytes});
        while (m_samples.size() > 2 && m_lastPaint - m_samples.front().at > kRateWindow)
            m_samples.pop_front();
    }
    m_statusBar->setPanelText(kStatusPanel, wording(m_statusText));
    m_statusBar->panelLabel(kStatusPanel)->setDetails(QString());
    if (m_progressMax > m_progressMin) {
        m_progressBar->setRange(m_progressMin, m_progressMax);
        m_progressBar->setValue(m_progressPosition);
    } else {
        // An empty range shows an empty bar rather than the "busy" animation.
        m_progressBar->setRange(0, 1);
        m_progressBar->setValue(0);
    }
    const bool running = m_progressBar->isVisibleTo(m_progressBar->parentWidget());
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
