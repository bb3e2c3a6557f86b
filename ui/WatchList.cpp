#include "ui/WatchList.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLocale>
#include <QMimeData>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <utility>

#include "sync/Scheduler.h"
#include "ui/PathEdit.h"
#include "ui/Texts.h"
#include "watch/DateTime.h"

using namespace tessel;

namespace {

// The room of the list in the window's designed size, within its frame.
constexpr int kDesignedWidth = 684;

// The watch's own status picture and whether its last run failed or met a conflict, kept in its row
// beside the picture shown.
constexpr int kTypeRole = Qt::UserRole + 2;
constexpr int kAttentionRole = Qt::UserRole + 3;

constexpr std::chrono::seconds kNextRunInterval{30};

int indexOf(const QTreeWidgetItem& row) {
    return row.data(WatchList::StatusColumn, WatchList::kIndexRole).toInt();
}

// A row that sorts by the watch's number in the Status column, by a time or a result's rank in the
// columns that keep one, and by text elsewhere; rows alike in the order of the watch file.
class WatchRow : public QTreeWidgetItem {
  public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override {
        const auto* list = static_cast<const WatchList*>(treeWidget());
        const int column = list != nullptr ? list->sortColumn() : WatchList::StatusColumn;
        if (list != nullptr && column != WatchList::StatusColumn) {
            const QVariant mine = data(column, WatchList::kSortRole);
            const QVariant theirs = other.data(column, WatchList::kSortRole);
            if (mine.isValid() && theirs.isValid()) {
                if (mine.toDouble() != theirs.toDouble()) return mine.toDouble() < theirs.toDouble();
            } else if (const int order = list->compareFolders(text(column), other.text(column)); order != 0) {
                return order < 0;
            }
        }
        return indexOf(*this) < indexOf(other);
    }
};

}  // namespace

WatchList::WatchList(QWidget* parent) : QTreeWidget(parent), m_pictures(statusIcons()) {
    setObjectName(QStringLiteral("watchList"));
    setColumnCount(ColumnCount);
    setHeaderLabels({tr("Status"), tr("Source Folder"), tr("Destination Folder"), tr("Name"), tr("Last Run"),
                     tr("Result"), tr("Next Run")});
    header()->moveSection(header()->visualIndex(NameColumn), 1);
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
    // The designed window's width for the columns but the last, which takes what is left; at least their
    // titles' in any language, Status's with the mark of the sorting.
    const std::pair<Column, int> widths[] = {{StatusColumn, 50},   {NameColumn, 80},
                                             {SourceColumn, 125},  {DestinationColumn, 125},
                                             {LastRunColumn, 100}, {ResultColumn, 60}};
    const QFontMetrics titles = header()->fontMetrics();
    const auto titleWidth = [&](int column) {
        return titles.horizontalAdvance(headerItem()->text(column)) + titles.averageCharWidth() * 2 +
               (column == StatusColumn ? iconSize().width() : 0);
    };
    int used = titleWidth(NextRunColumn);
    for (const auto& [column, width] : widths) {
        setColumnWidth(column, std::max(width, titleWidth(column)));
        used += columnWidth(column);
    }
    // Where the titles are long (Russian), the path columns give way down to their titles' width, so
    // that the last one's title is whole too: a path is shortened in its cell anyway.
    for (const Column column : {SourceColumn, DestinationColumn}) {
        const int give = std::clamp(used - kDesignedWidth, 0, columnWidth(column) - titleWidth(column));
        setColumnWidth(column, columnWidth(column) - give);
        used -= give;
    }
    // A watch becomes due as time goes on, with no file changing.
    m_nextRunTimer = new QTimer(this);
    m_nextRunTimer->setObjectName(QStringLiteral("nextRunTimer"));
    m_nextRunTimer->setInterval(kNextRunInterval);
    connect(m_nextRunTimer, &QTimer::timeout, this, [this] { showNextRuns(tessel::Now()); });
    m_nextRunTimer->start();
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
    m_watches = readListedWatches(watchFile);
    const TDateTime now = Now();
    // Sorted once at the end rather than at each row.
    setSortingEnabled(false);
    for (std::size_t position = 0; position < m_watches.size(); ++position) {
        m_rows.push_back(new WatchRow(this));
        // The position the row was read from, not the stored number, which a damaged record may get wrong.
        showWatch(static_cast<int>(position), m_watches[position], now);
    }
    setSortingEnabled(true);
}

bool WatchList::refresh(const std::string& watchFile) {
    std::vector<ListedWatch> watches = readListedWatches(watchFile);
    if (watches.size() != m_watches.size()) return false;
    for (std::size_t i = 0; i < watches.size(); ++i) {
        const TWatchRec& now = watches[i].record;
        const TWatchRec& shown = m_watches[i].record;
        if (getText(now.SourceDir) != getText(shown.SourceDir) ||
            getText(now.DestDir) != getText(shown.DestDir))
            return false;
    }
    m_watches = std::move(watches);
    const TDateTime now = Now();
    for (std::size_t i = 0; i < m_watches.size(); ++i) showWatch(static_cast<int>(i), m_watches[i], now);
    resortBy({NameColumn, LastRunColumn, ResultColumn, NextRunColumn});
    return true;
}

