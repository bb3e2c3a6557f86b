#include "ui/MainTessel.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "TesselVersion.h"
#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "sync/Scheduler.h"
#include "sync/SyncFolder.h"
#include "ui/Autostart.h"
#include "ui/Dialogs.h"
#include "ui/EditWatch.h"
#include "ui/Feedback.h"
#include "ui/LogViewer.h"
#include "ui/MStatusBar.h"
#include "ui/Pictures.h"
#include "ui/PreviewDialog.h"
#include "ui/RunThread.h"
#include "ui/RunView.h"
#include "ui/SplashFrm.h"
#include "ui/Texts.h"
#include "ui/TrayIcon.h"
#include "ui/WatchRoots.h"
#include "watch/EventLog.h"
#include "watch/WatchFile.h"

using namespace tessel;

namespace {

// The watch's own status picture and what it does with files, kept in its row beside the picture shown.
constexpr int kTypeRole = Qt::UserRole + 2;
constexpr int kMoveRole = Qt::UserRole + 3;
constexpr int kRunModeRole = Qt::UserRole + 4;

constexpr QSize kWindowSize(696, 480);

// The last part of a folder path: what a watch is called in a short text.
QString folderName(const QString& path) {
    QString name = path;
    while (name.size() > 1 && name.endsWith(QLatin1Char('/'))) name.chop(1);
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 && slash + 1 < name.size() ? name.mid(slash + 1) : name;
}

}  // namespace

TMainTesselForm::TMainTesselForm(Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_dialogs(dialogs), m_context(*this, *this) {
    setObjectName(QStringLiteral("MainTesselForm"));
    setWindowTitle(QStringLiteral("Tessel v ") + QLatin1String(kTesselVersion));
    setWindowIcon(programIcon());
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    m_pictures = statusIcons();
    m_runThread = new RunThread(*this, *this, this);
    connect(m_runThread, &RunThread::progressed, this, &TMainTesselForm::updateTrayState);
    connect(m_runThread, &RunThread::finished, this, &TMainTesselForm::runEnded);
    createActions();
    createMenus();
    createToolBar();
    createPanel();

    const auto timer = [this](const char* name, int interval, void (TMainTesselForm::*handler)()) {
        auto* made = new QTimer(this);
        made->setObjectName(QLatin1String(name));
        made->setInterval(interval);
        connect(made, &QTimer::timeout, this, handler);
        return made;
    };
    Timer1 = timer("Timer1", 2000, &TMainTesselForm::Timer1Timer);
    Timer2 = timer("Timer2", 30000, &TMainTesselForm::Timer2Timer);
    Timer2->start();
    Timer3 = timer("Timer3", 500, &TMainTesselForm::Timer3Timer);

    m_tray = new TesselTray(m_dialogs, {Show1, CheckAll1, Stop1, nullptr, Exit1}, this);
    connect(m_tray, &TesselTray::clicked, this, &TMainTesselForm::bringToFront);

    fitToScreen();
    updateCommands();
}

TMainTesselForm::~TMainTesselForm() {
    FormDestroy();
    // The run thread ends before the window it shows its work on.
    delete m_runThread;
    m_runThread = nullptr;
}

void TMainTesselForm::fitToScreen() {
    // The designed size, or the screen's room at a large scale factor, centred.
    QSize size = kWindowSize;
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        // Room for the window manager's frame around the window.
        size = size.boundedTo(available.size() - QSize(16, 40));
        resize(size);
        move(available.center() - QPoint(size.width() / 2, size.height() / 2));
    } else {
        resize(size);
    }
}

