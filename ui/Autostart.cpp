#include "ui/Autostart.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>

#include "TesselVersion.h"
#include "platform/UserFolders.h"
#include "ui/Dialogs.h"
#include "ui/Texts.h"
#include "watch/StartFolder.h"

QString autostartFilePath() {
    const std::string config = tessel::platform::userConfigHome();
    if (config.empty()) return {};
    return fromBytes(config) + QStringLiteral("/autostart/") + QLatin1String(kTesselAppId) +
           QStringLiteral(".desktop");
}

QString desktopExecArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    QString quoted;
    for (const QChar c : argument) {
        if (reserved.contains(c)) quote = true;
        // Inside quotes these four keep their meaning only behind a backslash.
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
        // A lone % would start a field code.
        if (c == QLatin1Char('%')) quoted += QLatin1Char('%');
    }
    if (quote) quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    // The value as a whole is a string of the entry, whose own escapes come on top.
    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

QString autostartEntry(const QString& program, const QString& folder) {
    const QString userFolder = fromBytes(tessel::userTesselFolder());
    QString exec = desktopExecArgument(program) + QLatin1Char(' ');
    if (!userFolder.isEmpty() && QDir(userFolder) == QDir(folder))
        exec += QLatin1String(tessel::kUserFolderOption.data(), tessel::kUserFolderOption.size());
    else
        exec += QLatin1String(tessel::kFolderOption.data(), tessel::kFolderOption.size()) + QLatin1Char(' ') +
                desktopExecArgument(folder);
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Tessel\n"
               "Comment=Keep pairs of folders in step\n"
               "Exec=%1\n"
               "Icon=%2\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(exec, QLatin1String(kTesselAppId));
}

bool setAutostart(bool on, QString& problem) {
    const QString path = autostartFilePath();
    if (path.isEmpty()) {
        problem = QCoreApplication::translate("Autostart",
                                              "There is no home folder to keep the autostart entry in.");
        return false;
    }
    if (!on) {
        QFile file(path);
        if (!file.exists() || file.remove()) return true;
        problem = QCoreApplication::translate("Autostart", "Unable to remove %1: %2.")
                      .arg(path, file.errorString());
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        problem = QCoreApplication::translate("Autostart", "Unable to write to %1.").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        problem = QCoreApplication::translate("Autostart", "Unable to write to %1: %2.")
                      .arg(path, file.errorString());
        return false;
    }
    const QString entry = autostartEntry(QCoreApplication::applicationFilePath(), QDir::currentPath());
    file.write(entry.toUtf8());
    if (!file.commit()) {
        problem = QCoreApplication::translate("Autostart", "Unable to write to %1: %2.")
                      .arg(path, file.errorString());
        return false;
    }
    return true;
}

QAction* addAutostartItem(QMenu* menu, Dialogs& dialogs) {
    QAction* item =
        menu->addAction(QCoreApplication::translate("WindowCommands", "Start with the Desktop &Session"));
    item->setObjectName(QStringLiteral("startWithSessionAction"));
    item->setCheckable(true);
    const QString path = autostartFilePath();
    item->setChecked(!path.isEmpty() && QFileInfo::exists(path));
    QObject::connect(item, &QAction::triggered, menu, [item, menu, &dialogs](bool on) {
        QString problem;
        if (setAutostart(on, problem)) return;
        QWidget* owner = menu->parentWidget() != nullptr ? menu->parentWidget()->window() : nullptr;
        dialogs.showError(owner, problem, applicationTitle());
        const QString path = autostartFilePath();
        item->setChecked(!path.isEmpty() && QFileInfo::exists(path));
    });
    return item;
}
