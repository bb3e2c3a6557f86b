#pragma once
// The list of watches in the main window: one row per record of the watch file. A row shows the watch's
// status picture with its number, its source folder and its destination folder, and keeps beside them
// what the window asks of the watch. A click on a column's header sorts the rows by it; a click on Status
// puts them back in the order of the watch file.
//
// Rows and watches: a watch is known by its number, the record's position in the watch file, which the
// engine, the editor and the commands all use; the row it shows in depends on the sorting. Every function
// below that takes an `index` means that number, and only the row functions mean a row.

#include <QCollator>
#include <QIcon>
#include <QString>
#include <QTreeWidget>
#include <array>
#include <string>
#include <vector>

#include "ui/Pictures.h"

class WatchList : public QTreeWidget {
    Q_OBJECT
  public:
    enum Column { StatusColumn, SourceColumn, DestinationColumn, ColumnCount };
    // The row's status picture index, kept beside its icon.
    static constexpr int kPictureRole = Qt::UserRole + 1;
    // The watch's number, kept in its row.
    static constexpr int kIndexRole = Qt::UserRole + 5;

    explicit WatchList(QWidget* parent = nullptr);

    // Rebuilds every row from `watchFile`, sorted as the list is. A missing or unreadable file leaves the
    // rows read so far; nothing is reported. No row is selected afterwards.
    void fill(const std::string& watchFile);
    int watchCount() const { return static_cast<int>(m_rows.size()); }

    // The selected row, -1 when none is.
    int selectedRow() const;
    void selectRow(int row);
    // The watch the selected row shows, -1 without a selection.
    int selectedWatchIndex() const;
    // Selects the row of watch `index` and scrolls to it; false, with no row selected, when the list
    // lacks the watch.
    bool selectWatch(int index);
    // The row that shows watch `index`, -1 when none does; and the other way round.
    int rowOfWatch(int index) const;
    int watchAtRow(int row) const;

    // Shows status picture `picture` (0..9) for watch `index`; false for a watch the list lacks or another
    // number.
    bool setWatchPicture(int index, int picture);
    // Marks watch `index` as running, with the picture only a running watch shows.
    bool showRunning(int index);
    bool showsRunning(int index) const;
    // Watches still showing another picture than their own (the running mark of a record that a run did
    // not find) get their own back.
    void restoreWatchPictures();

    // Whether a watch of the list runs at start.
    bool hasOnStartWatch() const;
    // What a short text calls watch `index`: the last part of its source folder; empty without the watch.
    QString watchName(int index) const;
    // Whether watch `index` moves its files rather than copying them.
    bool movesFiles(int index) const;

    // The widths of the columns that the user sizes, from the left: all but the last, which takes the
    // room the others leave. Widths for fewer columns set only those; more are not used.
    std::vector<int> columnWidths() const;
    void setColumnWidths(const std::vector<int>& widths);

    // How two rows' folders sort: as people read them, digits as numbers, capitals alike.
    int compareFolders(const QString& first, const QString& second) const;

    // Whether a folder dropped on the list is taken (folderDropped): not while the watches may not be
    // changed.
    void setFolderDropsAllowed(bool allowed) { m_folderDropsAllowed = allowed; }

  signals:
    // A folder from the file manager was dropped on the list: a new watch of it is wanted.
    void folderDropped(const QString& folder);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QTreeWidgetItem* rowItem(int index) const;

    std::array<QIcon, kStatusPictureCount> m_pictures;
    // The rows by watch number; the list owns them.
    std::vector<QTreeWidgetItem*> m_rows;
    QCollator m_collator;
    bool m_folderDropsAllowed = true;
};