void TMainTesselForm::createActions() {
    const auto action = [this](const char* name, const QString& text, void (TMainTesselForm::*run)(),
                               const QKeySequence& key = {}) {
        auto* made = new QAction(text, this);
        made->setObjectName(QLatin1String(name));
        if (!key.isEmpty()) made->setShortcut(key);
        if (run != nullptr) connect(made, &QAction::triggered, this, run);
        return made;
    };
    Load1 = action("Load1", tr("&Load Watches..."), &TMainTesselForm::Load1Click);
    ViewLog1 = action("ViewLog1", tr("&View Log"), &TMainTesselForm::ViewLogClick, Qt::CTRL | Qt::Key_L);
    Exit1 = action("Exit1", tr("E&xit"), &TMainTesselForm::Exit1Click);
    AddWatch1 = action("AddWatch1", tr("&Add Watch..."), &TMainTesselForm::AddWatch1Click, QKeySequence::New);
    EditWatch1 = action("EditWatch1", tr("&Edit Watch..."), &TMainTesselForm::EditWatch1Click);
    DeleteWatch1 = action("DeleteWatch1", tr("&Delete Watch"), &TMainTesselForm::DeleteWatch1Click,
                          QKeySequence::Delete);
    CheckNow1 = action("CheckNow1", tr("Check &Now"), &TMainTesselForm::CheckNow1Click, Qt::Key_F5);
    Preview1 = action("Preview1", tr("&Preview..."), &TMainTesselForm::PreviewClick, Qt::SHIFT | Qt::Key_F5);
    OpenVersions1 = action("OpenVersions1", tr("Open &Versions Folder"), &TMainTesselForm::OpenVersionsClick);
    Stop1 = action("Stop1", tr("&Stop"), &TMainTesselForm::StopClick, Qt::Key_Escape);
    MinimizeonStart1 = action("MinimizeonStart1", tr("&Minimize on Start"), nullptr);
    MinimizeonStart1->setCheckable(true);
    connect(MinimizeonStart1, &QAction::triggered, this, &TMainTesselForm::MinimizeonStart1Click);
    Help1 = action("Help1", tr("&Help"), &TMainTesselForm::Help1Click, QKeySequence::HelpContents);
    TesselHelp1 = action("TesselHelp1", tr("Send Your &Bug Reports..."), &TMainTesselForm::TesselHelp1Click);
    Send1 = action("Send1", tr("Send Your &Comments..."), &TMainTesselForm::Send1Click);
    About2 = action("About2", tr("&About..."), &TMainTesselForm::About2Click);
    // The list's menu has the same commands without their keys, which the main menu's items carry.
    AddWatch2 = action("AddWatch2", AddWatch1->text(), &TMainTesselForm::AddWatch1Click);
    EditWatch2 = action("EditWatch2", EditWatch1->text(), &TMainTesselForm::EditWatch1Click);
    DeleteWatch2 = action("DeleteWatch2", DeleteWatch1->text(), &TMainTesselForm::DeleteWatch1Click);
    CheckNow2 = action("CheckNow2", CheckNow1->text(), &TMainTesselForm::CheckNow1Click);
    Preview2 = action("Preview2", Preview1->text(), &TMainTesselForm::PreviewClick);
    OpenVersions2 = action("OpenVersions2", OpenVersions1->text(), &TMainTesselForm::OpenVersionsClick);
    Show1 = action("Show1", tr("S&how Tessel"), &TMainTesselForm::bringToFront);
    CheckAll1 = action("CheckAll1", tr("&Check All Watches Now"), &TMainTesselForm::CheckAllClick);
}

void TMainTesselForm::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("MainMenuFile"));
    file->addAction(Load1);
    file->addAction(ViewLog1);
    file->addSeparator();
    file->addAction(Exit1);

    MainMenuWatch = menuBar()->addMenu(tr("&Watch"));
    MainMenuWatch->setObjectName(QStringLiteral("MainMenuWatch"));
    MainMenuWatch->addActions({AddWatch1, EditWatch1, DeleteWatch1});
    MainMenuWatch->addSeparator();
    MainMenuWatch->addActions({CheckNow1, Preview1, Stop1});
    MainMenuWatch->addSeparator();
    MainMenuWatch->addAction(OpenVersions1);
    connect(MainMenuWatch, &QMenu::aboutToShow, this, &TMainTesselForm::Watch1Click);

    QMenu* settings = menuBar()->addMenu(tr("&Settings"));
    settings->addAction(MinimizeonStart1);
    addAutostartItem(settings, m_dialogs);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addActions({Help1, TesselHelp1, Send1});
    help->addSeparator();
    help->addAction(About2);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addActions({AddWatch2, EditWatch2, DeleteWatch2});
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({CheckNow2, Preview2});
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(OpenVersions2);
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TMainTesselForm::PopupMenu1Popup);
}

