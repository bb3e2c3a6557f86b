#pragma once
// The window's message boxes: those the engine asks for (UserMessages) and the general error box, each
// shown through the dialogs over the main window, on the window's thread only (a run thread's boxes
// come through RunThread's relay).

#include <QCoreApplication>
#include <string>

#include "watch/RunDisplay.h"

class Dialogs;
class QWidget;

class WindowMessages : public tessel::UserMessages {
    Q_DECLARE_TR_FUNCTIONS(WindowMessages)
  public:
    WindowMessages(Dialogs& dialogs, QWidget& window) : m_dialogs(dialogs), m_window(window) {}

    void showMessage(const std::string& text) override;
    void showWarning(const std::string& text, const std::string& caption) override;
    // The general error box: the text with a full stop at its end, under the application title.
    void showError(const std::string& text);

  private:
    void assertWindowThread() const;

    Dialogs& m_dialogs;
    QWidget& m_window;
};
