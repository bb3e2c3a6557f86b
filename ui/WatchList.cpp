#include "ui/WatchList.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLocale>
#include <QMimeData>
#include <algorithm>

#include "sync/Scheduler.h"
#include "ui/PathEdit.h"
#include "ui/Texts.h"
#include "watch/WatchFile.h"

using namespace tessel;

namespace {

// The watch's own status picture and what it does with files, kept in its row beside the picture shown.
constexpr int kTypeRole = Qt::UserRole + 2;
constexpr int kMoveRole = Qt::UserRole + 3;
constexpr int kRunModeRole = Qt::UserRole + 4;

// The last part of a folder path: what a watch is called in a short text.
QString folderName(const QString& path) {
    QString name = path;
    while (name.size() > 1 && name.endsWith(QLatin1Char('/'))) name.chop(1);
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 && slash + 1 < name.size() ? name.mid(slash + 1) : name;
}

int indexOf(const QTreeWidgetItem& row) {
    return row.data(WatchList::StatusColumn, WatchList::kIndexRole).toInt();
}

// A row that sorts by the watch's number in the Status column and by its folders in theirs, rows with the
// same folder in the order of the watch file.
class WatchRow : public QTreeWidgetItem {
  public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override {
        const auto* list = static_cast<const WatchList*>(treeWidget());
        const int column = list != nullptr ? list->sortColumn() : WatchList::StatusColumn;
        if (list != nullptr && column != WatchList::StatusColumn) {
            const int order = list->compareFolders(text(column), other.text(column));
            if (order != 0) return order < 0;
        }
        return indexOf(*this) < indexOf(other);
    }
};

}  // namespace

WatchList::WatchList(QWidget* parent) : QTreeWidget(parent), m_pictures(statusIcons()) {
    setObjectName(QStringLiteral("watchList"));
    setColumnCount(ColumnCount);
    setHeaderLabels({tr("Status"), tr("Source Folder"), tr("Destination Folder")});
    setColumnWidth(StatusColumn, 50);
    setColumnWidth(SourceColumn, 320);
    setColumnWidth(DestinationColumn, 310);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(kStatusPictureSize, kStatusPictureSize));
    setContextMenuPolicy(Qt::CustomContextMenu);
    setMinimumHeight(60);
    // A folder dragged from the file manager starts a new watch of it; rows are never dragged.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    // The C locale's collation compares code points and knows neither numbers nor capitals; a program
    // started without a language sorts as English does.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
    m_collator = QCollator(locale);
    m_collator.setNumericMode(true);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    // In the order of the watch file until the user clicks a header.
    sortByColumn(StatusColumn, Qt::AscendingOrder);
    setSortingEnabled(true);
}

std::vector<int> WatchList::columnWidths() const {
    std::vector<int> widths;
    for (int column = 0; column + 1 < ColumnCount; ++column) widths.push_back(columnWidth(column));
    return widths;
}

void WatchList::setColumnWidths(const std::vector<int>& widths) {
    // Never narrower than a letter, so that a column dragged shut can still be found and pulled open.
    const int narrowest = fontMetrics().averageCharWidth() * 2;
    for (std::size_t column = 0; column < widths.size() && column + 1 < ColumnCount; ++column)
        setColumnWidth(static_cast<int>(column), std::max(narrowest, widths[column]));
}

int WatchList::compareFolders(const QString& first, const QString& second) const {
    return m_collator.compare(first, second);
}

void WatchList::fill(const std::string& watchFile) {
    clear();
    m_rows.clear();
    std::vector<TWatchRec> watches;
    readAllWatchRecs(watchFile, watches);
    // Sorted once at the end rather than at each row.
    setSortingEnabled(false);
    for (std::size_t position = 0; position < watches.size(); ++position) {
        const TWatchRec& watch = watches[position];
        auto* row = new WatchRow(this);
        const int index = static_cast<int>(position);
        row->setText(StatusColumn, QString::number(index));
        row->setText(SourceColumn, fromBytes(getText(watch.SourceDir)));
        row->setText(DestinationColumn, fromBytes(getText(watch.DestDir)));
        const int picture = GetSinhroWatchType(watch);
        row->setIcon(StatusColumn, m_pictures[static_cast<std::size_t>(picture)]);
        row->setData(StatusColumn, kPictureRole, picture);
        row->setData(StatusColumn, kTypeRole, picture);
        // The position the row was read from, not the stored number, which a damaged record may get wrong.
        row->setData(StatusColumn, kIndexRole, index);
        row->setData(StatusColumn, kMoveRole, watch.FileAction != faCopy);
        row->setData(StatusColumn, kRunModeRole, int(watch.RunMode));
        m_rows.push_back(row);
    }
    setSortingEnabled(true);
}

