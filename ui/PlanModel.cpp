#include "ui/PlanModel.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QStringList>
#include <algorithm>
#include <unordered_map>
#include <utility>

#include "sync/Preview.h"
#include "ui/Sizes.h"
#include "ui/Texts.h"
#include "watch/EventLog.h"

using tessel::ConflictChoice;
using tessel::RunAction;

namespace {

// A file name may hold a line break or another control character: shown escaped, as the log shows it.
QString shownPath(const std::string& path) {
    return fromBytes(tessel::escapeControls(path));
}

}  // namespace

PlanModel::PlanModel(std::vector<RunAction> actions, WatchRoots roots, QObject* parent)
    : QAbstractTableModel(parent),
      m_actions(std::move(actions)),
      m_done(m_actions.size(), 1),
      m_choices(m_actions.size(), ConflictChoice::KeepBoth),
      m_conflictOf(m_actions.size(), -1),
      m_roots(std::move(roots)) {
    // A conflict's copy is told as a replacement of the conflict's file: it goes with its conflict.
    std::unordered_map<std::string, std::ptrdiff_t> conflicts;
    for (std::size_t i = 0; i < m_actions.size(); ++i)
        if (m_actions[i].kind == RunAction::Kind::Conflict)
            conflicts.emplace(m_actions[i].path, static_cast<std::ptrdiff_t>(i));
    for (std::size_t i = 0; i < m_actions.size(); ++i) {
        const RunAction& action = m_actions[i];
        if (action.kind == RunAction::Kind::Conflict || action.target.empty()) continue;
        if (const auto conflict = conflicts.find(action.target); conflict != conflicts.end())
            m_conflictOf[i] = conflict->second;
    }
}

bool PlanModel::canLeaveOut(std::size_t position) const {
    switch (m_actions[position].kind) {
        case RunAction::Kind::Copy:
        case RunAction::Kind::Replace:
        case RunAction::Kind::Move:
        case RunAction::Kind::Delete:
        case RunAction::Kind::Conflict:
        case RunAction::Kind::Rename:
        case RunAction::Kind::RemoveOldVersions:
            return m_conflictOf[position] < 0;
        case RunAction::Kind::CreateFolder:
        case RunAction::Kind::RefusedDeletion:
            break;
    }
    return false;
}

bool PlanModel::isDone(std::size_t position) const {
    const std::ptrdiff_t conflict = m_conflictOf[position];
    return m_done[conflict < 0 ? position : static_cast<std::size_t>(conflict)] != 0;
}

std::size_t PlanModel::positionAt(int row) const {
    const auto position = static_cast<std::size_t>(row);
    return m_filter ? static_cast<std::size_t>(m_rows[position]) : position;
}

PlanModel::Tree PlanModel::treeOf(const std::string& path, QString* relative) const {
    const auto below = [&](const std::string& root) {
        const std::string prefix = root == "/" ? root : root + "/";
        if (root.empty() || path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
            return false;
        if (relative != nullptr) *relative = shownPath(path.substr(prefix.size()));
        return true;
    };
    // One tree may hold the other: the deeper root is the one the path is in.
    const bool sourceDeeper = m_roots.source.size() > m_roots.destination.size();
    if (sourceDeeper && below(m_roots.source)) return Tree::Source;
    if (below(m_roots.destination)) return Tree::Destination;
    if (!sourceDeeper && below(m_roots.source)) return Tree::Source;
    if (relative != nullptr) *relative = shownPath(path);
    return Tree::Other;
}

QString PlanModel::sideText(const RunAction& action) const {
    const auto name = [](Tree tree) {
        switch (tree) {
            case Tree::Source:
                return tr("source");
            case Tree::Destination:
                return tr("destination");
            case Tree::Other:
                break;
        }
        return QString();
    };
    const Tree from = treeOf(action.path);
    if (action.target.empty()) return name(from);
    const Tree to = treeOf(action.target);
    if (action.kind == RunAction::Kind::Conflict) {
        // A conflict whose losing file is kept beside it, as a conflict copy on that side.
        if (from == to) return name(from);
        return tr("%1 ↔ %2").arg(name(from), name(to));
    }
    return tr("%1 → %2").arg(name(from), name(to));
}

int PlanModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(m_filter ? m_rows.size() : m_actions.size());
}

int PlanModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

const RunAction& PlanModel::actionAt(int row) const {
    return m_actions[positionAt(row)];
}

QString PlanModel::choiceName(ConflictChoice choice) {
    switch (choice) {
        case ConflictChoice::KeepBoth:
            return tr("Keep both");
        case ConflictChoice::KeepSource:
            return tr("Keep the source's");
        case ConflictChoice::KeepDestination:
            return tr("Keep the destination's");
    }
    return {};
}

Qt::ItemFlags PlanModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid() || index.row() >= rowCount()) return flags;
    const std::size_t position = positionAt(index.row());
    if (index.column() == ActionColumn && canLeaveOut(position)) flags |= Qt::ItemIsUserCheckable;
    if (index.column() == DecisionColumn && m_actions[position].kind == RunAction::Kind::Conflict &&
        isDone(position))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool PlanModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= rowCount()) return false;
    if (index.column() == ActionColumn && role == Qt::CheckStateRole) {
        setDone({index}, value.toInt() == Qt::Checked);
        return true;
    }
    if (index.column() == DecisionColumn && role == Qt::EditRole) {
        const int choice = value.toInt();
        if (choice < 0 || choice >= static_cast<int>(kConflictChoices.size())) return false;
        setChoice({index}, kConflictChoices[static_cast<std::size_t>(choice)]);
        return true;
    }
    return false;
}

void PlanModel::changedAll() {
    // A conflict's copy may sit anywhere in the list: every row is told, the view repaints what it shows.
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void PlanModel::setDone(const QModelIndexList& rows, bool done) {
    for (const QModelIndex& row : rows) {
        const std::size_t position = positionAt(row.row());
        if (canLeaveOut(position)) m_done[position] = done ? 1 : 0;
    }
    changedAll();
}

void PlanModel::setChoice(const QModelIndexList& rows, ConflictChoice choice) {
    for (const QModelIndex& row : rows) {
        const std::size_t position = positionAt(row.row());
        if (m_actions[position].kind == RunAction::Kind::Conflict) m_choices[position] = choice;
    }
    changedAll();
}

std::size_t PlanModel::leftOutCount() const {
    std::size_t count = 0;
    for (std::size_t i = 0; i < m_actions.size(); ++i) count += isDone(i) ? 0 : 1;
    return count;
}

bool PlanModel::edited() const {
    return leftOutCount() > 0 || std::any_of(m_choices.begin(), m_choices.end(), [](ConflictChoice choice) {
               return choice != ConflictChoice::KeepBoth;
           });
}

tessel::EditedPlan PlanModel::editedPlan(tessel::platform::WallClock madeAt) const {
    tessel::EditedPlan plan;
    plan.madeAt = madeAt;
    for (std::size_t i = 0; i < m_actions.size(); ++i)
        if (isDone(i))
            plan.add(m_actions[i].kind, m_actions[i].path, m_choices[i],
                     tessel::hasSize(m_actions[i].kind) ? std::optional(m_actions[i].size) : std::nullopt);
    return plan;
}

QString PlanModel::kindName(RunAction::Kind kind) {
    switch (kind) {
        case RunAction::Kind::Copy:
            return tr("Copy");
        case RunAction::Kind::Replace:
            return tr("Replace");
        case RunAction::Kind::Move:
            return tr("Move");
        case RunAction::Kind::Delete:
            return tr("Delete");
        case RunAction::Kind::CreateFolder:
            return tr("Create folder");
        case RunAction::Kind::Conflict:
            return tr("Conflict");
        case RunAction::Kind::RefusedDeletion:
            return tr("Refused deletion");
        case RunAction::Kind::RemoveOldVersions:
            return tr("Remove old versions");
        case RunAction::Kind::Rename:
            return tr("Rename");
    }
    return {};
}

QString PlanModel::totalsText(const tessel::PlanTotals& totals) {
    const QLocale locale = shownLocale();
    QStringList parts;
    for (std::size_t kind = 0; kind < tessel::kActionKinds; ++kind) {
        if (totals.count[kind] == 0) continue;
        const auto what = static_cast<RunAction::Kind>(kind);
        const QString count = locale.toString(static_cast<qlonglong>(totals.count[kind]));
        //: One kind of action of the plan, how many, and the size they move: "Copy: 3 (12.3 KB)".
        parts << (tessel::hasSize(what)
                      ? tr("%1: %2 (%3)").arg(kindName(what), count, sizeText(totals.bytes[kind]))
                      : tr("%1: %2").arg(kindName(what), count));
    }
    return parts.isEmpty() ? tr("nothing to do") : parts.join(QStringLiteral(", "));
}

QVariant PlanModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const std::size_t position = positionAt(index.row());
    const RunAction& action = m_actions[position];
    switch (role) {
        case Qt::CheckStateRole:
            if (index.column() != ActionColumn || (!canLeaveOut(position) && m_conflictOf[position] < 0))
                return {};
            return isDone(position) ? Qt::Checked : Qt::Unchecked;
        case Qt::EditRole:
            if (index.column() != DecisionColumn) return {};
            return static_cast<int>(
                std::find(kConflictChoices.begin(), kConflictChoices.end(), m_choices[position]) -
                kConflictChoices.begin());
        case Qt::DisplayRole:
            switch (index.column()) {
                case ActionColumn:
                    return kindName(action.kind);
                case PathColumn: {
                    QString relative;
                    treeOf(action.path, &relative);
                    return relative;
                }
                case SideColumn:
                    return sideText(action);
                case SizeColumn:
                    if (!tessel::hasSize(action.kind)) return {};
                    return sizeText(action.size);
                case NewerColumn:
                    if (action.newer == RunAction::Side::Source) return tr("source");
                    if (action.newer == RunAction::Side::Destination) return tr("destination");
                    return {};
                case DecisionColumn:
                    if (action.kind != RunAction::Kind::Conflict) return {};
                    return choiceName(m_choices[position]);
            }
            return {};
        case Qt::ToolTipRole:
            // The whole line, paths uncut, as tessel-batch --preview prints it.
            return fromBytes(tessel::actionLine(action));
        case Qt::TextAlignmentRole:
            if (index.column() == SizeColumn) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        case Qt::ForegroundRole:
            // A row left out is greyed: the run leaves its files as they are.
            if (!isDone(position)) return QBrush(QColor(140, 140, 140));
            if (index.column() != ActionColumn) return {};
            // What destroys or holds back a file stands out from the copies around it.
            if (action.kind == RunAction::Kind::Delete) return QBrush(QColor(170, 20, 20));
            if (action.kind == RunAction::Kind::Conflict || action.kind == RunAction::Kind::RefusedDeletion)
                return QBrush(QColor(170, 90, 0));
            return {};
        default:
            return {};
    }
}

