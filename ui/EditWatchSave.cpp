// What Ok does: the values read from the controls, checked as tessel-batch checks them, the folders
// made ready, and the watch saved.

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "ui/Dialogs.h"
#include "ui/EditWatch.h"
#include "ui/PathEdit.h"
#include "ui/RadioGroup.h"
#include "ui/Texts.h"
#include "watch/DateTime.h"
#include "watch/Watch.h"
#include "watch/WatchStore.h"
#include "watch/WatchWarning.h"

using namespace tessel;

namespace {

// What the user is told about a value checkWatch refuses, in the window's language.
QString problemText(const WatchProblem& problem) {
    using Kind = WatchProblem::Kind;
    const QString detail = fromBytes(problem.detail);
    switch (problem.kind) {
        case Kind::Empty:
            return problem.field == WatchField::Masks
                       ? TEditWatchForm::tr("give at least one mask: an empty list matches no file")
                       : TEditWatchForm::tr("must not be empty");
        case Kind::NotAbsolute:
            return TEditWatchForm::tr("must be a full path, starting with /");
        case Kind::NotUtf8:
        case Kind::ControlCharacter:
            return TEditWatchForm::tr("may hold only letters, digits, blanks and punctuation");
        case Kind::AllDigits:
            return TEditWatchForm::tr("\"%1\" is all digits, which would read as a watch's position")
                .arg(detail);
        case Kind::BlankAtEnd:
            return TEditWatchForm::tr("must not start or end with a blank");
        case Kind::StartsWithDash:
            return TEditWatchForm::tr("must not start with \"-\"");
        case Kind::CommandWord:
            return TEditWatchForm::tr("\"%1\" is a command of tessel-batch").arg(detail);
        case Kind::NameTaken:
            return TEditWatchForm::tr("another watch is named \"%1\"").arg(detail);
        case Kind::MaskWithSlash:
            return TEditWatchForm::tr("\"%1\" holds a \"/\", which no file name does").arg(detail);
        case Kind::MoveWithDeleteAbsent:
            return TEditWatchForm::tr(
                "not with Move: the next run would delete the only copies of what an "
                "earlier run moved");
        case Kind::TooLong:
        case Kind::OutOfRange:
            break;
    }
    return fromBytes(describe(problem));
}

QString labelOf(WatchField field) {
    switch (field) {
        case WatchField::Name:
            return TEditWatchForm::tr("Name");
        case WatchField::Source:
            return TEditWatchForm::tr("Source folder");
        case WatchField::Destination:
            return TEditWatchForm::tr("Destination folder");
        case WatchField::Masks:
            return TEditWatchForm::tr("File type");
        case WatchField::Excludes:
            return TEditWatchForm::tr("Exclude");
        case WatchField::Program:
            return TEditWatchForm::tr("Run after Sync: File");
        case WatchField::ProgramArgs:
            return TEditWatchForm::tr("Run after Sync: Parameters");
        case WatchField::DeleteAbsent:
            return TEditWatchForm::tr("Delete absent files");
        default:
            return fromBytes(std::string(keyOf(field)));
    }
}

}  // namespace

QWidget* TEditWatchForm::controlOf(WatchField field) const {
    switch (field) {
        case WatchField::Name:
            return NameEdit;
        case WatchField::Source:
            return SourceEdit;
        case WatchField::Destination:
            return DestinationEdit;
        case WatchField::Masks:
            return FileTypeEdit;
        case WatchField::Excludes:
            return ExcludeEdit;
        case WatchField::Program:
            return RunEdit;
        case WatchField::ProgramArgs:
            return ParamsRunEdit;
        case WatchField::DeleteAbsent:
            return DelEpsendCheckBox;
        case WatchField::ChangeDelay:
            return ChangeDelaySpinEdit;
        default:
            return nullptr;
    }
}

void TEditWatchForm::refuse(const WatchProblem& problem) {
    const QString label = labelOf(problem.field);
    // Each record field keeps at most 255 bytes; cutting the text would store a different path.
    const QString text = problem.kind == WatchProblem::Kind::TooLong
                             ? tr("The text in \"%1\" is longer than %2 bytes, the most a watch can keep. "
                                  "Nothing was saved.")
                                   .arg(label)
                                   .arg(kMaxTextLength)
                             : tr("%1: %2. Nothing was saved.").arg(label, problemText(problem));
    m_context.messages.showMessage(toBytes(text));
    if (QWidget* control = controlOf(problem.field)) {
        PageControl1->setCurrentWidget(MainPage->isAncestorOf(control) ? MainPage : AdvancedPage);
        control->setFocus();
    }
}

