#include "ui/MainWindow.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include "TesselVersion.h"
#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "ui/Dialogs.h"
#include "ui/Help.h"
#include "ui/Pictures.h"
#include "ui/RunView.h"
#include "ui/SplashFrm.h"
#include "ui/StatusBar.h"
#include "ui/TrayIcon.h"
#include "ui/WatchFileMonitor.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "ui/WindowMessages.h"
#include "ui/WindowRunDisplay.h"
#include "ui/WindowState.h"
#include "watch/EventLog.h"

using namespace tessel;

namespace {

constexpr QSize kWindowSize(696, 480);
// What a window manager's frame usually adds, for placing the window before it has one; once it is on
// the screen the real frame counts.
constexpr QMargins kFrameGuess(6, 30, 6, 6);
constexpr std::chrono::milliseconds kSplashTime{2000};
// The window manager frames a shown window a moment later and says nothing when it has: the frame is
// looked for this often, for about a second.
constexpr std::chrono::milliseconds kFrameCheckInterval{50};
constexpr int kFrameChecks = 20;
// Soon after the start, once the window has been on the screen.
constexpr std::chrono::milliseconds kMinimizeAfterStart{500};

}  // namespace

MainWindow::MainWindow(Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_dialogs(dialogs), m_messages(std::make_unique<WindowMessages>(dialogs, *this)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Tessel v ") + QLatin1String(kTesselVersion));
    setWindowIcon(programIcon());
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    m_commands = new WindowCommands(*this);
    m_commands->addMenus();
    m_commands->addToolBar();
    createPanel();
    m_tray = new TesselTray(
        m_dialogs,
        {m_commands->showWindowAction(), m_commands->checkAllAction(), m_commands->stopAction(),
         m_commands->pauseAllFollowingAction(), nullptr, m_commands->exitAction()},
        this);
    connect(m_tray->menu(), &QMenu::aboutToShow, m_commands, &WindowCommands::updateFollowCommands);
    connect(m_tray, &TesselTray::clicked, this, &MainWindow::bringToFront);
    connect(m_tray, &TesselTray::notificationClicked, this, &MainWindow::showNoticedRun);
    m_watchFiles = new WatchFileMonitor(this);
    connect(m_watchFiles, &WatchFileMonitor::changed, this, &MainWindow::refreshWatchList);

    m_display = new WindowRunDisplay(*m_runView, *m_watchList, *m_tray, *this);
    m_context = std::make_unique<RunContext>(*m_display, *m_messages);
    m_runs = new RunCoordinator(*m_context, this);
    connect(m_runs, &RunCoordinator::commandsChanged, m_commands, &WindowCommands::updateCommands);
    connect(m_runs, &RunCoordinator::runStarted, m_display, &WindowRunDisplay::showRunStarted);
    connect(m_runs, &RunCoordinator::progressed, m_display, &WindowRunDisplay::updateTrayState);
    connect(m_runs, &RunCoordinator::stopRequested, m_display, &WindowRunDisplay::showStopping);
    connect(m_runs, &RunCoordinator::runEnded, this, &MainWindow::runEnded);
    connect(m_runs, &RunCoordinator::leaveRequested, this, &MainWindow::leaveAfterRun);
    m_commands->attachWatchList(*m_watchList);

    m_splashTimer = new QTimer(this);
    m_splashTimer->setObjectName(QStringLiteral("splashTimer"));
    m_splashTimer->setInterval(kSplashTime);
    connect(m_splashTimer, &QTimer::timeout, this, &MainWindow::closeSplash);
    m_minimizeToTrayTimer = new QTimer(this);
    m_minimizeToTrayTimer->setObjectName(QStringLiteral("minimizeToTrayTimer"));
    m_minimizeToTrayTimer->setInterval(kMinimizeAfterStart);
    connect(m_minimizeToTrayTimer, &QTimer::timeout, this, &MainWindow::minimizeAfterStart);

    m_frameTimer = new QTimer(this);
    m_frameTimer->setObjectName(QStringLiteral("frameTimer"));
    m_frameTimer->setInterval(kFrameCheckInterval);
    connect(m_frameTimer, &QTimer::timeout, this, &MainWindow::keepFrameOnScreen);

    fitToScreen();
    m_commands->updateCommands();
}

MainWindow::~MainWindow() {
    // A tray icon must not outlive the window it stands for, nor an about box the program.
    m_tray->destroyIcon();
    for (const QPointer<TTesselSplashForm>& box : std::as_const(m_aboutBoxes)) delete box;
    m_aboutBoxes.clear();
    // The run thread ends before the display and the message boxes it shows its work with.
    delete m_runs;
    m_runs = nullptr;
}

void MainWindow::fitToScreen() {
    // The designed size, or the screen's room at a large scale factor, centred.
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        resize(kWindowSize);
        return;
    }
    const QRect available = screen->availableGeometry();
    QRect centred(QPoint(), kWindowSize);
    centred.moveCenter(available.center());
    setGeometry(placeInside(centred, kFrameGuess, available));
}