void TMainTesselForm::createToolBar() {
    QToolBar* ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(46);
    ToolBar1->setIconSize(QSize(40, 40));
    ToolBar1->layout()->setSpacing(0);
    ToolBar1->setContentsMargins(0, 0, 0, 0);
    ToolBar1->toggleViewAction()->setEnabled(false);

    const auto button = [&](const char* name, const QString& tip, const QString& role,
                            void (TMainTesselForm::*run)()) {
        auto* speedButton = new QToolButton(ToolBar1);
        speedButton->setObjectName(QLatin1String(name));
        speedButton->setToolTip(tip);
        speedButton->setIcon(toolPicture(role));
        speedButton->setIconSize(QSize(40, 40));
        speedButton->setFixedSize(40, 40);
        speedButton->setAutoRaise(true);
        speedButton->setFocusPolicy(Qt::NoFocus);
        connect(speedButton, &QToolButton::clicked, this, run);
        ToolBar1->addWidget(speedButton);
        return speedButton;
    };
    const auto gap = [&](int width) {
        auto* space = new QWidget(ToolBar1);
        space->setFixedWidth(width);
        ToolBar1->addWidget(space);
    };

    m_runButtons.append(button("SpeedButton2", tr("Add Watch (Ctrl+N)"), QStringLiteral("add"),
                               &TMainTesselForm::AddWatch1Click));
    m_runButtons.append(button("SpeedButton4", tr("Edit Watch (Enter)"), QStringLiteral("edit"),
                               &TMainTesselForm::EditWatch1Click));
    m_runButtons.append(button("SpeedButton6", tr("Delete Watch (Del)"), QStringLiteral("delete"),
                               &TMainTesselForm::DeleteWatch1Click));
    gap(25);
    m_runButtons.append(button("SpeedButton5", tr("Check Watch Now (F5)"), QStringLiteral("run"),
                               &TMainTesselForm::CheckNow1Click));
    m_runButtons.append(button("PreviewButton", tr("Preview: What Check Now Would Do (Shift+F5)"),
                               QStringLiteral("preview"), &TMainTesselForm::PreviewClick));
    QToolButton* stop =
        button("StopButton", tr("Stop the Run (Esc)"), QStringLiteral("stop"), &TMainTesselForm::StopClick);
    connect(Stop1, &QAction::changed, stop, [this, stop] { stop->setEnabled(Stop1->isEnabled()); });
    gap(35);
    button("SpeedButton3", tr("Help (F1)"), QStringLiteral("help"), &TMainTesselForm::Help1Click);
    button("SpeedButton1", tr("Exit"), QStringLiteral("exit"), &TMainTesselForm::Exit1Click);
}

void TMainTesselForm::createPanel() {
    // A raised panel inside a lowered one: the double bevel around the list, the log and the status bar.
    auto* outer = new QFrame(this);
    outer->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* inner = new QFrame(outer);
    inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* outerLayout = new QVBoxLayout(outer);
    outerLayout->setContentsMargins(0, 0, 0, 0);
    outerLayout->addWidget(inner);

    ListView1 = new QTreeWidget(inner);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(3);
    ListView1->setHeaderLabels({tr("Status"), tr("Source Folder"), tr("Destination Folder")});
    ListView1->setColumnWidth(0, 50);
    ListView1->setColumnWidth(1, 320);
    ListView1->setColumnWidth(2, 310);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setIconSize(QSize(kStatusPictureSize, kStatusPictureSize));
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->setMinimumHeight(60);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        PopupMenu1->popup(ListView1->viewport()->mapToGlobal(position));
    });
    // Enter and a double click edit the watch.
    connect(ListView1, &QTreeWidget::itemActivated, this, [this] {
        if (EditWatch1->isEnabled()) EditWatch1Click();
    });
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TMainTesselForm::updateCommands);

    m_runView = new RunView(inner, this);

    auto* logPane = new QWidget(inner);
    auto* Panel2 = new QLabel(tr("Log"), logPane);
    Panel2->setAlignment(Qt::AlignCenter);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel2->setFixedHeight(26);
    auto* logLayout = new QVBoxLayout(logPane);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->setSpacing(0);
    logLayout->addWidget(Panel2);
    logLayout->addWidget(m_runView->logArea(), 1);

    // The list takes what a larger window gains; the log keeps its few lines' height.
    auto* splitter = new QSplitter(Qt::Vertical, inner);
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(3);
    splitter->addWidget(ListView1);
    splitter->addWidget(logPane);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({244, 110});

    auto* innerLayout = new QVBoxLayout(inner);
    innerLayout->setContentsMargins(1, 1, 1, 1);
    innerLayout->setSpacing(0);
    innerLayout->addWidget(splitter, 1);
    innerLayout->addWidget(m_runView->statusBar());

    setCentralWidget(outer);
}

