#pragma once
// What a run decided, done on the disk: file orders on the pool's threads (each told back on the walk
// thread, in walk order), folders made and given their times, deletions made after their versions.

#include "sync/Applier.h"
#include "sync/TreeView.h"

namespace tessel {

class RunState;

class DiskApplier : public Applier {
  public:
    explicit DiskApplier(RunState& run) : m_run(run) {}

    const TreeView& view() const override { return m_view; }
    void order(std::unique_ptr<FileOrder> order) override;
    void after(std::function<void()> event) override;
    void drain() override;
    bool makeRoot(const std::string& root, bool& created, std::error_code& error) override;
    FolderMade makeFolder(const platform::Folder& parent, const std::string& root,
                          const std::string& relative, const std::string& name, std::uint32_t mode,
                          platform::Folder& made, std::error_code& error) override;
    bool settleFolder(const DoneFolder& done, platform::Dropped& dropped, std::error_code& error) override;
    void clearStaleTemporaries(const platform::Folder& folder,
                               const std::vector<platform::ListedName>& names) override;
    void executeDeletions(const DeletionPlan& plan, bool wideLog, const Deleted& deleted) override;
    void removeVersions(const std::string& root, const std::string& stamp) override;

    // Does one order where it stands, telling `progress` (when given) how its copies go; what the pool's
    // threads run.
    static void perform(const FileOrder& order, FileOutcome& outcome,
                        platform::CopyProgress* progress = nullptr);

  private:
    RunState& m_run;
    DiskView m_view;
};

}  // namespace tessel
