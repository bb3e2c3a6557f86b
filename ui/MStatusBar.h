#pragma once
// The status bar of the main window: a row of sunken panels of given widths, each of which shows a text
// and can hold child controls of its own (the progress label and bar sit in one).

#include <QStatusBar>
#include <QString>
#include <vector>

class QFrame;
class QLabel;

class TMyStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    explicit TMyStatusBar(QWidget* parent = nullptr);

    // Adds a panel at least `width` pixels wide after the last one; returns its index.
    int addPanel(int width);
    int panelCount() const { return static_cast<int>(m_panels.size()); }
    // The panel's frame, for the child controls it hosts.
    QFrame* panel(int index) const;

    QString panelText(int index) const;
    // Sets the text and, with `paintNow`, shows it at once, also in the middle of a run that processes
    // no events.
    void setPanelText(int index, const QString& text, bool paintNow = true);
    void repaintPanel(int index);

  private:
    struct Panel {
        QFrame* frame;
        QLabel* text;
    };
    std::vector<Panel> m_panels;
};
