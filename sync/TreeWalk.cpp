#include "sync/TreeWalk.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <unordered_map>
#include <utility>

#include "platform/Paths.h"
#include "sync/Applier.h"
#include "sync/RunScope.h"
#include "sync/RunState.h"
#include "sync/TreeView.h"
#include "sync/WalkAhead.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::FileInfo;
using platform::Folder;
using platform::ListedName;
using platform::ListedType;
using platform::SharedFolder;

}  // namespace

TreeWalk::TreeWalk(RunState& run, Applier& applier, Pass& pass, const std::string (&roots)[2],
                   const WalkRules& rules)
    : m_run(run),
      m_applier(applier),
      m_view(applier.view()),
      m_pass(pass),
      m_rules(rules),
      m_scope(run.scope),
      m_sides(pass.sides()) {
    for (const int side : kSides) {
        m_roots[side] = roots[side];
        std::error_code ignored;
        if (!platform::resolvePath(roots[side], m_resolvedRoots[side], ignored))
            m_resolvedRoots[side] = roots[side];
    }
}

TreeWalk::~TreeWalk() = default;

bool TreeWalk::covers(const std::string& relative) const {
    return m_scope == nullptr || m_scope->covers(relative);
}

bool TreeWalk::leadsTo(const std::string& relative) const {
    return m_scope == nullptr || m_scope->leadsTo(relative);
}

bool TreeWalk::walk(Folder (&roots)[2], const std::shared_ptr<WalkFolder>& top) {
    std::error_code error;
    for (const int side : kSides) {
        if (!m_sides.leads[side] && m_sides.missing[side] == Missing::Absent) continue;
        m_chains[side].emplace(std::move(roots[side]));
        m_rootFolders[side] = m_chains[side]->shared(error);
        // A root a preview imagines will be made where the nearest folder above it is.
        if (m_chains[side]->imaginary() && top->traits[side] == nullptr)
            top->traits[side] = &m_run.fileSystems().ofNearest(m_roots[side]);
    }
    return walkFolder(*top, nullptr);
}

void TreeWalk::failFolder(const char* doing, const std::string& path, const std::string& relative,
                          const std::error_code& error) {
    // What a walk could not see cannot be judged: nothing in or below it is deleted.
    m_run.markFolderFailed(relative);
    m_pass.notWalked(relative);
    m_run.failure(doing, path, error);
}

// Only a file system the probe found blind to case is: one it could not try (a read-only source, a root
// the user may not write in) lists its names as they are. Writing there stays safe all the same: a name
// is never given over one the file system already has, in any case.
std::array<bool, 2> TreeWalk::caseBlindness(const platform::FileSystemTraits* const (&traits)[2]) {
    std::array<bool, 2> blind{false, false};
    for (const int side : kSides)
        blind[side] = traits[side] != nullptr && traits[side]->tried && !traits[side]->caseSensitive;
    return blind;
}

bool TreeWalk::isOtherRoot(int side, const Folder& folder) const {
    const SharedFolder& other = m_rootFolders[1 - side];
    return other && other->valid() && folder.valid() && folder.sameFolderAs(*other);
}

bool TreeWalk::listSides(WalkFolder& here) {
    for (const int side : kSides) {
        here.names[side].clear();
        if (!here.on[side] || !m_chains[side] || here.fresh[side]) continue;
        std::error_code error;
        if (!m_view.list({*here.folder[side], m_roots[side], here.relative}, here.names[side], error)) {
            failFolder("reading folder", path(side, here), here.relative, error);
            return false;
        }
    }
    return true;
}

