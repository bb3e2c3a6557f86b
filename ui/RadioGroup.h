#pragma once
// A titled group of radio buttons with one selected index, -1 when none is. Selecting an item from code
// announces the change exactly as a click does, so the editor's enabling rules also run while a watch
// is loaded.

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

class RadioGroup : public QGroupBox {
    Q_OBJECT
  public:
    RadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);

    int itemIndex() const;
    // An index beyond the last item selects the last item; any negative index clears the selection.
    void setItemIndex(int index);
    int count() const;
    QRadioButton* button(int index) const;

  signals:
    // The selected index changed, by a click or from code.
    void itemIndexChanged(int index);

  private:
    // Tab enters the group on its checked button (on its first without one); the arrow keys move on.
    void updateTabStop();

    QButtonGroup* m_buttons;
};
