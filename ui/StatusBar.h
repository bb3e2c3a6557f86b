#pragma once
// The status bar of the main window: a row of sunken panels of given widths, each of which shows a text
// and can hold child controls of its own (the progress bar and its counts sit in one). A text too long
// for its panel is shortened in the middle, where a path is least missed, and shows whole as a tip.

#include <QLabel>
#include <QStatusBar>
#include <QString>
#include <vector>

class QFrame;

// A one-line label that elides its text in the middle instead of cutting it at the end. It takes the
// room its layout gives it, or asks for a width of its own that it gives up when the room is short.
class ElidedLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    // The text as painted at the label's present width.
    QString shownText() const;
    // Asks for `width` whatever the text, so that a changing text does not move what stands beside it;
    // narrower, the text is elided.
    void setPreferredWidth(int width);
    // A longer account of the text, shown as its tip; without one, the tip is the whole text where it is
    // elided.
    void setDetails(const QString& details);
    QString details() const { return m_details; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int m_preferredWidth = -1;
    QString m_details;
};

class StatusBar : public QStatusBar {
    Q_OBJECT
  public:
    explicit StatusBar(QWidget* parent = nullptr);

    // Adds a panel at least `width` pixels wide after the last one, taking `stretch` parts of the room
    // left over; returns its index.
    int addPanel(int width, int stretch = 0);
    int panelCount() const { return static_cast<int>(m_panels.size()); }
    // The panel's frame, for the child controls it hosts.
    QFrame* panel(int index) const;
    ElidedLabel* panelLabel(int index) const;

    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);

  private:
    struct Panel {
        QFrame* frame;
        ElidedLabel* text;
    };
    std::vector<Panel> m_panels;
};
