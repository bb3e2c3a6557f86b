#pragma once
// The main window: the watches with their status pictures, the last log lines, and what a running watch
// is doing, under the menus and the tool bar of its commands (WindowCommands). It lives Tessel's life
// from the start-up sequence to the exit path, hides in the tray and shows the about box. Its parts:
// the list (WatchList), the run view (RunView) with the engine's display on it (WindowRunDisplay), the
// message boxes (WindowMessages), and the run coordinator (RunCoordinator), which runs the watches on a
// thread of their own, one at a time, while the window keeps answering.

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>

#include "sync/RunContext.h"
#include "ui/RunCoordinator.h"
#include "ui/WindowState.h"
#include "watch/Settings.h"

class Dialogs;
class QSplitter;
class QTimer;
class RunView;
class TesselTray;
class TTesselSplashForm;
class WatchFileMonitor;
class WatchList;
class WindowCommands;
class WindowMessages;
class WindowRunDisplay;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(Dialogs& dialogs, QWidget* parent = nullptr);
    ~MainWindow() override;

    tessel::RunContext& context() { return *m_context; }
    Dialogs& dialogs() const { return m_dialogs; }
    RunCoordinator& runs() const { return *m_runs; }
    WindowCommands& commands() const { return *m_commands; }
    WatchList& watchList() const { return *m_watchList; }
    RunView& runView() const { return *m_runView; }
    WindowRunDisplay& runDisplay() const { return *m_display; }
    WindowMessages& messages() const { return *m_messages; }
    TesselTray& tray() const { return *m_tray; }
    // What the last run did.
    const tessel::RunResult& lastRunResult() const;
    // A watch is running: from the command that starts it until everything it did is shown.
    bool isRunning() const { return m_runs->isRunning(); }

    // The start-up sequence, run once after the window is built and before it is first shown: finds or
    // creates Tessel.ini in the current folder, fills the list and, with Minimize on Start, sends the
    // window to the tray soon after. The On Start watches run once the window is shown; the line
    // "Start Work Program" follows them.
    void startUp();
    // Rebuilds every row from the watch file, sorted as the list is, and selects watch `selectedWatch`
    // (its position in the file) when the file has it. A preview on the screen goes, as it names its
    // watch by a position that the changed file may give to another watch.
    void fillWatchList(int selectedWatch = -1);
    // Brings the list up to date with the watch file and its text file as they are now: their values in
    // place, or, where the files hold other watches now, every row anew with the selected watch still
    // selected. Done when the files change on disk and after each run.
    void refreshWatchList();

    // What the window would remember if it closed now: place, size, columns, sorting, selection and the
    // log's height (see WindowState.h).
    WindowState stateToRemember() const;

    // The data folder, kept for the settings file, and the Minimize on Start switch as Tessel.ini has it.
    const std::string& dataPath() const { return m_dataPath; }
    const std::string& minimizeOnStartFlag() const { return m_minimizeOnStartFlag; }
    // Settings, Minimize on Start: the switch follows the menu item's check mark; the settings file is
    // written only on Exit.
    void toggleMinimizeOnStart();
    // Stores Minimize on Start in the current folder's Tessel.ini, if there is one there. False after
    // the error box when it cannot be written.
    bool storeMinimizeOnStart();
    // Stores Minimize on Start and closes the window, which logs "End Work Program" and ends Tessel.
    // During a run, the run is stopped first and the exit path follows its end.
    void exitProgram();

    // Hides the window behind the tray icon; where the desktop has no notification area, it minimises
    // the window the ordinary way instead.
    void minimizeToTray();
    // Shows the window, restored from the tray or from its minimised state, and brings it to the front.
    void bringToFront();
    // Help, About: an about box with its "Ok" button.
    void showAbout();
    // The splash timer's end: the brief display of the about box goes.
    void closeSplash();
    // The timer started with Minimize on Start: the window goes to the tray.
    void minimizeAfterStart();

    // The about box shown briefly when the window is shown; null when none is up.
    TTesselSplashForm* splash() const;
    // Every about box on the screen, the splash included, oldest first.
    QList<TTesselSplashForm*> aboutBoxes() const;

  signals:
    // The window has closed: Tessel ends.
    void closed();
    // A run has ended and everything it did is shown.
    void runFinished();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void createPanel();
    // The designed size in the middle of the screen, frame and all inside it.
    void fitToScreen();
    // Once the window manager has framed the shown window: the frame moved or shrunk into the screen's
    // free area, where a restored place, the window's least size or a large scale factor took it past an
    // edge. Looked at a few times after each showing, until the frame is there.
    void keepFrameOnScreen();
    // What the settings file kept of the last closing; what it lacks stays as it is.
    void restoreWindowState(const WindowState& state);
    // Writes stateToRemember into the settings file the window was started with, silently.
    void storeWindowState();
    void applySettings(const tessel::Settings& settings, const std::string& settingsFile);
    // Each showing of the window: the about box briefly, and the tray icon goes.
    void showSplash();
    // Every closing of the window: "End Work Program", and the help and log windows go.
    void finishWork();
    TTesselSplashForm* newAboutBox();
    void runEnded(RunCoordinator::RunKind kind);
    // A click on the tray's notice: the log viewer at the lines of the run it named.
    void showNoticedRun();
    void leaveAfterRun(RunCoordinator::Leave how);

    Dialogs& m_dialogs;
    std::unique_ptr<WindowMessages> m_messages;
    WindowCommands* m_commands = nullptr;
    WatchList* m_watchList = nullptr;
    RunView* m_runView = nullptr;
    QSplitter* m_splitter = nullptr;
    TesselTray* m_tray = nullptr;
    WatchFileMonitor* m_watchFiles = nullptr;
    WindowRunDisplay* m_display = nullptr;
    // Made once the display is: the window's own work (start, end, editor, commands) uses it, and runs
    // take its files and options at their start.
    std::unique_ptr<tessel::RunContext> m_context;
    RunCoordinator* m_runs = nullptr;

    QTimer* m_splashTimer = nullptr;
    QTimer* m_minimizeToTrayTimer = nullptr;
    QTimer* m_frameTimer = nullptr;
    int m_frameChecks = 0;

    std::string m_dataPath;
    std::string m_minimizeOnStartFlag;
    // The watch file the start read, and the selection kept for it: what the next start shows.
    std::string m_startWatchFile;
    int m_startSelection = -1;
    QPointer<TTesselSplashForm> m_splash;
    QList<QPointer<TTesselSplashForm>> m_aboutBoxes;
};
