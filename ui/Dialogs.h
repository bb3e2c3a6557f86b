#pragma once
// Every box and picker the window and the editor open, and the little else they ask of the desktop,
// behind one interface: the program shows the real ones, the tests answer them without a nested event
// loop and without starting a mail program.

#include <QString>

class QSystemTrayIcon;
class QUrl;
class QWidget;
class TEditWatchForm;

class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // A plain box with an OK button, captioned with the application title.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
    // A warning box with an exclamation mark that stays on top of every window.
    virtual void showWarning(QWidget* parent, const QString& text, const QString& caption) = 0;
    // An error box with the error icon that stays on top of every window. With no parent it belongs to
    // no window at all.
    virtual void showError(QWidget* parent, const QString& text, const QString& caption) = 0;
    // Whether to delete the selected watch, with OK and Cancel; true only for OK.
    virtual bool confirmDelete(QWidget* parent) = 0;
    // A folder, or empty text when the user cancels. The picker starts in the folder `start`.
    virtual QString chooseFolder(QWidget* parent, const QString& title, const QString& start) = 0;
    // An existing file, or empty text when the user cancels. The picker starts in the folder `start`.
    virtual QString chooseFile(QWidget* parent, const QString& title, const QString& start) = 0;
    // A question with a button that does `action` ("&Make Folder") and Cancel; true for the action.
    virtual bool confirm(QWidget* parent, const QString& text, const QString& action) = 0;
    // A watch file for Load Watches; it need not exist. Empty text when the user cancels.
    virtual QString chooseWatchFile(QWidget* parent) = 0;
    // Runs the editor modally and returns when it has closed.
    virtual void runEditor(TEditWatchForm& editor) = 0;
    // Hands a link to the desktop (a mail link to the mail program, a folder to the file manager, a web
    // address to the browser); false when nothing could take it, a mail link or a folder also when the
    // desktop names no program for it.
    virtual bool openUrl(const QUrl& url) = 0;
    // A mail could not be opened: says so with `text`, and asks whether to copy the mail to the
    // clipboard instead. True for "Copy to Clipboard".
    virtual bool askToCopyMail(QWidget* parent, const QString& text) = 0;
    // Whether the desktop has a notification area to hold Tessel's tray icon right now.
    virtual bool systemTrayAvailable() = 0;
    // A balloon from the tray icon that tells of something the user should look at.
    virtual void notify(QSystemTrayIcon& icon, const QString& title, const QString& text) = 0;
};

// The real boxes and pickers of the desktop.
class QtDialogs : public Dialogs {
  public:
    void showMessage(QWidget* parent, const QString& text) override;
    void showWarning(QWidget* parent, const QString& text, const QString& caption) override;
    void showError(QWidget* parent, const QString& text, const QString& caption) override;
    bool confirmDelete(QWidget* parent) override;
    QString chooseFolder(QWidget* parent, const QString& title, const QString& start) override;
    QString chooseFile(QWidget* parent, const QString& title, const QString& start) override;
    bool confirm(QWidget* parent, const QString& text, const QString& action) override;
    QString chooseWatchFile(QWidget* parent) override;
    void runEditor(TEditWatchForm& editor) override;
    bool openUrl(const QUrl& url) override;
    bool askToCopyMail(QWidget* parent, const QString& text) override;
    bool systemTrayAvailable() override;
    void notify(QSystemTrayIcon& icon, const QString& title, const QString& text) override;
};

// Whether the desktop names a program for mail links, and one for folders (a file manager). The
// desktop's opener takes any link and then fails out of sight when there is none, so this asks first.
bool mailProgramSet();
bool fileManagerSet();

// The program file's name without its folder, cut at its first dot, first character kept and the rest
// in lower case: the caption of plain message boxes.
QString applicationTitle();
