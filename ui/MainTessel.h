#pragma once
// The main window: the watches with their status pictures, the last log lines, and what a running watch
// is doing. Its menus, tool bar, keys and the list's context menu issue every command. It owns the
// context that the window's own work uses (settings, editor, log lines) and is its run display and
// message boxes; watches run on a thread of their own (RunThread) while the window keeps answering,
// one run at a time: while one goes, no other starts and the watch file is not changed.

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sync/Preview.h"
#include "sync/Scheduler.h"
#include "ui/Help.h"
#include "ui/LogViewer.h"
#include "watch/RunContext.h"
#include "watch/RunDisplay.h"
#include "watch/Settings.h"

class Dialogs;
class PreviewDialog;

class QAction;
class QMenu;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class RunThread;
class RunView;
class TesselTray;
class TTesselSplashForm;

class TMainTesselForm : public QMainWindow, public tessel::RunDisplay, public tessel::UserMessages {
    Q_OBJECT
  public:
    static constexpr int kPictureCount = 10;
    // The row's status picture index, kept beside its icon.
    static constexpr int kPictureRole = Qt::UserRole + 1;

    explicit TMainTesselForm(Dialogs& dialogs, QWidget* parent = nullptr);
    ~TMainTesselForm() override;

    tessel::RunContext& context() { return m_context; }
    RunView& runView() const { return *m_runView; }
    TesselTray& tray() const { return *m_tray; }
    // What the last run did.
    const tessel::RunResult& lastRunResult() const { return m_lastResult; }
    // A watch is running: from the command that starts it until everything it did is shown.
    bool isRunning() const;

    // The start-up sequence, run once after the window is built and before it is first shown: finds or
    // creates Tessel.ini in the current folder, fills the list and, with Minimize on Start, sends the
    // window to the tray soon after. The On Start watches run once the window is shown; the line
    // "Start Work Program" follows them.
    void FormCreate();
    // Help can be shown only when the start found the help pages; without them Help does nothing.
    void setHelpAvailable(bool available) { m_helpAvailable = available; }
    HelpViewer& helpViewer() { return m_helpViewer; }
    LogViewer* logViewer() const { return m_logViewer; }
    // The preview on the screen; null when none is.
    PreviewDialog* previewDialog() const;

    // Rebuilds every row from the watch file: row i shows record i.
    void FillWatchList();
    // The selected row, -1 when none is.
    int selectedRow() const;
    void selectRow(int row);

    // RunDisplay: the status text, the progress bar, the row pictures and the log area.
    void setStatusText(const std::string& text) override;
    void setProgressRange(int minimum, int maximum) override;
    void extendProgressRange(int maximum) override;
    void setProgressPosition(int position) override;
    void stepProgress() override;
    void setProgressVisible(bool visible) override;
    void addCopiedBytes(std::uint64_t bytes) override;
    void setRowPicture(int row, int picture) override;
    void appendLogLine(const std::string& line) override;
    int logLineCount() const override;
    void removeFirstLogLine() override;

    // UserMessages, shown through the dialogs.
    void showMessage(const std::string& text) override;
    void showWarning(const std::string& text, const std::string& caption) override;

    // The general error box: the text with a full stop at its end, under the application title.
    void showError(const std::string& text);

    // Commands of the menus, the tool bar, the keys and the list's context menu.
    void Load1Click();
    // Logs "End Work Program", stores Minimize on Start and closes the window, which ends Tessel. During
    // a run, the run is stopped first.
    void Exit1Click();
    // Stores Minimize on Start in the current folder's Tessel.ini, if there is one there. False after
    // the error box when it cannot be written.
    bool WriteIniData();
    void MinimizeonStart1Click();
    void AddWatch1Click();
    void EditWatch1Click();
    void DeleteWatch1Click();
    void CheckNow1Click();
    // Works out, off the window's thread, what Check Now of the selected watch would do, and shows it
    // in the preview dialog; nothing is changed or logged.
    void PreviewClick();
    // Opens the selected watch's versions folders in the desktop's file manager: the destination's and,
    // for a watch that runs both ways, the source's, each that exists.
    void OpenVersionsClick();
    // Every watch but those set to Stop, one after another, as Check Now runs one.
    void CheckAllClick();
    // Ends the run in progress at the next file.
    void StopClick();
    void ViewLogClick();
    void Watch1Click();
    void PopupMenu1Popup();
    void Help1Click();
    void TesselHelp1Click();
    void Send1Click();
    void About2Click();
    void Timer1Timer();
    // The scheduler's pass; while a run is going it waits for its end.
    void Timer2Timer();
    void Timer3Timer();

