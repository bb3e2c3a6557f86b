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
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include "ui/Pictures.h"

LogViewer::LogViewer(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("LogViewer"));
    setWindowTitle(tr("Tessel Log"));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("LogText"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // A read-only text still shows where a search found its match.
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    auto* label = new QLabel(tr("&Find:"), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("LogSearch"));
    m_search->setClearButtonEnabled(true);
    label->setBuddy(m_search);
    m_matchCase = new QCheckBox(tr("Match &case"), this);
    auto* next = new QPushButton(tr("&Next"), this);
    auto* previous = new QPushButton(tr("&Previous"), this);
    auto* reloadButton = new QPushButton(tr("&Reload"), this);
    auto* closeButton = new QPushButton(tr("Close"), this);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("LogSearchResult"));
    connect(m_search, &QLineEdit::returnPressed, this, [this] { findNext(); });
    connect(m_search, &QLineEdit::textChanged, m_result, &QLabel::clear);
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
    resize(760, 520);
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

bool LogViewer::findNext(bool backwards) {
    const QString wanted = m_search->text();
    if (wanted.isEmpty()) return false;
    QTextDocument::FindFlags flags;
    if (backwards) flags |= QTextDocument::FindBackward;
    if (m_matchCase->isChecked()) flags |= QTextDocument::FindCaseSensitively;
    QTextDocument* document = m_text->document();
    QTextCursor found = document->find(wanted, m_text->textCursor(), flags);
    if (found.isNull()) {
        // Round the end to the other end of the log.
        QTextCursor start(document);
        if (backwards) start.movePosition(QTextCursor::End);
        found = document->find(wanted, start, flags);
    }
    if (found.isNull()) {
        m_result->setText(tr("Not found"));
        return false;
    }
    m_result->clear();
    m_text->setTextCursor(found);
    m_text->ensureCursorVisible();
    return true;
}

void LogViewer::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
