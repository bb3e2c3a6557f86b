#pragma once
// Whether a file of the tree a deletion pass deletes in goes: the one place that decides, touching no
// disk.

#include "platform/Folders.h"

namespace tessel {

enum class DeletionDecision {
    Keep,
    Delete,
    RefuseReadOnly,  // a read-only file is never deleted, also by root: a failure
};

struct DeletionFacts {
    platform::FileInfo file;      // the file on the side deleted in
    platform::Presence onSource;  // whether the other side has the name as anything but a folder
    bool protectedFile = false;   // this run failed or was not allowed to copy or move it, or moved it
    bool ownFile = false;         // Tessel's own (the log, the watch file, the settings, a state)
};

// Only a regular file (or a link to one) that the other side certainly lacks: where the other side
// cannot be looked at, the file stays.
inline DeletionDecision decideDeletion(const DeletionFacts& facts) {
    if (facts.file.kind != platform::EntryKind::File) return DeletionDecision::Keep;
    if (facts.protectedFile || facts.ownFile || facts.onSource != platform::Presence::Absent)
        return DeletionDecision::Keep;
    if ((facts.file.mode & 0200) == 0 && !facts.file.viaLink) return DeletionDecision::RefuseReadOnly;
    return DeletionDecision::Delete;
}

}  // namespace tessel
