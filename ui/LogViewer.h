#pragma once
// The whole log file in a window of its own, read only, with a search. The main window's log area
// keeps only its last few lines; this is where the rest can be read.

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

    // Finds the search text after the selection (or before it, `backwards`), wrapping at the end.
    // False, with "Not found" shown, when the text is nowhere in the log.
    bool findNext(bool backwards = false);

    QPlainTextEdit* text() const { return m_text; }
    QLineEdit* searchField() const { return m_search; }
    QLabel* searchResult() const { return m_result; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QString m_path;
    QPlainTextEdit* m_text;
    QLineEdit* m_search;
    QCheckBox* m_matchCase;
    QLabel* m_result;
};