// ---- The list ---------------------------------------------------------------------------------------

void TMainTesselForm::FillWatchList() {
    // A preview names its watch by position, which a changed watch file may give to another watch.
    if (m_previewDialog) m_previewDialog->close();
    ListView1->clear();
    // A missing or unreadable file leaves the rows read so far; nothing is reported.
    std::vector<TWatchRec> watches;
    readAllWatchRecs(m_context.WatchFilePath, watches);
    for (const TWatchRec& watch : watches) {
        auto* row = new QTreeWidgetItem(ListView1);
        row->setText(0, QString::number(watch.WatchIndex));
        row->setText(1, fromBytes(getText(watch.SourceDir)));
        row->setText(2, fromBytes(getText(watch.DestDir)));
        const int picture = GetSinhroWatchType(watch);
        row->setIcon(0, m_pictures[static_cast<std::size_t>(picture)]);
        row->setData(0, kPictureRole, picture);
        row->setData(0, kTypeRole, picture);
        row->setData(0, kMoveRole, watch.FileAction != faCopy);
        row->setData(0, kRunModeRole, int(watch.RunMode));
    }
    updateCommands();
}

int TMainTesselForm::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.constFirst());
}

int TMainTesselForm::selectedWatchIndex() const {
    const int row = selectedRow();
    if (row < 0) return -1;
    bool isNumber = false;
    const int index = ListView1->topLevelItem(row)->text(0).toInt(&isNumber);
    return isNumber && index >= 0 ? index : -1;
}

void TMainTesselForm::selectRow(int row) {
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    if (item == nullptr) return;
    ListView1->setCurrentItem(item);
    item->setSelected(true);
    ListView1->scrollToItem(item);
}

bool TMainTesselForm::isRunning() const {
    return m_runThread != nullptr && m_runThread->isRunning();
}

void TMainTesselForm::updateCommands() {
    const bool idle = !isRunning();
    const bool selected = selectedRow() >= 0;
    // What would start a second run or change the watch file waits until the run has ended.
    for (QAction* action : {AddWatch1, AddWatch2, Load1, CheckAll1}) action->setEnabled(idle);
    for (QAction* action :
         {EditWatch1, EditWatch2, DeleteWatch1, DeleteWatch2, CheckNow1, CheckNow2, Preview1, Preview2})
        action->setEnabled(idle && selected);
    // Looking at kept files disturbs no run.
    for (QAction* action : {OpenVersions1, OpenVersions2}) action->setEnabled(selected);
    if (m_previewDialog) m_previewDialog->setRunAllowed(idle);
    for (QToolButton* button : std::as_const(m_runButtons)) button->setEnabled(idle);
    Stop1->setEnabled(!idle && !m_runThread->stopRequested());
}

// ---- Run display -------------------------------------------------------------------------------------

void TMainTesselForm::setStatusText(const std::string& text) {
    m_runView->setStatusText(text);
}

void TMainTesselForm::setProgressRange(int minimum, int maximum) {
    m_runView->setProgressRange(minimum, maximum);
}

void TMainTesselForm::extendProgressRange(int maximum) {
    m_runView->extendProgressRange(maximum);
}

void TMainTesselForm::setProgressPosition(int position) {
    m_runView->setProgressPosition(position);
}

void TMainTesselForm::stepProgress() {
    m_runView->advance(1);
}

void TMainTesselForm::setProgressVisible(bool visible) {
    m_runView->setProgressVisible(visible);
}

void TMainTesselForm::addCopiedBytes(std::uint64_t bytes) {
    m_runView->addCopiedBytes(bytes);
}

void TMainTesselForm::setRowPicture(int row, int picture) {
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    if (item == nullptr || picture < 0 || picture >= kPictureCount) return;
    item->setIcon(0, m_pictures[static_cast<std::size_t>(picture)]);
    item->setData(0, kPictureRole, picture);
    if (picture == kRunningPicture && isRunning()) m_runningRow = row;
}

void TMainTesselForm::appendLogLine(const std::string& line) {
    m_runView->appendLogLine(line);
}

int TMainTesselForm::logLineCount() const {
    return m_runView->logLineCount();
}

void TMainTesselForm::removeFirstLogLine() {
    m_runView->removeFirstLogLine();
}

