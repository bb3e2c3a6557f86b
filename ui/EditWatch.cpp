#include "ui/EditWatch.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "ui/Dialogs.h"
#include "ui/PathEdit.h"
#include "ui/RadioGroup.h"
#include "ui/Texts.h"
#include "watch/DateTime.h"
#include "watch/Watch.h"
#include "watch/WatchFile.h"
#include "watch/WatchNames.h"
#include "watch/WatchStore.h"

using namespace tessel;

namespace {

constexpr int kTimerItem = 3;     // "Timer" in "Run Syncro"
constexpr int kOnChangeItem = 4;  // "On Change" in "Run Syncro", after the record's four
constexpr int kOnTimeItem = 6;    // "On Time:" in "1 in :"

// The items of a choice as the window shows them, one for each stored name, in the stored names' order:
// the stored names stay English in the watch file whatever the window's language.
template <std::size_t N>
QStringList shownChoices(const std::array<std::string_view, N>&, const QString (&texts)[N]) {
    return QStringList(std::begin(texts), std::end(texts));
}

QToolButton* pickerButton(QWidget* parent, QStyle::StandardPixmap picture) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setAutoRaise(false);
    return button;
}

// Each item of `group` says what it does.
void setItemTips(RadioGroup* group, const QStringList& tips) {
    for (int i = 0; i < group->count() && i < tips.size(); ++i) group->button(i)->setToolTip(tips[i]);
}

// 0 clears and 1 checks; any other stored value leaves the box clear.
void setFlag(QCheckBox* box, std::uint8_t value) {
    box->setChecked(value == 1);
}

QString listText(const std::vector<std::string>& items) {
    return fromBytes(joinList(items));
}

}  // namespace

TEditWatchForm::TEditWatchForm(RunContext& context, Dialogs& dialogs, int EditIndex, QWidget* parent)
    : QDialog(parent), m_context(context), m_dialogs(dialogs), m_EditIndex(EditIndex) {
    setWindowTitle(tr("Edit Watch Record"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    PageControl1 = new QTabWidget(this);
    MainPage = createMainPage();
    AdvancedPage = createAdvancedPage();
    PageControl1->addTab(MainPage, tr("&Main"));
    PageControl1->addTab(AdvancedPage, tr("Ad&vanced"));
    // The name and the folders come first.
    PageControl1->setCurrentWidget(MainPage);

    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), tr("&OK"), this);
    BitBtn2->setDefault(true);
    CancelBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), tr("&Cancel"), this);
    connect(BitBtn2, &QPushButton::clicked, this, &TEditWatchForm::BitBtn2Click);
    connect(CancelBtn, &QPushButton::clicked, this, &TEditWatchForm::CancelBtnClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 6);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);

    resize(440, 470);
    // Tab follows the layout: down the main page, across and down the advanced one, then the buttons.
    std::vector<QWidget*> order{PageControl1,     NameEdit,          SourceEdit,    SourceButton,
                                DestinationEdit,  DistinationButton, FileTypeEdit,  ExcludeEdit,
                                WhideLogCheckBox, CopyRootCheckBox,  HiddenCheckBox};
    const auto addGroup = [&](const RadioGroup* group) {
        for (int i = 0; i < group->count(); ++i) order.push_back(group->button(i));
    };
    addGroup(RadioGroup1);
    order.push_back(ChangeDelaySpinEdit);
    addGroup(RadioGroup2);
    order.insert(order.end(), {BiDirectCheckBox, DelEpsendCheckBox});
    addGroup(RadioGroup4);
    addGroup(RadioGroup3);
    order.insert(order.end(), {HourSpinEdit, MinSpinEdit});
    addGroup(LinksGroup);
    order.insert(order.end(), {RunEdit, SpeedButton1, ParamsRunEdit, BitBtn2, CancelBtn});
    for (std::size_t i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
    // Shown over the main window's middle, where the eye already is (a dialog with a parent is centred
    // over it by Qt when no place is given).

    connect(SourceEdit, &QLineEdit::textChanged, this, &TEditWatchForm::proposeNameFromSource);
    if (m_EditIndex > -1) {
        LoadWatchIntoEditor(m_EditIndex);
    } else if (platform::fileExists(m_context.WatchFilePath)) {
        // A new watch's proposed name is one no other watch has.
        WatchList list;
        FileProblem problem;
        loadWatches(m_context.WatchFilePath, list, problem);
        for (const StoredWatch& stored : list.watches) {
            m_others.push_back(stored.watch);
            m_otherNames.push_back(stored.watch.name);
        }
    }
}

