#pragma once
// Restore Files: what a watch's runs kept of the files they replaced or deleted, and the conflict copies
// of a two-way watch, by file and newest first, with a search; a chosen one is put back in place or
// saved in another folder (sync/Restore.h). Looking for them and restoring go on off the window's
// thread, so a large tree or a large file never stops the window; the log line of a restore is written
// on the window's thread.

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "sync/KeptFiles.h"
#include "sync/Restore.h"
#include "sync/RunContext.h"
#include "watch/WatchRec.h"

class Dialogs;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;
class QTreeWidget;
class QTreeWidgetItem;

class RestoreDialog : public QDialog {
    Q_OBJECT
  public:
    enum Column { FileColumn, KeptColumn, SizeColumn, ModifiedColumn, KindColumn, SideColumn, ColumnCount };

    // For the watch at position `watchIndex` of the context's watch file, as it is now; the search
    // starts at once.
    RestoreDialog(tessel::RunContext& context, Dialogs& dialogs, int watchIndex, QWidget* parent = nullptr);
    // Ends the search (a restore in hand is finished first: nothing is left half done).
    ~RestoreDialog() override;

    // Looks for the kept files again; `searched` follows.
    void search();
    // A search or a restore is going on.
    bool busy() const { return m_worker != nullptr; }
    // The kept file the selected row stands for (a file's own row stands for its newest); null without
    // a selection.
    const tessel::KeptFile* selectedKeptFile() const;
    // Puts the selected kept file back in place; `restoreEnded` follows.
    void restoreSelected();
    // Saves the selected kept file in a folder the user chooses, under its own name; a file of that
    // name there is replaced only when the user agrees (and then kept as a version in that folder).
    void saveSelectedElsewhere();
    // Shows only the files whose path holds `text`, letter case ignored.
    void filter(const QString& text);

    QLineEdit* searchEdit = nullptr;
    QTreeWidget* fileList = nullptr;
    QLabel* statusLabel = nullptr;
    QPushButton* restoreButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* closeButton = nullptr;

  signals:
    // The list shows what the last search found.
    void searched();
    // A restore has ended, done or not, and what it did has been said.
    void restoreEnded();

  private:
    void showKeptFiles();
    // Without a chosen row that the search shows, the first one it shows is chosen.
    void chooseVisibleRow();
    QTreeWidgetItem* keptFileRow(std::size_t index, QTreeWidgetItem* parent);
    void updateButtons();
    void startRestore(const tessel::KeptFile& file, tessel::RestorePlace place, const QString& folder,
                      tessel::ExistingFile existing);
    void restoreDone(const tessel::KeptFile& file, const tessel::RestoreResult& result,
                     tessel::RestorePlace place, const QString& folder);
    // Runs `work` on a thread of its own, then `then` on the window's thread.
    void runInBackground(std::function<void()> work, std::function<void()> then);

    tessel::RunContext& m_context;
    Dialogs& m_dialogs;
    tessel::TWatchRec m_watch;
    std::vector<tessel::KeptFilesRoot> m_roots;
    std::shared_ptr<const tessel::KeptFiles> m_kept;  // what the list shows
    std::atomic<bool> m_stop{false};
    QThread* m_worker = nullptr;
    QString m_lastFolder;  // where the last copy was saved: the next picker starts there
    QString m_said;        // what the last restore did, said again once the list is new
};