void MainWindow::keepFrameOnScreen() {
    const QRect inside = geometry();
    const QRect frame = frameGeometry();
    // Framed, or never to be: a desktop without a window manager draws no frame.
    if (frame != inside || ++m_frameChecks >= kFrameChecks) m_frameTimer->stop();
    // A window that fills the screen is the window manager's to place.
    if (!isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        return;
    const QScreen* screen = this->screen();
    if (screen == nullptr) return;
    const QMargins margins(inside.left() - frame.left(), inside.top() - frame.top(),
                           frame.right() - inside.right(), frame.bottom() - inside.bottom());
    const QRect placed = placeInside(inside, margins, screen->availableGeometry());
    if (placed != inside) setGeometry(placed);
}

void MainWindow::createPanel() {
    // A raised panel inside a lowered one: the double bevel around the list, the log and the status bar.
    auto* outer = new QFrame(this);
    outer->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* inner = new QFrame(outer);
    inner->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* outerLayout = new QVBoxLayout(outer);
    outerLayout->setContentsMargins(0, 0, 0, 0);
    outerLayout->addWidget(inner);

    m_watchList = new WatchList(inner);
    m_runView = new RunView(inner, this);

    auto* logPane = new QWidget(inner);
    auto* logCaption = new QLabel(tr("Log"), logPane);
    logCaption->setAlignment(Qt::AlignCenter);
    logCaption->setFrameStyle(QFrame::Panel | QFrame::Raised);
    logCaption->setFixedHeight(26);
    auto* logLayout = new QVBoxLayout(logPane);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->setSpacing(0);
    logLayout->addWidget(logCaption);
    logLayout->addWidget(m_runView->logArea(), 1);

    // The list takes what a larger window gains; the log keeps its few lines' height.
    auto* splitter = new QSplitter(Qt::Vertical, inner);
    splitter->setObjectName(QStringLiteral("listAndLog"));
    m_splitter = splitter;
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(3);
    splitter->addWidget(m_watchList);
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

const RunResult& MainWindow::lastRunResult() const {
    return m_display->lastRunResult();
}

void MainWindow::fillWatchList(int selectedWatch) {
    m_commands->closePreview();
    m_watchList->fill(m_context->WatchFilePath);
    m_watchFiles->follow(m_context->WatchFilePath);
    if (selectedWatch >= 0) m_watchList->selectWatch(selectedWatch);
    m_commands->updateCommands();
}

void MainWindow::refreshWatchList() {
    if (m_watchList->refresh(m_context->WatchFilePath)) return;
    // Other watches: the rows are made anew once no run goes, since a run shows its progress on the row
    // of its watch's number. The end of the run refreshes the list again.
    if (isRunning()) return;
    const int selected = m_watchList->selectedWatchIndex();
    const ListedWatch* shown = m_watchList->listedWatch(selected);
    const std::string source = shown != nullptr ? getText(shown->record.SourceDir) : std::string();
    const std::string destination = shown != nullptr ? getText(shown->record.DestDir) : std::string();
    fillWatchList();
    // Still selected where its number still names it.
    const ListedWatch* now = m_watchList->listedWatch(selected);
    if (now != nullptr && getText(now->record.SourceDir) == source &&
        getText(now->record.DestDir) == destination)
        m_watchList->selectWatch(selected);
}

// ---- Runs --------------------------------------------------------------------------------------------

void MainWindow::runEnded(RunCoordinator::RunKind kind) {
    m_display->showRunEnded(*m_runs, *m_context);
    // The last results and last run times the run has just written.
    refreshWatchList();
    if (kind == RunCoordinator::RunKind::Preview) {
        std::shared_ptr<PlanRecorder> plan = m_runs->takePreviewPlan();
        // A window on its way out shows no plan.
        if (!m_runs->leaving())
            m_commands->showPreview(m_runs->previewIndex(), std::move(plan), m_runs->report());
    }
    if (kind == RunCoordinator::RunKind::OnStart) WriteLogLine(*m_context, "Start Work Program");
    m_commands->updateCommands();
    m_display->updateTrayState();
    emit runFinished();
}

void MainWindow::showNoticedRun() {
    if (const std::optional<WatchRunSummary>& run = m_display->noticedRun()) m_commands->viewLogAtRun(*run);
}

void MainWindow::leaveAfterRun(RunCoordinator::Leave how) {
    if (how == RunCoordinator::Leave::Exit)
        exitProgram();
    else
        close();
}

// ---- Start and end ----------------------------------------------------------------------------------

void MainWindow::applySettings(const Settings& settings, const std::string& settingsFile) {
    m_dataPath = settings.DataPath;
    m_context->WatchFilePath = settings.WatchFilePath;
    m_context->LogFilePath = settings.LogFilePath;
    m_minimizeOnStartFlag = settings.MinimizeOnStartFlag;
    m_context->options = settings.options;
    m_context->options.stateFolder = stateFolderFor(settings.DataPath);
    m_context->options.settingsFile = settingsFile;
}

void MainWindow::startUp() {
    m_runView->logArea()->clear();

    std::string folder;
    std::error_code error;
    if (!platform::currentFolder(folder, error)) {
        // Without a current folder (it was deleted under Tessel) there is nowhere to keep the settings.
        m_messages->showError(unableToWriteMessage(kSettingsFileName));
        return;
    }
    const std::string settingsFile = settingsFilePath(folder);
    Settings settings;
    WindowState state;
    if (platform::fileExists(settingsFile)) {
        // An unreadable file gives every key its default, as a file without the keys would.
        readSettings(folder, settings, error);
        applySettings(settings, settingsFile);
        state = readWindowState(settingsFile);
    } else {
        const bool created = createSettings(folder, settings, error);
        // The values written before a failure count; the rest stay empty.
        applySettings(settings, settingsFile);
        if (!created) {
            m_messages->showError(unableToWriteMessage(settingsFile));
            return;
        }
    }

    m_startWatchFile = settings.WatchFilePath;
    m_startSelection = state.selectedWatch;
    restoreWindowState(state);
    fillWatchList(state.selectedWatch);
    // The watches that run on change are followed while the window runs, hidden in the tray too.
    m_runs->startFollowing();
    // The On Start watches run once the window is on the screen; "Start Work Program" follows them.
    if (m_watchList->hasOnStartWatch()) m_runs->queueOnStartWatches();
    const bool minimizeOnStart = m_minimizeOnStartFlag == "1";
    m_commands->minimizeOnStartAction()->setChecked(minimizeOnStart);
    if (!m_runs->onStartWatchesQueued()) WriteLogLine(*m_context, "Start Work Program");
    if (minimizeOnStart) m_minimizeToTrayTimer->start();
    m_commands->setHelpFile(helpContents());
}

void MainWindow::toggleMinimizeOnStart() {
    // The menu item has already moved its check mark; the settings file is written only on Exit.
    m_minimizeOnStartFlag.assign(1, m_commands->minimizeOnStartAction()->isChecked() ? '1' : '0');
}

bool MainWindow::storeMinimizeOnStart() {
    // The folder of this moment, not that of the start: Tessel.ini belongs where Tessel now stands.
    std::string folder;
    std::error_code error;
    if (!platform::currentFolder(folder, error)) return true;
    if (writeMinimizeOnStart(folder, m_minimizeOnStartFlag, error)) return true;
    m_messages->showError(unableToWriteMessage(settingsFilePath(folder)));
    return false;
}

void MainWindow::exitProgram() {
    // During a run, the run ends at the next file first; the exit path follows its end.
    if (!m_runs->requestLeave(RunCoordinator::Leave::Exit)) return;
    // Like any failed command, a setting that cannot be stored stops here and the program goes on.
    if (!storeMinimizeOnStart()) return;
    // The closing logs "End Work Program", once, as every way out of Tessel does.
    close();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Each time the window becomes visible; the desktop's own exposures do not count.
    if (event->spontaneous()) return;
    // The window manager frames the window only once it is shown; the frame must fit the screen too.
    m_frameChecks = 0;
    m_frameTimer->start();
    showSplash();
    // After the window has been painted once.
    if (m_runs->onStartWatchesQueued()) QTimer::singleShot(0, m_runs, &RunCoordinator::runOnStartWatches);
}

void MainWindow::showSplash() {
    // A window shown again within the two seconds gets a new box; the old one must not stay for good.
    if (m_splash) m_splash->close();
    TTesselSplashForm* box = newAboutBox();
    box->Button1->hide();
    m_splash = box;
    m_tray->removeIcon();
    box->show();
    m_splashTimer->start();
}

void MainWindow::closeSplash() {
    m_splashTimer->stop();
    // Only the splash's own box: an "About ..." box opened meanwhile stays until its "Ok".
    if (m_splash) m_splash->close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // During a run, the run ends at the next file first; the window closes after it.
    if (!m_runs->requestLeave(RunCoordinator::Leave::Close)) {
        event->ignore();
        return;
    }
    storeWindowState();
    finishWork();
    event->accept();
    // On Start watches that have not begun yet no longer will.
    m_runs->cancelOnStartWatches();
    emit closed();
}

void MainWindow::finishWork() {
    WriteLogLine(*m_context, "End Work Program");
    m_commands->closeViewers();
}

// ---- Tray icon ----------------------------------------------------------------------------------------

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Hidden once the state change is over: hiding a window in the middle of it confuses some window
    // managers. And only where a notification area exists; otherwise the window would be gone for good.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_dialogs.systemTrayAvailable())
        QMetaObject::invokeMethod(this, &MainWindow::minimizeToTray, Qt::QueuedConnection);
}

void MainWindow::minimizeAfterStart() {
    m_minimizeToTrayTimer->stop();
    minimizeToTray();
}

void MainWindow::minimizeToTray() {
    if (!m_dialogs.systemTrayAvailable()) {
        // Nowhere to put an icon: minimised the ordinary way, the window stays on the task bar.
        if (!isMinimized()) showMinimized();
        return;
    }
    m_display->updateTrayState();
    m_tray->showIcon();
    // Shown again from the tray, the window comes back in its normal size.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    hide();
}

void MainWindow::bringToFront() {
    show();
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    m_tray->menu()->exec(event->globalPos());
}

// ---- About boxes ------------------------------------------------------------------------------------

TTesselSplashForm* MainWindow::newAboutBox() {
    m_aboutBoxes.removeAll(nullptr);
    auto* box = new TTesselSplashForm(m_dialogs);
    m_aboutBoxes.append(box);
    return box;
}

void MainWindow::showAbout() {
    newAboutBox()->show();
}

TTesselSplashForm* MainWindow::splash() const {
    return m_splash;
}

QList<TTesselSplashForm*> MainWindow::aboutBoxes() const {
    QList<TTesselSplashForm*> boxes;
    for (const QPointer<TTesselSplashForm>& box : m_aboutBoxes)
        if (box && box->isVisible()) boxes.append(box);
    return boxes;
}

// ---- What the window remembers ----------------------------------------------------------------------

void MainWindow::restoreWindowState(const WindowState& state) {
    if (state.geometry) {
        const QScreen* screen = QGuiApplication::screenAt(state.geometry->center());
        if (screen == nullptr) screen = this->screen();
        // Never smaller than the window can be, or it would grow past the place found for it.
        const QRect wanted(state.geometry->topLeft(), state.geometry->size().expandedTo(minimumSizeHint()));
        // A screen smaller than the last one, or gone: the window comes back inside the one it is on.
        if (screen != nullptr) setGeometry(placeInside(wanted, kFrameGuess, screen->availableGeometry()));
    }
    if (state.maximized) setWindowState(windowState() | Qt::WindowMaximized);
    m_watchList->setColumnWidths(state.columnWidths);
    if (state.sortColumn && *state.sortColumn < WatchList::ColumnCount)
        m_watchList->sortByColumn(*state.sortColumn, state.sortOrder);
    if (state.logHeight) {
        const QList<int> sizes = m_splitter->sizes();
        const int whole = sizes.size() == 2 ? sizes[0] + sizes[1] : 0;
        m_splitter->setSizes({std::max(1, whole - *state.logHeight), *state.logHeight});
    }
}

WindowState MainWindow::stateToRemember() const {
    WindowState state;
    state.geometry = normalGeometry();
    state.maximized = isMaximized();
    state.columnWidths = m_watchList->columnWidths();
    state.sortColumn = m_watchList->sortColumn();
    state.sortOrder = m_watchList->header()->sortIndicatorOrder();
    // A watch file loaded since the start is not the one the next start shows: its selection would name
    // another watch there.
    state.selectedWatch =
        m_context->WatchFilePath == m_startWatchFile ? m_watchList->selectedWatchIndex() : m_startSelection;
    const QList<int> sizes = m_splitter->sizes();
    if (sizes.size() == 2) state.logHeight = sizes[1];
    return state;
}

void MainWindow::storeWindowState() {
    // Only into the settings file this window was started with; a window that found none keeps nothing.
    const std::string& settingsFile = m_context->options.settingsFile;
    if (settingsFile.empty()) return;
    std::error_code error;
    // Where the window was is not worth a box at the end: the next start takes the designed place.
    writeWindowState(settingsFile, stateToRemember(), error);
}
