#pragma once
// A run of an edited plan: the applier of the run (the disk's, or a preview's) with the plan in front
// of it. Every file order, folder and deletion the passes decide goes through only when the plan holds
// its row and its files are as the preview found them; a row the user left out is left as it is,
// silently, and anything else the run would do (a file changed or made since the preview) is left as it
// is and reported as a failure. So is a row the run never came to (a file gone since the preview, a row
// naming a file outside the watch): once the run is through, each such row gets its error line.
//
// Threads: the walk thread calls it, as it calls every applier, and it alone keeps which rows the run
// met (m_met), from the orders, deletions and folders that come through here and the actions the run
// reports (RunState::heard, told on the walk thread in walk order). The plan itself is read-only: the
// passes may ask it on any thread (EditedPlan::choiceFor).

#include <memory>
#include <string>
#include <unordered_set>

#include "sync/Applier.h"
#include "sync/EditedPlan.h"

namespace tessel {

class RunState;

class PlanApplier : public Applier {
  public:
    PlanApplier(RunState& run, std::unique_ptr<Applier> inner, const EditedPlan& plan);
    ~PlanApplier() override;

    const TreeView& view() const override { return m_inner->view(); }
    const EditedPlan* plan() const override { return &m_plan; }
    void order(std::unique_ptr<FileOrder> order) override;
    void after(std::function<void()> event) override { m_inner->after(std::move(event)); }
    void drain() override { m_inner->drain(); }
    bool makeRoot(const std::string& root, bool& created, std::error_code& error) override;
    FolderMade makeFolder(const platform::Folder& parent, const std::string& root,
                          const std::string& relative, const std::string& name, std::uint32_t mode,
                          platform::Folder& made, std::error_code& error) override;
    bool settleFolder(const DoneFolder& done, platform::Dropped& dropped, std::error_code& error) override {
        return m_inner->settleFolder(done, dropped, error);
    }
    void clearStaleTemporaries(const platform::Folder& folder,
                               const std::vector<platform::ListedName>& names) override {
        m_inner->clearStaleTemporaries(folder, names);
    }
    void executeDeletions(const DeletionPlan& plan, bool wideLog, const Deleted& deleted) override;
    void removeVersions(const std::string& root, const std::string& stamp) override {
        m_inner->removeVersions(root, stamp);
    }
    void finish() override;

  private:
    enum class Verdict { Do, LeftOut, Changed };
    Verdict verdictOn(const FileOrder& order);
    void met(RunAction::Kind kind, const std::string& path) { m_met.insert(EditedPlan::keyOf(kind, path)); }
    void metEveryKind(const std::string& path);

    RunState& m_run;
    std::unique_ptr<Applier> m_inner;
    const EditedPlan& m_plan;
    std::unordered_set<std::string> m_written;     // the files this run's orders wrote (full paths)
    std::unordered_set<std::string> m_notWritten;  // where the orders not done would have written
    std::unordered_set<std::string> m_met;         // the rows the run came to (EditedPlan::keyOf)
};

}  // namespace tessel
