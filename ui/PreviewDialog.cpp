#include "ui/PreviewDialog.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStringList>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/Pictures.h"
#include "ui/Sizes.h"
#include "ui/Texts.h"
#include "watch/EventLog.h"

using tessel::RunAction;

namespace {

constexpr int kLeastErrorLines = 3;
constexpr int kFirstErrorLines = 6;
// The plan's share of the splitter at first; the dialog's size decides the rest.
constexpr int kPlanHeight = 400;

// A file name may hold a line break or another control character: shown escaped, as the log shows it.
QString shownPath(const std::string& path) {
    return fromBytes(tessel::escapeControls(path));
}

}  // namespace

// ---- The model --------------------------------------------------------------------------------------

PlanModel::PlanModel(std::vector<RunAction> actions, WatchRoots roots, QObject* parent)
    : QAbstractTableModel(parent), m_actions(std::move(actions)), m_roots(std::move(roots)) {}

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
    if (action.kind == RunAction::Kind::Conflict) return tr("%1 ↔ %2").arg(name(from), name(to));
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
    const auto position = static_cast<std::size_t>(row);
    return m_filter ? m_actions[static_cast<std::size_t>(m_rows[position])] : m_actions[position];
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
    const QLocale locale = displayLocale();
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
    const RunAction& action = actionAt(index.row());
    switch (role) {
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
            }
            return {};
        case Qt::ToolTipRole:
            // The whole line, paths uncut, as tessel-batch --preview prints it.
            return fromBytes(tessel::actionLine(action));
        case Qt::TextAlignmentRole:
            if (index.column() == SizeColumn) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        case Qt::ForegroundRole:
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

// ---- The dialog -------------------------------------------------------------------------------------

