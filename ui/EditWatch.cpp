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
#include <string>
#include <vector>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "ui/Dialogs.h"
#include "ui/RadioGroup.h"
#include "ui/Texts.h"
#include "watch/DateTime.h"
#include "watch/WatchFile.h"
#include "watch/WatchNames.h"

using namespace tessel;

namespace {

constexpr int kTimerItem = 3;   // "Timer" in "Run Syncro"
constexpr int kOnTimeItem = 6;  // "On Time:" in "1 in :"

template <std::size_t N>
QStringList namesOf(const std::array<std::string_view, N>& names) {
    QStringList list;
    for (const std::string_view name : names)
        list << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    return list;
}

QToolButton* pickerButton(QWidget* parent, QStyle::StandardPixmap picture) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setAutoRaise(false);
    return button;
}

// A picked path goes into a field whose text a long path must not make the dialog grow.
QLineEdit* pathEdit(QWidget* parent, bool readOnly) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(readOnly);
    edit->setMinimumWidth(60);
    return edit;
}

std::uint8_t flagOf(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

// 0 clears and 1 checks; any other stored value leaves the box clear.
void setFlag(QCheckBox* box, std::uint8_t value) {
    box->setChecked(value == 1);
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
    PageControl1->setCurrentWidget(AdvancedPage);

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

    resize(420, 371);
    // Tab follows the layout: down the main page, across and down the advanced one, then the buttons.
    std::vector<QWidget*> order{PageControl1,      SourceEdit,   SourceButton,     DestinationEdit,
                                DistinationButton, FileTypeEdit, WhideLogCheckBox, CopyRootCheckBox};
    const auto addGroup = [&](const RadioGroup* group) {
        for (int i = 0; i < group->count(); ++i) order.push_back(group->button(i));
    };
    addGroup(RadioGroup1);
    addGroup(RadioGroup2);
    order.insert(order.end(), {BiDirectCheckBox, DelEpsendCheckBox});
    addGroup(RadioGroup4);
    addGroup(RadioGroup3);
    order.insert(order.end(),
                 {HourSpinEdit, MinSpinEdit, RunEdit, SpeedButton1, ParamsRunEdit, BitBtn2, CancelBtn});
    for (std::size_t i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
    // Shown over the main window's middle, where the eye already is (a dialog with a parent is centred
    // over it by Qt when no place is given).

    if (m_EditIndex > -1) LoadWatchIntoEditor(m_EditIndex);
}

QWidget* TEditWatchForm::createMainPage() {
    auto* page = new QWidget;

    auto folderPanel = [&](const QString& caption, QLineEdit*& edit, QToolButton*& button) {
        auto* label = new QLabel(caption);
        auto* panel = new QFrame(page);
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
        auto* grid = new QGridLayout(panel);
        grid->setContentsMargins(6, 4, 6, 6);
        grid->setVerticalSpacing(2);
        label->setParent(panel);
        grid->addWidget(label, 0, 0, 1, 2);
        edit = pathEdit(panel, true);
        label->setBuddy(edit);
        button = pickerButton(panel, QStyle::SP_DirOpenIcon);
        button->setToolTip(tr("Choose a folder"));
        grid->addWidget(edit, 1, 0);
        grid->addWidget(button, 1, 1);
        return panel;
    };

    auto* fileType = new QGroupBox(tr("File &types"), page);
    auto* fileTypeLayout = new QHBoxLayout(fileType);
    FileTypeEdit = new QLineEdit(QStringLiteral("*.*"), fileType);
    fileTypeLayout->addWidget(FileTypeEdit);

    auto* extra = new QGroupBox(tr("Extra options"), page);
    auto* extraLayout = new QHBoxLayout(extra);
    WhideLogCheckBox = new QCheckBox(tr("&Wide log"), extra);
    CopyRootCheckBox = new QCheckBox(tr("Copy with &root folder"), extra);
    extraLayout->addWidget(WhideLogCheckBox);
    extraLayout->addWidget(CopyRootCheckBox);
    extraLayout->addStretch(1);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(folderPanel(tr("&Source folder:"), SourceEdit, SourceButton));
    layout->addWidget(folderPanel(tr("&Destination folder:"), DestinationEdit, DistinationButton));
    layout->addWidget(fileType);
    layout->addStretch(1);
    layout->addWidget(extra);

    connect(SourceButton, &QToolButton::clicked, this, &TEditWatchForm::SourceButtonClick);
    connect(DistinationButton, &QToolButton::clicked, this, &TEditWatchForm::DistinationButtonClick);
    return page;
}

QWidget* TEditWatchForm::createAdvancedPage() {
    auto* page = new QWidget;

    auto* syncType = new QGroupBox(tr("Sync type"), page);
    RadioGroup1 = new RadioGroup(tr("Run"), namesOf(kRunModeNames), syncType);
    RadioGroup1->setItemIndex(rmManual);
    RadioGroup2 = new RadioGroup(tr("Files are"), namesOf(kFileActionNames), syncType);
    RadioGroup2->setItemIndex(faCopy);
    auto* options = new QGroupBox(tr("Options"), syncType);
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->setContentsMargins(6, 2, 6, 4);
    optionsLayout->setSpacing(0);
    BiDirectCheckBox = new QCheckBox(tr("&Both directions"), options);
    DelEpsendCheckBox = new QCheckBox(tr("&Delete absent files"), options);
    optionsLayout->addWidget(BiDirectCheckBox);
    optionsLayout->addWidget(DelEpsendCheckBox);
    RadioGroup4 = new RadioGroup(tr("Which files"), namesOf(kTuneModeNames), syncType);
    RadioGroup4->setItemIndex(tmSyncAll);

    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(RadioGroup1);
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
    RadioGroup3 = new RadioGroup(tr("Every"), namesOf(kPeriodNames), syncFiles);
    RadioGroup3->setItemIndex(pd1Hour);
    RadioGroup3->setEnabled(false);
    HourSpinEdit = new QSpinBox(syncFiles);
    HourSpinEdit->setRange(0, 23);
    HourSpinEdit->setEnabled(false);
    MinSpinEdit = new QSpinBox(syncFiles);
    MinSpinEdit->setRange(0, 59);
    MinSpinEdit->setEnabled(false);
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
    RunEdit = pathEdit(runAfter, false);
    SpeedButton1 = pickerButton(runAfter, QStyle::SP_FileIcon);
    SpeedButton1->setToolTip(tr("Choose a file"));
    ParamsRunEdit = new QLineEdit(runAfter);
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

    auto* layout = new QGridLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(syncType, 0, 0);
    layout->addWidget(syncFiles, 0, 1);
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
    // An I/O error part-way leaves the records read so far, as a sequential read would.
    std::vector<TWatchRec> watches;
    readAllWatchRecs(m_context.WatchFilePath, watches);
    const TWatchRec* found = nullptr;
    for (const TWatchRec& watch : watches) {
        if (watch.WatchIndex == index) {
            found = &watch;
            break;
        }
    }
    if (found == nullptr) return;
    const TWatchRec& watch = *found;

    SourceEdit->setText(fromBytes(getText(watch.SourceDir)));
    DestinationEdit->setText(fromBytes(getText(watch.DestDir)));
    RunEdit->setText(fromBytes(getText(watch.RunFile)));
    ParamsRunEdit->setText(fromBytes(getText(watch.RunParams)));
    FileTypeEdit->setText(fromBytes(getText(watch.FileMask)));

    if (watch.FileAction <= faMove) RadioGroup2->setItemIndex(watch.FileAction);
    if (watch.RunMode <= rmTimer) RadioGroup1->setItemIndex(watch.RunMode);
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

void TEditWatchForm::SourceButtonClick() {
    const QString folder = m_dialogs.chooseFolder(this, tr("Choose a folder"));
    if (!folder.isEmpty()) SourceEdit->setText(folder);
}

void TEditWatchForm::DistinationButtonClick() {
    const QString folder = m_dialogs.chooseFolder(this, tr("Choose a folder"));
    if (!folder.isEmpty()) DestinationEdit->setText(folder);
}

void TEditWatchForm::SpeedButton1Click() {
    RunEdit->setText(m_dialogs.chooseFile(this, tr("Choose a file")));
}

void TEditWatchForm::RadioGroup1Click() {
    RadioGroup3->setEnabled(RadioGroup1->itemIndex() == kTimerItem);
}

void TEditWatchForm::RadioGroup3Click() {
    const bool onTime = RadioGroup3->itemIndex() == kOnTimeItem;
    HourSpinEdit->setEnabled(onTime);
    MinSpinEdit->setEnabled(onTime);
}

bool TEditWatchForm::storeText(TextField& field, QLineEdit* edit, const QString& name) {
    if (setText(field, toBytes(edit->text()))) return true;
    // Each record field keeps at most 255 bytes; cutting the text would store a different path.
    m_context.messages.showMessage(
        toBytes(tr("The text in \"%1\" is longer than %2 bytes, the most a watch can keep. "
                   "Nothing was saved.")
                    .arg(name)
                    .arg(kMaxTextLength)));
    PageControl1->setCurrentWidget(MainPage->isAncestorOf(edit) ? MainPage : AdvancedPage);
    edit->setFocus();
    return false;
}

void TEditWatchForm::BitBtn2Click() {
    if (!platform::isExistingFolder(toBytes(SourceEdit->text())) ||
        !platform::isExistingFolder(toBytes(DestinationEdit->text()))) {
        m_context.messages.showMessage(
            toBytes(tr("Choose an existing source folder and destination folder.")));
        return;
    }

    TWatchRec watch;
    InitWatchRec(watch);
    if (m_EditIndex >= 0) {
        watch.WatchIndex = m_EditIndex;
        watch.EditTime = Now();
    }
    if (!storeText(watch.SourceDir, SourceEdit, QStringLiteral("Source folder")) ||
        !storeText(watch.DestDir, DestinationEdit, QStringLiteral("Destination folder")) ||
        !storeText(watch.FileMask, FileTypeEdit, QStringLiteral("File type")) ||
        !storeText(watch.RunFile, RunEdit, QStringLiteral("Run after Sync: File")) ||
        !storeText(watch.RunParams, ParamsRunEdit, QStringLiteral("Run after Sync: Parameters")))
        return;

    watch.RunMode = static_cast<std::uint8_t>(RadioGroup1->itemIndex());
    watch.FileAction = static_cast<std::uint8_t>(RadioGroup2->itemIndex());
    watch.Period = static_cast<std::uint8_t>(RadioGroup3->itemIndex());
    watch.TuneMode = RadioGroup4->itemIndex();
    watch.WideLog = flagOf(WhideLogCheckBox);
    watch.CopyWithRoot = flagOf(CopyRootCheckBox);
    watch.BiDirect = flagOf(BiDirectCheckBox);
    watch.DeleteAbsent = flagOf(DelEpsendCheckBox);
    // A time of day alone, on day zero, when "On Time:" is chosen (enabled or not); otherwise now.
    if (RadioGroup3->itemIndex() == kOnTimeItem) {
        platform::LocalTime time;  // 1899-12-30, day zero
        time.hour = HourSpinEdit->value();
        time.minute = MinSpinEdit->value();
        watch.OnTime = encodeDateTime(time);
    } else {
        watch.OnTime = Now();
    }

    if (m_EditIndex < 0)
        AppendWatchRec(m_context, watch, m_context.WatchFilePath);
    else
        WriteWatchRec(m_context, watch);
    accept();
}

void TEditWatchForm::CancelBtnClick() {
    reject();
}
