#pragma once
// Tessel's help: HTML pages, "index.html" being their table of contents, shown in a help window of
// Tessel's own beside the main window. They lie in the folder "help" beside the program in a build, and
// in share/tessel/help of the installation beside its bin folder.

#include <QPointer>
#include <QString>

class QTextBrowser;
class QWidget;

// The table of contents for the program in `programFolder`: help/index.html beside it when that exists,
// else the one where an installation puts it (also when that is missing, for the warning to name).
QString helpContentsFor(const QString& programFolder);
// The same for this program.
QString helpContents();

// The start-up warning when the table of contents `contents` cannot be shown: what is missing and where
// Tessel looks for it. Empty when the help can be shown.
QString missingHelpText(const QString& contents);

// The help window. It lives until closeAll or the viewer's end, whichever comes first.
class HelpViewer {
  public:
    HelpViewer() = default;
    ~HelpViewer();
    HelpViewer(const HelpViewer&) = delete;
    HelpViewer& operator=(const HelpViewer&) = delete;

    // Shows the page `contents` and brings the window to the front; a window not open yet is placed
    // beside `owner`.
    void showContents(const QString& contents, QWidget* owner);
    void closeAll();

    // The open window's browser, null when no help window is open.
    QTextBrowser* browser() const;
    QWidget* window() const { return m_window; }

  private:
    void createWindow();

    QPointer<QWidget> m_window;
    QTextBrowser* m_browser = nullptr;
};
