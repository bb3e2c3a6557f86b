#pragma once
// What every run works with: the files and the screen (StoreContext), the options from the settings
// file, who hears of each action, and the run's stop request. The main window and the headless runner
// each own one.

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "watch/RunBasics.h"
#include "watch/StoreContext.h"

namespace tessel {

// One thing a run does, or, in a preview, would do.
struct RunAction {
    enum class Kind {
        Copy,
        Replace,
        Move,
        Delete,
        CreateFolder,
        Conflict,
        RefusedDeletion,
        RemoveOldVersions,
        Rename  // a file given the spelling its name has on the other side (a change of letter case)
    };
    enum class Side { None, Source, Destination };
    Kind kind = Kind::Copy;
    std::string path;    // the file (the source file of a copy or move) or folder acted on
    std::string target;  // where a copy, move or conflict's other file goes; empty for the rest
    std::uint64_t size = 0;
    Side newer = Side::None;  // the side whose file is the newer one, where both have one
};

// Hears of every action of a run as it is done (or, in a preview, decided), in walk order.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    virtual void action(const RunAction& action) = 0;
    // An error line the run logs (in a preview: would log), as it is logged.
    virtual void error(const std::string& /*line*/) {}
};

struct RunContext : StoreContext {
    RunContext(RunDisplay& display, UserMessages& messages, std::string watchFile = {},
               std::string logFile = {})
        : StoreContext(display, messages, std::move(watchFile), std::move(logFile)) {}
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    RunOptions options;
    RunObserver* observer = nullptr;

    // Asks the run in progress to end at the next file; another thread may call it. The request stays
    // until clearStop().
    void requestStop() { m_stop.store(true, std::memory_order_relaxed); }
    void clearStop() { m_stop.store(false, std::memory_order_relaxed); }
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> m_stop{false};
};

}  // namespace tessel
