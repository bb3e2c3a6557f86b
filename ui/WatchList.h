#pragma once
// The list of watches in the main window: one row per record of the watch file. A row shows the watch's
// status picture with its number, its name, its source and destination folders, when its last run
// ended and how it went, and when the timer runs it next; beside them it keeps what the window asks of
// the watch. A click on a column's header sorts the rows by it; a click on Status puts them back in the
// order of the watch file. A watch whose last run failed or met a conflict shows a picture that says
// so, instead of that of its run mode, until its next clean run.
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

#include "ui/ListedWatch.h"
#include "ui/Pictures.h"

class QTimer;

class WatchList : public QTreeWidget {
    Q_OBJECT
  public:
    // The columns as the settings file counts them; the list shows Name after Status. Columns came
    // later at the end, so that the widths and the sorting a window kept before still mean the same.
    enum Column {
        StatusColumn,
        SourceColumn,
        DestinationColumn,
        NameColumn,
        LastRunColumn,
        ResultColumn,
        NextRunColumn,
        ColumnCount
    };
    // The row's status picture index, kept beside its icon.
    static constexpr int kPictureRole = Qt::UserRole + 1;
    // The watch's number, kept in its row.
    static constexpr int kIndexRole = Qt::UserRole + 5;
    // What the columns of times and results sort by.
    static constexpr int kSortRole = Qt::UserRole + 6;

    explicit WatchList(QWidget* parent = nullptr);

    // Rebuilds every row from `watchFile` and the text file beside it (readListedWatches), sorted as the
    // list is. No row is selected afterwards.
    void fill(const std::string& watchFile);
    // Brings the rows up to date with the files as they are now (another run, tessel-batch, an edit
    // elsewhere), keeping the rows, the sorting, the selection and a running watch's mark. False, with
    // nothing changed, when the files no longer hold the watches the rows show (a watch added, deleted
    // or moved): the list then needs a fill.
    bool refresh(const std::string& watchFile);
    // The Next run column at `now`; the list does it by itself every 30 seconds, as time goes on.
    void showNextRuns(tessel::TDateTime now);
    QTimer& nextRunTimer() const { return *m_nextRunTimer; }
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

    // Shows status picture `picture` (0..9) for watch `index`: the watch's own picture when it is that
    // of its run mode, which is the mark of a failed last run where the watch has one. False for a watch
    // the list lacks or another number.
    bool setWatchPicture(int index, int picture);
    // Marks watch `index` as running, with the picture only a running watch shows.
    bool showRunning(int index);
    bool showsRunning(int index) const;
    // Watches still showing another picture than their own (the running mark of a record that a run did
    // not find) get their own back.
    void restoreWatchPictures();

    // Whether a watch of the list runs at start.
    bool hasOnStartWatch() const;
    // What a short text calls watch `index`: its name; empty without the watch.
    QString watchName(int index) const;
    // The watch as the list last read it; null without the watch.
    const ListedWatch* listedWatch(int index) const;
    // Whether watch `index` moves its files rather than copying them.
    bool movesFiles(int index) const;

    // The widths of the columns that the user sizes, in the order of the settings file: all but the
    // last, which takes the room the others leave. Widths for fewer columns set only those; more are not
    // used.
    std::vector<int> columnWidths() const;
    void setColumnWidths(const std::vector<int>& widths);

    // How two rows' texts sort: as people read them, digits as numbers, capitals alike.
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
    // Every value of watch `index`'s row from `watch`, the running mark left alone.
    void showWatch(int index, const ListedWatch& watch, tessel::TDateTime now);
    void showPicture(QTreeWidgetItem& row, int picture);
    // The picture that stands for the watch of `row` when it is not running.
    int ownPicture(const QTreeWidgetItem& row) const;
    // Sorts again after values changed in the column the list is sorted by.
    void resortBy(std::initializer_list<int> changedColumns);

    std::array<QIcon, kStatusPictureCount> m_pictures;
    // The rows by watch number, which the list owns, and what each shows.
    std::vector<QTreeWidgetItem*> m_rows;
    std::vector<ListedWatch> m_watches;
    QCollator m_collator;
    QTimer* m_nextRunTimer = nullptr;
    bool m_folderDropsAllowed = true;
};
