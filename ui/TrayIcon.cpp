#include "ui/TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "ui/Dialogs.h"
#include "ui/Pictures.h"

TesselTray::TesselTray(Dialogs& dialogs, const QList<QAction*>& actions, QWidget* window)
    : QObject(window), m_dialogs(dialogs) {
    m_menu = new QMenu(window);
    m_menu->setObjectName(QStringLiteral("PopupMenu2"));
    for (QAction* action : actions) {
        if (action == nullptr)
            m_menu->addSeparator();
        else
            m_menu->addAction(action);
    }
    m_icon = new QSystemTrayIcon(programIcon(), this);
    m_icon->setObjectName(QStringLiteral("TrayIcon1"));
    m_icon->setContextMenu(m_menu);
    setState(QString());
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The right button opens the icon's menu by itself; only a plain click brings the window back.
        if (reason == QSystemTrayIcon::Trigger) emit clicked();
    });
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, &TesselTray::notificationClicked);
}

void TesselTray::showIcon() {
    m_data.uID = TNotifyIconData::kIconId;
    m_icon->setToolTip(m_data.szTip);
    m_icon->show();
}

void TesselTray::removeIcon() {
    if (m_data.uID == 0) return;
    m_icon->hide();
    m_data.uID = 0;
}

void TesselTray::destroyIcon() {
    // Whether shown or not: a tray icon must not outlive the window it stands for.
    m_icon->hide();
}

void TesselTray::setState(const QString& state) {
    // Without news the application's title; with it, the product's name before the news.
    QString tip = state.isEmpty() ? applicationTitle() : tr("Tessel: %1").arg(state);
    if (tip.size() > TNotifyIconData::kTipLength)
        tip = tip.left(TNotifyIconData::kTipLength - 1) + QChar(0x2026);
    m_data.szTip = tip;
    if (m_icon->toolTip() != tip) m_icon->setToolTip(tip);
}

bool TesselTray::notify(const QString& title, const QString& text) {
    if (m_data.uID == 0) return false;
    m_dialogs.notify(*m_icon, title, text);
    return true;
}
