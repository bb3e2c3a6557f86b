#include "ui/PreviewDialog.h"

#include <QAction>
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
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/Pictures.h"
#include "ui/Sizes.h"
#include "ui/Texts.h"
#include "watch/EventLog.h"

using tessel::ConflictChoice;
using tessel::RunAction;

namespace {

constexpr int kLeastErrorLines = 3;
constexpr int kFirstErrorLines = 6;
// The plan's share of the splitter at first; the dialog's size decides the rest.
constexpr int kPlanHeight = 400;

}  // namespace

PreviewDialog::PreviewDialog(int watchIndex, const WatchRoots& roots, tessel::PlanRecorder plan,
                             QWidget* parent)
    : QDialog(parent), m_watchIndex(watchIndex), m_madeAt(plan.madeAt) {
    setObjectName(QStringLiteral("PreviewDialog"));
    setWindowTitle(tr("Preview of Watch %1").arg(watchIndex));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setSizeGripEnabled(true);

    auto* heading =
        new QLabel(tr("What Check Now would do with these folders now. Nothing has been done yet. "
                      "Clear a row's box to leave it out, and decide a conflict in its Decision "
                      "column; Run Now then does the rows left in and nothing else."),
                   this);
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
    // Only a conflict's decision is edited in its cell.
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                             QAbstractItemView::EditKeyPressed);
    m_table->setItemDelegateForColumn(PlanModel::DecisionColumn, new ConflictChoiceDelegate(m_table));
    m_table->setColumnHidden(PlanModel::DecisionColumn,
                             totals.count[static_cast<std::size_t>(RunAction::Kind::Conflict)] == 0);
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
    int widestChoice = 0;
    for (const ConflictChoice choice : kConflictChoices)
        widestChoice = std::max(widestChoice, metrics.horizontalAdvance(PlanModel::choiceName(choice)));
    header->resizeSection(PlanModel::DecisionColumn, widestChoice + 48);
    addEditActions();
    connect(m_model, &PlanModel::dataChanged, this, &PreviewDialog::showCounts);

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
        if (m_model->edited())
            emit runPlanRequested(m_watchIndex,
                                  std::make_shared<const tessel::EditedPlan>(m_model->editedPlan(m_madeAt)));
        else
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

void PreviewDialog::addEditActions() {
    // On the selected rows, from the table's menu: many rows left out or decided at once.
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    const auto add = [this](const QString& text, auto apply) {
        auto* action = new QAction(text, m_table);
        connect(action, &QAction::triggered, this,
                [this, apply] { apply(m_table->selectionModel()->selectedRows()); });
        m_table->addAction(action);
    };
    add(tr("Do the Selected Rows"), [this](const QModelIndexList& rows) { m_model->setDone(rows, true); });
    add(tr("Leave Out the Selected Rows"),
        [this](const QModelIndexList& rows) { m_model->setDone(rows, false); });
    for (const ConflictChoice choice : kConflictChoices)
        add(tr("Conflicts: %1").arg(PlanModel::choiceName(choice)),
            [this, choice](const QModelIndexList& rows) { m_model->setChoice(rows, choice); });
}

void PreviewDialog::applyFilter() {
    const QVariant kind = m_filterBox->currentData();
    m_model->setFilter(kind.isValid() ? std::optional(static_cast<RunAction::Kind>(kind.toInt()))
                                      : std::nullopt);
    showCounts();
}

void PreviewDialog::showCounts() {
    const qsizetype all = static_cast<qsizetype>(m_model->planSize());
    const auto number = [](std::size_t count) { return QLocale().toString(static_cast<qulonglong>(count)); };
    QString text;
    if (all == 0)
        text = m_errors == nullptr ? tr("Nothing to do: the folders are in step.")
                                   : tr("Nothing would be done: see the errors below.");
    else if (m_model->filter())
        text = tr("Showing %1 of %2 actions")
                   .arg(number(static_cast<std::size_t>(m_model->rowCount())),
                        number(static_cast<std::size_t>(all)));
    if (const std::size_t leftOut = m_model->leftOutCount(); leftOut > 0) {
        const QString left = tr("%1 left out").arg(number(leftOut));
        text = text.isEmpty() ? left : tr("%1; %2").arg(text, left);
    }
    m_shown->setText(text);
    m_runNow->setToolTip(m_model->edited() ? tr("Does the rows left in, as decided, and nothing else")
                                           : QString());
}

void PreviewDialog::setRunAllowed(bool allowed) {
    m_runNow->setEnabled(allowed);
}
