#include "ui/WindowCommands.h"

#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <string>

#include "ui/Autostart.h"
#include "ui/Dialogs.h"
#include "ui/EditWatch.h"
#include "ui/Feedback.h"
#include "ui/LogViewer.h"
#include "ui/MainWindow.h"
#include "ui/Pictures.h"
#include "ui/PlanModel.h"
#include "ui/PreviewDialog.h"
#include "ui/RestoreDialog.h"
#include "ui/RunCoordinator.h"
#include "ui/RunView.h"
#include "ui/Texts.h"
#include "ui/WatchList.h"
#include "ui/WatchRoots.h"
#include "ui/WindowRunDisplay.h"
#include "watch/EventLog.h"
#include "watch/RunSummary.h"
#include "watch/WatchFile.h"

using namespace tessel;

template <class Receiver>
QAction* WindowCommands::makeAction(const char* name, const QString& text, Receiver* receiver,
                                    void (Receiver::*run)(), const QKeySequence& key) {
    auto* made = new QAction(text, &m_window);
    made->setObjectName(QLatin1String(name));
    if (!key.isEmpty()) made->setShortcut(key);
    connect(made, &QAction::triggered, receiver, run);
    return made;
}

WindowCommands::WindowCommands(MainWindow& window) : QObject(&window), m_window(window) {
    using C = WindowCommands;
    MainWindow* w = &window;
    m_loadWatchFileAction =
        makeAction("loadWatchFileAction", tr("&Load Watches..."), this, &C::loadWatchFile, {});
    m_viewLogAction = makeAction("viewLogAction", tr("&View Log"), this, &C::viewLog, Qt::CTRL | Qt::Key_L);
    m_exitAction = makeAction("exitAction", tr("E&xit"), w, &MainWindow::exitProgram, {});
    m_addWatchAction =
        makeAction("addWatchAction", tr("&Add Watch..."), this, &C::addWatch, QKeySequence::New);
    m_editWatchAction = makeAction("editWatchAction", tr("&Edit Watch..."), this, &C::editSelectedWatch, {});
    m_deleteWatchAction = makeAction("deleteWatchAction", tr("&Delete Watch"), this, &C::deleteSelectedWatch,
                                     QKeySequence::Delete);
    m_checkNowAction =
        makeAction("checkNowAction", tr("Check &Now"), this, &C::checkSelectedWatchNow, Qt::Key_F5);
    m_previewAction = makeAction("previewAction", tr("&Preview..."), this, &C::previewSelectedWatch,
                                 Qt::SHIFT | Qt::Key_F5);
    m_restoreFilesAction = makeAction("restoreFilesAction", tr("&Restore Files..."), this, &C::restoreFiles,
                                      Qt::CTRL | Qt::Key_R);
    m_openVersionsAction =
        makeAction("openVersionsAction", tr("Open &Versions Folder"), this, &C::openVersionsFolders, {});
    m_stopAction = makeAction("stopAction", tr("&Stop"), this, &C::stopRun, Qt::Key_Escape);
    m_minimizeOnStartAction = makeAction("minimizeOnStartAction", tr("&Minimize on Start"), w,
                                         &MainWindow::toggleMinimizeOnStart, {});
    m_minimizeOnStartAction->setCheckable(true);
    m_helpAction = makeAction("helpAction", tr("&Help"), this, &C::showHelp, QKeySequence::HelpContents);
    m_bugReportAction =
        makeAction("bugReportAction", tr("Send Your &Bug Reports..."), this, &C::sendBugReport, {});
    m_commentsAction = makeAction("commentsAction", tr("Send Your &Comments..."), this, &C::sendComments, {});
    m_aboutAction = makeAction("aboutAction", tr("&About..."), w, &MainWindow::showAbout, {});
    m_listAddWatchAction = makeAction("listAddWatchAction", m_addWatchAction->text(), this, &C::addWatch, {});
    m_listEditWatchAction =
        makeAction("listEditWatchAction", m_editWatchAction->text(), this, &C::editSelectedWatch, {});
    m_listDeleteWatchAction =
        makeAction("listDeleteWatchAction", m_deleteWatchAction->text(), this, &C::deleteSelectedWatch, {});
    m_listCheckNowAction =
        makeAction("listCheckNowAction", m_checkNowAction->text(), this, &C::checkSelectedWatchNow, {});
    m_listPreviewAction =
        makeAction("listPreviewAction", m_previewAction->text(), this, &C::previewSelectedWatch, {});
    m_listRestoreFilesAction =
        makeAction("listRestoreFilesAction", m_restoreFilesAction->text(), this, &C::restoreFiles, {});
    m_listOpenVersionsAction =
        makeAction("listOpenVersionsAction", m_openVersionsAction->text(), this, &C::openVersionsFolders, {});
    m_showWindowAction = makeAction("showWindowAction", tr("S&how Tessel"), w, &MainWindow::bringToFront, {});
    m_checkAllAction =
        makeAction("checkAllAction", tr("&Check All Watches Now"), this, &C::checkAllWatches, {});
    // Checkable: triggered with the new check mark.
    const auto pauseAction = [this](const char* name, const QString& text, void (C::*pause)(bool)) {
        auto* made = new QAction(text, &m_window);
        made->setObjectName(QLatin1String(name));
        made->setCheckable(true);
        made->setEnabled(false);
        connect(made, &QAction::triggered, this, pause);
        return made;
    };
    m_pauseFollowingAction =
        pauseAction("pauseFollowingAction", tr("Pause &Following"), &C::pauseSelectedWatchFollowing);
    m_listPauseFollowingAction = pauseAction("listPauseFollowingAction", m_pauseFollowingAction->text(),
                                             &C::pauseSelectedWatchFollowing);
    m_pauseAllFollowingAction =
        pauseAction("pauseAllFollowingAction", tr("Pause &Following"), &C::pauseAllFollowing);
}