QVariant PlanModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case ActionColumn:
            return tr("Action");
        case PathColumn:
            return tr("Path");
        case SideColumn:
            return tr("Where");
        case SizeColumn:
            return tr("Size");
        case NewerColumn:
            return tr("Newer");
        case DecisionColumn:
            return tr("Decision");
    }
    return {};
}

void PlanModel::setFilter(std::optional<RunAction::Kind> kind) {
    beginResetModel();
    m_filter = kind;
    m_rows.clear();
    if (kind) {
        for (std::size_t i = 0; i < m_actions.size(); ++i)
            if (m_actions[i].kind == *kind) m_rows.push_back(static_cast<int>(i));
    }
    endResetModel();
}

QWidget* ConflictChoiceDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                              const QModelIndex&) const {
    auto* box = new QComboBox(parent);
    for (const ConflictChoice choice : kConflictChoices) box->addItem(PlanModel::choiceName(choice));
    // A choice made is the cell's at once, without another click elsewhere.
    connect(box, &QComboBox::activated, this, [this, box] {
        auto* self = const_cast<ConflictChoiceDelegate*>(this);
        emit self->commitData(box);
        emit self->closeEditor(box);
    });
    return box;
}

void ConflictChoiceDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    static_cast<QComboBox*>(editor)->setCurrentIndex(index.data(Qt::EditRole).toInt());
}

void ConflictChoiceDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                          const QModelIndex& index) const {
    model->setData(index, static_cast<QComboBox*>(editor)->currentIndex(), Qt::EditRole);
}
