#pragma once
// A preview's plan as the rows of a table, which the user edits before a run of it.

#include <QAbstractTableModel>
#include <QString>
#include <QStyledItemDelegate>
#include <array>
#include <optional>
#include <vector>

#include "sync/EditedPlan.h"
#include "sync/Preview.h"
#include "sync/RunContext.h"
#include "ui/WatchRoots.h"

// The decisions a conflict can get, in the order the Decision column offers them.
inline constexpr std::array<tessel::ConflictChoice, 3> kConflictChoices{
    tessel::ConflictChoice::KeepBoth, tessel::ConflictChoice::KeepSource,
    tessel::ConflictChoice::KeepDestination};

// The planned actions as rows, over the recorded plan itself: the view asks only for the rows it
// paints, so a plan of 100,000 actions opens as fast as one of ten. Paths show below the root of the
// tree they are in, and a column says which tree that is. The user edits the plan here: a file's row
// can be left out (its check box), and a conflict decided for a side (the Decision column); a conflict's
// copy is part of its conflict and follows it. Folders to make are always made.
class PlanModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        ActionColumn,
        PathColumn,
        SideColumn,
        SizeColumn,
        NewerColumn,
        DecisionColumn,
        ColumnCount
    };

    PlanModel(std::vector<tessel::RunAction> actions, WatchRoots roots, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The rows given (any column) done or left out; those that cannot be left out stay.
    void setDone(const QModelIndexList& rows, bool done);
    // The conflicts among the rows given decided so.
    void setChoice(const QModelIndexList& rows, tessel::ConflictChoice choice);
    // How many rows the user left out; whether anything was changed at all.
    std::size_t leftOutCount() const;
    bool edited() const;
    // The plan as edited, for a run of it.
    tessel::EditedPlan editedPlan(tessel::platform::WallClock madeAt) const;
    static QString choiceName(tessel::ConflictChoice choice);

    // Only the actions of one kind, or all of them.
    void setFilter(std::optional<tessel::RunAction::Kind> kind);
    std::optional<tessel::RunAction::Kind> filter() const { return m_filter; }
    // The action a row shows.
    const tessel::RunAction& actionAt(int row) const;
    std::size_t planSize() const { return m_actions.size(); }

    // The kind of action in the window's words ("Copy", "Create folder", ...).
    static QString kindName(tessel::RunAction::Kind kind);
    // The plan's totals in the window's words: "Copy: 3 (12.3 KB), Delete: 1 (4.1 KB)".
    static QString totalsText(const tessel::PlanTotals& totals);

  private:
    enum class Tree { Source, Destination, Other };
    // The tree `path` is in, and its path below that tree's root.
    Tree treeOf(const std::string& path, QString* relative = nullptr) const;
    QString sideText(const tessel::RunAction& action) const;
    std::size_t positionAt(int row) const;
    // Whether the user may leave the action out: a file's, or old versions' removal.
    bool canLeaveOut(std::size_t position) const;
    bool isDone(std::size_t position) const;
    void changedAll();

    std::vector<tessel::RunAction> m_actions;
    std::vector<char> m_done;                       // per action: the user left it in
    std::vector<tessel::ConflictChoice> m_choices;  // per action: a conflict's decision
    std::vector<std::ptrdiff_t> m_conflictOf;       // per action: the conflict a copy belongs to, or -1
    WatchRoots m_roots;
    std::optional<tessel::RunAction::Kind> m_filter;
    std::vector<int> m_rows;  // positions in m_actions of the rows shown while a filter is set
};

// A conflict's decision chosen from a list in its cell.
class ConflictChoiceDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};
