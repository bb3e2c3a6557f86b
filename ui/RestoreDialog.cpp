#include "ui/RestoreDialog.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/Dialogs.h"
#include "ui/Sizes.h"
#include "ui/Texts.h"
#include "watch/EventLog.h"
#include "watch/WatchFile.h"
#include "watch/WatchStore.h"

using namespace tessel;

namespace {

constexpr int kFileRole = Qt::UserRole + 1;  // the row's kept file: its place in the search's list

QString timeText(const platform::LocalTime& time) {
    return QDateTime(QDate(time.year, time.month, time.day), QTime(time.hour, time.minute, time.second))
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString modifiedText(const platform::FileTime& time) {
    return QDateTime::fromSecsSinceEpoch(time.seconds).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// "1 file" or "3 files": English has two forms, and no translation of them is loaded.
QString countText(std::size_t count, const QString& one, const QString& more) {
    return count == 1 ? one : more.arg(shownLocale().toString(static_cast<qulonglong>(count)));
}

}  // namespace

RestoreDialog::RestoreDialog(RunContext& context, Dialogs& dialogs, int watchIndex, QWidget* parent)
    : QDialog(parent), m_context(context), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("restoreDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The watch as the file holds it now, with its name; without its text file, the record alone.
    QString name;
    tessel::WatchList watches;
    FileProblem problem;
    loadWatches(context.WatchFilePath, watches, problem);
    for (const StoredWatch& stored : watches.watches) {
        if (stored.position != watchIndex) continue;
        m_watch = stored.record;
        name = fromBytes(stored.watch.name);
    }
    if (name.isEmpty()) m_watch = ReadWatchRec(context, watchIndex);
    m_roots = keptFilesRoots(m_watch);
    setWindowTitle(name.isEmpty() ? tr("Restore Files") : tr("Restore Files: %1").arg(name));

    auto* intro = new QLabel(
        tr("What the runs of this watch replaced or deleted, and the conflict copies of a watch that "
           "runs both ways. Choose a file, or one of its times, and restore it."),
        this);
    intro->setWordWrap(true);
    searchEdit = new QLineEdit(this);
    searchEdit->setObjectName(QStringLiteral("searchEdit"));
    searchEdit->setPlaceholderText(tr("Search by name or folder"));
    searchEdit->setClearButtonEnabled(true);
    searchEdit->setToolTip(tr("Show only the files whose path holds this text (Ctrl+F)"));
    auto* searchLabel = new QLabel(tr("&Search:"), this);
    searchLabel->setBuddy(searchEdit);
    connect(searchEdit, &QLineEdit::textChanged, this, &RestoreDialog::filter);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, searchEdit,
            [this] { searchEdit->setFocus(Qt::ShortcutFocusReason); });

    fileList = new QTreeWidget(this);
    fileList->setObjectName(QStringLiteral("keptFileList"));
    fileList->setColumnCount(ColumnCount);
    fileList->setHeaderLabels({tr("File"), tr("Kept"), tr("Size"), tr("Modified"), tr("Kind"), tr("Side")});
    fileList->setSelectionMode(QAbstractItemView::SingleSelection);
    fileList->setAllColumnsShowFocus(true);
    fileList->setUniformRowHeights(true);
    fileList->header()->setStretchLastSection(false);
    fileList->header()->setSectionResizeMode(FileColumn, QHeaderView::Stretch);
    for (int column = KeptColumn; column < ColumnCount; ++column)
        fileList->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    connect(fileList, &QTreeWidget::itemSelectionChanged, this, &RestoreDialog::updateButtons);

    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setWordWrap(true);
    statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    restoreButton = new QPushButton(tr("&Restore"), this);
    restoreButton->setToolTip(tr(
        "Put the chosen version back in place of the file; the file there now is kept as a version first"));
    saveButton = new QPushButton(tr("Save &To..."), this);
    saveButton->setToolTip(tr("Save the chosen version in another folder, under the file's own name"));
    closeButton = new QPushButton(tr("&Close"), this);
    // Enter in the search field must not restore anything.
    for (QPushButton* button : {restoreButton, saveButton, closeButton}) button->setAutoDefault(false);
    connect(restoreButton, &QPushButton::clicked, this, &RestoreDialog::restoreSelected);
    connect(saveButton, &QPushButton::clicked, this, &RestoreDialog::saveSelectedElsewhere);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(searchEdit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(restoreButton);
    buttons->addWidget(saveButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(searchRow);
    layout->addWidget(fileList, 1);
    layout->addWidget(statusLabel);
    layout->addLayout(buttons);
    resize(760, 440);
    search();
}

RestoreDialog::~RestoreDialog() {
    m_stop = true;
    if (m_worker != nullptr) {
        m_worker->wait();
        delete m_worker;
    }
}

void RestoreDialog::runInBackground(std::function<void()> work, std::function<void()> then) {
    m_worker = QThread::create(std::move(work));
    // Told on the window's thread, once the work has ended.
    connect(m_worker, &QThread::finished, this, [this, then = std::move(then)] {
        m_worker->deleteLater();
        m_worker = nullptr;
        then();
        updateButtons();
    });
    m_worker->start();
    updateButtons();
}

void RestoreDialog::search() {
    if (busy()) return;
    statusLabel->setText(tr("Looking for kept files..."));
    auto found = std::make_shared<KeptFiles>();
    runInBackground([found, roots = m_roots, this] { *found = findKeptFiles(roots, {}, &m_stop); },
                    [this, found] {
                        m_kept = found;
                        showKeptFiles();
                        emit searched();
                    });
}

QTreeWidgetItem* RestoreDialog::keptFileRow(std::size_t index, QTreeWidgetItem* parent) {
    const KeptFile& file = m_kept->files[index];
    auto* row = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(fileList);
    row->setData(FileColumn, kFileRole, static_cast<qulonglong>(index));
    row->setText(KeptColumn, timeText(file.time));
    row->setText(SizeColumn, sizeText(file.size));
    row->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    row->setText(ModifiedColumn, modifiedText(file.modified));
    row->setText(KindColumn, file.kind == KeptFile::Kind::Version ? tr("Version") : tr("Conflict copy"));
    row->setText(SideColumn, file.side == TreeSide::Destination ? tr("Destination") : tr("Source"));
    for (int column = 0; column < ColumnCount; ++column) row->setToolTip(column, fromBytes(file.location()));
    return row;
}

void RestoreDialog::showKeptFiles() {
    // The row chosen before stays chosen: the same kept file, or else the same file.
    const QTreeWidgetItem* current = fileList->currentItem();
    const QString chosenFile = current == nullptr             ? QString()
                               : current->parent() != nullptr ? current->parent()->text(FileColumn)
                                                              : current->text(FileColumn);
    // A file's own row stands for whichever is newest; only an older one is chosen by its place.
    const QString chosenPlace =
        current == nullptr || current->parent() == nullptr ? QString() : current->toolTip(FileColumn);
    QStringList expanded;
    for (int i = 0; i < fileList->topLevelItemCount(); ++i)
        if (fileList->topLevelItem(i)->isExpanded()) expanded << fileList->topLevelItem(i)->text(FileColumn);
    fileList->clear();
    const std::vector<KeptFile>& files = m_kept->files;
    // One row per file, showing its newest; its older ones below it.
    for (std::size_t first = 0; first < files.size();) {
        std::size_t end = first + 1;
        while (end < files.size() && files[end].path == files[first].path) ++end;
        QTreeWidgetItem* row = keptFileRow(first, nullptr);
        row->setText(FileColumn, fromBytes(files[first].path));
        if (end - first > 1) {
            row->setText(KindColumn, tr("%1 kept").arg(end - first));
            for (std::size_t older = first; older < end; ++older) keptFileRow(older, row);
            row->setExpanded(expanded.contains(row->text(FileColumn)));
        }
        first = end;
    }
    filter(searchEdit->text());

    QString status;
    if (files.empty())
        status =
            m_context.options.keepVersions
                ? tr("Nothing has been kept for this watch yet: its runs have replaced or deleted no file.")
                : tr("Nothing has been kept for this watch. Keeping versions is switched off "
                     "(KeepVersions=0 in Tessel.ini).");
    else
        status = tr("%1 of %2.")
                     .arg(countText(files.size(), tr("1 kept copy"), tr("%1 kept copies")),
                          countText(static_cast<std::size_t>(fileList->topLevelItemCount()), tr("1 file"),
                                    tr("%1 files")));
    if (!m_kept->problems.empty()) {
        status += QLatin1Char(' ') +
                  tr("Some folders could not be looked into: %1").arg(fromBytes(m_kept->problems.front()));
        QStringList all;
        for (const std::string& problem : m_kept->problems) all << fromBytes(problem);
        statusLabel->setToolTip(all.join(QLatin1Char('\n')));
    } else {
        statusLabel->setToolTip({});
    }
    // What the restore before this search did stays said.
    if (!m_said.isEmpty()) status = m_said + QLatin1Char(' ') + status;
    m_said.clear();
    statusLabel->setText(status);
    QTreeWidgetItem* again = nullptr;
    for (int i = 0; i < fileList->topLevelItemCount() && again == nullptr; ++i) {
        QTreeWidgetItem* row = fileList->topLevelItem(i);
        if (row->text(FileColumn) != chosenFile) continue;
        again = row;
        for (int older = 0; older < row->childCount(); ++older)
            if (!chosenPlace.isEmpty() && row->child(older)->toolTip(FileColumn) == chosenPlace)
                again = row->child(older);
    }
    if (again != nullptr) fileList->setCurrentItem(again);
    chooseVisibleRow();
}

void RestoreDialog::filter(const QString& text) {
    for (int i = 0; i < fileList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = fileList->topLevelItem(i);
        row->setHidden(!row->text(FileColumn).contains(text, Qt::CaseInsensitive));
    }
    chooseVisibleRow();
}

void RestoreDialog::chooseVisibleRow() {
    // What the search shows first is chosen, so that a name typed and Restore are all it takes.
    if (selectedKeptFile() == nullptr) {
        fileList->clearSelection();
        for (int i = 0; i < fileList->topLevelItemCount(); ++i) {
            if (fileList->topLevelItem(i)->isHidden()) continue;
            fileList->setCurrentItem(fileList->topLevelItem(i));
            break;
        }
    }
    updateButtons();
}

const KeptFile* RestoreDialog::selectedKeptFile() const {
    const QList<QTreeWidgetItem*> selected = fileList->selectedItems();
    if (selected.isEmpty() || !m_kept) return nullptr;
    const QTreeWidgetItem* row = selected.constFirst();
    // A row the search hides is chosen no longer.
    if (row->isHidden() || (row->parent() != nullptr && row->parent()->isHidden())) return nullptr;
    const auto index = row->data(FileColumn, kFileRole).toULongLong();
    return index < m_kept->files.size() ? &m_kept->files[index] : nullptr;
}

void RestoreDialog::updateButtons() {
    const bool chosen = !busy() && selectedKeptFile() != nullptr;
    restoreButton->setEnabled(chosen);
    saveButton->setEnabled(chosen);
}

void RestoreDialog::restoreSelected() {
    if (const KeptFile* file = selectedKeptFile(); file != nullptr && !busy())
        startRestore(*file, RestorePlace::InPlace, {}, ExistingFile::Refuse);
}

void RestoreDialog::saveSelectedElsewhere() {
    const KeptFile* file = selectedKeptFile();
    if (file == nullptr || busy()) return;
    const QString folder = m_dialogs.chooseFolder(this, tr("Save a Copy In"),
                                                  m_lastFolder.isEmpty() ? QDir::homePath() : m_lastFolder);
    if (folder.isEmpty()) return;
    m_lastFolder = folder;
    startRestore(*file, RestorePlace::OtherFolder, folder, ExistingFile::Refuse);
}

void RestoreDialog::startRestore(const KeptFile& file, RestorePlace place, const QString& folder,
                                 ExistingFile existing) {
    statusLabel->setText(tr("Restoring %1...").arg(fromBytes(file.path)));
    auto result = std::make_shared<RestoreResult>();
    // The kept file is copied: a search that follows replaces the list it lies in.
    runInBackground([result, watch = m_watch, file, place, folder = toBytes(folder),
                     existing] { *result = restoreKeptFile(watch, file, place, folder, existing); },
                    [this, result, file, place, folder] { restoreDone(file, *result, place, folder); });
}

void RestoreDialog::restoreDone(const KeptFile& file, const RestoreResult& result, RestorePlace place,
                                const QString& folder) {
    const QString target = fromBytes(result.target);
    switch (result.kind) {
        case RestoreResult::Kind::Restored: {
            WriteLogLine(m_context, restoredLine(file, result));
            QString said = tr("Restored %1.").arg(target);
            if (!result.keptAs.empty())
                said += QLatin1Char(' ') +
                        tr("The file it replaced is kept as %1.").arg(fromBytes(result.keptAs));
            m_said = said;
            // The replaced file is a kept file now, and the list shows it.
            search();
            break;
        }
        case RestoreResult::Kind::Exists:
            if (m_dialogs.confirm(this,
                                  tr("%1 is already there.\n\nReplace it? The file there now is kept in "
                                     "%2 first.")
                                      .arg(target, QDir(folder).filePath(QStringLiteral(".tessel-versions"))),
                                  tr("&Replace"))) {
                startRestore(file, place, folder, ExistingFile::Replace);
                return;
            }
            statusLabel->setText(tr("Nothing was saved."));
            break;
        case RestoreResult::Kind::Busy:
            statusLabel->setText(tr("Nothing was restored."));
            m_dialogs.showMessage(this, tr("The watch is running now, so %1 was not restored. Try again when "
                                           "the run has ended.")
                                            .arg(target));
            break;
        case RestoreResult::Kind::Failed:
            statusLabel->setText(tr("Nothing was restored."));
            m_dialogs.showMessage(
                this, tr("%1 could not be restored: %2: %3. Nothing was changed.")
                          .arg(target, fromBytes(result.doing), fromBytes(result.error.message())));
            break;
    }
    emit restoreEnded();
}
