#include "ui/MStatusBar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>

TMyStatusBar::TMyStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    setContentsMargins(0, 0, 0, 0);
}

int TMyStatusBar::addPanel(int width) {
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setMinimumWidth(width);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(3, 0, 3, 0);
    layout->setSpacing(4);
    auto* text = new QLabel(frame);
    text->setTextFormat(Qt::PlainText);
    // A long path must not widen the panel and push the others off the bar.
    text->setMinimumWidth(0);
    text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(text, 1);
    addWidget(frame);
    m_panels.push_back({frame, text});
    return static_cast<int>(m_panels.size()) - 1;
}

QFrame* TMyStatusBar::panel(int index) const {
    return index >= 0 && index < panelCount() ? m_panels[static_cast<size_t>(index)].frame : nullptr;
}

QString TMyStatusBar::panelText(int index) const {
    return index >= 0 && index < panelCount() ? m_panels[static_cast<size_t>(index)].text->text() : QString();
}

void TMyStatusBar::setPanelText(int index, const QString& text, bool paintNow) {
    if (index < 0 || index >= panelCount()) return;
    QLabel* label = m_panels[static_cast<size_t>(index)].text;
    label->setText(text);
    if (paintNow) label->repaint();
}

void TMyStatusBar::repaintPanel(int index) {
    if (index < 0 || index >= panelCount()) return;
    m_panels[static_cast<size_t>(index)].text->repaint();
}
