#include "ui/MainTessel.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
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
#include "ui/MStatusBar.h"
#include "ui/Pictures.h"
#include "ui/SplashFrm.h"
#include "ui/Texts.h"
#include "watch/EventLog.h"
#include "watch/WatchFile.h"

using namespace tessel;

namespace {

constexpr int kStatusPanel = 0;
constexpr int kProgressPanel = 1;
// About 30 pictures a second: a run over many small files is not slowed down by drawing.
constexpr auto kProgressPaintInterval = std::chrono::milliseconds(33);

}  // namespace

TMainTesselForm::TMainTesselForm(Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), m_dialogs(dialogs), m_context(*this, *this) {
    setWindowTitle(QStringLiteral("Tessel v ") + QLatin1String(kTesselVersion));
    setWindowIcon(programIcon());
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    m_pictures = loadStatusPictures();
    createMenus();
    createToolBar();
    createPanel();

    Timer1 = new QTimer(this);
    Timer1->setInterval(2000);
    connect(Timer1, &QTimer::timeout, this, &TMainTesselForm::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(30000);
    connect(Timer2, &QTimer::timeout, this, &TMainTesselForm::Timer2Timer);
    Timer2->start();
    Timer3 = new QTimer(this);
    Timer3->setInterval(500);
    connect(Timer3, &QTimer::timeout, this, &TMainTesselForm::Timer3Timer);

    TrayIcon1 = new QSystemTrayIcon(programIcon(), this);
    TrayIcon1->setToolTip(applicationTitle().left(TNotifyIconData::kTipLength));
    TrayIcon1->setContextMenu(PopupMenu2);
    connect(TrayIcon1, &QSystemTrayIcon::activated, this, &TMainTesselForm::TrayIcon1Activated);

    resize(696, 480);
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(width() / 2, height() / 2));
    }
}

TMainTesselForm::~TMainTesselForm() {
    FormDestroy();
}

