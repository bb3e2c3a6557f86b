#pragma once
// What a copy pass does with one source file, by the watch's TuneMode: the one place that decides.

#include <algorithm>
#include <cstdint>

#include "platform/FileSystemTraits.h"
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

// Modification times compare in whole two-second steps of UTC where nothing better is known, the
// granularity of the times Tessel has always compared: a copy on a file system with coarser times still
// counts as unchanged, and a switch to or from daylight saving time changes nothing.
inline std::int64_t timeStep(const platform::FileTime& time) {
    return time.seconds >= 0 ? time.seconds / 2 : (time.seconds - 1) / 2;
}

// What the destination keeps of what a copy carries, as far as telling a file copied before from a
// changed one needs it. The defaults compare as Tessel always has; comparisonFor gives what the probe
// of the file systems found.
enum class TimeBase { Utc, Local };
struct Comparison {
    // Times compare in steps of this many nanoseconds: the coarser of the two file systems', since a copy
    // holds its source's time only as finely as its file system keeps it.
    std::int64_t timeResolution = 2'000'000'000;
    // What of the permission bits compares: all of them, only the owner's write bit, or none.
    platform::PermissionsKept permissions = platform::PermissionsKept::All;
    // Local where either side keeps local time (FAT, exFAT).
    TimeBase timeBase = TimeBase::Utc;
};

// For a one-way copy into `destination`'s file system: a copy carries its source's time exactly as far
// as the destination keeps it, so the destination's resolution is the coarser one that matters.
inline Comparison comparisonFor(const platform::FileSystemTraits& destination) {
    return {destination.timeResolution, destination.permissions,
            destination.localTime ? TimeBase::Local : TimeBase::Utc};
}

// For two sides that are each written to (a two-way watch): what both keep.
inline Comparison comparisonFor(const platform::FileSystemTraits& one,
                                const platform::FileSystemTraits& other) {
    using platform::PermissionsKept;
    const auto rank = [](PermissionsKept kept) {
        return kept == PermissionsKept::All ? 2 : kept == PermissionsKept::ReadOnlyBit ? 1 : 0;
    };
    return {std::max(one.timeResolution, other.timeResolution),
            rank(one.permissions) <= rank(other.permissions) ? one.permissions : other.permissions,
            one.localTime || other.localTime ? TimeBase::Local : TimeBase::Utc};
}

// A modification time cut down to the steps a comparison sees: whole seconds, and the steps within.
struct TimeStep {
    std::int64_t seconds = 0;
    std::int64_t fraction = 0;
    friend auto operator<=>(const TimeStep&, const TimeStep&) = default;
};

inline TimeStep stepOf(const platform::FileTime& time, std::int64_t resolution) {
    constexpr std::int64_t kSecond = 1'000'000'000;
    if (resolution >= kSecond) {
        const std::int64_t seconds = resolution / kSecond;
        const std::int64_t whole =
            time.seconds >= 0 ? time.seconds / seconds : (time.seconds - seconds + 1) / seconds;
        return {whole * seconds, 0};
    }
    return {time.seconds, time.nanoseconds / std::max<std::int64_t>(resolution, 1)};
}

// Where a file system keeps local time, a change of time zone or of daylight saving time moves every
// file's time by the change: whole quarter hours (the finest any zone uses), at most 14 hours (the
// widest two zones lie apart from UTC). Such a difference with an equal size counts as no change. That
// is safe enough: an edit that keeps a file's size to the byte and also lands exactly on a whole
// quarter hour from the last one (to the file system's step: 1 in 450 for FAT's two seconds, 1 in
// 90,000 for exFAT's ten milliseconds) waits for its next change to be copied; it is never lost, as
// the source keeps it, while the other answer would copy every file on the stick twice a year.
inline bool isZoneShift(const TimeStep& a, const TimeStep& b) {
    constexpr std::int64_t kQuarterHour = 15 * 60, kWidest = 14 * 60 * 60;
    const std::int64_t apart = a.seconds > b.seconds ? a.seconds - b.seconds : b.seconds - a.seconds;
    return a.fraction == b.fraction && apart != 0 && apart <= kWidest && apart % kQuarterHour == 0;
}

enum class TimeOrder { Older, Same, Newer };

// How `a`'s modification time stands to `b`'s, as the comparison sees times.
inline TimeOrder compareTimes(const platform::FileInfo& a, const platform::FileInfo& b,
                              const Comparison& comparison) {
    const TimeStep x = stepOf(a.modified, comparison.timeResolution);
    const TimeStep y = stepOf(b.modified, comparison.timeResolution);
    if (x == y) return TimeOrder::Same;
    if (comparison.timeBase == TimeBase::Local && a.size == b.size && isZoneShift(x, y))
        return TimeOrder::Same;
    return x > y ? TimeOrder::Newer : TimeOrder::Older;
}

// Whether `a` was modified later than `b`.
inline bool isNewer(const platform::FileInfo& a, const platform::FileInfo& b,
                    const Comparison& comparison = {}) {
    return compareTimes(a, b, comparison) == TimeOrder::Newer;
}

// Two links looked at as themselves that lead to the same place, as written: alike, whatever their
// times (links are compared by their target, as cp -a and rsync -a compare them).
inline bool sameLink(const platform::FileInfo& a, const platform::FileInfo& b) {
    return a.isLink && b.isLink && a.linkTarget == b.linkTarget;
}

// Equal size, equal permission bits (as far as the destination keeps them) and a source no newer than
// the destination: a file Tessel copied before, which Sync All leaves alone. A link looked at as itself
// is alike only with a link of the same target.
inline bool looksCopied(const platform::FileInfo& source, const platform::FileInfo& destination,
                        const Comparison& comparison = {}) {
    using platform::PermissionsKept;
    if (source.isLink || destination.isLink) return sameLink(source, destination);
    const std::uint32_t compared = comparison.permissions == PermissionsKept::All           ? 0777
                                   : comparison.permissions == PermissionsKept::ReadOnlyBit ? 0200
                                                                                            : 0;
    return source.size == destination.size && !isNewer(source, destination, comparison) &&
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
                               const platform::FileInfo& destination, const Comparison& comparison = {}) {
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
            act = !looksCopied(source, destination, comparison);
            break;
        case tmUpdateOld:
            act = isNewer(source, destination, comparison) && !sameLink(source, destination);
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