// ---- Messages ---------------------------------------------------------------------------------------

void TMainTesselForm::showMessage(const std::string& text) {
    // The engine's own wording of a failed log or watch file write, in the window's.
    if (text == kIoErrorMessage) {
        m_dialogs.showMessage(this, tr("Input/output error: the data was not saved."));
        return;
    }
    m_dialogs.showMessage(this, fromBytes(text));
}

void TMainTesselForm::showWarning(const std::string& text, const std::string& caption) {
    m_dialogs.showWarning(this, fromBytes(text), fromBytes(caption));
}

// ---- Runs -------------------------------------------------------------------------------------------

void TMainTesselForm::startRun(RunKind kind, const std::function<SchedulerReport(RunContext&)>& work) {
    if (!m_runThread->start(m_context.WatchFilePath, m_context.LogFilePath, m_context.options, work)) return;
    m_runKind = kind;
    m_runStart = std::chrono::steady_clock::now();
    updateCommands();
    updateTrayState();
}

void TMainTesselForm::CheckNow1Click() {
    checkNow(selectedWatchIndex());
}

void TMainTesselForm::checkNow(int index) {
    if (index < 0 || isRunning()) return;
    // The running mark, as the timer pass shows it; the run gives the row its own picture back.
    setRowPicture(index, kRunningPicture);
    m_runningRow = index;
    startRun(RunKind::CheckNow, [index](RunContext& context) { return checkWatchNow(context, index); });
}

void TMainTesselForm::PreviewClick() {
    const int index = selectedWatchIndex();
    if (index < 0 || isRunning()) return;
    // A preview of another watch replaces the one on the screen.
    if (m_previewDialog) m_previewDialog->close();
    auto plan = std::make_shared<PlanRecorder>();
    m_previewPlan = plan;
    m_previewIndex = index;
    m_runningRow = index;
    // Called on the run thread; the plan is read on the window's thread only once that has ended.
    startRun(RunKind::Preview,
             [index, plan](RunContext& context) { return previewWatchNow(context, index, *plan); });
}

void TMainTesselForm::showPreview() {
    const std::shared_ptr<PlanRecorder> plan = std::move(m_previewPlan);
    const SchedulerReport& report = m_runThread->report();
    if (!plan || report.ran == 0 || report.result.stopped) {
        // Stopped, or the watch has gone from the watch file meanwhile: there is no plan to show.
        m_runView->setStatusText("");
        return;
    }
    const int index = m_previewIndex;
    // The record the preview read: nothing has written the watch file since.
    const TWatchRec watch = ReadWatchRec(m_context, index);
    if (watch.WatchIndex < 0) return;
    m_runView->showSummary(tr("Preview: %1").arg(fromBytes(totalsLine(plan->totals))));
    auto* dialog = new PreviewDialog(index, watchRoots(watch), std::move(*plan), this);
    connect(dialog, &PreviewDialog::runNowRequested, this, &TMainTesselForm::checkNow);
    m_previewDialog = dialog;
    dialog->show();
}

PreviewDialog* TMainTesselForm::previewDialog() const {
    return m_previewDialog;
}

void TMainTesselForm::OpenVersionsClick() {
    const int index = selectedWatchIndex();
    if (index < 0) return;
    const TWatchRec watch = ReadWatchRec(m_context, index);
    if (watch.WatchIndex < 0) return;
    bool opened = false;
    for (const std::string& folder : versionsFolders(watch)) {
        const QString path = fromBytes(folder);
        if (!QFileInfo(path).isDir()) continue;
        opened = true;
        if (!m_dialogs.openUrl(QUrl::fromLocalFile(path)))
            m_dialogs.showMessage(this, tr("The file manager could not be started to show %1.").arg(path));
    }
    if (opened) return;
    m_dialogs.showMessage(this, m_context.options.keepVersions
                                    ? tr("No versions have been kept for this watch yet: its runs have "
                                         "replaced or deleted no file so far.")
                                    : tr("No versions have been kept for this watch. Keeping versions is "
                                         "switched off (KeepVersions=0 in Tessel.ini)."));
}

