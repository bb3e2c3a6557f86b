#pragma once
// Tells the window when the watch file or the text file beside it changes on disk, whoever changes them:
// the window's own runs, tessel-batch run by the timer or by hand, another Tessel's editor. The files
// are replaced whole (a temporary renamed over them) or written in place (a run's last run time), so
// both the files and their folder are followed. The window's thread only.

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <string>

class WatchFileMonitor : public QObject {
    Q_OBJECT
  public:
    explicit WatchFileMonitor(QObject* parent = nullptr);

    // Follows `watchFile` and its text file from now on, instead of the files followed so far.
    void follow(const std::string& watchFile);

  signals:
    // One of them changed: once, a moment after the first change of a burst.
    void changed();

  private:
    // Follows the files as they are now: a file replaced by a rename is another file to the system.
    void watchPaths();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QStringList m_files;
};
