#include "ui/PathEdit.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace {

bool holdsKind(const QString& path, PathEdit::Holds holds) {
    const QFileInfo info(path);
    return path.startsWith(QLatin1Char('/')) &&
           (holds == PathEdit::Holds::Folder ? info.isDir() : info.isFile());
}

}  // namespace

QString withHomeFolder(const QString& path) {
    if (path == QLatin1String("~")) return QDir::homePath();
    if (path.startsWith(QLatin1String("~/"))) return QDir::homePath() + path.mid(1);
    return path;
}

QString droppedPath(const QMimeData& data, PathEdit::Holds holds) {
    // A file manager drags a list of links; a terminal or an editor drags the path as text.
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) continue;
        QString path = url.toLocalFile();
        while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
        return holdsKind(path, holds) ? path : QString();
    }
    const QString text = withHomeFolder(data.text().trimmed());
    const QString path = text.startsWith(QLatin1String("file://")) ? QUrl(text).toLocalFile() : text;
    return !path.contains(QLatin1Char('\n')) && holdsKind(path, holds) ? path : QString();
}

PathEdit::PathEdit(Holds holds, QWidget* parent) : QLineEdit(parent), m_holds(holds) {
    // A long path must not make the dialog grow.
    setMinimumWidth(60);
    setClearButtonEnabled(false);
    connect(this, &QLineEdit::textEdited, this, &PathEdit::takeFileLink);
}

QString PathEdit::path() const {
    return withHomeFolder(text());
}

QString PathEdit::pickerStart() const {
    QString folder = path();
    if (m_holds == Holds::File && !folder.isEmpty()) folder = QFileInfo(folder).path();
    while (folder.startsWith(QLatin1Char('/'))) {
        if (QFileInfo(folder).isDir()) return folder;
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) break;
        folder = parent;
    }
    return QDir::homePath();
}

void PathEdit::takeFileLink(const QString& text) {
    if (!text.startsWith(QLatin1String("file://"))) return;
    const QString path = QUrl(text.trimmed()).toLocalFile();
    if (!path.isEmpty()) setText(path);
}

void PathEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (isReadOnly() || droppedPath(*event->mimeData(), m_holds).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void PathEdit::dragMoveEvent(QDragMoveEvent* event) {
    // The whole field takes the path; there is no place within the text to drop it at.
    event->acceptProposedAction();
}

void PathEdit::dropEvent(QDropEvent* event) {
    const QString path = droppedPath(*event->mimeData(), m_holds);
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    setText(path);
    setFocus(Qt::OtherFocusReason);
    event->acceptProposedAction();
}
