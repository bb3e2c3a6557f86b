#pragma once
// What a copy pass does with one source file, by the watch's TuneMode: the one place that decides.

#include <cstdint>

#include "platform/Folders.h"
#include "watch/WatchRec.h"

namespace tessel {

enum class CopyDecision {
    Skip,      // nothing to do
    KeptBack,  // the other side lacks the file and the watch's rules keep it from crossing
    Copy,      // into an absent destination (or moved there)
    Replace,   // over a present destination file
    Refuse,    // the destination name is held by something a file cannot replace
};

// Modification times compare in whole two-second steps of UTC, the granularity of the times Tessel has
// always compared: a copy on a file system with coarser times still counts as unchanged, and a switch
// to or from daylight saving time changes nothing.
inline std::int64_t timeStep(const platform::FileTime& time) {
    return time.seconds >= 0 ? time.seconds / 2 : (time.seconds - 1) / 2;
}

// Whether `a` was modified later than `b`.
inline bool isNewer(const platform::FileInfo& a, const platform::FileInfo& b) {
    return timeStep(a.modified) > timeStep(b.modified);
}

// Equal size, equal permission bits and a source no newer than the destination: a file Tessel copied
// before, which Sync All leaves alone. Where the destination's file system does not keep permission
// bits (`modesKept` false), only the read-only bit counts, as it always did.
inline bool looksCopied(const platform::FileInfo& source, const platform::FileInfo& destination,
                        bool modesKept = true) {
    const std::uint32_t compared = modesKept ? 0777 : 0200;
    return source.size == destination.size && !isNewer(source, destination) &&
           (source.mode & compared) == (destination.mode & compared);
}

// Whether the tune mode is one of the three a watch can choose; with any other (a damaged record)
// nothing crosses, but folders are still made.
inline bool isKnownTuneMode(std::int32_t tuneMode) {
    return tuneMode == tmSyncAll || tuneMode == tmUpdateOld || tuneMode == tmAbsentOnly;
}

// `destination` is what the destination name holds (kind Missing when nothing). A move never replaces:
// a move onto a present file is tried and fails as the copy would be refused. A file the other side
// lacks and the watch's rules keep from crossing, whatever the tune mode, is KeptBack: no deletion
// pass may take it for a file the other side no longer has.
inline CopyDecision decideCopy(std::int32_t tuneMode, bool move, const platform::FileInfo& source,
                               const platform::FileInfo& destination, bool modesKept = true) {
    using platform::EntryKind;
    const bool adds = tuneMode == tmSyncAll || tuneMode == tmAbsentOnly;
    switch (destination.kind) {
        case EntryKind::Missing:
            return adds ? CopyDecision::Copy : CopyDecision::KeptBack;
        case EntryKind::Folder:
        case EntryKind::FolderLink:
            // A folder of the file's name counts as absent: the copy then fails and says so.
            return adds ? CopyDecision::Refuse : CopyDecision::KeptBack;
        case EntryKind::Special:
        case EntryKind::Unreadable:
            return isKnownTuneMode(tuneMode) ? CopyDecision::Refuse : CopyDecision::Skip;
        case EntryKind::File:
            break;
    }
    bool act = false;
    switch (tuneMode) {
        case tmSyncAll:
            act = !looksCopied(source, destination, modesKept);
            break;
        case tmUpdateOld:
            act = isNewer(source, destination);
            break;
        default:
            act = false;
            break;
    }
    if (!act) return CopyDecision::Skip;
    if (move) return CopyDecision::Copy;
    // A read-only file is never replaced, also for root: decided here, so that a preview says so too.
    return (destination.mode & 0200) == 0 ? CopyDecision::Refuse : CopyDecision::Replace;
}

}  // namespace tessel
