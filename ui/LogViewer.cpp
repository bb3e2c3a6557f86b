#include "ui/LogViewer.h"

#include <QCheckBox>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

#include "ui/Pictures.h"
#include "watch/EventLog.h"

LogViewer::LogViewer(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("LogViewer"));
    setWindowTitle(tr("Tessel Log"));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("LogText"));
    m_text->setReadOnly(true);
    // A line as long as its path is read whole, without scrolling sideways.
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // A read-only text still shows where a search found its match.
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    auto* label = new QLabel(tr("&Find:"), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("LogSearch"));
    m_search->setClearButtonEnabled(true);
    label->setBuddy(m_search);
    m_matchCase = new QCheckBox(tr("Match &case"), this);
    m_problemsOnly = new QCheckBox(tr("Pro&blems only"), this);
    m_problemsOnly->setObjectName(QStringLiteral("LogProblemsOnly"));
    m_problemsOnly->setToolTip(
        tr("Only lines that tell of an error, a conflict or a program that did not "
           "start; with nothing to find, each such line"));
    auto* next = new QPushButton(tr("&Next"), this);
    auto* previous = new QPushButton(tr("&Previous"), this);
    auto* reloadButton = new QPushButton(tr("&Reload"), this);
    auto* closeButton = new QPushButton(tr("Close"), this);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("LogSearchResult"));
    connect(m_search, &QLineEdit::returnPressed, this, [this] { findNext(); });
    connect(m_search, &QLineEdit::textChanged, m_result, &QLabel::clear);
    connect(m_problemsOnly, &QCheckBox::toggled, m_result, &QLabel::clear);
    connect(next, &QPushButton::clicked, this, [this] { findNext(); });
    connect(previous, &QPushButton::clicked, this, [this] { findNext(true); });
    connect(reloadButton, &QPushButton::clicked, this, &LogViewer::reload);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    new QShortcut(QKeySequence::Find, this, [this] {
        m_search->setFocus();
        m_search->selectAll();
    });
    new QShortcut(QKeySequence::FindNext, this, [this] { findNext(); });
    new QShortcut(QKeySequence::FindPrevious, this, [this] { findNext(true); });
    new QShortcut(QKeySequence::Refresh, this, this, &LogViewer::reload);

    auto* bar = new QHBoxLayout;
    bar->addWidget(label);
    bar->addWidget(m_search, 1);
    bar->addWidget(m_matchCase);
    bar->addWidget(m_problemsOnly);
    bar->addWidget(previous);
    bar->addWidget(next);
    bar->addWidget(m_result);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(reloadButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addWidget(m_text, 1);
    layout->addLayout(buttons);
    // The designed size, but never larger than the screen's free area with a frame around it, as at a
    // large scale factor: the lines a run shows must be on the screen.
    QSize size(760, 520);
    if (const QScreen* screen = owner != nullptr ? owner->screen() : this->screen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(20, 60));
    resize(size);
}

void LogViewer::showFile(const QString& path) {
    m_path = path;
    setWindowTitle(tr("Tessel Log - %1").arg(path));
    m_text->clear();
    reload();
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
    show();
    raise();
    activateWindow();
    m_search->setFocus();
}

void LogViewer::reload() {
    QScrollBar* scroll = m_text->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    const int place = scroll->value();
    QFile file(m_path);
    QString content;
    // A log not written yet is an empty log.
    if (file.open(QIODevice::ReadOnly)) content = QString::fromLocal8Bit(file.readAll());
    content.remove(QLatin1Char('\r'));
    if (content.endsWith(QLatin1Char('\n'))) content.chop(1);
    m_text->setPlainText(content);
    scroll->setValue(atEnd ? scroll->maximum() : place);
}

bool LogViewer::showRun(const QString& summary) {
    // "<date> <time>: <message>", the newest first: a run that ended just now is near the end.
    const QString ending = QStringLiteral(": ") + summary;
    QTextBlock block = m_text->document()->lastBlock();
    while (block.isValid() && !block.text().endsWith(ending)) block = block.previous();
    if (!block.isValid()) return false;
    QTextCursor line(block);
    line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    // From the top, the line comes into view at the bottom, below the lines of its run.
    m_text->verticalScrollBar()->setValue(0);
    m_text->setTextCursor(line);
    m_text->ensureCursorVisible();
    return true;
}

QList<LogViewer::Match> LogViewer::matches() const {
    const QString wanted = m_search->text();
    const bool problemsOnly = m_problemsOnly->isChecked();
    const Qt::CaseSensitivity letterCase = m_matchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    QList<Match> found;
    if (wanted.isEmpty() && !problemsOnly) return found;
    for (QTextBlock block = m_text->document()->begin(); block.isValid(); block = block.next()) {
        const QString line = block.text();
        if (problemsOnly) {
            // "<date> <time>: <message>": the message says whether it is a problem.
            const qsizetype separator = line.indexOf(QLatin1String(": "));
            if (separator < 0 || !tessel::reportsFailure(line.mid(separator + 2).toStdString())) continue;
        }
        if (wanted.isEmpty()) {
            found.append({block.position(), int(line.size())});
            continue;
        }
        for (qsizetype at = line.indexOf(wanted, 0, letterCase); at >= 0;
             at = line.indexOf(wanted, at + wanted.size(), letterCase))
            found.append({block.position() + int(at), int(wanted.size())});
    }
    return found;
}

bool LogViewer::findNext(bool backwards) {
    const QList<Match> found = matches();
    if (m_search->text().isEmpty() && !m_problemsOnly->isChecked()) return false;
    if (found.isEmpty()) {
        m_result->setText(tr("Not found"));
        return false;
    }
    // From the selection (the match found last), or from the cursor where nothing is selected.
    const QTextCursor cursor = m_text->textCursor();
    const int from = cursor.selectionStart();
    qsizetype chosen = -1;
    if (backwards) {
        for (qsizetype i = found.size() - 1; i >= 0 && chosen < 0; --i)
            if (found[i].position < from) chosen = i;
        if (chosen < 0) chosen = found.size() - 1;  // round the start to the end of the log
    } else {
        for (qsizetype i = 0; i < found.size() && chosen < 0; ++i)
            if (found[i].position > from || (!cursor.hasSelection() && found[i].position == from)) chosen = i;
        if (chosen < 0) chosen = 0;  // round the end to the start of the log
    }
    QTextCursor selection(m_text->document());
    selection.setPosition(found[chosen].position);
    selection.setPosition(found[chosen].position + found[chosen].length, QTextCursor::KeepAnchor);
    m_text->setTextCursor(selection);
    m_text->ensureCursorVisible();
    //: Which match of the search is selected, of how many in the log: "3 of 12".
    m_result->setText(tr("%1 of %2").arg(chosen + 1).arg(found.size()));
    return true;
}

void LogViewer::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
