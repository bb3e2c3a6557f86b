#pragma once
// What a two-way watch does with one name, from what the run sees on both sides and what the last run
// left: the one place that decides, touching no disk.

#include <cstdint>
#include <optional>
#include <system_error>

#include "platform/Folders.h"
#include "sync/CopyDecision.h"
#include "sync/Sides.h"
#include "sync/SyncState.h"

namespace tessel {

// What became of a file on one side since the last run left it.
enum class Since {
    Unchanged,
    // The same size and modification time (in two-second steps), yet the file system says it changed:
    // another file under the name, or a write that kept both (an edit within the same two seconds). It
    // may hold anything: never deleted as unchanged, and copied across unless both sides hold the same
    // content.
    Touched,
    Changed,  // another size or modification time
};

inline std::int64_t changeTime(const platform::FileInfo& info) {
    return info.changed.seconds * 1'000'000'000 + info.changed.nanoseconds;
}

inline SideRecord sideRecord(const platform::FileInfo& info) {
    return {info.size, info.modified.seconds, info.device, info.inode, changeTime(info)};
}

inline Since sinceLastRun(const platform::FileInfo& now, const SideRecord& last) {
    if (now.size != last.size || timeStep(now.modified) != timeStep(platform::FileTime{last.modified, 0}))
        return Since::Changed;
    // A device number may change between mounts of a removable disk; its inodes then say nothing.
    if (last.inode != 0 && last.device == now.device && now.inode != last.inode) return Since::Touched;
    if (last.changed != 0 && changeTime(now) != last.changed) return Since::Touched;
    return Since::Unchanged;
}

// What the run knows of one name that takes part (matches the watch's masks).
struct TwoWayFacts {
    platform::FileInfo seen[2];        // kind Missing where a side lacks the name
    std::error_code lookError[2];      // why a side is Unreadable
    bool ownFile[2] = {false, false};  // a file of Tessel's own (the log, the watch file): never deleted
    std::optional<PairRecord> last;    // what the last run left, where the state has the name
    bool remembering = false;          // the last run's state is known (else: a first run)
    std::int32_t tuneMode = tmSyncAll;
    bool deleteAbsent = false;
    Comparison comparison;  // what both sides keep of a file
    // The content of both sides compared, once a decision asked for it (CompareContent).
    std::optional<bool> sameContent;
};

struct TwoWayDecision {
    enum class Action {
        Nothing,         // no file on either side (folders, links to folders, devices): left alone
        Record,          // both sides in step: remembered as they are
        Keep,            // left as it is this time: the last run's record stays
        CompareContent,  // ask again with sameContent
        Copy,            // from `from` to the other side (replacing a file there when there is one)
        Conflict,        // both changed differently: `from` (the newer) wins; the other is kept beside
        ConflictLeft,    // both changed differently and the watch replaces nothing: both stay, logged
        Delete,          // the user deleted it on the other side: deleted on `from`'s side
        Refuse,          // cannot be done: `reason`, a failure (with the folder marked failed)
    };
    Action action = Action::Nothing;
    int from = kSource;      // Copy, Conflict: the side copied from; Delete: the side it goes from;
                             // Refuse: the side whose file could not go where it should
    std::error_code reason;  // Refuse
    // Refuse: what the failure says was tried ("copying file", "reading file", "deleting file"), and
    // whether nothing in the folder may be deleted after it (not for a file that only stays).
    const char* doing = "";
    bool failsFolder = false;
    bool countsAsFile = false;  // a file on either side: the progress bar moves on
};

// The whole table (README, "Two-way watches"):
// - a file created or changed on one side since the last run crosses, whatever the two times say;
// - deleted on one side and unchanged on the other: deleted there too with "Delete absent files",
//   else copied back; a change beats a deletion;
// - changed on both sides: nothing where both hold the same content, else a conflict;
// - without a state, the union: as the one-way passes decide, but an older file never replaces a
//   newer one;
// - the tune mode filters throughout ("Copy only absent files" replaces nothing, "Update only old
//   files" makes nothing new, any other crosses nothing); a read-only file is never replaced or deleted.
TwoWayDecision decideTwoWay(const TwoWayFacts& facts);

}  // namespace tessel