WatchEdit TEditWatchForm::editedValues() const {
    // The record is built from them as a new one, so saving starts the period count afresh.
    WatchEdit edit;
    edit.name = toBytes(NameEdit->text());
    if (edit.name->empty()) edit.name = tessel::proposeName(toBytes(SourceEdit->path()), m_otherNames);
    edit.source = toBytes(SourceEdit->path());
    edit.destination = toBytes(DestinationEdit->path());
    edit.masks = splitMasks(toBytes(FileTypeEdit->text()));
    edit.excludes = splitExcludes(toBytes(ExcludeEdit->text()));
    edit.hidden = HiddenCheckBox->isChecked() ? HiddenFiles::Include : HiddenFiles::Skip;
    edit.links = static_cast<LinkHandling>(std::max(0, LinksGroup->itemIndex()));
    edit.program = toBytes(RunEdit->path());
    edit.programArgs = toBytes(ParamsRunEdit->text());
    edit.runMode = static_cast<WatchRunMode>(std::max(0, RadioGroup1->itemIndex()));
    edit.changeDelay = ChangeDelaySpinEdit->value();
    edit.action = RadioGroup2->itemIndex() == faMove ? WatchAction::Move : WatchAction::Copy;
    // The period is stored whatever the run mode; the time of day when "On Time:" is chosen (enabled or
    // not).
    edit.period = static_cast<WatchPeriod>(std::max(0, RadioGroup3->itemIndex()));
    edit.dailyAt = DailyTime{HourSpinEdit->value(), MinSpinEdit->value()};
    const int tune = RadioGroup4->itemIndex();
    edit.tune = tune >= tmSyncAll && tune <= tmAbsentOnly ? static_cast<WatchTune>(tune) : WatchTune::None;
    edit.logEachFile = WhideLogCheckBox->isChecked();
    edit.withRootFolder = CopyRootCheckBox->isChecked();
    edit.bothDirections = BiDirectCheckBox->isChecked();
    edit.deleteAbsentFiles = DelEpsendCheckBox->isChecked();
    edit.lastRun = Now();
    return edit;
}

void TEditWatchForm::updateRootsWarning() {
    Watch watch;
    watch.source = toBytes(SourceEdit->path());
    watch.destination = toBytes(DestinationEdit->path());
    watch.withRootFolder = CopyRootCheckBox->isChecked();
    const std::optional<WatchWarning> warning = warnAbout(watch);
    if (!warning) {
        RootsWarningLabel->hide();
        return;
    }
    switch (warning->kind) {
        case WatchWarning::Kind::SameFolder:
            RootsWarningLabel->setText(tr("The source and the destination are the same folder."));
            break;
        case WatchWarning::Kind::DestinationInsideSource:
            RootsWarningLabel->setText(
                tr("The destination folder is inside the source folder. Runs skip it when they read the "
                   "source."));
            break;
        case WatchWarning::Kind::SourceInsideDestination:
            RootsWarningLabel->setText(
                tr("The source folder is inside the destination folder. Runs skip it when they look at "
                   "the destination."));
            break;
    }
    RootsWarningLabel->show();
}

bool TEditWatchForm::prepareFolders(const Watch& watch) {
    const QString source = fromBytes(watch.source), destination = fromBytes(watch.destination);
    const auto refuseFolder = [&](PathEdit* field, const QString& text) {
        m_context.messages.showMessage(toBytes(text));
        PageControl1->setCurrentWidget(MainPage);
        field->setFocus();
        return false;
    };
    if (!platform::isExistingFolder(watch.source))
        return refuseFolder(SourceEdit,
                            platform::fileExists(watch.source)
                                ? tr("%1 is a file, not a folder. Nothing was saved.").arg(source)
                                : tr("The source folder %1 does not exist. Nothing was saved.").arg(source));
    if (platform::isExistingFolder(watch.destination)) return true;
    if (platform::fileExists(watch.destination))
        return refuseFolder(DestinationEdit,
                            tr("%1 is a file, not a folder. Nothing was saved.").arg(destination));
    if (!m_dialogs.confirm(
            this,
            tr("The destination folder %1 does not exist yet.\n\nMake it now and save the watch?")
                .arg(destination),
            tr("&Make Folder"))) {
        DestinationEdit->setFocus();
        return false;
    }
    std::error_code error;
    if (!platform::ForceFolders(watch.destination, error))
        return refuseFolder(DestinationEdit, tr("The folder %1 could not be made: %2. Nothing was saved.")
                                                 .arg(destination, fromBytes(error.message())));
    return true;
}

void TEditWatchForm::BitBtn2Click() {
    // "~" is the home folder, in the fields as in what is saved.
    for (PathEdit* field : {SourceEdit, DestinationEdit, RunEdit})
        if (field->path() != field->text()) field->setText(field->path());
    const WatchEdit edit = editedValues();

    // Checked before a folder is made for it, with the checks the save makes again under the lock.
    Watch watch = newWatch();
    edit.applyTo(watch);
    std::vector<const Watch*> others;
    for (const Watch& other : m_others) others.push_back(&other);
    if (const std::optional<WatchProblem> problem = checkWatch(watch, others)) {
        refuse(*problem);
        return;
    }
    if (!prepareFolders(watch)) return;

    WatchChange change;
    change.edit = edit;
    if (m_EditIndex >= 0) {
        // The watch that was loaded, wherever it is now; without one, the record at that position.
        change.kind = WatchChange::Kind::Replace;
        change.key = m_key;
        change.name = std::to_string(m_EditIndex);
    }
    ChangeProblem problem;
    if (changeWatches(m_context.WatchFilePath, {change}, problem)) {
        accept();
        return;
    }
    switch (problem.kind) {
        case ChangeProblem::Kind::Input:
            refuse(problem.input);
            return;
        case ChangeProblem::Kind::NoSuchWatch:
            m_context.messages.showMessage(toBytes(
                tr("Another program deleted or changed this watch while it was edited. Nothing was saved.")));
            return;
        case ChangeProblem::Kind::File:
        case ChangeProblem::Kind::None:
            break;
    }
    m_context.messages.showMessage(toBytes(
        tr("The watch could not be saved: %1. Nothing was changed.").arg(fromBytes(problem.file.text()))));
}

void TEditWatchForm::CancelBtnClick() {
    reject();
}
