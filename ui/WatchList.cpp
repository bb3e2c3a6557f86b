#include "ui/WatchList.h"

#include <QHeaderView>
#include <vector>

#include "sync/Scheduler.h"
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

}  // namespace

WatchList::WatchList(QWidget* parent) : QTreeWidget(parent), m_pictures(statusIcons()) {
    setObjectName(QStringLiteral("watchList"));
    setColumnCount(3);
    setHeaderLabels({tr("Status"), tr("Source Folder"), tr("Destination Folder")});
    setColumnWidth(0, 50);
    setColumnWidth(1, 320);
    setColumnWidth(2, 310);
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
}

void WatchList::fill(const std::string& watchFile) {
    clear();
    std::vector<TWatchRec> watches;
    readAllWatchRecs(watchFile, watches);
    for (const TWatchRec& watch : watches) {
        auto* row = new QTreeWidgetItem(this);
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
}

int WatchList::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.constFirst());
}

int WatchList::selectedWatchIndex() const {
    const int row = selectedRow();
    if (row < 0) return -1;
    bool isNumber = false;
    const int index = topLevelItem(row)->text(0).toInt(&isNumber);
    return isNumber && index >= 0 ? index : -1;
}

void WatchList::selectRow(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) return;
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item);
}

bool WatchList::setRowPicture(int row, int picture) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr || picture < 0 || picture >= kStatusPictureCount) return false;
    item->setIcon(0, m_pictures[static_cast<std::size_t>(picture)]);
    item->setData(0, kPictureRole, picture);
    return true;
}

void WatchList::restoreRowPictures() {
    for (int row = 0; row < topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = topLevelItem(row);
        if (item->data(0, kPictureRole) != item->data(0, kTypeRole))
            setRowPicture(row, item->data(0, kTypeRole).toInt());
    }
}

bool WatchList::hasOnStartWatch() const {
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (topLevelItem(row)->data(0, kRunModeRole).toInt() == rmOnStart) return true;
    return false;
}

QString WatchList::watchName(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? folderName(item->text(1)) : QString();
}

bool WatchList::movesFiles(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr && item->data(0, kMoveRole).toBool();
}