void TEditWatchForm::presetSource(const QString& folder) {
    SourceEdit->setText(folder);
    // What is left to choose is where the files go.
    DestinationEdit->setFocus(Qt::OtherFocusReason);
}

QWidget* TEditWatchForm::createMainPage() {
    auto* page = new QWidget;

    auto folderPanel = [&](const QString& caption, PathEdit*& edit, QToolButton*& button,
                           const QString& tip) {
        auto* label = new QLabel(caption);
        auto* panel = new QFrame(page);
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
        auto* grid = new QGridLayout(panel);
        grid->setContentsMargins(6, 4, 6, 6);
        grid->setVerticalSpacing(2);
        label->setParent(panel);
        grid->addWidget(label, 0, 0, 1, 2);
        edit = new PathEdit(PathEdit::Holds::Folder, panel);
        edit->setToolTip(tip);
        label->setBuddy(edit);
        button = pickerButton(panel, QStyle::SP_DirOpenIcon);
        button->setToolTip(tr("Choose a folder"));
        grid->addWidget(edit, 1, 0);
        grid->addWidget(button, 1, 1);
        return panel;
    };

    auto* nameRow = new QHBoxLayout;
    auto* nameLabel = new QLabel(tr("Na&me:"), page);
    NameEdit = new QLineEdit(page);
    NameEdit->setToolTip(tr("The name the watch is known by, also to tessel-batch"));
    nameLabel->setBuddy(NameEdit);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(NameEdit, 1);

    auto* fileType = new QGroupBox(tr("File &types"), page);
    auto* fileTypeLayout = new QHBoxLayout(fileType);
    FileTypeEdit = new QLineEdit(QStringLiteral("*.*"), fileType);
    FileTypeEdit->setToolTip(tr(
        "Masks of the files that take part, separated by \";\", such as *.jpg;*.png. *.* takes every file."));
    fileTypeLayout->addWidget(FileTypeEdit);

    auto* exclude = new QGroupBox(tr("E&xclude"), page);
    auto* excludeLayout = new QHBoxLayout(exclude);
    ExcludeEdit =
        new QLineEdit(listText({std::begin(kDefaultExcludes), std::end(kDefaultExcludes)}), exclude);
    ExcludeEdit->setToolTip(tr("Names, or paths below the folder, that are left out, separated by \";\""));
    excludeLayout->addWidget(ExcludeEdit);

    auto* extra = new QGroupBox(tr("Extra options"), page);
    auto* extraLayout = new QHBoxLayout(extra);
    WhideLogCheckBox = new QCheckBox(tr("&Wide log"), extra);
    WhideLogCheckBox->setToolTip(tr("Log every file copied, moved or deleted, not only each run"));
    CopyRootCheckBox = new QCheckBox(tr("Copy with &root folder"), extra);
    CopyRootCheckBox->setToolTip(
        tr("Copy into a folder of the source folder's name inside the destination folder"));
    HiddenCheckBox = new QCheckBox(tr("Include &hidden files"), extra);
    HiddenCheckBox->setToolTip(tr("Also copy files and folders whose names start with a dot"));
    HiddenCheckBox->setChecked(true);
    extraLayout->addWidget(WhideLogCheckBox);
    extraLayout->addWidget(CopyRootCheckBox);
    extraLayout->addWidget(HiddenCheckBox);
    extraLayout->addStretch(1);

    // Under the folders it is about, on a line of its own that a long text wraps in.
    RootsWarningLabel = new QLabel(page);
    RootsWarningLabel->setObjectName(QStringLiteral("rootsWarning"));
    RootsWarningLabel->setWordWrap(true);
    RootsWarningLabel->setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
    RootsWarningLabel->setStyleSheet(
        QStringLiteral("QLabel { background: #fff4c4; color: #4a3b00; padding: 3px; }"));
    RootsWarningLabel->hide();

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(nameRow);
    layout->addWidget(folderPanel(tr("&Source folder:"), SourceEdit, SourceButton,
                                  tr("The folder whose files the watch copies or moves. Type, paste or "
                                     "drop a folder here, or choose one with the button.")));
    layout->addWidget(folderPanel(tr("&Destination folder:"), DestinationEdit, DistinationButton,
                                  tr("The folder the files go to. A folder that does not exist yet is "
                                     "made when you press OK.")));
    layout->addWidget(RootsWarningLabel);
    layout->addWidget(fileType);
    layout->addWidget(exclude);
    layout->addStretch(1);
    layout->addWidget(extra);

    connect(SourceButton, &QToolButton::clicked, this, &TEditWatchForm::SourceButtonClick);
    connect(DistinationButton, &QToolButton::clicked, this, &TEditWatchForm::DistinationButtonClick);
    connect(SourceEdit, &QLineEdit::textChanged, this, &TEditWatchForm::updateRootsWarning);
    connect(DestinationEdit, &QLineEdit::textChanged, this, &TEditWatchForm::updateRootsWarning);
    connect(CopyRootCheckBox, &QCheckBox::toggled, this, &TEditWatchForm::updateRootsWarning);
    return page;
}