bool TreeWalk::walkFolder(WalkFolder& here, Ahead* ahead) {
    for (const int side : kSides) {
        here.folder[side] = std::make_shared<const Folder>();
        if (!here.on[side] || !m_chains[side]) continue;
        std::error_code error;
        here.folder[side] = m_chains[side]->shared(error);
        if (!here.folder[side]->valid() && !m_chains[side]->imaginary()) {
            failFolder("opening folder", path(side, here), here.relative, error);
            return true;
        }
    }
    // A folder a preview imagines will be made where its parent is: it has its parent's file system.
    for (const int side : kSides)
        if (here.on[side] && m_chains[side] && (here.folder[side]->valid() || here.traits[side] == nullptr))
            here.traits[side] = &m_run.fileSystems().of(*here.folder[side]);
    if (ahead != nullptr) {
        for (const int side : kSides) here.names[side] = std::move(ahead->names[side]);
    } else if (!listSides(here)) {
        return true;
    }
    // A folder the walk only passes through on its way to the scope's folders: its names are not decided.
    const bool covered = covers(here.relative);
    // Clear away what a killed run left half-copied in the folders this pass writes in.
    for (const int side : kSides)
        if (covered && m_sides.writes[side] && here.on[side] && !here.fresh[side] &&
            here.folder[side]->valid())
            m_applier.clearStaleTemporaries(*here.folder[side], here.names[side]);
    // The names of a folder read ahead moved here whole: the entries still point at them.
    const std::array<bool, 2> blind = caseBlindness(here.traits);
    const std::vector<WalkEntry> entries =
        ahead != nullptr ? std::move(ahead->entries) : mergeListings(here.names, {blind[0], blind[1]});
    const std::vector<char> taken =
        ahead != nullptr ? std::move(ahead->taken) : m_rules.takenOf(here.relative, entries);
    if (covered) decideNames(here, entries, taken, ahead);
    if (m_run.stopRequested()) return false;

    // The subfolders are read ahead on the pool's threads, a few at a time, while the walk is in the
    // ones before them: the walk then finds them listed and looked at.
    std::deque<std::shared_ptr<Ahead>> aheads;
    std::size_t next = 0;  // the first name not yet considered for reading ahead
    const auto readAheadMore = [&](std::size_t from) {
        for (next = std::max(next, from); next < entries.size() && m_foldersAhead < kFoldersAhead; ++next)
            if (mayGoAhead(here, entries[next], taken[next]))
                aheads.push_back(goAhead(here, entries[next], next));
    };
    readAheadMore(0);
    // The chains keep what the subfolders need; a folder held here for every level would not be bounded.
    for (const int side : kSides) here.folder[side].reset();
    bool finished = true;
    for (std::size_t i = 0; i < entries.size() && finished; ++i) {
        if (m_run.stopRequested()) finished = false;
        if (!finished || !taken[i] || !leadsTo(here.relative + *entries[i].name + "/")) continue;
        std::shared_ptr<Ahead> mine;
        if (!aheads.empty() && aheads.front()->index == i) {
            mine = std::move(aheads.front());
            aheads.pop_front();
            --m_foldersAhead;
        }
        finished = walkSubfolder(here, entries[i], mine.get());
        readAheadMore(i + 1);
    }
    // Those not come to (the run stopped) use this walk: they end before it does.
    for (const std::shared_ptr<Ahead>& ahead : aheads) ahead->done.wait();
    m_foldersAhead -= aheads.size();
    // The folder's finishing may wait in the pool a while: it needs none of its names.
    for (const int side : kSides) here.names[side] = {};
    return finished;
}

