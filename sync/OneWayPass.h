#pragma once
// A pass in one direction for one mask: the files of the source tree that match the mask are copied or
// moved into the destination tree, each decided by decideCopy; the source's folders are mirrored (made
// where missing, given their source's times once everything in them is done).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Versions.h"
#include "sync/Applier.h"
#include "sync/CopyDecision.h"
#include "sync/RunContext.h"
#include "sync/TreeWalk.h"
#include "sync/WalkRules.h"

namespace tessel {

class Applier;
class RunState;

struct OneWaySettings {
    std::string mask;
    std::int32_t tuneMode = 0;  // TTuneMode; any other value: nothing crosses
    bool move = false;
    bool wideLog = false;
    WalkRules rules;
};

class OneWayPass : public TreeWalk::Pass {
  public:
    OneWayPass(RunState& run, Applier& applier, const OneWaySettings& settings, const std::string& source,
               const std::string& destination);

    // The whole pass; everything of it is done (and told) when it returns. A source that is not there
    // is no pass (nothing is made, nothing said); a destination root that cannot be made or opened is
    // an error, and so is a source that cannot be opened.
    void run();

    TreeWalk::Sides sides() const override;
    unsigned looksAt(const bool (&fresh)[2], const WalkEntry& entry) const override;
    void file(WalkFolder& folder, const WalkEntry& entry, Seen& seen) override;
    void entered(WalkFolder& parent, WalkFolder& child) override;
    void left(const std::shared_ptr<WalkFolder>& folder) override;

  private:
    bool takesPart(const WalkEntry& entry) const;
    bool copiesUnlooked() const;
    // Decides for a file looked at and orders what is to be done.
    // `target` is the name the destination has for it (another case of `name` where its file system
    // does not tell cases apart), or `name`. A file counts once on the progress bar: a first copy that
    // found no regular file after all was counted as it was ordered.
    enum class Step { Now, Made };
    void decide(const std::shared_ptr<WalkFolder>& folder, const std::string& name, const std::string& target,
                Seen& seen, Step step);
    void order(const std::shared_ptr<WalkFolder>& folder, const std::string& name, const std::string& target,
               int kind, const Seen& seen, RunAction::Side newer);
    std::unique_ptr<FileOrder> newOrder(const WalkFolder& folder, FileOrder::Kind kind,
                                        const std::string& name, const Seen& seen) const;
    // Gives the destination's file the source's spelling of its name, then decides.
    void rename(const std::shared_ptr<WalkFolder>& folder, const std::string& name, const std::string& target,
                const Seen& seen);
    void finishFolder(const std::shared_ptr<WalkFolder>& folder);
    Comparison comparisonOf(const WalkFolder& folder) const;
    std::string sourcePath(const WalkFolder& folder, const std::string& name) const;
    std::string destinationPath(const WalkFolder& folder, const std::string& name) const;

    RunState& m_run;
    Applier& m_applier;
    const OneWaySettings m_settings;
    std::string m_roots[2];
    platform::VersionKeeper* m_versions = nullptr;
    std::shared_ptr<WalkFolder> m_top;
    const char* m_doing;             // "copying file" or "moving file"
    bool m_sourceLocalTime = false;  // the source's file system keeps local time
};

}  // namespace tessel
