#pragma once
// A text field for a folder or a file: typed, pasted, picked, or dropped from the file manager. A
// folder dropped on it replaces its text; a pasted link to a local file ("file:///home/me/photos") is
// taken as the path it stands for, and "~" at the start as the home folder.

#include <QLineEdit>
#include <QString>

class QMimeData;

class PathEdit : public QLineEdit {
    Q_OBJECT
  public:
    enum class Holds { Folder, File };
    PathEdit(Holds holds, QWidget* parent = nullptr);

    // The path as the field means it, "~" worked out.
    QString path() const;
    // Where a picker for the field starts: the field's folder (for a file, the folder it is in), the
    // nearest one above it that exists, or the home folder when the field is empty.
    QString pickerStart() const;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // A pasted or typed link to a local file becomes its path.
    void takeFileLink(const QString& text);

    Holds m_holds;
};

// The local folder (or, for Holds::File, the regular file) that dragged or dropped `data` stands for:
// the first local link of the file manager's list, or a path given as text; empty for anything else.
QString droppedPath(const QMimeData& data, PathEdit::Holds holds);

// `path` with a leading "~" or "~/" as the home folder.
QString withHomeFolder(const QString& path);