// The names of the folder the walk takes, each looked at (ahead, by the pool, or here) and handed to the
// pass; those it leaves out told to the pass as such.
void TreeWalk::decideNames(WalkFolder& here, const std::vector<WalkEntry>& entries,
                           const std::vector<char>& taken, Ahead* ahead) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!taken[i]) m_pass.leftOut(here, entries[i]);
    if (ahead != nullptr) {
        for (std::size_t i = 0; i < entries.size() && !m_run.stopRequested(); ++i)
            if (taken[i] && !entries[i].onlyFolders()) handle(here, entries[i], ahead->seen[i]);
    } else if (m_run.pool().parallel() && entries.size() >= kPooledFolder) {
        lookInPieces(here, entries, taken);
    } else {
        // For a small folder the walk looks itself: it would only wait for the threads, and waking them
        // costs more than the looks.
        const Folder* const folders[2] = {here.folder[kSource].get(), here.folder[kDestination].get()};
        for (std::size_t i = 0; i < entries.size() && !m_run.stopRequested(); ++i) {
            if (!taken[i] || entries[i].onlyFolders()) continue;
            Seen seen = look(folders, here.fresh, here.relative, entries[i]);
            handle(here, entries[i], seen);
        }
    }
}

void TreeWalk::lookInPieces(WalkFolder& here, const std::vector<WalkEntry>& entries,
                            const std::vector<char>& taken) {
    std::deque<std::shared_ptr<LookPiece>> pieces;
    std::size_t next = 0;
    const SharedFolder source = here.folder[kSource], destination = here.folder[kDestination];
    const bool fresh[2] = {here.fresh[kSource], here.fresh[kDestination]};
    const std::string relative = here.relative;
    const auto lookAhead = [&] {
        for (; pieces.size() < kPiecesAhead && next < entries.size(); next += kLookPiece) {
            auto piece = std::make_shared<LookPiece>();
            piece->first = next;
            piece->end = std::min(next + kLookPiece, entries.size());
            pieces.push_back(piece);
            m_run.pool().aside([this, piece, source, destination, fresh, relative, &entries, &taken] {
                const Folder* const folders[2] = {source.get(), destination.get()};
                piece->seen.resize(piece->end - piece->first);
                for (std::size_t i = piece->first; i < piece->end && !m_run.stopRequested(); ++i)
                    if (taken[i] && !entries[i].onlyFolders())
                        piece->seen[i - piece->first] = look(folders, fresh, relative, entries[i]);
                piece->done.set();
            });
        }
    };
    lookAhead();
    while (!pieces.empty()) {
        const std::shared_ptr<LookPiece> piece = std::move(pieces.front());
        pieces.pop_front();
        piece->done.wait();
        for (std::size_t i = piece->first; i < piece->end && !m_run.stopRequested(); ++i)
            if (taken[i] && !entries[i].onlyFolders())
                handle(here, entries[i], piece->seen[i - piece->first]);
        if (!m_run.stopRequested()) lookAhead();
    }
}

Seen TreeWalk::look(const Folder* const (&folders)[2], const bool (&fresh)[2], const std::string& relative,
                    const WalkEntry& entry) const {
    Seen seen;
    const unsigned sides = m_pass.looksAt(fresh, entry);
    for (const int side : kSides) {
        if (!entry.on[side]) continue;
        const std::string& name = entry.spelling(side);
        if (entry.type[side] == ListedType::Folder) {
            seen.info[side].kind = EntryKind::Folder;
            continue;
        }
        if ((sides & (1u << side)) == 0) continue;
        seen.looked[side] = true;
        FileInfo& info = seen.info[side];
        m_view.examine({*folders[side], m_roots[side], relative}, name, entry.type[side], info,
                       seen.error[side], m_rules.linkLook());
        // A link to another owner's file is followed only where it stays inside the tree: a user's link
        // must not make a run (as root, say) read what that user may not.
        if (m_sides.reads[side] && info.kind == EntryKind::File && info.viaLink &&
            info.linkOwner != info.owner &&
            !platform::linkLeadsInside(*folders[side], name, m_resolvedRoots[side])) {
            info.kind = EntryKind::Unreadable;
            seen.error[side] = platform::WalkError::ForeignLink;
        }
    }
    return seen;
}

