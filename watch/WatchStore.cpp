#include "watch/WatchStore.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <functional>
#include <set>
#include <system_error>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "watch/WatchFile.h"

namespace tessel {

namespace {

using platform::File;

constexpr double kMillisecond = 1.0 / 86'400'000.0;

std::string realPath(const std::string& path) {
    std::string resolved;
    std::error_code ignored;
    return platform::resolvePath(path, resolved, ignored) ? resolved : path;
}

std::string reasonOf(const std::error_code& error, std::uint64_t limit) {
    if (error == std::errc::file_too_large)
        return "larger than " + std::to_string(limit >> 20) + " MiB, more than Tessel reads";
    return error.message();
}

// What both files hold, read under the lock.
struct Snapshot {
    std::vector<TWatchRec> records;
    TextFile text;
    std::string textBytes;  // the text file as it was, to put back after a failure
    bool watchFileExists = false;
    bool textFileExists = false;
};

bool readSnapshot(const std::string& watchFile, const std::string& textPath, Snapshot& snapshot,
                  FileProblem& problem) {
    std::error_code error;
    snapshot.watchFileExists = platform::fileExists(watchFile);
    if (snapshot.watchFileExists && !readAllWatchRecsLocked(watchFile, snapshot.records, error)) {
        problem = {watchFile, 0, reasonOf(error, kMaxWatchFileSize)};
        return false;
    }
    snapshot.textFileExists = platform::readSmallFile(textPath, kMaxWatchTextSize, snapshot.textBytes, error);
    if (!snapshot.textFileExists && error != std::errc::no_such_file_or_directory) {
        problem = {textPath, 0, reasonOf(error, kMaxWatchTextSize)};
        return false;
    }
    return !snapshot.textFileExists || readTextFile(snapshot.textBytes, textPath, snapshot.text, problem);
}

// The watches of a snapshot, with the entry each took (-1 for none).
struct Loaded {
    WatchList list;
    std::vector<int> entryOf;
    std::vector<bool> entryUsed;
    bool proposed = false;
};

// False, with the line, for two watches whose entries have one name (a text file edited by hand): neither
// is renamed, since a name given to the wrong watch would make a cron line run another watch.
bool matchWatches(const Snapshot& snapshot, const std::string& textPath, Loaded& loaded,
                  FileProblem& problem) {
    const std::vector<TextFileEntry>& entries = snapshot.text.entries;
    loaded.entryUsed.assign(entries.size(), false);
    std::vector<std::string> taken;
    std::vector<int> takenLines;
    for (std::size_t i = 0; i < snapshot.records.size(); ++i) {
        const TWatchRec& record = snapshot.records[i];
        const WatchKey key = watchKeyOf(record);
        int found = -1;
        for (std::size_t e = 0; e < entries.size() && found < 0; ++e)
            if (!loaded.entryUsed[e] && entries[e].key == key) found = static_cast<int>(e);
        StoredWatch stored;
        stored.position = static_cast<std::int32_t>(i);
        stored.record = record;
        stored.watch = watchFromRecord(record, found >= 0 ? entries[found].extras : WatchExtras{});
        if (found >= 0) {
            loaded.entryUsed[found] = true;
            const auto clash = std::find_if(taken.begin(), taken.end(), [&](const std::string& name) {
                return sameName(name, stored.watch.name);
            });
            if (clash != taken.end()) {
                const WatchProblem same{WatchField::Name, WatchProblem::Kind::NameTaken, *clash};
                problem = {textPath, entries[found].nameLine,
                           "name: " + describe(same) + " at line " +
                               std::to_string(takenLines[clash - taken.begin()])};
                return false;
            }
            taken.push_back(stored.watch.name);
            takenLines.push_back(entries[found].nameLine);
        }
        stored.named = found >= 0;
        loaded.entryOf.push_back(found);
        loaded.list.watches.push_back(std::move(stored));
    }
    for (StoredWatch& stored : loaded.list.watches) {
        if (stored.named) continue;
        stored.watch.name = proposeName(stored.watch.source, taken);
        taken.push_back(stored.watch.name);
        loaded.proposed = true;
    }
    return true;
}

TextFileEntry entryFor(const TWatchRec& record, const Watch& watch,
                       const std::vector<std::string>& unknownLines) {
    return {watchKeyOf(record), extrasOf(watch), unknownLines, 0};
}

// The text file for `watches` (each with the entry it had, or -1), followed by the entries no watch has.
TextFile textFileOf(const std::vector<StoredWatch>& watches, const std::vector<int>& entryOf,
                    const Snapshot& snapshot, const std::vector<bool>& entryUsed) {
    TextFile file;
    file.unknownLines = snapshot.text.unknownLines;
    for (std::size_t i = 0; i < watches.size(); ++i) {
        const int entry = entryOf[i];
        file.entries.push_back(
            entryFor(watches[i].record, watches[i].watch,
                     entry >= 0 ? snapshot.text.entries[entry].unknownLines : std::vector<std::string>{}));
    }
    for (std::size_t e = 0; e < snapshot.text.entries.size(); ++e)
        if (!entryUsed[e]) file.entries.push_back(snapshot.text.entries[e]);
    return file;
}

bool writeText(const std::string& path, const std::string& text, std::error_code& error) {
    return platform::replaceFile(
        path,
        [&](File& file, std::error_code& writeError) {
            return file.writeAt(0, text.data(), text.size(), writeError);
        },
        error);
}

// A rename would replace a file its owner made read-only: Tessel changes only files it may write.
bool mayWrite(const std::string& path, bool exists, std::error_code& error) {
    File probe;
    return !exists || (probe.open(path, File::Mode::ReadWrite, error) && probe.close(error));
}

const StoredWatch* findIn(const std::vector<StoredWatch>& watches, std::string_view nameOrPosition) {
    const bool digits =
        !nameOrPosition.empty() && nameOrPosition.find_first_not_of("0123456789") == std::string_view::npos;
    if (digits) {
        std::size_t position = 0;
        const auto [end, error] =
            std::from_chars(nameOrPosition.data(), nameOrPosition.data() + nameOrPosition.size(), position);
        if (error != std::errc() || end != nameOrPosition.data() + nameOrPosition.size() ||
            position >= watches.size())
            return nullptr;
        return &watches[position];
    }
    for (const StoredWatch& stored : watches)
        if (sameName(stored.watch.name, nameOrPosition)) return &stored;
    return nullptr;
}

// Under the watch file's lock: reads both files, hands the watches to `change`, and writes the text file
// again when it says so. Only the text file is written, so every watch stays the same watch. False, with
// the file and the reason, when a file cannot be read or written.
bool changeTextFile(const std::string& watchFile, FileProblem& problem,
                    const std::function<bool(std::vector<StoredWatch>&)>& change) {
    problem = {};
    const std::string textPath = textFilePath(realPath(watchFile));
    const WatchFileLock lock(watchFile, platform::FileLock::Mode::Exclusive);
    Snapshot snapshot;
    Loaded loaded;
    if (!readSnapshot(watchFile, textPath, snapshot, problem) ||
        !matchWatches(snapshot, textPath, loaded, problem))
        return false;
    std::vector<StoredWatch>& watches = loaded.list.watches;
    if (!change(watches)) return true;
    std::error_code error;
    if (!mayWrite(textPath, snapshot.textFileExists, error) ||
        !writeText(textPath, textFileText(textFileOf(watches, loaded.entryOf, snapshot, loaded.entryUsed)),
                   error)) {
        problem = {textPath, 0, error.message()};
        return false;
    }
    return true;
}

}  // namespace

const StoredWatch* WatchList::find(std::string_view nameOrPosition) const {
    return findIn(watches, nameOrPosition);
}

bool loadWatches(const std::string& watchFile, WatchList& list, FileProblem& problem) {
    list = {};
    problem = {};
    const std::string real = realPath(watchFile);
    const std::string textPath = textFilePath(real);
    if (!platform::fileExists(watchFile)) {
        problem = {watchFile, 0, std::make_error_code(std::errc::no_such_file_or_directory).message()};
        return false;
    }
    Snapshot snapshot;
    Loaded loaded;
    {
        const WatchFileLock lock(watchFile, platform::FileLock::Mode::Shared);
        if (!readSnapshot(watchFile, textPath, snapshot, problem) ||
            !matchWatches(snapshot, textPath, loaded, problem))
            return false;
    }
    if (loaded.proposed) {
        // The names go into the text file at once, so that they are the same for everyone from now on:
        // read again under the exclusive lock, since another process may have named them meanwhile.
        std::error_code error;
        const WatchFileLock lock(watchFile, platform::FileLock::Mode::Exclusive);
        snapshot = {};
        loaded = {};
        if (!readSnapshot(watchFile, textPath, snapshot, problem) ||
            !matchWatches(snapshot, textPath, loaded, problem))
            return false;
        loaded.list.namesSaved = !loaded.proposed;
        if (loaded.proposed && mayWrite(watchFile, true, error) &&
            mayWrite(textPath, snapshot.textFileExists, error) &&
            writeText(
                textPath,
                textFileText(textFileOf(loaded.list.watches, loaded.entryOf, snapshot, loaded.entryUsed)),
                error)) {
            loaded.list.namesSaved = true;
            for (StoredWatch& stored : loaded.list.watches) stored.named = true;
        }
    }
    list = std::move(loaded.list);
    list.watchFile = watchFile;
    list.textFile = textPath;
    return true;
}

bool changeWatches(const std::string& watchFile, const std::vector<WatchChange>& changes,
                   ChangeProblem& problem) {
    problem = {};
    const std::string real = realPath(watchFile);
    const std::string textPath = textFilePath(real);
    const WatchFileLock lock(watchFile, platform::FileLock::Mode::Exclusive);
    Snapshot snapshot;
    Loaded loaded;
    if (!readSnapshot(watchFile, textPath, snapshot, problem.file) ||
        !matchWatches(snapshot, textPath, loaded, problem.file)) {
        problem.kind = ChangeProblem::Kind::File;
        return false;
    }

    // The list as the changes leave it; each item remembers its entry and, once changed, its change.
    struct Item {
        StoredWatch stored;
        int entry;
        int change;  // -1: unchanged
    };
    std::vector<Item> items;
    for (std::size_t i = 0; i < loaded.list.watches.size(); ++i)
        items.push_back({loaded.list.watches[i], loaded.entryOf[i], -1});
    std::vector<int> dropped;  // entries of the records the changes replace or remove, kept until the end
    for (std::size_t c = 0; c < changes.size(); ++c) {
        WatchChange change = changes[c];
        if (change.kind == WatchChange::Kind::Put) {
            const bool known =
                change.edit.name && std::any_of(items.begin(), items.end(), [&](const Item& item) {
                    return sameName(item.stored.watch.name, *change.edit.name);
                });
            change.kind = known ? WatchChange::Kind::Replace : WatchChange::Kind::Add;
            if (known) change.name = *change.edit.name;
        }
        if (change.kind == WatchChange::Kind::Add) {
            Item item{{}, -1, static_cast<int>(c)};
            item.stored.watch = newWatch();
            change.edit.applyTo(item.stored.watch);
            items.push_back(std::move(item));
            continue;
        }
        auto target = items.end();
        if (change.key) {
            target = std::find_if(items.begin(), items.end(), [&](const Item& item) {
                return item.change < 0 && item.stored.position >= 0 &&
                       watchKeyOf(item.stored.record) == *change.key;
            });
        } else {
            std::vector<StoredWatch> current;
            for (const Item& item : items) current.push_back(item.stored);
            if (const StoredWatch* found = findIn(current, change.name))
                target = items.begin() + (found - current.data());
        }
        if (target == items.end()) {
            problem.kind = ChangeProblem::Kind::NoSuchWatch;
            problem.change = c;
            problem.name = change.name;
            return false;
        }
        if (target->entry >= 0) dropped.push_back(target->entry);
        if (change.kind == WatchChange::Kind::Remove) {
            items.erase(target);
            continue;
        }
        // The old entry goes, but the keys a later Tessel put into it stay with the watch.
        change.edit.applyTo(target->stored.watch);
        target->change = static_cast<int>(c);
    }

    for (const Item& item : items) {
        if (item.change < 0) continue;
        std::vector<const Watch*> others;
        for (const Item& other : items)
            if (&other != &item) others.push_back(&other.stored.watch);
        if (const auto input = checkWatch(item.stored.watch, others)) {
            problem.kind = ChangeProblem::Kind::Input;
            problem.change = static_cast<std::size_t>(item.change);
            problem.input = *input;
            return false;
        }
    }
    std::error_code error;
    const auto fileFailure = [&](const std::string& path) {
        problem.kind = ChangeProblem::Kind::File;
        problem.file = {path, 0, reasonOf(error, kMaxWatchFileSize)};
        return false;
    };
    if (!mayWrite(watchFile, snapshot.watchFileExists, error)) return fileFailure(watchFile);
    if (!mayWrite(textPath, snapshot.textFileExists, error)) return fileFailure(textPath);

    // Every changed record gets an EditTime no other record of the file has: its entry's key.
    std::set<std::uint64_t> editTimes;
    for (const Item& item : items)
        if (item.change < 0) editTimes.insert(std::bit_cast<std::uint64_t>(item.stored.record.EditTime));
    const TDateTime now = Now();
    std::vector<StoredWatch> result;
    std::vector<int> entryOf;
    for (Item& item : items) {
        StoredWatch& stored = item.stored;
        if (item.change >= 0) {
            TDateTime stamp = now;
            while (editTimes.count(std::bit_cast<std::uint64_t>(stamp)) > 0) stamp += kMillisecond;
            editTimes.insert(std::bit_cast<std::uint64_t>(stamp));
            stored.watch.editedAt = stamp;
            WatchField tooLong = WatchField::Source;
            recordFromWatch(stored.watch, stored.record, tooLong);  // checked above: it fits
        }
        stored.position = static_cast<std::int32_t>(result.size());
        stored.record.WatchIndex = stored.position;
        result.push_back(stored);
        entryOf.push_back(item.entry);
    }

    // First a text file that has the entries of both the old and the new records, then the watch file,
    // then the text file without the old ones: whatever stops it part way, every record keeps its entry.
    // A first watch may go into a data folder nothing has made yet.
    const std::size_t slash = real.rfind('/');
    if (slash != std::string::npos && slash > 0 && !platform::isExistingFolder(real.substr(0, slash)))
        platform::ForceFolders(real.substr(0, slash), error);
    std::vector<bool> keptBack = loaded.entryUsed;
    for (const int entry : dropped) keptBack[entry] = false;
    const std::string both = textFileText(textFileOf(result, entryOf, snapshot, keptBack));
    if (!writeText(textPath, both, error)) return fileFailure(textPath);
    const auto writeRecords = [&](File& file, std::error_code& writeError) {
        for (std::size_t i = 0; i < result.size(); ++i)
            if (!file.writeAt(i * kWatchRecSize, &result[i].record, kWatchRecSize, writeError)) return false;
        return true;
    };
    if (!platform::replaceFile(real, writeRecords, error)) {
        const std::error_code reason = error;
        std::error_code ignored;
        if (snapshot.textFileExists)
            writeText(textPath, snapshot.textBytes, ignored);
        else
            platform::removeFile(textPath, ignored);
        error = reason;
        return fileFailure(watchFile);
    }
    std::vector<bool> used = loaded.entryUsed;
    for (const int entry : dropped) used[entry] = true;
    std::error_code ignored;
    writeText(textPath, textFileText(textFileOf(result, entryOf, snapshot, used)), ignored);
    return true;
}

StoreResult storeLastResult(const std::string& watchFile, std::int32_t position, const TWatchRec& record,
                            const LastRunResult& result, std::string& name, FileProblem& problem) {
    name.clear();
    StoreResult stored = StoreResult::Stored;
    const bool written = changeTextFile(watchFile, problem, [&](std::vector<StoredWatch>& watches) {
        if (position < 0 || static_cast<std::size_t>(position) >= watches.size() ||
            getText(watches[position].record.SourceDir) != getText(record.SourceDir) ||
            getText(watches[position].record.DestDir) != getText(record.DestDir)) {
            stored = StoreResult::Changed;
            return false;
        }
        name = watches[position].watch.name;
        watches[position].watch.lastResult = result;
        return true;
    });
    return written ? stored : StoreResult::Failed;
}

PauseResult storeFollowPaused(const std::string& watchFile, std::string_view nameOrPosition, bool paused,
                              FileProblem& problem) {
    PauseResult done = PauseResult::Done;
    const bool written = changeTextFile(watchFile, problem, [&](std::vector<StoredWatch>& watches) {
        const StoredWatch* found = findIn(watches, nameOrPosition);
        done = found == nullptr                                       ? PauseResult::NoSuchWatch
               : found->watch.schedule.mode != WatchRunMode::OnChange ? PauseResult::NotOnChange
                                                                      : PauseResult::Done;
        if (done != PauseResult::Done) return false;
        watches[static_cast<std::size_t>(found->position)].watch.followPaused = paused;
        return true;
    });
    return written ? done : PauseResult::Failed;
}

void forgetTextEntriesLocked(const std::string& watchFile, const std::vector<TWatchRec>& removed) {
    const std::string textPath = textFilePath(realPath(watchFile));
    std::string bytes;
    std::error_code error;
    FileProblem problem;
    TextFile file;
    if (removed.empty() || !platform::readSmallFile(textPath, kMaxWatchTextSize, bytes, error) ||
        !readTextFile(bytes, textPath, file, problem))
        return;
    const std::size_t before = file.entries.size();
    for (const TWatchRec& record : removed) {
        const WatchKey key = watchKeyOf(record);
        const auto entry = std::find_if(file.entries.begin(), file.entries.end(),
                                        [&](const TextFileEntry& candidate) { return candidate.key == key; });
        if (entry != file.entries.end()) file.entries.erase(entry);
    }
    if (file.entries.size() != before && mayWrite(textPath, true, error))
        writeText(textPath, textFileText(file), error);
}

}  // namespace tessel