QTreeWidgetItem* WatchList::rowItem(int index) const {
    return index >= 0 && index < watchCount() ? m_rows[static_cast<std::size_t>(index)] : nullptr;
}

int WatchList::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.constFirst());
}

void WatchList::selectRow(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) return;
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item);
}

int WatchList::selectedWatchIndex() const {
    return watchAtRow(selectedRow());
}

bool WatchList::selectWatch(int index) {
    const int row = rowOfWatch(index);
    if (row < 0) {
        clearSelection();
        return false;
    }
    selectRow(row);
    return true;
}

int WatchList::rowOfWatch(int index) const {
    QTreeWidgetItem* item = rowItem(index);
    return item != nullptr ? indexOfTopLevelItem(item) : -1;
}

int WatchList::watchAtRow(int row) const {
    const QTreeWidgetItem* item = row >= 0 ? topLevelItem(row) : nullptr;
    return item != nullptr ? indexOf(*item) : -1;
}

bool WatchList::setWatchPicture(int index, int picture) {
    QTreeWidgetItem* item = rowItem(index);
    if (item == nullptr || picture < 0 || picture >= kWatchTypePictureCount) return false;
    item->setIcon(StatusColumn, m_pictures[static_cast<std::size_t>(picture)]);
    item->setData(StatusColumn, kPictureRole, picture);
    return true;
}

bool WatchList::showRunning(int index) {
    QTreeWidgetItem* item = rowItem(index);
    if (item == nullptr) return false;
    item->setIcon(StatusColumn, m_pictures[static_cast<std::size_t>(kRunningWatchPicture)]);
    item->setData(StatusColumn, kPictureRole, kRunningWatchPicture);
    return true;
}

bool WatchList::showsRunning(int index) const {
    const QTreeWidgetItem* item = rowItem(index);
    return item != nullptr && item->data(StatusColumn, kPictureRole).toInt() == kRunningWatchPicture;
}

void WatchList::restoreWatchPictures() {
    for (const QTreeWidgetItem* item : m_rows) {
        if (item->data(StatusColumn, kPictureRole) != item->data(StatusColumn, kTypeRole))
            setWatchPicture(indexOf(*item), item->data(StatusColumn, kTypeRole).toInt());
    }
}

bool WatchList::hasOnStartWatch() const {
    for (const QTreeWidgetItem* item : m_rows)
        if (item->data(StatusColumn, kRunModeRole).toInt() == rmOnStart) return true;
    return false;
}

QString WatchList::watchName(int index) const {
    const QTreeWidgetItem* item = rowItem(index);
    return item != nullptr ? folderName(item->text(SourceColumn)) : QString();
}

bool WatchList::movesFiles(int index) const {
    const QTreeWidgetItem* item = rowItem(index);
    return item != nullptr && item->data(StatusColumn, kMoveRole).toBool();
}

void WatchList::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_folderDropsAllowed || droppedPath(*event->mimeData(), PathEdit::Holds::Folder).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void WatchList::dragMoveEvent(QDragMoveEvent* event) {
    // Anywhere on the list: the new watch has no place among the rows until it is saved.
    event->acceptProposedAction();
}

void WatchList::dropEvent(QDropEvent* event) {
    const QString folder = droppedPath(*event->mimeData(), PathEdit::Holds::Folder);
    if (!m_folderDropsAllowed || folder.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // After the drop has ended: the editor that follows runs an event loop of its own.
    QMetaObject::invokeMethod(
        this, [this, folder] { emit folderDropped(folder); }, Qt::QueuedConnection);
}