void TreeWalk::handle(WalkFolder& here, const WalkEntry& entry, Seen& seen) {
    // A link where links are skipped that the listing could not tell from a file: left out as well.
    if (m_rules.links() == LinkHandling::Skip &&
        (seen.info[kSource].viaLink || seen.info[kDestination].viaLink))
        return m_pass.leftOut(here, entry);
    // A link is looked at through, and what it points at may be a file this run has just copied: it is
    // looked at again once the copies before it are done, as one thread would have found it.
    if ((seen.info[kSource].viaLink || seen.info[kDestination].viaLink) && m_run.pool().parallel()) {
        m_applier.drain();
        const Folder* const folders[2] = {here.folder[kSource].get(), here.folder[kDestination].get()};
        seen = look(folders, here.fresh, here.relative, entry);
    }
    m_pass.file(here, entry, seen);
}

bool TreeWalk::walkSubfolder(WalkFolder& here, const WalkEntry& entry, Ahead* ahead) {
    const std::string& name = *entry.name;
    if (ahead != nullptr) {
        ahead->done.wait();
        if (!ahead->complete) ahead = nullptr;
    }
    bool leads = false;
    for (const int side : kSides)
        leads = leads || (m_sides.leads[side] && here.on[side] && entry.mayBeFolder(side));
    if (!leads || !m_pass.enters(here.relative + name + "/")) return true;
    // Two folders the other side cannot tell apart would be filled into one there.
    if (entry.clashesWith != nullptr) {
        const int other = 1 - entry.clashSide;
        failFolder("creating folder", m_roots[other] + here.relative + name, here.relative + name + "/",
                   std::error_code(platform::WalkError::NameClash));
        return true;
    }

    enum class Found { Absent, Opened, NotFolder, Failed };
    Found found[2] = {Found::Absent, Found::Absent};
    Folder child[2];
    std::error_code error[2];
    const std::string relative = here.relative + name + "/";
    for (const int side : kSides) {
        if (!m_chains[side] || !here.on[side] || !entry.on[side]) continue;
        if (ahead != nullptr && ahead->present[side]) {
            child[side] = std::move(ahead->child[side]);
            found[side] = Found::Opened;
            continue;
        }
        // Asked of the chain each time: a deep walk puts folders aside while it is below them.
        const Folder& parent = m_chains[side]->current(error[side]);
        if (parent.valid()) child[side] = Folder::openChild(parent, entry.spelling(side), error[side]);
        if (child[side].valid() || m_view.imaginesFolder(m_roots[side], relative))
            found[side] = Found::Opened;  // a folder a preview imagines is entered as imagined
        else if (error[side] == platform::WalkError::SymbolicLink ||
                 error[side] == std::errc::not_a_directory)
            found[side] = Found::NotFolder;
        else if (error[side] == std::errc::no_such_file_or_directory || !parent.valid())
            found[side] = Found::Absent;  // gone since the listing
        else
            found[side] = Found::Failed;
    }
    // Links to folders on a side the walk reads are never entered, and files are no folders.
    bool opened = false;
    for (const int side : kSides) {
        if (!m_sides.leads[side]) continue;
        if (found[side] == Found::Failed) {
            failFolder("opening folder", m_roots[side] + here.relative + name, relative, error[side]);
            return true;
        }
        opened = opened || found[side] == Found::Opened;
    }
    if (!opened) return true;
    // Where one root lies inside the other, the walk does not enter it.
    for (const int side : kSides)
        if (found[side] == Found::Opened && isOtherRoot(side, child[side])) return true;
    for (const int side : kSides) {
        const std::string where = m_roots[side] + here.relative + name;
        if (found[side] == Found::Failed) {
            failFolder("opening folder", where, relative, error[side]);
            return true;
        }
        // A link or a file where the folder is needed: never followed, never replaced (a pass that plans
        // the folder may plan its way too).
        if (found[side] == Found::NotFolder && m_sides.missing[side] == Missing::Plan && !m_sides.leads[side])
            continue;
        if (found[side] == Found::NotFolder) {
            failFolder("creating folder", where, relative, error[side]);
            return true;
        }
    }

    const auto shared = std::make_shared<WalkFolder>();
    WalkFolder& below = *shared;
    below.relative = relative;
    for (const int side : kSides) {
        if (found[side] != Found::Opened) continue;
        below.on[side] = true;
        if (ahead != nullptr && ahead->present[side]) {
            below.info[side] = ahead->info[side];
        } else if (child[side].valid() && !child[side].info(below.info[side], error[side])) {
            failFolder("opening folder", m_roots[side] + relative, relative, error[side]);
            return true;
        } else if (!child[side].valid()) {
            below.info[side].kind = EntryKind::Folder;  // imagined
            below.info[side].mode = 0755;
        }
    }
    // Another user's folder that others may write in, where the folder it mirrors is private: made in
    // advance in a shared folder, it would give them what goes into it, and its files could be theirs.
    for (const int side : kSides) {
        if (!m_sides.writes[side] || !below.on[side] || !below.on[1 - side]) continue;
        if (platform::isSharedByAnotherUser(child[side]) &&
            !platform::isSharedByAnotherUser(child[1 - side])) {
            failFolder("opening folder", m_roots[side] + here.relative + name, relative,
                       platform::WalkError::ForeignFolder);
            return true;
        }
    }
    for (const int side : kSides) {
        if (below.on[side] || !m_chains[side]) continue;
        const int other = 1 - side;
        below.info[side] = below.info[other];  // what the folder it mirrors has, it gets
        if (m_sides.missing[side] == Missing::Absent) continue;
        if (m_sides.missing[side] == Missing::Plan || !here.on[side]) {
            below.planned[side] = true;
            if (found[side] == Found::NotFolder) below.heldBy[side] = error[side];
            continue;
        }
        std::error_code failure;
        const Folder& parent = m_chains[side]->current(failure);
        const std::string where = m_roots[side] + here.relative + name;
        if (here.traits[side] != nullptr && here.traits[side]->refusesName(name)) {
            failFolder("creating folder", where, relative, platform::WalkError::NameRefused);
            return true;
        }
        if (!parent.valid() && !m_chains[side]->imaginary()) {
            failFolder("opening folder", m_roots[side] + here.relative, relative, failure);
            return true;
        }
        switch (m_applier.makeFolder(parent, m_roots[side], relative, name, below.info[other].mode,
                                     child[side], failure)) {
            case Applier::FolderMade::Made:
                below.on[side] = true;
                below.fresh[side] = true;
                // Both are written: the parent gets its times back, the new folder its own and its mode.
                here.written[side] = true;
                below.written[side] = true;
                break;
            case Applier::FolderMade::Existing:
                // There already (made meanwhile, or the same folder under another case on a file system
                // that ignores case): what it holds is listed now, once the copies into it are done.
                below.on[side] = true;
                ahead = nullptr;
                m_applier.drain();
                break;
            case Applier::FolderMade::NotMade:
                failFolder("creating folder", where, relative, failure);
                return true;
            case Applier::FolderMade::NotOpened:
                failFolder("opening folder", where, relative, failure);
                return true;
        }
    }

    for (const int side : kSides) {
        if (!below.on[side] || !m_chains[side]) continue;
        if (!child[side].valid()) below.traits[side] = here.traits[side];  // imagined where its parent is
        m_chains[side]->enter(name, std::move(child[side]));
    }
    m_pass.entered(here, below);
    // A folder only one side walks further is read again: what was read ahead assumed both.
    const bool finished = walkFolder(below, ahead);
    for (const int side : kSides) {
        if (!below.on[side] || !m_chains[side]) continue;
        std::error_code failure;
        below.folder[side] = m_chains[side]->shared(failure);
    }
    m_pass.left(shared);
    for (const int side : kSides)
        if (below.on[side] && m_chains[side]) m_chains[side]->leave();
    return finished;
}

}  // namespace tessel
