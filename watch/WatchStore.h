#pragma once
// The watches of a watch file as Tessel works with them: each record together with its entry in the
// text file beside the watch file (WatchText.h), read together and changed together under the watch
// file's lock, both files replaced whole (temporary, sync, rename) or left as they were.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "watch/Watch.h"
#include "watch/WatchCheck.h"
#include "watch/WatchFile.h"
#include "watch/WatchRec.h"
#include "watch/WatchText.h"

namespace tessel {

struct StoredWatch {
    std::int32_t position = -1;  // in the watch file, from 0
    TWatchRec record;            // as the watch file holds it
    Watch watch;                 // the record with its extras
    // False when the text file had no entry for the record (a watch made before names, or changed by
    // another program): the name was proposed when the file was read and could not be saved.
    bool named = false;
};

struct WatchList {
    std::string watchFile;
    std::string textFile;
    std::vector<StoredWatch> watches;
    // Whether the proposed names are in the text file now; false when it could not be written (they
    // are then proposed the same way at every reading until it can).
    bool namesSaved = true;

    // The watch named `nameOrPosition` (letter case ignored), or for a text of digits the watch at that
    // position; nothing when there is none.
    const StoredWatch* find(std::string_view nameOrPosition) const;
};

// Reads the watch file and its text file. Each record gets the entry of its key (the first one not yet
// taken, in file order); a record without one gets a name from proposeName, and those names are saved
// in the text file at once when both files may be written. False, with the file and the reason (and the
// line), for a missing, unreadable or oversized watch file, and for a text file that cannot be read or
// is damaged, two watches of one name among them; nothing is written then, and no watch renamed.
bool loadWatches(const std::string& watchFile, WatchList& list, FileProblem& problem);

// One change of the watch list.
struct WatchChange {
    // Put: Replace the watch named edit.name when there is one, else Add (what import does).
    enum class Kind { Add, Replace, Remove, Put };
    Kind kind = Kind::Add;
    // Replace, Remove: the watch by its name (or position) as it is before the change, or by its key as
    // it was read (the editor, which has the record) when `key` is given.
    std::string name;
    std::optional<WatchKey> key;
    // Add: the values given to newWatch(); Replace: the values that change (the rest stay).
    WatchEdit edit;
};

struct ChangeProblem {
    enum class Kind {
        None,
        Input,        // a value checkWatch refuses (`input`), in the change numbered `change`
        NoSuchWatch,  // the change numbered `change` names no watch (`name`)
        File,         // a file could not be read or written (`file`)
    };
    Kind kind = Kind::None;
    std::size_t change = 0;
    WatchProblem input{WatchField::Name, WatchProblem::Kind::Empty, {}};
    std::string name;
    FileProblem file;
};

// Makes the changes, in order, to the watches as they are when the lock is taken, checks every watch
// they add or change against the others (checkWatch), and writes both files; the watch file is made
// (with its folder) when it is missing. A changed or added watch gets a new EditTime of its own in the
// file (now, a millisecond later while another record has it), which keys its entry; a watch whose
// LastRunTime the changes do not set keeps it, a new one gets now. All or nothing: after any refusal
// or failure both files are as they were.
bool changeWatches(const std::string& watchFile, const std::vector<WatchChange>& changes,
                   ChangeProblem& problem);

// After a run: keeps `result` as the last result of the watch at `position`, in its entry of the text
// file, when that record is still the watch that ran (the same source and destination as `record`);
// the watch file is not written. Under the watch file's lock, the text file replaced whole. A record
// without an entry gets one, with the name a reading would propose. `name` is the watch's name whenever
// the files could be read and the record is the watch (empty otherwise). Changed when the record is gone
// or another watch; Failed, with the file and the reason, when a file cannot be read or written.
StoreResult storeLastResult(const std::string& watchFile, std::int32_t position, const TWatchRec& record,
                            const LastRunResult& result, std::string& name, FileProblem& problem);

// Pauses (or resumes) following the watch `nameOrPosition`, a watch that runs on change: its entry in the
// text file says so, under the watch file's lock, and the followers read it at once (the watch file is
// not written, so the watch stays the same watch). NoSuchWatch and NotOnChange refuse it; Failed, with
// the file and the reason, when a file cannot be read or written.
enum class PauseResult { Done, NoSuchWatch, NotOnChange, Failed };
PauseResult storeFollowPaused(const std::string& watchFile, std::string_view nameOrPosition, bool paused,
                              FileProblem& problem);

// For DelWatchFromFile, which holds the lock: drops the text file's entries of the removed records.
// Nothing is reported; an entry left behind belongs to no record and is never applied.
void forgetTextEntriesLocked(const std::string& watchFile, const std::vector<TWatchRec>& removed);

}  // namespace tessel