void WindowCommands::addMenus() {
    QMenuBar* bar = m_window.menuBar();
    QMenu* file = bar->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    file->addActions({m_loadWatchFileAction, m_viewLogAction});
    file->addSeparator();
    file->addAction(m_exitAction);

    QMenu* watch = bar->addMenu(tr("&Watch"));
    watch->setObjectName(QStringLiteral("watchMenu"));
    watch->addActions({m_addWatchAction, m_editWatchAction, m_deleteWatchAction});
    watch->addSeparator();
    watch->addActions({m_checkNowAction, m_checkAllAction, m_previewAction, m_stopAction});
    watch->addSeparator();
    watch->addActions({m_restoreFilesAction, m_openVersionsAction, m_pauseFollowingAction});
    connect(watch, &QMenu::aboutToShow, this, &WindowCommands::updateCommands);
    connect(watch, &QMenu::aboutToShow, this, &WindowCommands::updateFollowCommands);

    QMenu* settings = bar->addMenu(tr("&Settings"));
    settings->setObjectName(QStringLiteral("settingsMenu"));
    settings->addAction(m_minimizeOnStartAction);
    addAutostartItem(settings, m_window.dialogs());

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    help->addActions({m_helpAction, m_bugReportAction, m_commentsAction});
    help->addSeparator();
    help->addAction(m_aboutAction);

    m_watchListMenu = new QMenu(&m_window);
    m_watchListMenu->setObjectName(QStringLiteral("watchListMenu"));
    m_watchListMenu->addActions({m_listAddWatchAction, m_listEditWatchAction, m_listDeleteWatchAction});
    m_watchListMenu->addSeparator();
    m_watchListMenu->addActions({m_listCheckNowAction, m_listPreviewAction});
    m_watchListMenu->addSeparator();
    m_watchListMenu->addActions(
        {m_listRestoreFilesAction, m_listOpenVersionsAction, m_listPauseFollowingAction});
    connect(m_watchListMenu, &QMenu::aboutToShow, this, &WindowCommands::updateCommands);
    connect(m_watchListMenu, &QMenu::aboutToShow, this, &WindowCommands::updateFollowCommands);
}