void TMainTesselForm::createMenus() {
    MainMenuFile = menuBar()->addMenu(QStringLiteral("&File"));
    Load1 = MainMenuFile->addAction(QStringLiteral("&Load Watches"), this, &TMainTesselForm::Load1Click);
    MainMenuFile->addSeparator();
    Exit1 = MainMenuFile->addAction(QStringLiteral("&Exit"), this, &TMainTesselForm::Exit1Click);

    MainMenuWatch = menuBar()->addMenu(QStringLiteral("&Watch"));
    AddWatch1 = MainMenuWatch->addAction(QStringLiteral("Add Watch"), this, &TMainTesselForm::AddWatch1Click);
    EditWatch1 =
        MainMenuWatch->addAction(QStringLiteral("Edit Watch"), this, &TMainTesselForm::EditWatch1Click);
    DeleteWatch1 =
        MainMenuWatch->addAction(QStringLiteral("Delete Watch"), this, &TMainTesselForm::DeleteWatch1Click);
    MainMenuWatch->addSeparator();
    CheckNow1 = MainMenuWatch->addAction(QStringLiteral("Check Now"), this, &TMainTesselForm::CheckNow1Click);
    EditWatch1->setEnabled(false);
    DeleteWatch1->setEnabled(false);
    CheckNow1->setEnabled(false);
    connect(MainMenuWatch, &QMenu::aboutToShow, this, &TMainTesselForm::Watch1Click);

    QMenu* settings = menuBar()->addMenu(QStringLiteral("Settings"));
    MinimizeonStart1 = settings->addAction(QStringLiteral("Minimize on Start"));
    MinimizeonStart1->setCheckable(true);
    connect(MinimizeonStart1, &QAction::triggered, this, &TMainTesselForm::MinimizeonStart1Click);
    addAutostartItem(settings, m_dialogs);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    Help1 = help->addAction(QStringLiteral("Help"), this, &TMainTesselForm::Help1Click);
    TesselHelp1 =
        help->addAction(QStringLiteral("Send your bug reports"), this, &TMainTesselForm::TesselHelp1Click);
    Send1 = help->addAction(QStringLiteral("Send your comments"), this, &TMainTesselForm::Send1Click);
    help->addSeparator();
    About2 = help->addAction(QStringLiteral("About ..."), this, &TMainTesselForm::About2Click);

    PopupMenu1 = new QMenu(this);
    AddWatch2 = PopupMenu1->addAction(QStringLiteral("Add Watch"), this, &TMainTesselForm::AddWatch1Click);
    EditWatch2 = PopupMenu1->addAction(QStringLiteral("Edit Watch"), this, &TMainTesselForm::EditWatch1Click);
    DeleteWatch2 =
        PopupMenu1->addAction(QStringLiteral("Delete Watch"), this, &TMainTesselForm::DeleteWatch1Click);
    PopupMenu1->addSeparator();
    CheckNow2 = PopupMenu1->addAction(QStringLiteral("Check Now"), this, &TMainTesselForm::CheckNow1Click);
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TMainTesselForm::PopupMenu1Popup);

    PopupMenu2 = new QMenu(this);
    PopupMenu2->addAction(QStringLiteral("Exit"), this, &TMainTesselForm::Exit1Click);
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
        if (run != nullptr) connect(speedButton, &QToolButton::clicked, this, run);
        ToolBar1->addWidget(speedButton);
        return speedButton;
    };
    const auto gap = [&](int width) {
        auto* space = new QWidget(ToolBar1);
        space->setFixedWidth(width);
        ToolBar1->addWidget(space);
    };

    SpeedButton2 = button("SpeedButton2", QStringLiteral("Add Watch"), QStringLiteral("add"),
                          &TMainTesselForm::AddWatch1Click);
    SpeedButton4 = button("SpeedButton4", QStringLiteral("Edit Watch"), QStringLiteral("edit"),
                          &TMainTesselForm::EditWatch1Click);
    SpeedButton6 = button("SpeedButton6", QStringLiteral("Delete Watch"), QStringLiteral("delete"),
                          &TMainTesselForm::DeleteWatch1Click);
    gap(25);
    SpeedButton5 = button("SpeedButton5", QStringLiteral("Check Watch Now"), QStringLiteral("run"),
                          &TMainTesselForm::CheckNow1Click);
    gap(115);
    SpeedButton3 =
        button("SpeedButton3", QStringLiteral("Help"), QStringLiteral("help"), &TMainTesselForm::Help1Click);
    SpeedButton1 =
        button("SpeedButton1", QStringLiteral("Exit"), QStringLiteral("exit"), &TMainTesselForm::Exit1Click);
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
    ListView1->setHeaderLabels(
        {QStringLiteral("Status"), QStringLiteral("Source Folder"), QStringLiteral("Destination Folder")});
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
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        PopupMenu1->popup(ListView1->viewport()->mapToGlobal(position));
    });

    auto* logPane = new QWidget(inner);
    auto* Panel2 = new QLabel(QStringLiteral("Log events"), logPane);
    Panel2->setAlignment(Qt::AlignCenter);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel2->setFixedHeight(26);
    Memo1 = new QPlainTextEdit(logPane);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Clicks may still select text to copy; the Tab key passes the log by.
    Memo1->setFocusPolicy(Qt::ClickFocus);
    Memo1->setTabChangesFocus(true);
    // Room for the seven lines the log area keeps.
    const int documentMargin = static_cast<int>(Memo1->document()->documentMargin());
    Memo1->setMinimumHeight(Memo1->fontMetrics().lineSpacing() * tessel::kLogAreaLines + 2 * documentMargin +
                            2 * Memo1->frameWidth());
    auto* logLayout = new QVBoxLayout(logPane);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->setSpacing(0);
    logLayout->addWidget(Panel2);
    logLayout->addWidget(Memo1, 1);

    // The list takes what a larger window gains; the log keeps its few lines' height.
    auto* splitter = new QSplitter(Qt::Vertical, inner);
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(3);
    splitter->addWidget(ListView1);
    splitter->addWidget(logPane);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({244, 110});

    MyStatusBar1 = new TMyStatusBar(inner);
    MyStatusBar1->setObjectName(QStringLiteral("MyStatusBar1"));
    MyStatusBar1->addPanel(300);
    MyStatusBar1->addPanel(200);
    MyStatusBar1->setMinimumHeight(19);
    QFrame* progressPanel = MyStatusBar1->panel(kProgressPanel);
    Label1 = new QLabel(QStringLiteral("Task percents"), progressPanel);
    ProgressBar1 = new QProgressBar(progressPanel);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setFixedSize(150, 16);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    // Hiding the bar at the end of a run must not make the panel shrink under it.
    QSizePolicy keepPlace = ProgressBar1->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    ProgressBar1->setSizePolicy(keepPlace);
    auto* progressLayout = static_cast<QHBoxLayout*>(progressPanel->layout());
    progressLayout->insertWidget(0, Label1);
    progressLayout->insertWidget(1, ProgressBar1);

    auto* innerLayout = new QVBoxLayout(inner);
    innerLayout->setContentsMargins(1, 1, 1, 1);
    innerLayout->setSpacing(0);
    innerLayout->addWidget(splitter, 1);
    innerLayout->addWidget(MyStatusBar1);

    setCentralWidget(outer);
}

void TMainTesselForm::FillWatchList() {
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
    }
}

int TMainTesselForm::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.constFirst());
}

void TMainTesselForm::selectRow(int row) {
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    if (item == nullptr) return;
    ListView1->setCurrentItem(item);
    item->setSelected(true);
    ListView1->scrollToItem(item);
}

// ---- Run display -------------------------------------------------------------------------------------

