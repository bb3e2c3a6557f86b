#pragma once
// The icon that stands for Tessel in the desktop's notification area while the window is hidden: its
// tooltip tells what Tessel is doing, its menu offers Show, Check all watches now, Stop and Exit, and it
// tells of a run that needs the user's attention in a balloon, which a click takes to that run's lines.

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class Dialogs;
class QAction;
class QMenu;
class QWidget;

// What the tray icon was added with. uID marks whether the icon is in the notification area: kIconId
// after an add, 0 before the first add and once the window is shown again.
struct TNotifyIconData {
    static constexpr unsigned kIconId = 100;
    // The tip holds at most 63 characters, as the notification areas of old did.
    static constexpr int kTipLength = 63;

    unsigned uID = 0;
    QString szTip;
};

class TesselTray : public QObject {
    Q_OBJECT
  public:
    // The menu holds `actions` in order (null for a separator); the window owns them.
    TesselTray(Dialogs& dialogs, const QList<QAction*>& actions, QWidget* window);

    // Puts the icon into the notification area.
    void showIcon();
    // Takes the icon away, if it is there.
    void removeIcon();
    // Takes the icon away, whether it is there or not.
    void destroyIcon();

    const TNotifyIconData& iconData() const { return m_data; }
    QSystemTrayIcon* icon() const { return m_icon; }
    QMenu* menu() const { return m_menu; }

    // The state after "Tessel: ", cut to fit the tip.
    void setState(const QString& state);
    // A balloon from the icon, when it is in the notification area; false when it is not.
    bool notify(const QString& title, const QString& text);

  signals:
    // A plain click on the icon.
    void clicked();
    // A click on the balloon.
    void notificationClicked();

  private:
    Dialogs& m_dialogs;
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
    TNotifyIconData m_data;
};
