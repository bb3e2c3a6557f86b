#include "ui/StatusBar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    // A long path must not widen the panel and push the others off the bar.
    setMinimumWidth(0);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void ElidedLabel::setPreferredWidth(int width) {
    m_preferredWidth = width;
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    updateGeometry();
}

void ElidedLabel::setDetails(const QString& details) {
    if (m_details == details) return;
    m_details = details;
    update();
}

QSize ElidedLabel::sizeHint() const {
    const QSize hint = QLabel::sizeHint();
    return m_preferredWidth < 0 ? hint : QSize(m_preferredWidth, hint.height());
}

QSize ElidedLabel::minimumSizeHint() const {
    // Elided, any width will do.
    return QSize(0, QLabel::minimumSizeHint().height());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QString shown = shownText();
    // The whole text as a tip only when some of it is hidden.
    setToolTip(!m_details.isEmpty() ? m_details : shown == text() ? QString() : text());
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    setContentsMargins(0, 0, 0, 0);
}

int StatusBar::addPanel(int width, int stretch) {
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setMinimumWidth(width);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(3, 0, 3, 0);
    layout->setSpacing(4);
    auto* text = new ElidedLabel(frame);
    layout->addWidget(text, 1);
    addWidget(frame, stretch);
    m_panels.push_back({frame, text});
    return static_cast<int>(m_panels.size()) - 1;
}

QFrame* StatusBar::panel(int index) const {
    return index >= 0 && index < panelCount() ? m_panels[static_cast<size_t>(index)].frame : nullptr;
}

ElidedLabel* StatusBar::panelLabel(int index) const {
    return index >= 0 && index < panelCount() ? m_panels[static_cast<size_t>(index)].text : nullptr;
}

QString StatusBar::panelText(int index) const {
    const ElidedLabel* label = panelLabel(index);
    return label != nullptr ? label->text() : QString();
}

void StatusBar::setPanelText(int index, const QString& text) {
    if (ElidedLabel* label = panelLabel(index)) label->setText(text);
}
