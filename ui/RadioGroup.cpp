#include "ui/RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), m_buttons(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        m_buttons->addButton(button, i);
        layout->addWidget(button);
    }
    layout->addStretch(1);
    connect(m_buttons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) emit itemIndexChanged(id);
        updateTabStop();
    });
    updateTabStop();
}

void RadioGroup::updateTabStop() {
    QAbstractButton* entry = m_buttons->checkedButton();
    const QList<QAbstractButton*> buttons = m_buttons->buttons();
    if (entry == nullptr && !buttons.isEmpty()) entry = buttons.constFirst();
    for (QAbstractButton* button : buttons)
        button->setFocusPolicy(button == entry ? Qt::StrongFocus : Qt::ClickFocus);
}

int RadioGroup::itemIndex() const {
    return m_buttons->checkedId();
}

int RadioGroup::count() const {
    return static_cast<int>(m_buttons->buttons().size());
}

QRadioButton* RadioGroup::button(int index) const {
    return qobject_cast<QRadioButton*>(m_buttons->button(index));
}

void RadioGroup::setItemIndex(int index) {
    if (count() == 0) return;
    if (index >= count()) index = count() - 1;
    if (index < 0) {
        QAbstractButton* checked = m_buttons->checkedButton();
        if (checked == nullptr) return;
        // An exclusive group never lets its last checked button go.
        m_buttons->setExclusive(false);
        checked->setChecked(false);
        m_buttons->setExclusive(true);
        emit itemIndexChanged(-1);
        updateTabStop();
        return;
    }
    m_buttons->button(index)->setChecked(true);
}
