#pragma once
// What the window tests share: dialogs that answer from scripts instead of waiting for a person, and
// watch records to put into watch files.

#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <QUrl>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "sync/RunContext.h"
#include "ui/Dialogs.h"
#include "watch/WatchRec.h"

class MainWindow;

// Texts in test failures as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tessel::test {

class FakeDialogs : public Dialogs {
  public:
    void showMessage(QWidget*, const QString& text) override {
        messages.push_back(text);
        if (onMessage) onMessage();
    }
    void showWarning(QWidget*, const QString& text, const QString& caption) override {
        warnings.emplace_back(text, caption);
    }
    void showError(QWidget* parent, const QString& text, const QString& caption) override {
        errors.push_back({parent, text, caption});
    }
    bool confirmDelete(QWidget*) override {
        ++confirmations;
        return confirmAnswer;
    }
    QString chooseFolder(QWidget*, const QString& title, const QString& start) override {
        folderTitles.push_back(title);
        pickerStarts.push_back(start);
        return next(folders);
    }
    QString chooseFile(QWidget*, const QString& title, const QString& start) override {
        fileTitles.push_back(title);
        pickerStarts.push_back(start);
        return next(files);
    }
    bool confirm(QWidget*, const QString& text, const QString& action) override {
        questions.emplace_back(text, action);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QString chooseWatchFile(QWidget*) override { return watchFile; }
    void runEditor(TEditWatchForm& editor) override {
        ++editorsRun;
        if (onEditor) onEditor(editor);
    }
    bool openUrl(const QUrl& url) override {
        openedUrls.push_back(url);
        return urlOpens;
    }
    bool askToCopyMail(QWidget*, const QString& text) override {
        copyQuestions.push_back(text);
        return copyAnswer;
    }
    bool systemTrayAvailable() override { return trayAvailable; }
    void notify(QSystemTrayIcon&, const QString& title, const QString& text) override {
        notifications.emplace_back(title, text);
    }

    struct Error {
        QWidget* parent;
        QString text;
        QString caption;
    };

    std::vector<QString> messages;
    std::vector<std::pair<QString, QString>> warnings;
    std::function<void()> onMessage;
    bool confirmAnswer = true;
    int confirmations = 0;
    std::deque<QString> folders;  // answers in order; empty text is a cancel
    std::vector<QString> folderTitles;
    std::deque<QString> files;
    std::vector<QString> fileTitles;
    std::vector<QString> pickerStarts;                   // where each folder or file picker started
    std::vector<std::pair<QString, QString>> questions;  // text and action of each confirm
    std::deque<bool> answers;                            // answers to confirm in order; none left is a cancel
    QString watchFile;
    std::function<void(TEditWatchForm&)> onEditor;
    int editorsRun = 0;
    std::vector<Error> errors;
    std::vector<QUrl> openedUrls;
    bool urlOpens = true;
    std::vector<QString> copyQuestions;
    bool copyAnswer = true;
    bool trayAvailable = true;
    std::vector<std::pair<QString, QString>> notifications;

  private:
    static QString next(std::deque<QString>& answers) {
        if (answers.empty()) return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// The window's control named `name`, as the rest of Tessel knows it.
template <class T>
T* child(const QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Works in `folder` for as long as it lives, as a Tessel started there would.
class CurrentFolder {
  public:
    explicit CurrentFolder(const std::string& folder);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

  private:
    std::string m_old;
};

// Lets the window's thread work until the run in progress has ended and everything it did is shown.
void waitForRun(MainWindow& window);

}  // namespace tessel::test
