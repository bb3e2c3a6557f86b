#include "sync/DeleteAbsent.h"

#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/Wildcard.h"
#include "sync/Applier.h"
#include "sync/DeletionDecision.h"
#include "sync/DiskApplier.h"
#include "sync/RunState.h"
#include "sync/SyncFolder.h"
#include "sync/TreeView.h"
#include "sync/TreeWalk.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::ListedType;

// Follows the source tree and plans, folder by folder, the deletions of the destination's files that
// match the mask and that the source lacks, and the destination folders to make.
class DeletionPass : public TreeWalk::Pass {
  public:
    DeletionPass(RunState& run, DeletionPlan& plan, const std::string& mask)
        : m_run(run), m_plan(plan), m_mask(mask) {}

    TreeWalk::Sides sides() const override {
        TreeWalk::Sides sides;
        sides.leads[kSource] = true;
        sides.missing[kDestination] = TreeWalk::Missing::Plan;
        sides.reads[kSource] = sides.reads[kDestination] = false;
        return sides;
    }
    // Something failed in this folder earlier in the run: what it lacks may be lacking because of that,
    // so nothing here or below is deleted.
    bool enters(const std::string& relative) const override { return !m_run.folderFailed(relative); }

    unsigned looksAt(const bool (&)[2], const WalkEntry& entry) const override {
        if (!entry.on[kDestination] || entry.type[kDestination] == ListedType::Folder ||
            !platform::matchesMask(m_mask, *entry.name))
            return 0;
        // The source has it as something that is no folder: no deletion, nothing to look at.
        if (entry.on[kSource] && entry.type[kSource] != ListedType::Folder &&
            entry.type[kSource] != ListedType::Unknown)
            return 0;
        return (1u << kDestination) | (entry.on[kSource] ? 1u << kSource : 0u);
    }

    void file(WalkFolder& folder, const WalkEntry& entry, Seen& seen) override {
        if (!seen.looked[kDestination]) return;
        const std::string relativeName = folder.relative + *entry.name;
        // A file that cannot be looked at stays, and the user hears why.
        if (seen.info[kDestination].kind == EntryKind::Unreadable)
            return m_run.failure("deleting file", m_plan.destinationRoot + relativeName,
                                 seen.error[kDestination]);
        DeletionFacts facts;
        facts.file = seen.info[kDestination];
        facts.onSource = presenceOnSource(entry, seen);
        facts.protectedFile = m_run.isProtected(relativeName);
        facts.ownFile = m_run.isOwnFile(facts.file);
        const DeletionDecision decision = decideDeletion(facts);
        if (decision == DeletionDecision::Keep) return;
        const std::string path = m_plan.destinationRoot + relativeName;
        if (!m_run.planDeletionOnce(path)) return;  // another mask's plan has it
        if (decision == DeletionDecision::RefuseReadOnly)
            return m_run.failure("deleting file", path, std::make_error_code(std::errc::permission_denied));
        m_plan.groupFor(folder.relative, folder.info[kDestination], folder.info[kSource])
            .files.push_back({*entry.name, facts.file});
    }

    void entered(WalkFolder& parent, WalkFolder& child) override {
        // A folder the destination lacks is made once the deletions of its nearest existing ancestor
        // are done: a file holding its name may be one of them.
        if (!child.planned[kDestination]) return;
        const std::string above = parent.planned[kDestination] ? m_groupOf[parent.relative] : parent.relative;
        if (child.heldBy[kDestination] && !givesWay(above, parent.relative, child)) {
            m_run.markFolderFailed(child.relative);
            m_run.failure("opening folder", m_plan.destinationRoot + child.relative,
                          child.heldBy[kDestination]);
            return;
        }
        DeletionPlan::Group& group =
            parent.planned[kDestination]
                ? findGroup(above)
                : m_plan.groupFor(parent.relative, parent.info[kDestination], parent.info[kSource]);
        FileInfo like = child.info[kSource];
        group.folders.push_back({child.relative.substr(group.relative.size()), like});
        m_groupOf[child.relative] = group.relative;
    }

    void left(const std::shared_ptr<WalkFolder>&) override {}

  private:
    static platform::Presence presenceOnSource(const WalkEntry& entry, const Seen& seen) {
        if (!entry.on[kSource] || entry.type[kSource] == ListedType::Folder)
            return platform::Presence::Absent;
        if (!seen.looked[kSource]) return platform::Presence::Present;
        switch (seen.info[kSource].kind) {
            case EntryKind::Missing:
            case EntryKind::Folder:
                return platform::Presence::Absent;
            case EntryKind::Unreadable:
                return platform::Presence::Unknown;
            default:
                return platform::Presence::Present;  // files, links, special entries
        }
    }

    // A file of the folder's name that this pass deletes makes way for the folder.
    bool givesWay(const std::string& groupRelative, const std::string& parentRelative,
                  const WalkFolder& child) const {
        if (child.heldBy[kDestination] != std::errc::not_a_directory || groupRelative != parentRelative)
            return false;
        const std::string name =
            child.relative.substr(parentRelative.size(), child.relative.size() - parentRelative.size() - 1);
        for (const DeletionPlan::Group& group : m_plan.groups)
            if (group.relative == parentRelative)
                for (const DeletionPlan::Candidate& file : group.files)
                    if (file.name == name) return true;
        return false;
    }

    DeletionPlan::Group& findGroup(const std::string& relative) {
        for (DeletionPlan::Group& group : m_plan.groups)
            if (group.relative == relative) return group;
        return m_plan.groups.emplace_back();  // not reached: a planned folder's group is made before it
    }

