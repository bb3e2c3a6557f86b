#pragma once
// What Check Now of a watch would do, shown before anything is done: the planned actions in a table, a
// filter by kind of action, the totals and the errors the run would log, with Run Now to go ahead.

#include <QAbstractTableModel>
#include <QDialog>
#include <QString>
#include <optional>
#include <vector>

#include "sync/Preview.h"
#include "sync/RunContext.h"
#include "ui/WatchRoots.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTableView;

// The planned actions as rows, over the recorded plan itself: the view asks only for the rows it
// paints, so a plan of 100,000 actions opens as fast as one of ten. Paths show below the root of the
// tree they are in, and a column says which tree that is.
class PlanModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { ActionColumn, PathColumn, SideColumn, SizeColumn, NewerColumn, ColumnCount };

    PlanModel(std::vector<tessel::RunAction> actions, WatchRoots roots, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Only the actions of one kind, or all of them.
    void setFilter(std::optional<tessel::RunAction::Kind> kind);
    std::optional<tessel::RunAction::Kind> filter() const { return m_filter; }
    // The action a row shows.
    const tessel::RunAction& actionAt(int row) const;
    std::size_t planSize() const { return m_actions.size(); }

    // The kind of action in the window's words ("Copy", "Create folder", ...).
    static QString kindName(tessel::RunAction::Kind kind);

  private:
    enum class Tree { Source, Destination, Other };
    // The tree `path` is in, and its path below that tree's root.
    Tree treeOf(const std::string& path, QString* relative = nullptr) const;
    QString sideText(const tessel::RunAction& action) const;

    std::vector<tessel::RunAction> m_actions;
    WatchRoots m_roots;
    std::optional<tessel::RunAction::Kind> m_filter;
    std::vector<int> m_rows;  // positions in m_actions of the rows shown while a filter is set
};

class PreviewDialog : public QDialog {
    Q_OBJECT
  public:
    // The preview of watch `watchIndex`, whose runs work in `roots`.
    PreviewDialog(int watchIndex, const WatchRoots& roots, tessel::PlanRecorder plan, QWidget* parent);

    int watchIndex() const { return m_watchIndex; }
    PlanModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    QComboBox* filterBox() const { return m_filterBox; }
    QLabel* totalsLabel() const { return m_totals; }
    QLabel* shownLabel() const { return m_shown; }
    // The error lines the run would log; null when there are none.
    QPlainTextEdit* errorLines() const { return m_errors; }
    // The plan above, the error lines (when there are any) below.
    QSplitter* splitter() const { return m_splitter; }
    QPushButton* runNowButton() const { return m_runNow; }

    // Run Now only while no other run is going.
    void setRunAllowed(bool allowed);

  signals:
    // Run Now: the watch is to run, exactly as Check Now runs it.
    void runNowRequested(int watchIndex);

  private:
    void applyFilter();
    // The error area's height for `lines` lines of text.
    int errorAreaHeight(int lines) const;

    int m_watchIndex;
    PlanModel* m_model;
    QTableView* m_table;
    QComboBox* m_filterBox;
    QLabel* m_totals;
    QLabel* m_shown;
    QSplitter* m_splitter;
    QPlainTextEdit* m_errors = nullptr;
    QPushButton* m_runNow;
};
