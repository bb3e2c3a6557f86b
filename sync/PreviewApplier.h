#pragma once
// What a run would do, imagined instead of done: each order is told at once as the run would have done
// it, and remembered in the view, so that the passes after it see the trees as the run would leave them.
// Nothing on disk changes.

#include "sync/Applier.h"
#include "sync/TreeView.h"

namespace tessel {

class RunState;

class PreviewApplier : public Applier {
  public:
    explicit PreviewApplier(RunState& run) : m_run(run) {}

    const TreeView& view() const override { return m_view; }
    void order(std::unique_ptr<FileOrder> order) override;
    void after(std::function<void()> event) override { event(); }
    void drain() override {}
    bool makeRoot(const std::string& root, bool& created, std::error_code& error) override;
    FolderMade makeFolder(const platform::Folder& parent, const std::string& root,
                          const std::string& relative, const std::string& name, std::uint32_t mode,
                          platform::Folder& made, std::error_code& error) override;
    bool settleFolder(const DoneFolder&, platform::Dropped&, std::error_code&) override { return true; }
    void clearStaleTemporaries(const platform::Folder&, const std::vector<platform::ListedName>&) override {}
    void executeDeletions(const DeletionPlan& plan, bool wideLog, const Deleted& deleted) override;
    void removeVersions(const std::string&, const std::string&) override {}

  private:
    RunState& m_run;
    ImaginedView m_view;
};

}  // namespace tessel
