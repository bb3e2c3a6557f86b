#include "ui/WatchFileMonitor.h"

#include <QDir>
#include <QFileInfo>
#include <chrono>

#include "ui/Texts.h"
#include "watch/WatchText.h"

namespace {

// A change of the watches writes both files, one after the other, and a temporary beside each.
constexpr std::chrono::milliseconds kSettleTime{300};

}  // namespace

WatchFileMonitor::WatchFileMonitor(QObject* parent) : QObject(parent) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleTime);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        watchPaths();
        emit changed();
    });
    // Not restarted by later changes: a run that keeps writing is still shown as it goes.
    const auto changedNow = [this] {
        if (!m_settle.isActive()) m_settle.start();
    };
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, changedNow);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, changedNow);
}

void WatchFileMonitor::follow(const std::string& watchFile) {
    m_files.clear();
    if (!watchFile.empty()) {
        const QString file = fromBytes(watchFile);
        // The text file lies beside the watch file's target where the watch file is a link.
        const QString target = QFileInfo(file).canonicalFilePath();
        m_files << file << fromBytes(tessel::textFilePath(toBytes(target.isEmpty() ? file : target)));
    }
    if (!m_watcher.directories().isEmpty()) m_watcher.removePaths(m_watcher.directories());
    watchPaths();
}

void WatchFileMonitor::watchPaths() {
    if (!m_watcher.files().isEmpty()) m_watcher.removePaths(m_watcher.files());
    for (const QString& file : std::as_const(m_files)) {
        const QFileInfo info(file);
        // The folder tells of a file made, replaced or removed; a missing folder has nothing to tell.
        if (info.absoluteDir().exists() && !m_watcher.directories().contains(info.absolutePath()))
            m_watcher.addPath(info.absolutePath());
        if (info.exists() && !m_watcher.files().contains(file)) m_watcher.addPath(file);
    }
}
