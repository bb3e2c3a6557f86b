#pragma once
// What the user can ask of the main window, where and when: the actions with their texts and keys, the
// menu bar, the list's menu and the tool bar that offer them, which of them are possible for the
// selection and the run in progress, and what the watch commands do. The commands of the window's own
// life (Exit, Show, About, Minimize on Start) are the window's; their actions are made here with the
// rest.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

#include "sync/Preview.h"
#include "sync/Scheduler.h"
#include "ui/Help.h"

struct FeedbackMail;
class LogViewer;
class MainWindow;
class PreviewDialog;
class QAction;
class RestoreDialog;
class QKeySequence;
class QMenu;
class QToolButton;
class WatchList;

class WindowCommands : public QObject {
    Q_OBJECT
  public:
    // Makes the actions; menus and tool bar follow with addMenus and addToolBar.
    explicit WindowCommands(MainWindow& window);

    // The menu bar's menus and the list's menu.
    void addMenus();
    void addToolBar();
    // The list's menu, Enter and a double click on a row, and the commands that follow the selection.
    void attachWatchList(WatchList& list);

    // Enables the commands for the selection and for what the run coordinator allows now.
    void updateCommands();

    // The watch commands of the menus, the tool bar, the keys and the list's menu.
    // Another watch file, which the list shows at once.
    void loadWatchFile();
    void addWatch();
    // A new watch of a folder dropped on the list: the editor opens with it as the source.
    void addWatchOfFolder(const QString& folder);
    void editSelectedWatch();
    void deleteSelectedWatch();
    void checkSelectedWatchNow();
    // Check Now of watch `index` (its position in the watch file), as Run Now of the preview asks for it.
    void checkWatchNow(int index);
    // Works out, off the window's thread, what Check Now of the selected watch would do, and shows it in
    // the preview dialog; nothing is changed or logged.
    void previewSelectedWatch();
    // Restore Files: the kept files of the selected watch in the Restore dialog, which replaces one on
    // the screen. It stays while the list changes: it knows its watch by the record, not the position.
    void restoreFiles();
    RestoreDialog* restoreDialog() const;
    // Opens the selected watch's versions folders in the desktop's file manager: the destination's and,
    // for a watch that runs both ways, the source's, each that exists. Without a file manager it says
    // where they are and points to Restore Files.
    void openVersionsFolders();
    // Every watch but those set to Stop, one after another, as Check Now runs one.
    void checkAllWatches();
    // Pause Following: the selected watch that runs on change is no longer followed, by the window or
    // tessel-batch follow, until the check mark is taken off again (which follows it with a full run).
    // The tray's item does the same for every watch that runs on change.
    void pauseSelectedWatchFollowing(bool paused);
    void pauseAllFollowing(bool paused);
    // The Pause Following items for the selection and the watch file as they are now: on for watches that
    // run on change, checked for paused ones (read when a menu opens).
    void updateFollowCommands();
    // Ends the run in progress at the next file.
    void stopRun();
    void viewLog();
    // The log viewer at the lines of watch run `run`: its summary line selected, its other lines above.
    void viewLogAtRun(const tessel::WatchRunSummary& run);
    void showHelp();
    void sendBugReport();
    void sendComments();

    // The plan of the preview that has just ended, in its dialog; a stopped preview, or one whose watch
    // has gone, shows nothing.
    void showPreview(int index, std::shared_ptr<tessel::PlanRecorder> plan,
                     const tessel::SchedulerReport& report);
    // The preview on the screen; null when none is.
    PreviewDialog* previewDialog() const;
    void closePreview();

    // Help can be shown only when the start found the help pages; without them Help does nothing.
    void setHelpAvailable(bool available) { m_helpAvailable = available; }
    // The help's table of contents; the start sets the full path beside the program.
    const QString& helpFile() const { return m_helpFile; }
    void setHelpFile(const QString& file) { m_helpFile = file; }
    HelpViewer& helpViewer() { return m_helpViewer; }
    LogViewer* logViewer() const;
    // The help and log windows go with the main window.
    void closeViewers();

    QAction* showWindowAction() const { return m_showWindowAction; }
    QAction* checkAllAction() const { return m_checkAllAction; }
    QAction* stopAction() const { return m_stopAction; }
    QAction* exitAction() const { return m_exitAction; }
    QAction* pauseFollowingAction() const { return m_pauseFollowingAction; }
    QAction* pauseAllFollowingAction() const { return m_pauseAllFollowingAction; }
    QAction* minimizeOnStartAction() const { return m_minimizeOnStartAction; }

  private:
    template <class Receiver>
    QAction* makeAction(const char* name, const QString& text, Receiver* receiver, void (Receiver::*run)(),
                        const QKeySequence& key);
    void sendMail(const FeedbackMail& mail);
    // The editor for a new watch, with `source` filled in when it is given.
    void runNewWatchEditor(const QString& source);
    // Stores the pause of the watches at `positions`; false after saying why when it cannot be stored.
    bool storePaused(const std::vector<int>& positions, bool paused);

    MainWindow& m_window;

    QAction* m_loadWatchFileAction = nullptr;
    QAction* m_viewLogAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_addWatchAction = nullptr;
    QAction* m_editWatchAction = nullptr;
    QAction* m_deleteWatchAction = nullptr;
    QAction* m_checkNowAction = nullptr;
    QAction* m_previewAction = nullptr;
    QAction* m_restoreFilesAction = nullptr;
    QAction* m_openVersionsAction = nullptr;
    QAction* m_pauseFollowingAction = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_minimizeOnStartAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_bugReportAction = nullptr;
    QAction* m_commentsAction = nullptr;
    QAction* m_aboutAction = nullptr;
    // The list's menu has the same commands without their keys, which the main menu's items carry.
    QAction* m_listAddWatchAction = nullptr;
    QAction* m_listEditWatchAction = nullptr;
    QAction* m_listDeleteWatchAction = nullptr;
    QAction* m_listCheckNowAction = nullptr;
    QAction* m_listPreviewAction = nullptr;
    QAction* m_listRestoreFilesAction = nullptr;
    QAction* m_listOpenVersionsAction = nullptr;
    QAction* m_listPauseFollowingAction = nullptr;
    // The tray icon's menu.
    QAction* m_showWindowAction = nullptr;
    QAction* m_checkAllAction = nullptr;
    QAction* m_pauseAllFollowingAction = nullptr;

    QMenu* m_watchListMenu = nullptr;
    QList<QToolButton*> m_runButtons;  // Add, Edit, Delete, Check Now, Preview: off during a run

    bool m_helpAvailable = false;
    QString m_helpFile = QStringLiteral("help/index.html");
    HelpViewer m_helpViewer;
    QPointer<LogViewer> m_logViewer;
    QPointer<PreviewDialog> m_previewDialog;
    QPointer<RestoreDialog> m_restoreDialog;
};