void TMainTesselForm::CheckAllClick() {
    if (isRunning()) return;
    m_runningRow = -1;
    startRun(RunKind::CheckAll, [](RunContext& context) {
        SchedulerReport total;
        std::vector<TWatchRec> watches;
        readAllWatchRecs(context.WatchFilePath, watches);
        for (std::size_t position = 0; position < watches.size(); ++position) {
            // A watch set to Stop is one the user has put aside.
            if (watches[position].RunMode == rmStop) continue;
            if (context.stopRequested()) break;
            const int index = static_cast<int>(position);
            context.display.setRowPicture(index, kRunningPicture);
            const SchedulerReport report = checkWatchNow(context, index);
            total.ran += report.ran;
            total.missing += report.missing;
            total.unsaved += report.unsaved;
            total.result += report.result;
            if (report.result.stopped) break;
        }
        return total;
    });
}

void TMainTesselForm::StopClick() {
    if (!isRunning()) return;
    m_runThread->requestStop();
    updateCommands();
    m_runView->setStatusText(toBytes(tr("Stopping after the current file...")));
}

void TMainTesselForm::Timer2Timer() {
    // One thing at a time: a pass that comes during a run waits for its end.
    if (isRunning()) {
        m_passWaiting = true;
        return;
    }
    // Off for the whole pass; it starts again when the pass has ended.
    Timer2->stop();
    m_runningRow = -1;
    startRun(RunKind::TimerPass, [](RunContext& context) { return runDueWatches(context); });
    if (!isRunning()) Timer2->start();
}

void TMainTesselForm::runOnStartWatches() {
    if (!m_onStartPending || m_closed) return;
    m_onStartPending = false;
    m_runningRow = -1;
    startRun(RunKind::OnStart, [](RunContext& context) { return tessel::runOnStartWatches(context); });
}

void TMainTesselForm::runEnded() {
    const SchedulerReport& report = m_runThread->report();
    const RunResult& result = report.result;
    // A preview changed nothing: what the last run did stays what it was.
    if (m_runKind != RunKind::Preview) m_lastResult = result;
    // Rows still showing the running mark (a record that was not found) get their own pictures back.
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = ListView1->topLevelItem(row);
        if (item->data(0, kPictureRole) != item->data(0, kTypeRole))
            setRowPicture(row, item->data(0, kTypeRole).toInt());
    }
    if (m_runKind == RunKind::Preview) {
        // A preview did nothing: no summary line in the log, only its plan on the screen.
        if (!m_exitAfterRun && !m_closeAfterRun) showPreview();
        m_previewPlan.reset();
    } else if (report.ran > 0) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_runStart).count();
        WriteLogLine(m_context, toBytes(summaryLine(result, seconds)));
        const QString summary = summaryText(result, seconds);
        m_runView->showSummary(summary);
        m_lastRunState =
            tr("last run %1, %2")
                .arg(QLocale().toString(QTime::currentTime(), QLocale::ShortFormat), shortSummary(result));
        if (!isVisible() && (result.failed > 0 || result.refusedDeletions > 0))
            m_tray->notify(tr("Tessel: a run needs your attention"), summary);
    } else if (m_runThread->stopRequested()) {
        m_runView->setStatusText("");
    }
    m_runningRow = -1;
    if (m_runKind == RunKind::TimerPass) Timer2->start();
    if (m_runKind == RunKind::OnStart) WriteLogLine(m_context, "Start Work Program");
    updateCommands();
    updateTrayState();
    emit runFinished();

    if (m_exitAfterRun) {
        m_exitAfterRun = false;
        Exit1Click();
    } else if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    } else if (m_passWaiting) {
        m_passWaiting = false;
        Timer2Timer();
    }
}

void TMainTesselForm::updateTrayState() {
    if (!isRunning()) {
        m_tray->setState(m_lastRunState);
        return;
    }
    QString state;
    if (QTreeWidgetItem* item = ListView1->topLevelItem(m_runningRow)) {
        const QString name = folderName(item->text(1));
        if (m_runKind == RunKind::Preview)
            state = tr("previewing %1").arg(name);
        else
            state =
                item->data(0, kMoveRole).toBool() ? tr("moving %1").arg(name) : tr("copying %1").arg(name);
    } else {
        state = tr("running");
    }
    if (m_runThread->stopRequested()) state = tr("stopping");
    m_tray->setState(tr("%1, %2 %").arg(state).arg(m_runView->percentDone()));
}

// ---- Commands ---------------------------------------------------------------------------------------

void TMainTesselForm::Load1Click() {
    if (isRunning()) return;
    QString path = m_dialogs.chooseWatchFile(this);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".wth");
    m_context.WatchFilePath = toBytes(QFileInfo(path).absoluteFilePath());
    // Row i must show record i of the current file for every command that follows.
    FillWatchList();
}

