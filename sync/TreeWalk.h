#pragma once
// The one walk of the engine: over a pair of trees (a run's source and destination), folder by folder,
// depth first, a folder's files before its subfolders, each folder's names in byte order with both
// sides' listings merged. What becomes of a name is its pass's to decide (TreeWalk::Pass): a one-way
// copy or move, a deletion plan, a two-way watch, a count. The walk only finds things: it lists, looks,
// opens and, where the pass says so, has folders made, reading ahead on the pool's threads and cutting
// large folders into pieces for them. What the watch's rules leave out (WalkRules: excludes, hidden
// names, skipped links) it never looks at, hands to a pass as a file or enters.
// A run with a scope (RunState::scope) has its walk decide the names of the folders the scope covers only,
// and go only where they are.
//
// Threads: the walk, its chains and its pass belong to the walk thread. The pool's threads read
// subfolders ahead of it (Ahead) and look at the names of large folders (LookPiece): they touch only
// their own folders and results, the view, and what does not change during the walk (the roots), and
// the walk thread waits for each (Finished) before it uses what it found.

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/FileSystemTraits.h"
#include "platform/Folders.h"
#include "sync/FolderChain.h"
#include "sync/Sides.h"
#include "sync/WalkEntry.h"
#include "sync/WalkRules.h"

namespace tessel {

class Applier;
class RunScope;
class RunState;
class TreeView;

// What a look found of one name: on each side looked at, what is there (a side without the name is
// Missing, one that lists it as a folder is Folder without a look).
struct Seen {
    platform::FileInfo info[2];
    std::error_code error[2];
    bool looked[2] = {false, false};
};

// The folder the walk is in, shared with the work in it that the pool still has.
struct WalkFolder : std::enable_shared_from_this<WalkFolder> {
    std::string relative;              // below the roots, "" or "a/b/"
    bool on[2] = {false, false};       // there on this side (or imagined there)
    bool fresh[2] = {false, false};    // made by this walk: it held nothing
    bool planned[2] = {false, false};  // missing, its making left to the pass
    std::error_code heldBy[2];         // planned, but a link or file holds the name
    bool written[2] = {false, false};  // something was written in it
    bool flush[2] = {false, false};    // its names are flushed with its times (see the passes)
    bool finish[2] = {false, false};   // it gets `like`'s times once everything in it is done
    platform::FileInfo info[2];        // the folder as the walk first found it
    platform::FileInfo like[2];        // what it gets when finished
    platform::SharedFolder folder[2];  // open while the walk is in it; not valid for one imagined
    // What each side's file system can do (tried once per device by the run).
    const platform::FileSystemTraits* traits[2] = {nullptr, nullptr};
    std::vector<platform::ListedName> names[2];
};

class TreeWalk {
  public:
    // What becomes of a side that lacks a subfolder another side leads the walk into.
    enum class Missing {
        Make,    // it is made (a preview imagines it)
        Plan,    // it is walked as missing, and the pass plans its making
        Absent,  // the side is not walked
    };
    struct Sides {
        bool leads[2] = {true, false};  // a subfolder on this side is walked into
        Missing missing[2] = {Missing::Absent, Missing::Absent};
        bool writes[2] = {false, false};  // the pass writes in this side
        bool reads[2] = {true, false};    // the pass reads files of this side (follows their links)
    };

    class Pass {
      public:
        virtual ~Pass() = default;
        virtual Sides sides() const = 0;
        // The sides whose entry for the name needs a look (1 << side each), in a folder that holds
        // nothing on the sides `fresh` says. Asked on any thread.
        virtual unsigned looksAt(const bool (&fresh)[2], const WalkEntry& entry) const = 0;
        // Each name that is not a folder on every side that has it, in name order.
        virtual void file(WalkFolder& folder, const WalkEntry& entry, Seen& seen) = 0;
        // Whether the walk goes into the folder `relative` at all (asked before it is opened).
        virtual bool enters(const std::string& /*relative*/) const { return true; }
        // The walk is in `child` (below `parent`), before its names: sets what it gets when finished.
        virtual void entered(WalkFolder& parent, WalkFolder& child) = 0;
        // The walk has handed on everything in `folder` (the folder's finishing is the pass's).
        virtual void left(const std::shared_ptr<WalkFolder>& folder) = 0;
        // Nothing in or below `relative` was walked: it could not be read.
        virtual void notWalked(const std::string& /*relative*/) {}
        // A name of `folder` that the rules leave out: nothing of it, or below it, is walked.
        virtual void leftOut(WalkFolder& /*folder*/, const WalkEntry& /*entry*/) {}
    };