    RunState& m_run;
    DeletionPlan& m_plan;
    const std::string& m_mask;
    // The group a planned folder is made by: that of its nearest ancestor the destination has.
    std::unordered_map<std::string, std::string> m_groupOf;
};

}  // namespace

std::int64_t DeletionPlan::fileCount() const {
    std::int64_t count = 0;
    for (const Group& group : groups) count += static_cast<std::int64_t>(group.files.size());
    return count;
}

DeletionPlan::Group& DeletionPlan::groupFor(const std::string& relative, const FileInfo& folder,
                                            const FileInfo& sourceInfo) {
    if (!groups.empty() && groups.back().relative == relative) return groups.back();
    for (Group& group : groups)
        if (group.relative == relative) return group;
    Group& group = groups.emplace_back();
    group.relative = relative;
    group.device = folder.device;
    group.inode = folder.inode;
    group.sourceInfo = sourceInfo;
    return group;
}

DeletionPlan planDeletions(RunState& run, Applier& applier, const std::string& SourceFolder,
                           const std::string& DestinationFolder, const std::string& Mask,
                           const WalkRules& rules) {
    DeletionPlan plan;
    plan.sourceRoot = withTrailingSlash(SourceFolder);
    plan.destinationRoot = withTrailingSlash(DestinationFolder);
    const TreeView& view = applier.view();
    const bool sourceImagined = view.imaginesFolder(plan.sourceRoot, "");
    if ((!platform::isExistingFolder(plan.sourceRoot) && !sourceImagined) || run.folderFailed(""))
        return plan;
    std::error_code error;
    bool created =
        !platform::isExistingFolder(plan.destinationRoot) && !view.imaginesFolder(plan.destinationRoot, "");
    if (created) {
        if (!applier.makeRoot(plan.destinationRoot, created, error)) {
            run.markFolderFailed("");
            run.failure("creating folder", plan.destinationRoot, error);
            return plan;
        }
        run.report(RunAction::Kind::CreateFolder, plan.destinationRoot);
    }
    Folder roots[2];
    roots[kSource] = run.openRoot(plan.sourceRoot, error);
    if (!roots[kSource].valid() && !sourceImagined) {
        // A source that cannot be read protects the destination.
        run.markFolderFailed("");
        run.failure("opening folder", plan.sourceRoot, error);
        return plan;
    }
    roots[kDestination] = run.openRoot(plan.destinationRoot, error);
    if (!roots[kDestination].valid() && !view.imaginesFolder(plan.destinationRoot, "")) {
        run.markFolderFailed("");
        run.failure("opening folder", plan.destinationRoot, error);
        return plan;
    }
    const auto top = std::make_shared<WalkFolder>();
    top->on[kSource] = top->on[kDestination] = true;
    for (const int side : kSides)
        if (roots[side].valid()) roots[side].info(top->info[side], error);
    DeletionPass pass(run, plan, Mask);
    const std::string names[2] = {plan.sourceRoot, plan.destinationRoot};
    TreeWalk walk(run, applier, pass, names, rules);
    walk.walk(roots, top);
    return plan;
}

bool deletionsAllowed(RunState& run, std::span<const DeletionPlan> plans, std::int64_t held,
                      std::int64_t sourceFiles) {
    const int limit = run.context.options.deleteLimitPercent;
    std::int64_t toDelete = 0;
    for (const DeletionPlan& plan : plans) toDelete += plan.fileCount();
    if (toDelete == 0 || limit >= 100) return true;
    const std::string& sourceRoot = plans.front().sourceRoot;
    const std::string& destinationRoot = plans.front().destinationRoot;
    std::string why;
    if (sourceFiles == 0 && held > 0) {
        why = "the source folder " + sourceRoot +
              " held no file the watch's masks cover at the start of the run; " + std::to_string(toDelete) +
              " of the " + std::to_string(held) + " files held would be deleted";
    } else if (toDelete >= kMinimumGuardedDeletions &&
               toDelete * 100 > static_cast<std::int64_t>(limit) * held) {
        why = std::to_string(toDelete) + " of the " + std::to_string(held) +
              " files held would be deleted, more than the limit of " + std::to_string(limit) + " %";
    } else {
        return true;
    }
    run.result.refusedDeletions += static_cast<int>(toDelete);
    for (const DeletionPlan& plan : plans)
        for (const DeletionPlan::Group& group : plan.groups)
            for (const DeletionPlan::Candidate& file : group.files)
                run.report(RunAction::Kind::RefusedDeletion,
                           plan.destinationRoot + group.relative + file.name, {}, file.info.size);
    run.failure("Error deleting files in " + destinationRoot + ": " + why + "; nothing was deleted");
    return false;
}

RunResult DeleteAbsentFiles(RunContext& context, const std::string& SourceFolder,
                            const std::string& DestinationFolder, const std::string& Mask) {
    RunState run(context);
    run.learnOwnFiles();
    DiskApplier applier(run);
    const WalkRules rules;
    const std::int64_t held = countMatchingFiles(DestinationFolder, {Mask}, rules);
    const std::int64_t sourceFiles = countMatchingFiles(SourceFolder, {Mask}, rules);
    const DeletionPlan plan = planDeletions(run, applier, SourceFolder, DestinationFolder, Mask, rules);
    if (deletionsAllowed(run, std::span(&plan, 1), held, sourceFiles))
        applier.executeDeletions(plan, false, {});
    applier.drain();
    return run.result;
}

}  // namespace tessel
