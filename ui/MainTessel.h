#pragma once
// The main window: the watches with their status pictures, the last log lines, and what a running watch
// is doing. Its menus, tool bar and the list's context menu issue every command. It owns the context that
// the engine works with and is that context's run display and message boxes, and it owns the tray icon
// that stands for it while it is hidden.

#include <QList>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <array>
#include <chrono>
#include <string>

#include "ui/Help.h"
#include "watch/RunContext.h"
#include "watch/RunDisplay.h"
#include "watch/Settings.h"

class Dialogs;
class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QTimer;
class QToolButton;
class QTreeWidget;
class TMyStatusBar;
class TTesselSplashForm;

// What the tray icon was added with. uID marks whether the icon is in the notification area: kIconId
// after an add, 0 before the first add and once the window is shown again.
struct TNotifyIconData {
    static constexpr unsigned kIconId = 100;
    // The tip holds at most 63 characters, as the notification areas of old did.
    static constexpr int kTipLength = 63;

    unsigned uID = 0;
    QString szTip;
};

class TMainTesselForm : public QMainWindow, public tessel::RunDisplay, public tessel::UserMessages {
    Q_OBJECT
  public:
    static constexpr int kPictureCount = 10;
    // The row's status picture index, kept beside its icon.
    static constexpr int kPictureRole = Qt::UserRole + 1;

    explicit TMainTesselForm(Dialogs& dialogs, QWidget* parent = nullptr);
    ~TMainTesselForm() override;

    tessel::RunContext& context() { return m_context; }
    // What the last Check Now did.
    const tessel::RunResult& lastRunResult() const { return m_lastResult; }

    // The start-up sequence, run once after the window is built and before it is first shown: finds or
    // creates Tessel.ini in the current folder, fills the list, runs the On Start watches, logs
    // "Start Work Program" and, with Minimize on Start, sends the window to the tray soon after.
    void FormCreate();
    // Help can be shown only when the start found the help pages; without them Help does nothing.
    void setHelpAvailable(bool available) { m_helpAvailable = available; }
    HelpViewer& helpViewer() { return m_helpViewer; }

    // Rebuilds every row from the watch file: row i shows record i.
    void FillWatchList();
    // The selected row, -1 when none is.
    int selectedRow() const;
    void selectRow(int row);

    // RunDisplay: the status text, the progress bar, the row pictures and the log area.
    void setStatusText(const std::string& text) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressPosition(int position) override;
    void stepProgress() override;
    void setProgressVisible(bool visible) override;
    void setRowPicture(int row, int picture) override;
    void appendLogLine(const std::string& line) override;
    int logLineCount() const override;
    void removeFirstLogLine() override;

    // UserMessages, shown through the dialogs.
    void showMessage(const std::string& text) override;
    void showWarning(const std::string& text, const std::string& caption) override;

    // The general error box: the text with a full stop at its end, under the application title.
    void showError(const std::string& text);

    // Commands of the menus, the tool bar and the list's context menu.
    void Load1Click();
    // Logs "End Work Program", stores Minimize on Start and closes the window, which ends Tessel.
    void Exit1Click();
    // Stores Minimize on Start in the current folder's Tessel.ini, if there is one there. False after
    // the error box when it cannot be written.
    bool WriteIniData();
    void MinimizeonStart1Click();
    void AddWatch1Click();
    void EditWatch1Click();
    void DeleteWatch1Click();
    void CheckNow1Click();
    void Watch1Click();
    void PopupMenu1Popup();
    void Help1Click();
    void TesselHelp1Click();
    void Send1Click();
    void About2Click();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();

    // Hides the window behind the tray icon; where the desktop has no notification area, it minimises
    // the window the ordinary way instead.
    void MinimizeToTray();
    // A click on the tray icon: the left button brings the window back.
    void TrayIcon1Activated(QSystemTrayIcon::ActivationReason reason);

    // The brief display of the about box that Timer1 ends; null when none is up.
    TTesselSplashForm* briefDisplay() const;
    // Every about box on the screen, the brief display included, oldest first.
    QList<TTesselSplashForm*> aboutBoxes() const;

    // The globals of the start: the data folder (kept for the settings file) and the switch.
    std::string DataPath;
    std::string MinimizeOnStartFlag;
    // The help's table of contents; the start sets the full path beside the program.
    QString HelpFile = QStringLiteral("help/index.html");
    TNotifyIconData TrayIconData;

    // Controls, named as the rest of Tessel and the tests know them.
    QTreeWidget* ListView1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    TMyStatusBar* MyStatusBar1 = nullptr;
    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    QMenu* MainMenuFile = nullptr;
    QMenu* MainMenuWatch = nullptr;
    QAction* Load1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* AddWatch1 = nullptr;
    QAction* EditWatch1 = nullptr;
    QAction* DeleteWatch1 = nullptr;
    QAction* CheckNow1 = nullptr;
    QAction* MinimizeonStart1 = nullptr;
    QAction* Help1 = nullptr;
    QAction* TesselHelp1 = nullptr;
    QAction* Send1 = nullptr;
    QAction* About2 = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* AddWatch2 = nullptr;
    QAction* EditWatch2 = nullptr;
    QAction* DeleteWatch2 = nullptr;
    QAction* CheckNow2 = nullptr;
    QMenu* PopupMenu2 = nullptr;

    QToolButton* SpeedButton2 = nullptr;  // Add Watch
    QToolButton* SpeedButton4 = nullptr;  // Edit Watch
    QToolButton* SpeedButton6 = nullptr;  // Delete Watch
    QToolButton* SpeedButton5 = nullptr;  // Check Watch Now
    QToolButton* SpeedButton3 = nullptr;  // Help
    QToolButton* SpeedButton1 = nullptr;  // Exit

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;
    QSystemTrayIcon* TrayIcon1 = nullptr;

  signals:
    // The window has closed: Tessel ends.
    void closed();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // The show sequence: the brief about box, and the tray icon goes.
    void FormShow();
    // Every closing of the window: "End Work Program".
    void FormClose();
    // The window's end: the tray icon and every about box go.
    void FormDestroy();
    TTesselSplashForm* newAboutBox();
    void sendMail(const QString& link);
    void applySettings(const tessel::Settings& settings);

    void createMenus();
    void createToolBar();
    void createPanel();
    void showProgress(bool force);
    // Paints a status text whose paint was put off: now with `force`, else once the interval is over.
    void paintPendingStatus(bool force);
    void scrollLogToEnd();

    Dialogs& m_dialogs;
    tessel::RunContext m_context;
    tessel::RunResult m_lastResult;
    std::array<QPixmap, kPictureCount> m_pictures;

    // The progress bar's own idea of its range: a run over no files gets 0..0, which the bar would
    // otherwise animate as "busy".
    int m_progressMin = 0;
    int m_progressMax = 0;
    int m_progressPosition = 0;
    std::chrono::steady_clock::time_point m_lastProgressPaint{};
    // The status text set last may still wait for its paint (see setStatusText).
    bool m_statusUnpainted = false;
    std::chrono::steady_clock::time_point m_lastStatusPaint{};

    QPointer<TTesselSplashForm> m_briefDisplay;
    QList<QPointer<TTesselSplashForm>> m_aboutBoxes;
    bool m_helpAvailable = false;
    HelpViewer m_helpViewer;
};
