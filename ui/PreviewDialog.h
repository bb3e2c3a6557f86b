#pragma once
// What Check Now of a watch would do, shown before anything is done: the planned actions in a table, a
// filter by kind of action, the totals and the errors the run would log, with Run Now to go ahead.

#include <QDialog>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "sync/EditedPlan.h"
#include "sync/Preview.h"
#include "ui/PlanModel.h"
#include "ui/WatchRoots.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTableView;

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
    // Run Now of a plan as the preview found it: the watch is to run, exactly as Check Now runs it.
    void runNowRequested(int watchIndex);
    // Run Now of a plan the user edited: the run does its rows and nothing else.
    void runPlanRequested(int watchIndex, std::shared_ptr<const tessel::EditedPlan> plan);

  private:
    void applyFilter();
    void showCounts();
    void addEditActions();
    // The error area's height for `lines` lines of text.
    int errorAreaHeight(int lines) const;

    int m_watchIndex;
    tessel::platform::WallClock m_madeAt;
    PlanModel* m_model;
    QTableView* m_table;
    QComboBox* m_filterBox;
    QLabel* m_totals;
    QLabel* m_shown;
    QSplitter* m_splitter;
    QPlainTextEdit* m_errors = nullptr;
    QPushButton* m_runNow;
};