    // `rules` outlive the walk.
    TreeWalk(RunState& run, Applier& applier, Pass& pass, const std::string (&roots)[2],
             const WalkRules& rules);
    ~TreeWalk();
    TreeWalk(const TreeWalk&) = delete;
    TreeWalk& operator=(const TreeWalk&) = delete;

    // Walks from `top`, whose `on`, `info` and `fresh` the caller has set, with the roots open (a side
    // not walked, or a root a preview imagines, is not valid). False when the user stopped it. The top's
    // finishing is the caller's.
    bool walk(platform::Folder (&roots)[2], const std::shared_ptr<WalkFolder>& top);

    const std::string& root(int side) const { return m_roots[side]; }
    // The root as opened (not valid for one a preview imagines; null for a side not walked).
    const platform::SharedFolder& rootFolder(int side) const { return m_rootFolders[side]; }
    // root(side) + the folder's relative path
    std::string path(int side, const WalkFolder& folder) const { return m_roots[side] + folder.relative; }
    // Marks the folder failed (nothing in or below it is deleted), says why, and tells the pass.
    void failFolder(const char* doing, const std::string& path, const std::string& relative,
                    const std::error_code& error);

  private:
    struct Ahead;
    struct LookPiece;
    static constexpr std::size_t kLookPiece = 64;      // names a thread looks at in one piece
    static constexpr std::size_t kPiecesAhead = 16;    // pieces of a large folder in hand at once
    static constexpr std::size_t kPooledFolder = 256;  // a folder with more names is looked at in pieces
    static constexpr std::size_t kFoldersAhead = 16;   // subfolders read ahead at once, over all levels
    static constexpr std::size_t kReadAhead = 512;     // a folder with more names is read when come to
    // A folder whose own size says it holds many more names is not even listed ahead (a hint only).
    static constexpr std::uint64_t kReadAheadBytes = 64 * 1024;

    bool walkFolder(WalkFolder& here, Ahead* ahead);
    bool listSides(WalkFolder& here);
    void decideNames(WalkFolder& here, const std::vector<WalkEntry>& entries, const std::vector<char>& taken,
                     Ahead* ahead);
    void lookInPieces(WalkFolder& here, const std::vector<WalkEntry>& entries,
                      const std::vector<char>& taken);
    Seen look(const platform::Folder* const (&folders)[2], const bool (&fresh)[2],
              const std::string& relative, const WalkEntry& entry) const;
    void handle(WalkFolder& here, const WalkEntry& entry, Seen& seen);
    bool walkSubfolder(WalkFolder& here, const WalkEntry& entry, Ahead* ahead);
    bool mayGoAhead(const WalkFolder& here, const WalkEntry& entry, bool taken) const;
    std::shared_ptr<Ahead> goAhead(const WalkFolder& here, const WalkEntry& entry, std::size_t index);
    void readAhead(Ahead& ahead) const;
    bool isOtherRoot(int side, const platform::Folder& folder) const;
    static std::array<bool, 2> caseBlindness(const platform::FileSystemTraits* const (&traits)[2]);

    // Whether the walk decides the names of the folder `relative`, and goes into it (RunState::scope).
    bool covers(const std::string& relative) const;
    bool leadsTo(const std::string& relative) const;

    RunState& m_run;
    Applier& m_applier;
    const TreeView& m_view;
    Pass& m_pass;
    const WalkRules& m_rules;
    const RunScope* m_scope;  // the run's; null for a walk of everything
    const Sides m_sides;
    std::string m_roots[2];
    std::string m_resolvedRoots[2];          // with every link resolved: where a followed link may lead
    std::optional<FolderChain> m_chains[2];  // none for a side the walk does not use
    platform::SharedFolder m_rootFolders[2];
    std::size_t m_foldersAhead = 0;  // handed ahead and not yet come to
};

}  // namespace tessel