void TMainTesselForm::setStatusText(const std::string& text) {
    // The text is always exact; painting it for every file of a run would cost more than copying small
    // files, so it is painted at most about 30 times a second, and at once when it is cleared.
    const auto now = std::chrono::steady_clock::now();
    const bool paint = text.empty() || now - m_lastStatusPaint >= kProgressPaintInterval;
    MyStatusBar1->setPanelText(kStatusPanel, fromBytes(text), paint);
    m_statusUnpainted = !paint;
    if (paint) m_lastStatusPaint = now;
}

void TMainTesselForm::paintPendingStatus(bool force) {
    if (!m_statusUnpainted) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastStatusPaint < kProgressPaintInterval) return;
    MyStatusBar1->repaintPanel(kStatusPanel);
    m_statusUnpainted = false;
    m_lastStatusPaint = now;
}

void TMainTesselForm::setProgressRange(int minimum, int maximum) {
    m_progressMin = minimum;
    m_progressMax = maximum;
    m_progressPosition = std::clamp(m_progressPosition, minimum, std::max(minimum, maximum));
    showProgress(true);
}

void TMainTesselForm::setProgressPosition(int position) {
    m_progressPosition = std::clamp(position, m_progressMin, std::max(m_progressMin, m_progressMax));
    showProgress(true);
}

void TMainTesselForm::stepProgress() {
    m_progressPosition = m_progressPosition + 1 > m_progressMax ? m_progressMin : m_progressPosition + 1;
    showProgress(false);
    paintPendingStatus(false);
}

void TMainTesselForm::setProgressVisible(bool visible) {
    paintPendingStatus(true);
    ProgressBar1->setVisible(visible);
    showProgress(true);
    MyStatusBar1->panel(kProgressPanel)->repaint();
}

void TMainTesselForm::showProgress(bool force) {
    // The position is kept exact here; the bar itself, which formats its percentage on every change, is
    // brought up to date only when it is painted, about 30 times a second and whenever it matters.
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastProgressPaint < kProgressPaintInterval) return;
    m_lastProgressPaint = now;
    if (m_progressMax > m_progressMin) {
        ProgressBar1->setRange(m_progressMin, m_progressMax);
        ProgressBar1->setValue(m_progressPosition);
    } else {
        // An empty range shows an empty bar rather than the "busy" animation.
        ProgressBar1->setRange(0, 1);
        ProgressBar1->setValue(0);
    }
    if (ProgressBar1->isVisible()) ProgressBar1->repaint();
}

void TMainTesselForm::setRowPicture(int row, int picture) {
    paintPendingStatus(true);
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    if (item == nullptr || picture < 0 || picture >= kPictureCount) return;
    item->setIcon(0, m_pictures[static_cast<std::size_t>(picture)]);
    item->setData(0, kPictureRole, picture);
    ListView1->viewport()->repaint();
}

void TMainTesselForm::appendLogLine(const std::string& line) {
    // A log line may come right before a long wait (the after-sync program): the status must show.
    paintPendingStatus(true);
    Memo1->appendPlainText(fromBytes(line));
    scrollLogToEnd();
}

int TMainTesselForm::logLineCount() const {
    const QTextDocument* document = Memo1->document();
    if (document->isEmpty()) return 0;
    // Until the log area is on screen it has no width to wrap at: each line is one line.
    auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
    if (layout == nullptr || !Memo1->isVisible()) return document->blockCount();
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        layout->ensureBlockLayout(block);
        lines += std::max(1, block.layout()->lineCount());
    }
    return lines;
}

void TMainTesselForm::removeFirstLogLine() {
    QTextDocument* document = Memo1->document();
    const QTextBlock first = document->begin();
    if (!first.isValid() || document->isEmpty()) return;
    QTextCursor cursor(document);
    cursor.setPosition(first.position());
    auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
    if (layout != nullptr && Memo1->isVisible()) layout->ensureBlockLayout(first);
    const QTextLayout* lines = first.layout();
    if (Memo1->isVisible() && lines != nullptr && lines->lineCount() > 1) {
        // Only the first displayed piece of a wrapped line goes.
        cursor.setPosition(first.position() + lines->lineAt(0).textLength(), QTextCursor::KeepAnchor);
    } else if (first.next().isValid()) {
        cursor.setPosition(first.next().position(), QTextCursor::KeepAnchor);
    } else {
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
    scrollLogToEnd();
}

void TMainTesselForm::scrollLogToEnd() {
    // No scroll bars: the newest line must stay in view by itself, and show before the run goes on.
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
    if (Memo1->isVisible()) Memo1->viewport()->repaint();
}

// ---- Messages ---------------------------------------------------------------------------------------

void TMainTesselForm::showMessage(const std::string& text) {
    paintPendingStatus(true);
    m_dialogs.showMessage(this, fromBytes(text));
}

void TMainTesselForm::showWarning(const std::string& text, const std::string& caption) {
    paintPendingStatus(true);
    m_dialogs.showWarning(this, fromBytes(text), fromBytes(caption));
}

// ---- Commands ---------------------------------------------------------------------------------------

void TMainTesselForm::Load1Click() {
    QString path = m_dialogs.chooseWatchFile(this);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".wth");
    m_context.WatchFilePath = toBytes(QFileInfo(path).absoluteFilePath());
    // Row i must show record i of the current file for every command that follows.
    FillWatchList();
}

