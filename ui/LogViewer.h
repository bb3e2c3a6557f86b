#pragma once
// The whole log file in a window of its own, read only, its long lines wrapped, with a search that goes
// from match to match and can keep to the lines that tell of a problem. The main window's log area
// keeps only its last few lines; this is where the rest can be read.

#include <QList>
#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

class LogViewer : public QWidget {
    Q_OBJECT
  public:
    explicit LogViewer(QWidget* owner);

    // Reads `path` afresh, shows its end and brings the window to the front.
    void showFile(const QString& path);
    // Reads the file again, keeping the place when the end was not in view.
    void reload();
    // Selects the last line whose message is `summary` (the summary line a watch's run ends with), with
    // the lines before it, the run's own, in view above it. False, with the end of the log in view, when
    // the log has no such line.
    bool showRun(const QString& summary);

    // Selects the next match of the search after the selection (or before it, `backwards`), going round
    // at the end, and says which of how many it is ("3 of 12"). With "Problems only" checked a match
    // lies in a line that tells of a problem (an error, a conflict, an after-sync program that did not
    // start), and an empty search finds each such line. False, with "Not found" shown, when there is
    // no match in the log.
    bool findNext(bool backwards = false);

    QPlainTextEdit* text() const { return m_text; }
    QLineEdit* searchField() const { return m_search; }
    QCheckBox* problemsOnly() const { return m_problemsOnly; }
    QLabel* searchResult() const { return m_result; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    struct Match {
        int position;
        int length;
    };
    // Every match of the search in the log, in order.
    QList<Match> matches() const;

    QString m_path;
    QPlainTextEdit* m_text;
    QLineEdit* m_search;
    QCheckBox* m_matchCase;
    QCheckBox* m_problemsOnly;
    QLabel* m_result;
};