    // Hides the window behind the tray icon; where the desktop has no notification area, it minimises
    // the window the ordinary way instead.
    void MinimizeToTray();
    // Shows the window, restored from the tray or from its minimised state, and brings it to the front.
    void bringToFront();

    // The brief display of the about box that Timer1 ends; null when none is up.
    TTesselSplashForm* briefDisplay() const;
    // Every about box on the screen, the brief display included, oldest first.
    QList<TTesselSplashForm*> aboutBoxes() const;

    // The globals of the start: the data folder (kept for the settings file) and the switch.
    std::string DataPath;
    std::string MinimizeOnStartFlag;
    // The help's table of contents; the start sets the full path beside the program.
    QString HelpFile = QStringLiteral("help/index.html");

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
    enum class RunKind { CheckNow, CheckAll, TimerPass, OnStart, Preview };

    // The show sequence: the brief about box, and the tray icon goes.
    void FormShow();
    // Every closing of the window: "End Work Program".
    void FormClose();
    // The window's end: the tray icon and every about box go.
    void FormDestroy();
    TTesselSplashForm* newAboutBox();
    void sendMail(const QString& link);
    void applySettings(const tessel::Settings& settings);

    void createActions();
    void createMenus();
    void createToolBar();
    void createPanel();
    void fitToScreen();

    // The watch index that the selected row shows, -1 without a selection.
    int selectedWatchIndex() const;
    // Enables the commands for the selection and for whether a run is going.
    void updateCommands();
    // Check Now of the watch at position `index`.
    void checkNow(int index);
    // The plan of the preview that has just ended, in its dialog.
    void showPreview();
    void startRun(RunKind kind, const std::function<tessel::SchedulerReport(tessel::RunContext&)>& work);
    void runOnStartWatches();
    void runEnded();
    // The tray's tooltip for the run in progress, or the last run's result.
    void updateTrayState();

    Dialogs& m_dialogs;
    tessel::RunContext m_context;
    tessel::RunResult m_lastResult;
    std::array<QIcon, kPictureCount> m_pictures;

    QTreeWidget* ListView1 = nullptr;
    RunView* m_runView = nullptr;
    TesselTray* m_tray = nullptr;
    RunThread* m_runThread = nullptr;

    QAction* Load1 = nullptr;
    QAction* ViewLog1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* AddWatch1 = nullptr;
    QAction* EditWatch1 = nullptr;
    QAction* DeleteWatch1 = nullptr;
    QAction* CheckNow1 = nullptr;
    QAction* Preview1 = nullptr;
    QAction* OpenVersions1 = nullptr;
    QAction* Stop1 = nullptr;
    QAction* MinimizeonStart1 = nullptr;
    QAction* Help1 = nullptr;
    QAction* TesselHelp1 = nullptr;
    QAction* Send1 = nullptr;
    QAction* About2 = nullptr;
    QAction* AddWatch2 = nullptr;
    QAction* EditWatch2 = nullptr;
    QAction* DeleteWatch2 = nullptr;
    QAction* CheckNow2 = nullptr;
    QAction* Preview2 = nullptr;
    QAction* OpenVersions2 = nullptr;
    QAction* Show1 = nullptr;
    QAction* CheckAll1 = nullptr;
    QMenu* MainMenuWatch = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QList<QToolButton*> m_runButtons;  // Add, Edit, Delete, Check Now, Preview: off during a run

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;

    // What the run in progress is and whom it concerns.
    RunKind m_runKind = RunKind::CheckNow;
    int m_runningRow = -1;
    std::chrono::steady_clock::time_point m_runStart{};
    QString m_lastRunState;
    // What waits for the run's end: the scheduler's pass, the window's closing, the exit path.
    bool m_passWaiting = false;
    bool m_closeAfterRun = false;
    bool m_exitAfterRun = false;
    // The On Start watches still to run once the window is shown.
    bool m_onStartPending = false;
    bool m_closed = false;

    QPointer<TTesselSplashForm> m_briefDisplay;
    QList<QPointer<TTesselSplashForm>> m_aboutBoxes;
    bool m_helpAvailable = false;
    HelpViewer m_helpViewer;
    QPointer<LogViewer> m_logViewer;
    // What the preview in progress records on the run thread, read once the run has ended.
    std::shared_ptr<tessel::PlanRecorder> m_previewPlan;
    int m_previewIndex = -1;
    QPointer<PreviewDialog> m_previewDialog;
};
