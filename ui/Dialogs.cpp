#include "ui/Dialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QUrl>

#include "ui/EditWatch.h"

QString applicationTitle() {
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.isEmpty()) name = QStringLiteral("Tessel");
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    return name.left(1) + name.mid(1).toLower();
}

void QtDialogs::showMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void QtDialogs::showWarning(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

void QtDialogs::showError(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

bool QtDialogs::confirmDelete(QWidget* parent) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::translate("Dialogs", "Warning"),
                    QCoreApplication::translate("Dialogs", "Do you really want to delete this watch?"),
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return box.exec() == QMessageBox::Ok;
}

QString QtDialogs::chooseFolder(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start);
}

QString QtDialogs::chooseFile(QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getOpenFileName(parent, title, start);
}

bool QtDialogs::confirm(QWidget* parent, const QString& text, const QString& action) {
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(action, QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
}

QString QtDialogs::chooseWatchFile(QWidget* parent) {
    QFileDialog dialog(parent);
    // A watch file that does not exist yet may be chosen: the next Add Watch creates it.
    dialog.setFileMode(QFileDialog::AnyFile);
    // Some desktops' own open dialogs accept only files that exist.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters({QStringLiteral("Watch files (*.wth)"), QStringLiteral("All files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("wth"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void QtDialogs::runEditor(TEditWatchForm& editor) {
    editor.exec();
}

namespace {

// The same question xdg-open asks before it opens a link of `type`; without xdg-mime there is no
// xdg-open either, and the desktop can open nothing.
bool desktopProgramSet(const QString& type) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished();
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

bool mailProgramSet() {
    return desktopProgramSet(QStringLiteral("x-scheme-handler/mailto"));
}

bool fileManagerSet() {
    return desktopProgramSet(QStringLiteral("inode/directory"));
}

bool QtDialogs::openUrl(const QUrl& url) {
    if (url.scheme() == QLatin1String("mailto") && !mailProgramSet()) return false;
    if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir() && !fileManagerSet()) return false;
    return QDesktopServices::openUrl(url);
}

bool QtDialogs::askToCopyMail(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, applicationTitle(), text, QMessageBox::NoButton, parent);
    QPushButton* copy =
        box.addButton(QCoreApplication::translate("Dialogs", "&Copy to Clipboard"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(copy);
    box.exec();
    return box.clickedButton() == copy;
}

bool QtDialogs::systemTrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtDialogs::notify(QSystemTrayIcon& icon, const QString& title, const QString& text) {
    icon.showMessage(title, text, QSystemTrayIcon::Warning);
}
