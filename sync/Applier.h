#pragma once
// Doing what a pass decided. A run does it on the disk, on the pool's threads (DiskApplier); a preview
// only imagines it (PreviewApplier), so that the passes after it see what the run would have done. Both
// tell the pass what came of each order on the walk thread, in walk order: a run and its preview count,
// report, log and protect in one place, the pass's.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/FileCopy.h"
#include "platform/Folders.h"
#include "sync/RunContext.h"
#include "sync/Sides.h"

namespace tessel {

class TreeView;
struct DeletionPlan;
struct EditedPlan;

// What came of a file order.
struct FileOutcome {
    bool begun = true;  // false: not begun when the user stopped the run, and left as it was
    bool done = false;
    std::error_code error;
    platform::FileInfo found;  // CopyUnlooked: the file as opened; kind Missing when it was no regular file
    platform::FileInfo copy;   // with lookAtCopy: the copy as it lies in place (Missing when not found)
    platform::VersionPlace version;
    platform::Dropped dropped;    // what the copy could not carry over
    bool keptCopyFailed = false;  // ConflictCopy: the losing file could not be kept; nothing was replaced
};

// A file operation a pass has decided on.
struct FileOrder {
    enum class Kind {
        Copy,          // from `from` to the other side, into a free name or over the file looked at there
        CopyUnlooked,  // a file listed as regular, into a folder the walk has just made and that holds
                       // nothing: looked at as it is opened (what the opening finds comes back as `found`)
        Move,          // to the other side, never replacing
        FinishMove,    // a move cut short after its copy: the source goes where the other side holds the
                       // same content; other content is reported (file_exists)
        ConflictCopy,  // the other side's file first kept beside it as `keptName`, then Copy
        Rename,        // the other side's file `targetName` renamed to `name` (a change of letter case), or
                       // with `movedFolder` its file or folder `movedName` there, never replacing anything
    };
    Kind kind = Kind::Copy;
    int from = kSource;
    platform::SharedFolder folder[2];  // the folder the name is in, on each side
    std::string root[2];               // the trees' roots, with their trailing "/"
    std::string relative;              // the folder below the roots
    std::string name;                  // on the side copied from
    std::string targetName;  // on the other side, where it spells the name in another case; else empty
    std::string keptName;
    // The row of a preview this order is (a conflict's row for what a conflict does): what a run of an
    // edited plan looks for.
    RunAction::Kind rowKind = RunAction::Kind::Copy;
    std::string rowPath;
    platform::FileInfo info[2];                   // as looked at (kind Missing where a side lacks the name)
    platform::VersionKeeper* versions = nullptr;  // where what the copy replaces goes first
    // What the file systems of the two folders can do (FileSystems::of).
    const platform::FileSystemTraits* traits[2] = {nullptr, nullptr};
    bool lookAtCopy = false;  // the copy looked at once in place (for a state)
    // Rename from another folder of the side written to: the folder `movedRelative` and the name there.
    platform::SharedFolder movedFolder;
    std::string movedRelative;
    std::string movedName;
    std::function<void(const FileOutcome&)> done;
};

// How the files of an order are looked at again: as links where the walk found links as themselves.
inline platform::LinkLook linkLookOf(const FileOrder& order) {
    return order.info[kSource].isLink || order.info[kDestination].isLink ? platform::LinkLook::AsLink
                                                                         : platform::LinkLook::Follow;
}

class Applier {
  public:
    virtual ~Applier() = default;
    // How the passes see the trees while this applier does (or imagines) their work.
    virtual const TreeView& view() const = 0;
    // The edited plan this applier does, where it does one: the passes take the user's choices for
    // conflicts from it.
    virtual const EditedPlan* plan() const { return nullptr; }
    // The name an order has on the side it writes to.
    static const std::string& targetOf(const FileOrder& order) {
        return order.targetName.empty() ? order.name : order.targetName;
    }
    // Does the order (a run: on a pool thread) and tells its `done`, in walk order.
    virtual void order(std::unique_ptr<FileOrder> order) = 0;
    // Runs `event` on the walk thread once everything ordered before it is done and told.
    virtual void after(std::function<void()> event) = 0;
    // Everything ordered so far done and told.
    virtual void drain() = 0;

    // Makes a tree's root folder with every folder above it, when missing.
    virtual bool makeRoot(const std::string& root, bool& created, std::error_code& error) = 0;
    enum class FolderMade { Made, Existing, NotMade, NotOpened };
    // Makes the subfolder `name` of `parent` (the folder `relative` of the tree at `root`) with `mode`
    // for group and others, and opens it into `made` (not valid for a folder only imagined).
    virtual FolderMade makeFolder(const platform::Folder& parent, const std::string& root,
                                  const std::string& relative, const std::string& name, std::uint32_t mode,
                                  platform::Folder& made, std::error_code& error) = 0;
    // A folder the walk wrote in, once everything in it is done.
    struct DoneFolder {
        platform::SharedFolder folder;
        platform::FileInfo like;          // the times it gets; where the run made it, mode and owner too
        platform::SharedFolder mirrored;  // the folder it mirrors, whose attributes a folder made takes
        bool created = false;             // the run made it
        bool flush = false;               // the names the run gave in it are made durable
    };
    // Gives the folder what `done` says; what its file system could not hold of the attributes goes
    // into `dropped`.
    virtual bool settleFolder(const DoneFolder& done, platform::Dropped& dropped, std::error_code& error) = 0;
    // What a killed run left half-copied in a folder this run writes in.
    virtual void clearStaleTemporaries(const platform::Folder& folder,
                                       const std::vector<platform::ListedName>& names) = 0;
    // Makes the deletions of the plan, each file only while it is still the one looked at, after its
    // version, and tells the ledger of each (and `deleted`, where given, of each file gone).
    using Deleted = std::function<void(const std::string& relative, std::size_t stateIndex)>;
    virtual void executeDeletions(const DeletionPlan& plan, bool wideLog, const Deleted& deleted = {}) = 0;
    // Removes an old versions folder.
    virtual void removeVersions(const std::string& root, const std::string& stamp) = 0;
    // The run's passes are through and everything ordered is done and told: what the applier still
    // has to say (a plan's rows the run never came to). Not after a stop.
    virtual void finish() {}
};

}  // namespace tessel
