#pragma once
// "Start with the Desktop Session" in the Settings menu: an autostart entry in the user's settings
// folder ($XDG_CONFIG_HOME/autostart) that starts this Tessel at login with the folder it keeps its
// files in now, so that it finds the same settings (and with Minimize on Start, starts in the tray).

#include <QString>

class Dialogs;
class QAction;
class QMenu;

// <settings folder>/autostart/<application id>.desktop; empty when there is no home folder.
QString autostartFilePath();

// One argument of a desktop entry's Exec line, quoted where the entry's rules ask for it.
QString desktopExecArgument(const QString& argument);

// The autostart entry that starts `program` in `folder`: with --user-folder when that is the user's
// data folder for Tessel, else with --folder and the folder itself.
QString autostartEntry(const QString& program, const QString& folder);

// Writes the entry for this program and the current folder, or removes it. False with `problem`
// said when the file cannot be written or removed.
bool setAutostart(bool on, QString& problem);

// Adds the checkable item "Start with the Desktop Session" to `menu`, checked when the entry exists.
// A failure shows the error box and leaves the check mark as the file is.
QAction* addAutostartItem(QMenu* menu, Dialogs& dialogs);
