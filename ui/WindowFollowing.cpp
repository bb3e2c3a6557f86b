// The Pause Following items of the main window's Watch menu, the list's menu and the tray's menu: the
// pause is kept with the watch in the text file beside the watch file (storeFollowPaused), where every
// program that follows it (the window's run coordinator, tessel-batch follow) reads it.

#include <QAction>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ui/MainWindow.h"
#include "ui/Texts.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "ui/WindowMessages.h"
#include "watch/WatchStore.h"

using tessel::FileProblem;
using tessel::PauseResult;

namespace {

// The watches of `watchFile` that run on change, by position, with whether each is paused; none when
// the file cannot be read.
std::vector<std::pair<int, bool>> watchesOnChange(const std::string& watchFile) {
    tessel::WatchList list;
    FileProblem problem;
    std::vector<std::pair<int, bool>> found;
    if (!tessel::loadWatches(watchFile, list, problem)) return found;
    for (const tessel::StoredWatch& stored : list.watches)
        if (stored.watch.schedule.mode == tessel::WatchRunMode::OnChange)
            found.emplace_back(stored.position, stored.watch.followPaused);
    return found;
}

}  // namespace

void WindowCommands::updateFollowCommands() {
    const auto onChange = watchesOnChange(m_window.context().WatchFilePath);
    const int selected = m_window.watchList().selectedWatchIndex();
    const auto found = std::find_if(onChange.begin(), onChange.end(),
                                    [selected](const auto& watch) { return watch.first == selected; });
    for (QAction* action : {m_pauseFollowingAction, m_listPauseFollowingAction}) {
        action->setEnabled(found != onChange.end());
        action->setChecked(found != onChange.end() && found->second);
    }
    m_pauseAllFollowingAction->setEnabled(!onChange.empty());
    m_pauseAllFollowingAction->setChecked(
        !onChange.empty() &&
        std::all_of(onChange.begin(), onChange.end(), [](const auto& w) { return w.second; }));
}

bool WindowCommands::storePaused(const std::vector<int>& positions, bool paused) {
    for (const int position : positions) {
        FileProblem problem;
        const PauseResult result = tessel::storeFollowPaused(m_window.context().WatchFilePath,
                                                             std::to_string(position), paused, problem);
        // A watch changed meanwhile by another program is left as it now is.
        if (result == PauseResult::Failed) {
            m_window.messages().showError(
                toBytes(tr("Cannot change the watches: %1").arg(fromBytes(problem.text()))));
            return false;
        }
    }
    return true;
}

void WindowCommands::pauseSelectedWatchFollowing(bool paused) {
    const int index = m_window.watchList().selectedWatchIndex();
    if (index >= 0) storePaused({index}, paused);
    updateFollowCommands();
}

void WindowCommands::pauseAllFollowing(bool paused) {
    std::vector<int> positions;
    for (const auto& [position, wasPaused] : watchesOnChange(m_window.context().WatchFilePath))
        if (wasPaused != paused) positions.push_back(position);
    storePaused(positions, paused);
    updateFollowCommands();
}
