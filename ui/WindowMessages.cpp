#include "ui/WindowMessages.h"

#include <QThread>
#include <QWidget>

#include "ui/Dialogs.h"
#include "ui/Texts.h"
#include "watch/EventLog.h"

void WindowMessages::assertWindowThread() const {
    Q_ASSERT_X(QThread::currentThread() == m_window.thread(), "WindowMessages",
               "a box shown off the window's thread");
}

void WindowMessages::showMessage(const std::string& text) {
    assertWindowThread();
    // The engine's own wording of a failed log or watch file write, in the window's.
    if (text == tessel::kIoErrorMessage) {
        m_dialogs.showMessage(&m_window, tr("Input/output error: the data was not saved."));
        return;
    }
    m_dialogs.showMessage(&m_window, fromBytes(text));
}

void WindowMessages::showWarning(const std::string& text, const std::string& caption) {
    assertWindowThread();
    m_dialogs.showWarning(&m_window, fromBytes(text), fromBytes(caption));
}

void WindowMessages::showError(const std::string& text) {
    assertWindowThread();
    QString message = fromBytes(text);
    if (!message.endsWith(QLatin1Char('.'))) message += QLatin1Char('.');
    m_dialogs.showError(&m_window, message, applicationTitle());
}