PreviewDialog::PreviewDialog(int watchIndex, const WatchRoots& roots, tessel::PlanRecorder plan,
                             QWidget* parent)
    : QDialog(parent), m_watchIndex(watchIndex) {
    setObjectName(QStringLiteral("PreviewDialog"));
    setWindowTitle(tr("Preview of Watch %1").arg(watchIndex));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setSizeGripEnabled(true);

    auto* heading =
        new QLabel(tr("What Check Now would do with these folders now. Nothing has been done yet."), this);
    heading->setWordWrap(true);
    auto* folders = new QLabel(this);
    folders->setObjectName(QStringLiteral("PreviewFolders"));
    folders->setTextFormat(Qt::PlainText);
    folders->setText(
        tr("Source: %1\nDestination: %2").arg(fromBytes(roots.source), fromBytes(roots.destination)));
    folders->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const tessel::PlanTotals totals = plan.totals;
    const std::vector<std::string> errors = std::move(plan.errors);
    m_model = new PlanModel(std::move(plan.actions), roots, this);

    auto* filterLabel = new QLabel(tr("&Show:"), this);
    m_filterBox = new QComboBox(this);
    m_filterBox->setObjectName(QStringLiteral("PreviewFilter"));
    filterLabel->setBuddy(m_filterBox);
    m_filterBox->addItem(
        tr("All actions (%1)").arg(QLocale().toString(static_cast<qlonglong>(totals.actions()))));
    // Only the kinds the plan has: a choice that shows nothing is no choice.
    for (std::size_t kind = 0; kind < tessel::kActionKinds; ++kind) {
        if (totals.count[kind] == 0) continue;
        m_filterBox->addItem(
            tr("%1 (%2)").arg(PlanModel::kindName(static_cast<RunAction::Kind>(kind)),
                              QLocale().toString(static_cast<qlonglong>(totals.count[kind]))),
            static_cast<int>(kind));
    }
    // Nothing to filter in an empty plan.
    m_filterBox->setEnabled(totals.actions() > 0);
    m_shown = new QLabel(this);
    m_shown->setObjectName(QStringLiteral("PreviewShown"));
    connect(m_filterBox, &QComboBox::currentIndexChanged, this, &PreviewDialog::applyFilter);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("PreviewTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setWordWrap(false);
    m_table->setAlternatingRowColors(true);
    m_table->setShowGrid(false);
    m_table->verticalHeader()->hide();
    // Every row as high as a line: the view then never measures a row, however many there are.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* header = m_table->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(PlanModel::PathColumn, QHeaderView::Stretch);
    const QFontMetrics metrics = fontMetrics();
    header->resizeSection(PlanModel::ActionColumn, metrics.horizontalAdvance(tr("Refused deletion")) + 24);
    header->resizeSection(PlanModel::SizeColumn, metrics.horizontalAdvance(sizeText(999'900'000)) + 24);
    header->resizeSection(PlanModel::SideColumn,
                          metrics.horizontalAdvance(tr("%1 → %2").arg(tr("destination"), tr("source"))) + 24);
    header->resizeSection(PlanModel::NewerColumn, metrics.horizontalAdvance(tr("destination")) + 24);

    m_totals = new QLabel(tr("Total: %1").arg(PlanModel::totalsText(totals)), this);
    m_totals->setObjectName(QStringLiteral("PreviewTotals"));
    m_totals->setWordWrap(true);
    m_totals->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* bar = new QHBoxLayout;
    bar->addWidget(filterLabel);
    bar->addWidget(m_filterBox);
    bar->addStretch(1);
    bar->addWidget(m_shown);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(folders);
    layout->addLayout(bar);

    // The plan above, the errors below, the line between them for the user to move.
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("PreviewSplitter"));
    m_splitter->setChildrenCollapsible(false);
    auto* planPane = new QWidget(m_splitter);
    auto* planLayout = new QVBoxLayout(planPane);
    planLayout->setContentsMargins(0, 0, 0, 0);
    planLayout->addWidget(m_table, 1);
    planLayout->addWidget(m_totals);
    m_splitter->addWidget(planPane);
    m_splitter->setStretchFactor(0, 1);
    layout->addWidget(m_splitter, 1);

    if (!errors.empty()) {
        auto* errorsPane = new QWidget(m_splitter);
        auto* errorsLabel = new QLabel(tr("The run would log these errors:"), errorsPane);
        m_errors = new QPlainTextEdit(errorsPane);
        m_errors->setObjectName(QStringLiteral("PreviewErrors"));
        m_errors->setReadOnly(true);
        m_errors->setLineWrapMode(QPlainTextEdit::NoWrap);
        QStringList lines;
        for (const std::string& line : errors) lines.append(fromBytes(line));
        m_errors->setPlainText(lines.join(QLatin1Char('\n')));
        // Never less than three whole lines, whatever the scale and the scroll bar take; at first up to
        // six, more scroll or come with the splitter.
        const int shown = std::clamp(static_cast<int>(errors.size()), kLeastErrorLines, kFirstErrorLines);
        m_errors->setMinimumHeight(errorAreaHeight(kLeastErrorLines));
        errorsLabel->setBuddy(m_errors);
        auto* errorsLayout = new QVBoxLayout(errorsPane);
        errorsLayout->setContentsMargins(0, 0, 0, 0);
        errorsLayout->addWidget(errorsLabel);
        errorsLayout->addWidget(m_errors, 1);
        m_splitter->addWidget(errorsPane);
        m_splitter->setStretchFactor(1, 0);
        m_splitter->setSizes({kPlanHeight, errorsLabel->sizeHint().height() + errorAreaHeight(shown)});
    }

    auto* buttons = new QDialogButtonBox(this);
    m_runNow = buttons->addButton(tr("&Run Now"), QDialogButtonBox::AcceptRole);
    m_runNow->setObjectName(QStringLiteral("PreviewRunNow"));
    QPushButton* close = buttons->addButton(tr("&Close"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("PreviewClose"));
    // Enter must not start a run by accident: running is a choice made with the button.
    m_runNow->setAutoDefault(false);
    close->setDefault(true);
    connect(m_runNow, &QPushButton::clicked, this, [this] {
        emit runNowRequested(m_watchIndex);
        accept();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);

    applyFilter();
    resize(860, 540);
}

int PreviewDialog::errorAreaHeight(int lines) const {
    // The text's lines, the document's margins, the frame and a scroll bar that long lines bring.
    const QFontMetrics metrics(m_errors->font());
    return metrics.lineSpacing() * lines + 2 * static_cast<int>(m_errors->document()->documentMargin()) +
           2 * m_errors->frameWidth() + m_errors->horizontalScrollBar()->sizeHint().height();
}

void PreviewDialog::applyFilter() {
    const QVariant kind = m_filterBox->currentData();
    m_model->setFilter(kind.isValid() ? std::optional(static_cast<RunAction::Kind>(kind.toInt()))
                                      : std::nullopt);
    const qsizetype all = static_cast<qsizetype>(m_model->planSize());
    if (all == 0)
        m_shown->setText(m_errors == nullptr ? tr("Nothing to do: the folders are in step.")
                                             : tr("Nothing would be done: see the errors below."));
    else if (m_model->filter())
        m_shown->setText(tr("Showing %1 of %2 actions")
                             .arg(QLocale().toString(static_cast<qlonglong>(m_model->rowCount())),
                                  QLocale().toString(static_cast<qlonglong>(all))));
    else
        m_shown->clear();
}

void PreviewDialog::setRunAllowed(bool allowed) {
    m_runNow->setEnabled(allowed);
}