QWidget* TEditWatchForm::createAdvancedPage() {
    auto* page = new QWidget;

    auto* syncType = new QGroupBox(tr("Sync type"), page);
    RadioGroup1 = new RadioGroup(
        tr("Run"),
        shownChoices(kRunModeNames, {tr("Stop"), tr("On Start"), tr("Manual"), tr("Timer", "a run mode")})
            << tr("On Change"),
        syncType);
    RadioGroup1->setItemIndex(rmManual);
    ChangeDelaySpinEdit = new QSpinBox(syncType);
    ChangeDelaySpinEdit->setRange(1, kLongestChangeDelay);
    ChangeDelaySpinEdit->setValue(kDefaultChangeDelay);
    ChangeDelaySpinEdit->setSuffix(tr(" s"));
    ChangeDelaySpinEdit->setToolTip(
        tr("How long the folders must be quiet after a change before the watch runs"));
    ChangeDelaySpinEdit->setEnabled(false);
    auto* delay = new QLabel(tr("&Wait after a change"), syncType);
    delay->setBuddy(ChangeDelaySpinEdit);
    setItemTips(RadioGroup1, {tr("Never run this watch"), tr("Run the watch each time Tessel starts"),
                              tr("Run the watch only when you choose Check Now"),
                              tr("Run the watch by the timer on the right"),
                              tr("Run the watch a few seconds after its folders change, while Tessel runs "
                                 "or tessel-batch follows it")});
    RadioGroup2 =
        new RadioGroup(tr("Files are"), shownChoices(kFileActionNames, {tr("Copy"), tr("Move")}), syncType);
    RadioGroup2->setItemIndex(faCopy);
    setItemTips(RadioGroup2, {tr("Copy the files and leave the source as it is"),
                              tr("Move the files: each is removed from the source once it is copied")});
    auto* options = new QGroupBox(tr("Options"), syncType);
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->setContentsMargins(6, 2, 6, 4);
    optionsLayout->setSpacing(0);
    BiDirectCheckBox = new QCheckBox(tr("&Both directions"), options);
    BiDirectCheckBox->setToolTip(tr("Also copy what changes in the destination back to the source"));
    DelEpsendCheckBox = new QCheckBox(tr("&Delete absent files"), options);
    DelEpsendCheckBox->setToolTip(
        tr("Delete the files the other side no longer has; each is kept as a version first"));
    optionsLayout->addWidget(BiDirectCheckBox);
    optionsLayout->addWidget(DelEpsendCheckBox);
    RadioGroup4 = new RadioGroup(tr("Which files"),
                                 shownChoices(kTuneModeNames, {tr("Sync All"), tr("Update only old files"),
                                                               tr("Copy only absent files")}),
                                 syncType);
    RadioGroup4->setItemIndex(tmSyncAll);
    setItemTips(RadioGroup4, {tr("Copy new files and every file that differs"),
                              tr("Replace only older copies; copy no new files"),
                              tr("Copy only the files the other side lacks; replace nothing")});

    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(RadioGroup1);
    leftColumn->addWidget(delay);
    leftColumn->addWidget(ChangeDelaySpinEdit);
    leftColumn->addWidget(RadioGroup2);
    leftColumn->addStretch(1);
    auto* rightColumn = new QVBoxLayout;
    rightColumn->addWidget(options);
    rightColumn->addWidget(RadioGroup4);
    rightColumn->addStretch(1);
    auto* syncTypeLayout = new QHBoxLayout(syncType);
    syncTypeLayout->setContentsMargins(6, 4, 6, 6);
    syncTypeLayout->addLayout(leftColumn);
    syncTypeLayout->addLayout(rightColumn);

    auto* syncFiles = new QGroupBox(tr("Timer"), page);
    RadioGroup3 =
        new RadioGroup(tr("Every"),
                       shownChoices(kPeriodNames, {tr("10 Minutes"), tr("1 Hour"), tr("1 Day"), tr("1 Week"),
                                                   tr("10 Days"), tr("1 Month"), tr("On Time:")}),
                       syncFiles);
    RadioGroup3->setItemIndex(pd1Hour);
    RadioGroup3->setEnabled(false);
    setItemTips(RadioGroup3, {tr("Every 10 minutes"), tr("Every hour"), tr("Every day"), tr("Every week"),
                              tr("Every 10 days"), tr("Every month"), tr("Once a day, at the time below")});
    HourSpinEdit = new QSpinBox(syncFiles);
    HourSpinEdit->setRange(0, 23);
    HourSpinEdit->setEnabled(false);
    MinSpinEdit = new QSpinBox(syncFiles);
    MinSpinEdit->setRange(0, 59);
    MinSpinEdit->setEnabled(false);
    HourSpinEdit->setToolTip(tr("The hour of the day at which a daily watch runs"));
    MinSpinEdit->setToolTip(tr("The minute of the hour at which a daily watch runs"));
    auto* time = new QGridLayout;
    time->setVerticalSpacing(1);
    auto* hours = new QLabel(tr("&Hours"), syncFiles);
    hours->setBuddy(HourSpinEdit);
    auto* minutes = new QLabel(tr("Mi&nutes"), syncFiles);
    minutes->setBuddy(MinSpinEdit);
    time->addWidget(hours, 0, 0);
    time->addWidget(minutes, 0, 1);
    time->addWidget(HourSpinEdit, 1, 0);
    time->addWidget(MinSpinEdit, 1, 1);
    auto* syncFilesLayout = new QVBoxLayout(syncFiles);
    syncFilesLayout->setContentsMargins(6, 4, 6, 6);
    syncFilesLayout->addWidget(RadioGroup3);
    syncFilesLayout->addLayout(time);
    syncFilesLayout->addStretch(1);

    auto* runAfter = new QGroupBox(tr("Run after sync"), page);
    RunEdit = new PathEdit(PathEdit::Holds::File, runAfter);
    RunEdit->setToolTip(tr("A program to start after each run of the watch; empty for none"));
    SpeedButton1 = pickerButton(runAfter, QStyle::SP_FileIcon);
    SpeedButton1->setToolTip(tr("Choose a file"));
    ParamsRunEdit = new QLineEdit(runAfter);
    ParamsRunEdit->setToolTip(tr("What the program gets on its command line; quotes keep words together"));
    auto* runLayout = new QGridLayout(runAfter);
    runLayout->setContentsMargins(6, 2, 6, 6);
    runLayout->setVerticalSpacing(1);
    auto* program = new QLabel(tr("&Program"), runAfter);
    program->setBuddy(RunEdit);
    runLayout->addWidget(program, 0, 0);
    runLayout->addWidget(RunEdit, 1, 0);
    runLayout->addWidget(SpeedButton1, 1, 1);
    auto* parameters = new QLabel(tr("P&arameters"), runAfter);
    parameters->setBuddy(ParamsRunEdit);
    runLayout->addWidget(parameters, 0, 2);
    runLayout->addWidget(ParamsRunEdit, 1, 2);
    runLayout->setColumnStretch(0, 3);
    runLayout->setColumnStretch(2, 2);

    LinksGroup = new RadioGroup(tr("Symbolic links"), {tr("Follow"), tr("Copy as links"), tr("Skip")}, page);
    LinksGroup->setItemIndex(static_cast<int>(LinkHandling::Follow));
    setItemTips(LinksGroup,
                {tr("Copy the file a link leads to"), tr("Copy each link as a link"), tr("Leave links out")});
    auto* timerAndLinks = new QVBoxLayout;
    timerAndLinks->addWidget(syncFiles, 1);
    timerAndLinks->addWidget(LinksGroup);

    auto* layout = new QGridLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(syncType, 0, 0);
    layout->addLayout(timerAndLinks, 0, 1);
    layout->addWidget(runAfter, 1, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(0, 1);

    connect(RadioGroup1, &RadioGroup::itemIndexChanged, this, &TEditWatchForm::RadioGroup1Click);
    connect(RadioGroup3, &RadioGroup::itemIndexChanged, this, &TEditWatchForm::RadioGroup3Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TEditWatchForm::SpeedButton1Click);
    return page;
}

void TEditWatchForm::LoadWatchIntoEditor(int index) {
    if (!platform::fileExists(m_context.WatchFilePath)) return;
    // With its extras from the text file; where that cannot be read, the records alone (Ok then says
    // why it cannot save). An I/O error part-way leaves the records read so far.
    WatchList list;
    FileProblem problem;
    if (!loadWatches(m_context.WatchFilePath, list, problem)) {
        std::vector<TWatchRec> records;
        readAllWatchRecs(m_context.WatchFilePath, records);
        for (std::size_t i = 0; i < records.size(); ++i) {
            StoredWatch stored;
            stored.position = static_cast<std::int32_t>(i);
            stored.record = records[i];
            stored.watch = watchFromRecord(records[i], {});
            list.watches.push_back(stored);
        }
    }
    const StoredWatch* found = nullptr;
    m_others.clear();
    m_otherNames.clear();
    for (const StoredWatch& stored : list.watches) {
        if (found == nullptr && stored.record.WatchIndex == index) {
            found = &stored;
        } else {
            m_others.push_back(stored.watch);
            m_otherNames.push_back(stored.watch.name);
        }
    }
    if (found == nullptr) return;
    const TWatchRec& watch = found->record;
    m_key = watchKeyOf(watch);

    SourceEdit->setText(fromBytes(getText(watch.SourceDir)));
    DestinationEdit->setText(fromBytes(getText(watch.DestDir)));
    RunEdit->setText(fromBytes(getText(watch.RunFile)));
    ParamsRunEdit->setText(fromBytes(getText(watch.RunParams)));
    FileTypeEdit->setText(fromBytes(getText(watch.FileMask)));
    NameEdit->setText(fromBytes(found->watch.name));
    m_proposedName.clear();
    ExcludeEdit->setText(listText(found->watch.excludes));
    HiddenCheckBox->setChecked(found->watch.hidden == HiddenFiles::Include);
    LinksGroup->setItemIndex(static_cast<int>(found->watch.links));

    if (watch.FileAction <= faMove) RadioGroup2->setItemIndex(watch.FileAction);
    if (watch.RunMode <= rmTimer) RadioGroup1->setItemIndex(watch.RunMode);
    if (found->watch.schedule.mode == WatchRunMode::OnChange) RadioGroup1->setItemIndex(kOnChangeItem);
    ChangeDelaySpinEdit->setValue(found->watch.schedule.changeDelaySeconds);
    if (watch.RunMode == rmTimer) {
        if (watch.Period <= pdOnTime) RadioGroup3->setItemIndex(watch.Period);
        if (watch.Period == pdOnTime) {
            HourSpinEdit->setEnabled(true);
            MinSpinEdit->setEnabled(true);
            HourSpinEdit->setValue(hourOf(watch.OnTime));
            MinSpinEdit->setValue(minuteOf(watch.OnTime));
        }
    }
    setFlag(WhideLogCheckBox, watch.WideLog);
    setFlag(BiDirectCheckBox, watch.BiDirect);
    setFlag(DelEpsendCheckBox, watch.DeleteAbsent);
    RadioGroup4->setItemIndex(watch.TuneMode < -1 ? -1 : watch.TuneMode);
    setFlag(CopyRootCheckBox, watch.CopyWithRoot);
}

void TEditWatchForm::proposeNameFromSource() {
    const QString current = NameEdit->text();
    if (!current.isEmpty() && current != m_proposedName) return;
    const std::string source = toBytes(SourceEdit->path());
    m_proposedName = source.empty() ? QString() : fromBytes(tessel::proposeName(source, m_otherNames));
    NameEdit->setText(m_proposedName);
}

void TEditWatchForm::SourceButtonClick() {
    const QString folder = m_dialogs.chooseFolder(this, tr("Choose a folder"), SourceEdit->pickerStart());
    if (!folder.isEmpty()) SourceEdit->setText(folder);
}

void TEditWatchForm::DistinationButtonClick() {
    const QString folder =
        m_dialogs.chooseFolder(this, tr("Choose a folder"), DestinationEdit->pickerStart());
    if (!folder.isEmpty()) DestinationEdit->setText(folder);
}

void TEditWatchForm::SpeedButton1Click() {
    RunEdit->setText(m_dialogs.chooseFile(this, tr("Choose a file"), RunEdit->pickerStart()));
}

void TEditWatchForm::RadioGroup1Click() {
    RadioGroup3->setEnabled(RadioGroup1->itemIndex() == kTimerItem);
    ChangeDelaySpinEdit->setEnabled(RadioGroup1->itemIndex() == kOnChangeItem);
}

void TEditWatchForm::RadioGroup3Click() {
    const bool onTime = RadioGroup3->itemIndex() == kOnTimeItem;
    HourSpinEdit->setEnabled(onTime);
    MinSpinEdit->setEnabled(onTime);
}
