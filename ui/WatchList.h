#pragma once
// The list of watches in the main window: one row per record of the watch file, in file order, so that
// row i shows record i. A row shows the watch's status picture with its number, its source folder and
// its destination folder, and keeps beside them what the window asks of the watch.

#include <QIcon>
#include <QString>
#include <QTreeWidget>
#include <array>
#include <string>

#include "ui/Pictures.h"

class WatchList : public QTreeWidget {
    Q_OBJECT
  public:
    // The row's status picture index, kept beside its icon.
    static constexpr int kPictureRole = Qt::UserRole + 1;

    explicit WatchList(QWidget* parent = nullptr);

    // Rebuilds every row from `watchFile`. A missing or unreadable file leaves the rows read so far;
    // nothing is reported.
    void fill(const std::string& watchFile);

    // The selected row, -1 when none is.
    int selectedRow() const;
    // The watch index that the selected row shows, -1 without a selection.
    int selectedWatchIndex() const;
    void selectRow(int row);

    // Shows status picture `picture` (0..9) in `row`; false for a row the list lacks or another number.
    bool setRowPicture(int row, int picture);
    // Rows still showing another picture than their watch's own (the running mark of a record that a
    // run did not find) get their own back.
    void restoreRowPictures();

    // Whether a watch of the list runs at start.
    bool hasOnStartWatch() const;
    // What a short text calls the watch of `row`: the last part of its source folder; empty without the row.
    QString watchName(int row) const;
    // Whether the watch of `row` moves its files rather than copying them.
    bool movesFiles(int row) const;

  private:
    std::array<QIcon, kStatusPictureCount> m_pictures;
};
