#include "sync/TwoWayDecision.h"

#include "sync/RunContext.h"

namespace tessel {

namespace {

using Action = TwoWayDecision::Action;
using platform::EntryKind;

TwoWayDecision decided(Action action, int from = kSource) {
    TwoWayDecision decision;
    decision.action = action;
    decision.from = from;
    decision.countsAsFile = true;
    return decision;
}

TwoWayDecision refused(int from, const char* doing, std::error_code reason, bool failsFolder = true) {
    TwoWayDecision decision = decided(Action::Refuse, from);
    decision.doing = doing;
    decision.reason = reason;
    decision.failsFolder = failsFolder;
    return decision;
}

bool readOnly(const platform::FileInfo& file) {
    return (file.mode & 0200) == 0;
}

// The side whose file is the newer; of two with the same time, none.
RunAction::Side newerOf(const platform::FileInfo (&seen)[2], const Comparison& comparison) {
    return isNewer(seen[kSource], seen[kDestination], comparison)   ? RunAction::Side::Source
           : isNewer(seen[kDestination], seen[kSource], comparison) ? RunAction::Side::Destination
                                                                    : RunAction::Side::None;
}

// A copy across, as far as the tune mode lets it: "Copy only absent files" never replaces, "Update only
// old files" never adds, any other value crosses nothing. A read-only file is never replaced, also by
// root.
TwoWayDecision copyAcross(const TwoWayFacts& facts, int from) {
    const int to = 1 - from;
    const bool replace = facts.seen[to].kind == EntryKind::File;
    if (!isKnownTuneMode(facts.tuneMode) || (replace && facts.tuneMode == tmAbsentOnly) ||
        (!replace && facts.tuneMode == tmUpdateOld))
        return decided(Action::Keep);
    if (replace && readOnly(facts.seen[to]))
        return refused(from, "copying file", std::make_error_code(std::errc::permission_denied));
    return decided(Action::Copy, from);
}

}  // namespace

TwoWayDecision decideTwoWay(const TwoWayFacts& facts) {
    const platform::FileInfo(&seen)[2] = facts.seen;
    for (const int side : {kSource, kDestination})
        if (seen[side].kind == EntryKind::Unreadable) {
            // A look that failed always says why; a reason is given all the same.
            const std::error_code why =
                facts.lookError[side] ? facts.lookError[side] : std::make_error_code(std::errc::io_error);
            TwoWayDecision decision = refused(side, "reading file", why);
            decision.countsAsFile = false;
            return decision;
        }
    const bool file[2] = {seen[kSource].kind == EntryKind::File, seen[kDestination].kind == EntryKind::File};
    if (!file[kSource] && !file[kDestination]) return {};

    if (file[kSource] != file[kDestination]) {
        const int from = file[kSource] ? kSource : kDestination;
        const int to = 1 - from;
        // A folder, a link to a folder or a special entry holds the name on the other side: never replaced.
        if (seen[to].kind != EntryKind::Missing) {
            if (decideCopy(facts.tuneMode, false, seen[from], seen[to], facts.comparison) !=
                CopyDecision::Refuse)
                return decided(Action::Keep);
            return refused(from, "copying file",
                           seen[to].kind == EntryKind::Special
                               ? std::error_code(platform::WalkError::DestinationNotRegular)
                               : std::make_error_code(std::errc::is_a_directory));
        }
        // Gone from the other side since the last run, and unchanged here: the user deleted it there.
        if (facts.last && facts.deleteAbsent &&
            sinceLastRun(seen[from], from == kSource ? facts.last->source : facts.last->destination) ==
                Since::Unchanged) {
            if (facts.ownFile[from]) return decided(Action::Keep);
            if (readOnly(seen[from]) && !seen[from].viaLink)
                return refused(from, "deleting file", std::make_error_code(std::errc::permission_denied),
                               false);
            return decided(Action::Delete, from);
        }
        // New here, changed here (a change beats a deletion), or deleted there without deletions on.
        return copyAcross(facts, from);
    }

    if (!facts.remembering) {
        // No state: as the one-way passes decide, except that an older file never replaces a newer one.
        const bool alike = looksCopied(seen[kSource], seen[kDestination], facts.comparison) &&
                           looksCopied(seen[kDestination], seen[kSource], facts.comparison);
        const RunAction::Side newer = newerOf(seen, facts.comparison);
        const bool act = (facts.tuneMode == tmSyncAll && !alike) ||
                         (facts.tuneMode == tmUpdateOld && newer != RunAction::Side::None &&
                          !sameLink(seen[kSource], seen[kDestination]));
        if (act) return copyAcross(facts, newer == RunAction::Side::Destination ? kDestination : kSource);
        return decided(Action::Record);
    }

    Since since[2] = {Since::Changed, Since::Changed};  // a file the state lacks was created on both sides
    if (facts.last) {
        since[kSource] = sinceLastRun(seen[kSource], facts.last->source);
        since[kDestination] = sinceLastRun(seen[kDestination], facts.last->destination);
    }
    const bool changed[2] = {since[kSource] != Since::Unchanged, since[kDestination] != Since::Unchanged};
    const int changedSide = changed[kSource] ? kSource : kDestination;
    // A file touched on one side only crosses unless the other side already holds what it holds.
    const bool touchedOnly =
        changed[kSource] != changed[kDestination] && since[changedSide] == Since::Touched;
    if (changed[kSource] != changed[kDestination] && !touchedOnly) return copyAcross(facts, changedSide);
    if (!changed[kSource] && !changed[kDestination]) return decided(Action::Record);
    // A link holds its target: what it holds is known without reading anything.
    const bool anyLink = seen[kSource].isLink || seen[kDestination].isLink;
    if (!facts.sameContent && !anyLink) return decided(Action::CompareContent);
    if (anyLink ? sameLink(seen[kSource], seen[kDestination]) : *facts.sameContent)
        return decided(Action::Record);
    if (touchedOnly) return copyAcross(facts, changedSide);

    // The newer file wins; of two with the same time, the source's.
    const int winner =
        newerOf(seen, facts.comparison) == RunAction::Side::Destination ? kDestination : kSource;
    // This watch never replaces a file: both stay as they are until the user settles it.
    if (!isKnownTuneMode(facts.tuneMode) || facts.tuneMode == tmAbsentOnly)
        return decided(Action::ConflictLeft, winner);
    // A read-only file is never replaced: no conflict copy either, which every run would make anew.
    if (readOnly(seen[1 - winner]))
        return refused(winner, "copying file", std::make_error_code(std::errc::permission_denied));
    return decided(Action::Conflict, winner);
}

}  // namespace tessel
