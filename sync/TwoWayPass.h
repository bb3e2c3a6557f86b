#pragma once
// Watches with both directions that copy: one walk over both trees in which every file is decided
// (decideTwoWay) against what the last run of the pair left (the state, sync/SyncState.h), so that a
// deletion on one side is told from a creation on the other and an edit on one side from edits on both.

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Versions.h"
#include "sync/DeleteAbsent.h"
#include "sync/SyncState.h"
#include "sync/TreeWalk.h"
#include "sync/TwoWayDecision.h"
#include "sync/WalkRules.h"

namespace tessel {

class Applier;
class RunState;

struct TwoWaySettings {
    std::vector<std::string> masks;
    std::int32_t tuneMode = 0;  // TTuneMode; any other value: nothing crosses
    bool deleteAbsent = false;
    bool wideLog = false;
    WalkRules rules;
};

class TwoWayPass : public TreeWalk::Pass {
  public:
    TwoWayPass(RunState& run, Applier& applier, const TwoWaySettings& settings, const std::string& source,
               const std::string& destination);

    // The whole run between the two trees, its deletions and its state included. False when a state that
    // cannot be read stopped it before anything was done.
    bool run();

    TreeWalk::Sides sides() const override;
    unsigned looksAt(const bool (&fresh)[2], const WalkEntry& entry) const override;
    void file(WalkFolder& folder, const WalkEntry& entry, Seen& seen) override;
    void entered(WalkFolder& parent, WalkFolder& child) override;
    void left(const std::shared_ptr<WalkFolder>& folder) override;
    void notWalked(const std::string& relative) override;
    void leftOut(WalkFolder& folder, const WalkEntry& entry) override;

  private:
    using Names = std::array<std::string, 2>;  // a file's name as each side spells it
    bool loadState();
    void keepOutsideScope();
    void saveState();
    bool matches(const std::string& name) const;
    std::string pathOn(int side, const WalkFolder& folder, const std::string& name) const;
    // A file this run gave the other side's spelling of its name.
    struct Renamed {
        int side;                  // where it was renamed
        PairRecord last;           // what the last run left, under its old name
        platform::FileInfo found;  // as the walk found it, before the rename
        bool known;                // the last run knew it
    };
    // Decides for a file looked at and orders what is to be done.
    void settle(const std::shared_ptr<WalkFolder>& folder, const Names& names, const Seen& seen,
                std::size_t index, const Renamed* renamed = nullptr);
    // Where a rename takes `side`'s file from when it is not the same folder's other spelling of its
    // name: the place the last run knew it at (below the roots) and that place's folder on `side`.
    struct MovedFrom {
        std::string path;
        platform::SharedFolder folder;
    };
    // Gives `side`'s file the other side's spelling of its name (or moves it there from `moved`), then
    // decides.
    void rename(const std::shared_ptr<WalkFolder>& folder, int side, const Names& names, const Seen& seen,
                std::size_t index, const MovedFrom* moved = nullptr);
    // A file one side has and the other lacks, that the last run knew under another path by its identity
    // on that side, and that the other side still has there unchanged: renamed there rather than copied.
    bool movedHere(const std::shared_ptr<WalkFolder>& folder, const Names& names, const Seen& seen);
    // A file one side lost that a rename found later in the walk may account for: decided after the walk
    // (settleDeferred), once the renames are known.
    bool waitsForRenames(const std::string& relativeName, const platform::FileInfo (&info)[2],
                         std::size_t index, const TwoWayDecision& decision);
    void settleDeferred();
    void finishRoots(const TreeWalk& walk, const WalkFolder& top, bool destinationCreated);
    // Copies across (after keeping the other side's file beside it as `keptName`, for a conflict);
    // `conflictRow`: the conflict, reported at that path, that the user decided for the side `from`.
    void copyAcross(const std::shared_ptr<WalkFolder>& folder, int from, const Names& names,
                    const platform::FileInfo (&info)[2], std::size_t index, const std::string& keptName = {},
                    const std::string& conflictRow = {});
    void conflictLeft(const WalkFolder& folder, const Names& names, const platform::FileInfo (&info)[2],
                      std::size_t index);
    std::string conflictName(const WalkFolder& folder, const std::string& name);
    void planDeletion(const WalkFolder& folder, int side, const std::string& name,
                      const platform::FileInfo& info, std::size_t index);
    void finishFolder(const std::shared_ptr<WalkFolder>& folder);
    void runDeletions();
    void remember(std::size_t index, const std::string& path, const platform::FileInfo& source,
                  const platform::FileInfo& destination);

    RunState& m_run;
    Applier& m_applier;
    const TwoWaySettings m_settings;
    const std::string m_stamp;
    std::string m_roots[2];
    platform::VersionKeeper* m_versions[2] = {nullptr, nullptr};
    DeletionPlan m_deletions[2];      // what each side loses: the other side's deletions
    std::int64_t m_held[2] = {0, 0};  // files the masks cover at the start of the run
    Comparison m_comparison;          // what both sides keep, from what their file systems can do
    SyncState m_state;
    std::string m_statePath;                   // the state file; empty when the run keeps none
    bool m_remembering = false;                // the last run's state is known
    std::string m_conflictFolder;              // where the names below were chosen
    std::vector<std::string> m_conflictNames;  // conflict copies named in that folder
    std::set<std::string> m_renamedAway;       // paths the last run knew whose files a rename took
    std::set<std::string> m_deferred;          // files decided after the walk (waitsForRenames)
    bool m_settling = false;                   // deciding them
};

}  // namespace tessel