void WatchList::showWatch(int index, const ListedWatch& watch, TDateTime now) {
    QTreeWidgetItem& row = *m_rows[static_cast<std::size_t>(index)];
    const auto show = [&row](int column, const ListedValue& value) {
        row.setText(column, value.text);
        row.setData(column, kSortRole, value.sortKey);
    };
    row.setText(StatusColumn, QString::number(index));
    row.setData(StatusColumn, kIndexRole, index);
    row.setText(NameColumn, fromBytes(watch.name));
    row.setText(SourceColumn, fromBytes(getText(watch.record.SourceDir)));
    row.setText(DestinationColumn, fromBytes(getText(watch.record.DestDir)));
    show(LastRunColumn, lastRunValue(watch, now));
    show(ResultColumn, resultValue(watch));
    show(NextRunColumn, nextRunValue(watch.record, now));
    // What needs looking at stands out in any colour scheme.
    QFont font = row.font(ResultColumn);
    font.setBold(watch.needsAttention());
    row.setFont(ResultColumn, font);
    const QString details = lastResultDetails(watch);
    for (const int column : {LastRunColumn, ResultColumn}) row.setToolTip(column, details);
    row.setToolTip(StatusColumn, watch.needsAttention() ? details : QString());
    row.setData(StatusColumn, kTypeRole, GetSinhroWatchType(watch.record));
    row.setData(StatusColumn, kAttentionRole, watch.needsAttention());
    if (!showsRunning(index)) showPicture(row, ownPicture(row));
}

void WatchList::showNextRuns(TDateTime now) {
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const ListedValue next = nextRunValue(m_watches[i].record, now);
        m_rows[i]->setText(NextRunColumn, next.text);
        m_rows[i]->setData(NextRunColumn, kSortRole, next.sortKey);
    }
    resortBy({NextRunColumn});
}

void WatchList::resortBy(std::initializer_list<int> changedColumns) {
    if (std::find(changedColumns.begin(), changedColumns.end(), sortColumn()) != changedColumns.end())
        sortItems(sortColumn(), header()->sortIndicatorOrder());
}

QTreeWidgetItem* WatchList::rowItem(int index) const {
    return index >= 0 && index < watchCount() ? m_rows[static_cast<std::size_t>(index)] : nullptr;
}

const ListedWatch* WatchList::listedWatch(int index) const {
    return rowItem(index) != nullptr ? &m_watches[static_cast<std::size_t>(index)] : nullptr;
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

void WatchList::showPicture(QTreeWidgetItem& row, int picture) {
    row.setIcon(StatusColumn, m_pictures[static_cast<std::size_t>(picture)]);
    row.setData(StatusColumn, kPictureRole, picture);
}

int WatchList::ownPicture(const QTreeWidgetItem& row) const {
    return row.data(StatusColumn, kAttentionRole).toBool() ? kAttentionPicture
                                                           : row.data(StatusColumn, kTypeRole).toInt();
}

bool WatchList::setWatchPicture(int index, int picture) {
    QTreeWidgetItem* item = rowItem(index);
    if (item == nullptr || picture < 0 || picture >= kWatchTypePictureCount) return false;
    showPicture(*item, picture == item->data(StatusColumn, kTypeRole).toInt() ? ownPicture(*item) : picture);
    return true;
}

bool WatchList::showRunning(int index) {
    QTreeWidgetItem* item = rowItem(index);
    if (item == nullptr) return false;
    showPicture(*item, kRunningWatchPicture);
    return true;
}

bool WatchList::showsRunning(int index) const {
    const QTreeWidgetItem* item = rowItem(index);
    return item != nullptr && item->data(StatusColumn, kPictureRole).toInt() == kRunningWatchPicture;
}

void WatchList::restoreWatchPictures() {
    for (QTreeWidgetItem* item : m_rows)
        if (item->data(StatusColumn, kPictureRole).toInt() != ownPicture(*item))
            showPicture(*item, ownPicture(*item));
}

bool WatchList::hasOnStartWatch() const {
    for (const ListedWatch& watch : m_watches)
        if (watch.record.RunMode == rmOnStart) return true;
    return false;
}

QString WatchList::watchName(int index) const {
    const QTreeWidgetItem* item = rowItem(index);
    return item != nullptr ? item->text(NameColumn) : QString();
}

bool WatchList::movesFiles(int index) const {
    const ListedWatch* watch = listedWatch(index);
    return watch != nullptr && watch->record.FileAction != faCopy;
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
