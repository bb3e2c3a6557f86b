#pragma once
// The main window: the watches with their status pictures, the last log lines, and what a running watch
// is doing. Its menus, tool bar and the list's context menu issue every command. It owns the core that
// the engine works with and is that core's run display and message boxes.

#include <QMainWindow>
#include <QPixmap>
#include <array>
#include <chrono>

#include "watch/Core.h"
#include "watch/RunDisplay.h"

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

class TMainTesselForm : public QMainWindow, public tessel::RunDisplay, public tessel::UserMessages {
    Q_OBJECT
  public:
    static constexpr int kPictureCount = 10;
    // The row's status picture index, kept beside its icon.
    static constexpr int kPictureRole = Qt::UserRole + 1;

    explicit TMainTesselForm(Dialogs& dialogs, QWidget* parent = nullptr);
    ~TMainTesselForm() override;

    tessel::Core& core() { return m_core; }

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

    // Commands of the menus, the tool bar and the list's context menu.
    void Load1Click();
    void Exit1Click();
    void AddWatch1Click();
    void EditWatch1Click();
    void DeleteWatch1Click();
    void CheckNow1Click();
    void Watch1Click();
    void PopupMenu1Popup();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();

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

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void createMenus();
    void createToolBar();
    void createPanel();
    void showProgress(bool force);
    void scrollLogToEnd();

    Dialogs& m_dialogs;
    tessel::Core m_core;
    std::array<QPixmap, kPictureCount> m_pictures;

    // The progress bar's own idea of its range: a run over no files gets 0..0, which the bar would
    // otherwise animate as "busy".
    int m_progressMin = 0;
    int m_progressMax = 0;
    int m_progressPosition = 0;
    std::chrono::steady_clock::time_point m_lastProgressPaint{};
};