void TMainTesselForm::Exit1Click() {
    if (isRunning()) {
        // The run ends at the next file first; the exit path follows.
        m_exitAfterRun = true;
        StopClick();
        return;
    }
    WriteLogLine(m_context, "End Work Program");
    // Like any failed command, a setting that cannot be stored stops here and the program goes on.
    if (!WriteIniData()) return;
    close();
}

bool TMainTesselForm::WriteIniData() {
    // The folder of this moment, not that of the start: Tessel.ini belongs where Tessel now stands.
    std::string folder;
    std::error_code error;
    if (!platform::currentFolder(folder, error)) return true;
    if (writeMinimizeOnStart(folder, MinimizeOnStartFlag, error)) return true;
    showError(unableToWriteMessage(settingsFilePath(folder)));
    return false;
}

void TMainTesselForm::MinimizeonStart1Click() {
    // The menu item has already moved its check mark; the settings file is written only on Exit.
    MinimizeOnStartFlag.assign(1, MinimizeonStart1->isChecked() ? '1' : '0');
}

void TMainTesselForm::AddWatch1Click() {
    if (isRunning()) return;
    Timer2->stop();
    {
        TEditWatchForm editor(m_context, m_dialogs, -1, this);
        m_dialogs.runEditor(editor);
    }
    FillWatchList();
    Timer2->start();
}

void TMainTesselForm::EditWatch1Click() {
    const int row = selectedRow();
    const int index = selectedWatchIndex();
    if (index < 0 || isRunning()) return;
    Timer2->stop();
    {
        TEditWatchForm editor(m_context, m_dialogs, index, this);
        m_dialogs.runEditor(editor);
    }
    FillWatchList();
    Timer2->start();
    selectRow(row);
}

void TMainTesselForm::DeleteWatch1Click() {
    if (isRunning()) return;
    const int index = selectedWatchIndex();
    if (index >= 0 && m_dialogs.confirmDelete(this))
        DelWatchFromFile(m_context, m_context.WatchFilePath, index);
    FillWatchList();
}

void TMainTesselForm::ViewLogClick() {
    if (m_logViewer.isNull()) m_logViewer = new LogViewer(this);
    m_logViewer->showFile(fromBytes(m_context.LogFilePath));
}

void TMainTesselForm::Watch1Click() {
    updateCommands();
}

void TMainTesselForm::PopupMenu1Popup() {
    updateCommands();
}

void TMainTesselForm::Timer1Timer() {
    Timer1->stop();
    // Only the brief display's own box: an "About ..." box opened meanwhile stays until its "Ok".
    if (m_briefDisplay) m_briefDisplay->close();
}

void TMainTesselForm::Timer3Timer() {
    Timer3->stop();
    MinimizeToTray();
}

void TMainTesselForm::contextMenuEvent(QContextMenuEvent* event) {
    m_tray->menu()->exec(event->globalPos());
}

// ---- Start and end ----------------------------------------------------------------------------------

void TMainTesselForm::applySettings(const Settings& settings) {
    DataPath = settings.DataPath;
    m_context.WatchFilePath = settings.WatchFilePath;
    m_context.LogFilePath = settings.LogFilePath;
    MinimizeOnStartFlag = settings.MinimizeOnStartFlag;
    m_context.options = settings.options;
    m_context.options.stateFolder = stateFolderFor(settings.DataPath);
}

void TMainTesselForm::FormCreate() {
    m_runView->logArea()->clear();

    std::string folder;
    std::error_code error;
    if (!platform::currentFolder(folder, error)) {
        // Without a current folder (it was deleted under Tessel) there is nowhere to keep the settings.
        showError(unableToWriteMessage(kSettingsFileName));
        return;
    }
    const std::string settingsFile = settingsFilePath(folder);
    Settings settings;
    if (platform::fileExists(settingsFile)) {
        // An unreadable file gives every key its default, as a file without the keys would.
        readSettings(folder, settings, error);
        applySettings(settings);
    } else {
        const bool created = createSettings(folder, settings, error);
        // The values written before a failure count; the rest stay empty.
        applySettings(settings);
        if (!created) {
            showError(unableToWriteMessage(settingsFile));
            return;
        }
    }

    FillWatchList();
    // The On Start watches run once the window is on the screen; "Start Work Program" follows them.
    for (int row = 0; row < ListView1->topLevelItemCount() && !m_onStartPending; ++row)
        m_onStartPending = ListView1->topLevelItem(row)->data(0, kRunModeRole).toInt() == rmOnStart;
    const bool minimizeOnStart = MinimizeOnStartFlag == "1";
    MinimizeonStart1->setChecked(minimizeOnStart);
    if (!m_onStartPending) WriteLogLine(m_context, "Start Work Program");
    if (minimizeOnStart) Timer3->start();
    HelpFile = helpContents();
}

void TMainTesselForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Each time the window becomes visible; the desktop's own exposures do not count.
    if (event->spontaneous()) return;
    FormShow();
    // After the window has been painted once.
    if (m_onStartPending) QTimer::singleShot(0, this, &TMainTesselForm::runOnStartWatches);
}

void TMainTesselForm::FormShow() {
    // A window shown again within the two seconds gets a new box; the old one must not stay for good.
    if (m_briefDisplay) m_briefDisplay->close();
    TTesselSplashForm* box = newAboutBox();
    box->Button1->hide();
    m_briefDisplay = box;
    m_tray->removeIcon();
    box->show();
    Timer1->start();
}

void TMainTesselForm::closeEvent(QCloseEvent* event) {
    if (isRunning()) {
        // The run ends at the next file first; the window closes after it.
        m_closeAfterRun = true;
        StopClick();
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    m_closed = true;
    emit closed();
}

void TMainTesselForm::FormClose() {
    WriteLogLine(m_context, "End Work Program");
    m_helpViewer.closeAll();
    if (m_logViewer) m_logViewer->close();
}

void TMainTesselForm::FormDestroy() {
    m_tray->destroyIcon();
    for (const QPointer<TTesselSplashForm>& box : std::as_const(m_aboutBoxes)) delete box;
    m_aboutBoxes.clear();
}

void TMainTesselForm::showError(const std::string& text) {
    QString message = fromBytes(text);
    if (!message.endsWith(QLatin1Char('.'))) message += QLatin1Char('.');
    m_dialogs.showError(this, message, applicationTitle());
}

// ---- Tray icon ----------------------------------------------------------------------------------------

void TMainTesselForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Hidden once the state change is over: hiding a window in the middle of it confuses some window
    // managers. And only where a notification area exists; otherwise the window would be gone for good.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_dialogs.systemTrayAvailable())
        QMetaObject::invokeMethod(this, &TMainTesselForm::MinimizeToTray, Qt::QueuedConnection);
}

void TMainTesselForm::MinimizeToTray() {
    if (!m_dialogs.systemTrayAvailable()) {
        // Nowhere to put an icon: minimised the ordinary way, the window stays on the task bar.
        if (!isMinimized()) showMinimized();
        return;
    }
    updateTrayState();
    m_tray->showIcon();
    // Shown again from the tray, the window comes back in its normal size.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    hide();
}

void TMainTesselForm::bringToFront() {
    show();
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

// ---- About, help and feedback ---------------------------------------------------------------------

TTesselSplashForm* TMainTesselForm::newAboutBox() {
    m_aboutBoxes.removeAll(nullptr);
    auto* box = new TTesselSplashForm(m_dialogs);
    m_aboutBoxes.append(box);
    return box;
}

TTesselSplashForm* TMainTesselForm::briefDisplay() const {
    return m_briefDisplay;
}

QList<TTesselSplashForm*> TMainTesselForm::aboutBoxes() const {
    QList<TTesselSplashForm*> boxes;
    for (const QPointer<TTesselSplashForm>& box : m_aboutBoxes)
        if (box && box->isVisible()) boxes.append(box);
    return boxes;
}

void TMainTesselForm::About2Click() {
    newAboutBox()->show();
}

void TMainTesselForm::Help1Click() {
    if (!m_helpAvailable || !QFileInfo(HelpFile).isFile()) return;
    m_helpViewer.showContents(HelpFile, this);
}

void TMainTesselForm::TesselHelp1Click() {
    sendMail(bugReportLink());
}

void TMainTesselForm::Send1Click() {
    sendMail(commentsLink());
}

void TMainTesselForm::sendMail(const QString& link) {
    if (!m_dialogs.openUrl(QUrl(link))) m_dialogs.showMessage(this, tr("Auto method failed."));
}