void TMainTesselForm::Exit1Click() {
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
    if (ListView1->topLevelItemCount() == 0 || row < 0) return;
    bool isNumber = false;
    const int index = ListView1->topLevelItem(row)->text(0).toInt(&isNumber);
    if (!isNumber) return;
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
    const int row = selectedRow();
    if (ListView1->topLevelItemCount() > 0 && row >= 0) {
        bool isNumber = false;
        const int index = ListView1->topLevelItem(row)->text(0).toInt(&isNumber);
        if (isNumber && m_dialogs.confirmDelete(this))
            DelWatchFromFile(m_context, m_context.WatchFilePath, index);
    }
    FillWatchList();
}

void TMainTesselForm::CheckNow1Click() {
    const int row = selectedRow();
    if (row < 0) return;
    bool isNumber = false;
    const int index = ListView1->topLevelItem(row)->text(0).toInt(&isNumber);
    if (!isNumber) return;
    m_lastResult = checkWatchNow(m_context, index).result;
}

void TMainTesselForm::Watch1Click() {
    const bool selected = selectedRow() >= 0;
    EditWatch1->setEnabled(selected);
    DeleteWatch1->setEnabled(selected);
    CheckNow1->setEnabled(selected);
}

void TMainTesselForm::PopupMenu1Popup() {
    const bool selected = selectedRow() >= 0;
    EditWatch2->setEnabled(selected);
    DeleteWatch2->setEnabled(selected);
    CheckNow2->setEnabled(selected);
}

void TMainTesselForm::Timer1Timer() {
    Timer1->stop();
    // Only the brief display's own box: an "About ..." box opened meanwhile stays until its "Ok".
    if (m_briefDisplay) m_briefDisplay->close();
}

void TMainTesselForm::Timer2Timer() {
    // Off for the whole pass, so a message box shown during a run cannot start a second pass inside it.
    Timer2->stop();
    runDueWatches(m_context);
    Timer2->start();
}

void TMainTesselForm::Timer3Timer() {
    Timer3->stop();
    MinimizeToTray();
}

void TMainTesselForm::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu2->exec(event->globalPos());
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
    Memo1->clear();

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
    runOnStartWatches(m_context);
    const bool minimizeOnStart = MinimizeOnStartFlag == "1";
    MinimizeonStart1->setChecked(minimizeOnStart);
    WriteLogLine(m_context, "Start Work Program");
    if (minimizeOnStart) Timer3->start();
    HelpFile = helpContents();
}

void TMainTesselForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Each time the window becomes visible; the desktop's own exposures do not count.
    if (!event->spontaneous()) FormShow();
}

void TMainTesselForm::FormShow() {
    // A window shown again within the two seconds gets a new box; the old one must not stay for good.
    if (m_briefDisplay) m_briefDisplay->close();
    TTesselSplashForm* box = newAboutBox();
    box->Button1->hide();
    m_briefDisplay = box;
    if (TrayIconData.uID > 0) {
        TrayIcon1->hide();
        TrayIconData.uID = 0;
    }
    box->show();
    box->repaint();
    Timer1->start();
}

void TMainTesselForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
    emit closed();
}

void TMainTesselForm::FormClose() {
    WriteLogLine(m_context, "End Work Program");
    m_helpViewer.closeAll();
}

void TMainTesselForm::FormDestroy() {
    // Whether shown or not: a tray icon must not outlive the window it stands for.
    TrayIcon1->hide();
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
    TrayIconData.uID = TNotifyIconData::kIconId;
    TrayIconData.szTip = applicationTitle().left(TNotifyIconData::kTipLength);
    TrayIcon1->setToolTip(TrayIconData.szTip);
    TrayIcon1->show();
    // Shown again from the tray, the window comes back in its normal size.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    hide();
}

void TMainTesselForm::TrayIcon1Activated(QSystemTrayIcon::ActivationReason reason) {
    // The right button opens the icon's menu by itself; only a plain click brings the window back.
    if (reason != QSystemTrayIcon::Trigger) return;
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
    TTesselSplashForm* box = newAboutBox();
    box->show();
    box->repaint();
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
    if (!m_dialogs.openUrl(QUrl(link))) m_dialogs.showMessage(this, QStringLiteral("Auto method failed."));
}