void WindowCommands::attachWatchList(WatchList& list) {
    connect(&list, &QWidget::customContextMenuRequested, this, [this, &list](const QPoint& position) {
        m_watchListMenu->popup(list.viewport()->mapToGlobal(position));
    });
    // Enter and a double click edit the watch.
    connect(&list, &QTreeWidget::itemActivated, this, [this] {
        if (m_editWatchAction->isEnabled()) editSelectedWatch();
    });
    connect(&list, &QTreeWidget::itemSelectionChanged, this, &WindowCommands::updateCommands);
    connect(&list, &WatchList::folderDropped, this, &WindowCommands::addWatchOfFolder);
}

void WindowCommands::addToolBar() {
    // The title is the tool bar's own name, as it always was; no menu of Tessel shows it.
    QToolBar* bar = m_window.addToolBar(QStringLiteral("ToolBar1"));
    bar->setObjectName(QStringLiteral("toolBar"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setFixedHeight(46);
    bar->setIconSize(QSize(40, 40));
    bar->layout()->setSpacing(0);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->toggleViewAction()->setEnabled(false);

    const auto button = [&](const char* name, const QString& tip, const QString& role, auto* receiver,
                            auto run) {
        auto* made = new QToolButton(bar);
        made->setObjectName(QLatin1String(name));
        made->setToolTip(tip);
        made->setIcon(toolPicture(role));
        made->setIconSize(QSize(40, 40));
        made->setFixedSize(40, 40);
        made->setAutoRaise(true);
        made->setFocusPolicy(Qt::NoFocus);
        connect(made, &QToolButton::clicked, receiver, run);
        bar->addWidget(made);
        return made;
    };
    const auto gap = [&](int width) {
        auto* space = new QWidget(bar);
        space->setFixedWidth(width);
        bar->addWidget(space);
    };

    using C = WindowCommands;
    m_runButtons.append(
        button("addWatchButton", tr("Add Watch (Ctrl+N)"), QStringLiteral("add"), this, &C::addWatch));
    m_runButtons.append(button("editWatchButton", tr("Edit Watch (Enter)"), QStringLiteral("edit"), this,
                               &C::editSelectedWatch));
    m_runButtons.append(button("deleteWatchButton", tr("Delete Watch (Del)"), QStringLiteral("delete"), this,
                               &C::deleteSelectedWatch));
    gap(25);
    m_runButtons.append(button("checkNowButton", tr("Check Watch Now (F5)"), QStringLiteral("run"), this,
                               &C::checkSelectedWatchNow));
    m_runButtons.append(button("previewButton", tr("Preview: What Check Now Would Do (Shift+F5)"),
                               QStringLiteral("preview"), this, &C::previewSelectedWatch));
    QToolButton* stop =
        button("stopButton", tr("Stop the Run (Esc)"), QStringLiteral("stop"), this, &C::stopRun);
    connect(m_stopAction, &QAction::changed, stop,
            [this, stop] { stop->setEnabled(m_stopAction->isEnabled()); });
    gap(35);
    button("helpButton", tr("Help (F1)"), QStringLiteral("help"), this, &C::showHelp);
    button("exitButton", tr("Exit"), QStringLiteral("exit"), &m_window, &MainWindow::exitProgram);
}

void WindowCommands::updateCommands() {
    const RunCoordinator::Commands commands = m_window.runs().commands();
    const bool selected = m_window.watchList().selectedRow() >= 0;
    for (QAction* action : {m_addWatchAction, m_listAddWatchAction, m_loadWatchFileAction})
        action->setEnabled(commands.changeWatches);
    m_window.watchList().setFolderDropsAllowed(commands.changeWatches);
    m_checkAllAction->setEnabled(commands.startRun);
    for (QAction* action :
         {m_editWatchAction, m_listEditWatchAction, m_deleteWatchAction, m_listDeleteWatchAction})
        action->setEnabled(commands.changeWatches && selected);
    for (QAction* action : {m_checkNowAction, m_listCheckNowAction, m_previewAction, m_listPreviewAction})
        action->setEnabled(commands.startRun && selected);
    // Looking at kept files disturbs no run; a restore waits for the run of its own watch by itself.
    for (QAction* action :
         {m_restoreFilesAction, m_listRestoreFilesAction, m_openVersionsAction, m_listOpenVersionsAction})
        action->setEnabled(selected);
    if (m_previewDialog) m_previewDialog->setRunAllowed(commands.startRun);
    // The buttons stay on without a selection, and then do nothing; only a run turns them off.
    for (QToolButton* button : std::as_const(m_runButtons))
        button->setEnabled(commands.startRun && commands.changeWatches);
    m_stopAction->setEnabled(commands.stop);
}

// ---- The watch commands ------------------------------------------------------------------------------

void WindowCommands::loadWatchFile() {
    if (!m_window.runs().commands().changeWatches) return;
    QString path = m_window.dialogs().chooseWatchFile(&m_window);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".wth");
    m_window.context().WatchFilePath = toBytes(QFileInfo(path).absoluteFilePath());
    // Every command that follows must find its watch in the file now named. A number selected in the old
    // file would name another watch in this one.
    m_window.fillWatchList();
    // The old file's watches are let go, this one's followed.
    m_window.runs().startFollowing();
}

void WindowCommands::addWatch() {
    runNewWatchEditor({});
}

void WindowCommands::addWatchOfFolder(const QString& folder) {
    runNewWatchEditor(folder);
}

void WindowCommands::runNewWatchEditor(const QString& source) {
    if (!m_window.runs().commands().changeWatches) return;
    WatchList& list = m_window.watchList();
    const int selected = list.selectedWatchIndex();
    const int before = list.watchCount();
    m_window.runs().pauseDueWatches();
    {
        TEditWatchForm editor(m_window.context(), m_window.dialogs(), -1, &m_window);
        if (!source.isEmpty()) editor.presetSource(source);
        m_window.dialogs().runEditor(editor);
    }
    m_window.fillWatchList(selected);
    m_window.runs().resumeDueWatches();
    // The editor appends the new watch to the watch file; in a sorted list the selection shows where it
    // went. Cancelled, the editor leaves the selection as it was.
    if (list.watchCount() > before) list.selectWatch(list.watchCount() - 1);
}

void WindowCommands::editSelectedWatch() {
    const int index = m_window.watchList().selectedWatchIndex();
    if (index < 0 || !m_window.runs().commands().changeWatches) return;
    m_window.runs().pauseDueWatches();
    {
        TEditWatchForm editor(m_window.context(), m_window.dialogs(), index, &m_window);
        m_window.dialogs().runEditor(editor);
    }
    // The watch keeps its number; its row may change with what the editor changed.
    m_window.fillWatchList(index);
    m_window.runs().resumeDueWatches();
}

void WindowCommands::deleteSelectedWatch() {
    if (!m_window.runs().commands().changeWatches) return;
    const int index = m_window.watchList().selectedWatchIndex();
    const bool deleted = index >= 0 && m_window.dialogs().confirmDelete(&m_window) &&
                         DelWatchFromFile(m_window.context(), m_window.context().WatchFilePath, index);
    // After a deletion the number belongs to the next watch, which nobody chose.
    m_window.fillWatchList(deleted ? -1 : index);
}

void WindowCommands::checkSelectedWatchNow() {
    checkWatchNow(m_window.watchList().selectedWatchIndex());
}

void WindowCommands::checkWatchNow(int index) {
    // The run display marks the watch as running once the run has started.
    if (index >= 0) m_window.runs().checkNow(index);
}

void WindowCommands::previewSelectedWatch() {
    const int index = m_window.watchList().selectedWatchIndex();
    if (index < 0 || !m_window.runs().commands().startRun) return;
    // A preview of another watch replaces the one on the screen.
    closePreview();
    m_window.runs().preview(index);
}

void WindowCommands::showPreview(int index, std::shared_ptr<PlanRecorder> plan,
                                 const SchedulerReport& report) {
    if (!plan || report.ran == 0 || report.result.stopped) {
        // Stopped, or the watch has gone from the watch file meanwhile: there is no plan to show.
        m_window.runView().setStatusText("");
        return;
    }
    // The record the preview read: nothing has written the watch file since.
    const TWatchRec watch = ReadWatchRec(m_window.context(), index);
    if (watch.WatchIndex < 0) return;
    m_window.runView().showSummary(tr("Preview: %1").arg(PlanModel::totalsText(plan->totals)));
    auto* dialog = new PreviewDialog(index, watchRoots(watch), std::move(*plan), &m_window);
    connect(dialog, &PreviewDialog::runNowRequested, this, &WindowCommands::checkWatchNow);
    connect(dialog, &PreviewDialog::runPlanRequested, this,
            [this](int watchIndex, std::shared_ptr<const EditedPlan> edited) {
                m_window.runs().runPlan(watchIndex, std::move(edited));
            });
    m_previewDialog = dialog;
    dialog->show();
}

PreviewDialog* WindowCommands::previewDialog() const {
    return m_previewDialog;
}

void WindowCommands::closePreview() {
    if (m_previewDialog) m_previewDialog->close();
}

void WindowCommands::restoreFiles() {
    const int index = m_window.watchList().selectedWatchIndex();
    if (index < 0) return;
    if (m_restoreDialog) m_restoreDialog->close();
    m_restoreDialog = new RestoreDialog(m_window.context(), m_window.dialogs(), index, &m_window);
    m_restoreDialog->show();
}

RestoreDialog* WindowCommands::restoreDialog() const {
    return m_restoreDialog;
}

void WindowCommands::openVersionsFolders() {
    const int index = m_window.watchList().selectedWatchIndex();
    if (index < 0) return;
    const TWatchRec watch = ReadWatchRec(m_window.context(), index);
    if (watch.WatchIndex < 0) return;
    bool opened = false;
    for (const std::string& folder : versionsFolders(watch)) {
        const QString path = fromBytes(folder);
        if (!QFileInfo(path).isDir()) continue;
        opened = true;
        if (!m_window.dialogs().openUrl(QUrl::fromLocalFile(path)))
            m_window.dialogs().showMessage(
                &m_window, tr("No file manager could be started to show %1. Restore Files, in "
                              "the Watch menu, lists the files kept there and puts them back.")
                               .arg(path));
    }
    if (opened) return;
    m_window.dialogs().showMessage(&m_window,
                                   m_window.context().options.keepVersions
                                       ? tr("No versions have been kept for this watch yet: its runs have "
                                            "replaced or deleted no file so far.")
                                       : tr("No versions have been kept for this watch. Keeping versions is "
                                            "switched off (KeepVersions=0 in Tessel.ini)."));
}

void WindowCommands::checkAllWatches() {
    m_window.runs().checkAll();
}

void WindowCommands::stopRun() {
    m_window.runs().stop();
}

void WindowCommands::viewLog() {
    if (m_logViewer.isNull()) m_logViewer = new LogViewer(&m_window);
    m_logViewer->showFile(fromBytes(m_window.context().LogFilePath));
}

void WindowCommands::viewLogAtRun(const WatchRunSummary& run) {
    viewLog();
    // The log holds the summary line as it was written: its controls escaped.
    m_logViewer->showRun(fromBytes(escapeControls(summaryMessage(run.name, run.result))));
}

LogViewer* WindowCommands::logViewer() const {
    return m_logViewer;
}

void WindowCommands::closeViewers() {
    m_helpViewer.closeAll();
    if (m_logViewer) m_logViewer->close();
    if (m_restoreDialog) m_restoreDialog->close();
}

// ---- Help and feedback -------------------------------------------------------------------------------

void WindowCommands::showHelp() {
    if (!m_helpAvailable || !QFileInfo(m_helpFile).isFile()) return;
    m_helpViewer.showContents(m_helpFile, &m_window);
}

void WindowCommands::sendBugReport() {
    sendMail(bugReportMail());
}

void WindowCommands::sendComments() {
    sendMail(commentsMail());
}

void WindowCommands::sendMail(const FeedbackMail& mail) {
    if (m_window.dialogs().openUrl(mail.link())) return;
    // Without a mail program nothing at all would happen; any mail the user can write, a web mail's
    // included, can still carry the text.
    const QString question =
        tr("No mail program is set up on this computer, so Tessel cannot open the prepared mail.\n\n"
           "Copy the mail to the clipboard? Then paste it into a new mail to %1, in any mail program or "
           "web mail.")
            .arg(QLatin1String(kFeedbackAddress));
    if (m_window.dialogs().askToCopyMail(&m_window, question))
        QGuiApplication::clipboard()->setText(mail.text());
}
