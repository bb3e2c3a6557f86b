#pragma once
// What a two-way watch remembers of its last run: for each file both sides held when the run left them,
// its size, modification time and identity on each side. The next run compares each side with it, so it
// can tell a file deleted on one side from one created on the other, and an edit on one side from edits
// on both. One file per pair of folders, in the data folder's "state" folder.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace tessel {

// One side's file as the last run left it.
struct SideRecord {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // seconds since 1970-01-01 00:00 UTC
    std::uint64_t device = 0;   // with the inode, what would tell a renamed file; 0 where not known
    std::uint64_t inode = 0;
    // The inode's change time in nanoseconds since 1970-01-01 00:00 UTC: any write moves it, also one
    // that keeps the size and the modification time. 0 where not known (a state of an older Tessel).
    std::int64_t changed = 0;
};

struct PairRecord {
    SideRecord source;
    SideRecord destination;
};

class SyncState {
  public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // The state file of a pair: "<stateFolder>/<16 hexadecimal digits>.state", the digits a hash of
    // both folder paths (as the run uses them, with a trailing "/").
    static std::string filePath(const std::string& stateFolder, const std::string& source,
                                const std::string& destination);

    enum class Loaded { Read, Missing, Damaged, Unreadable };
    // Reads the state of the pair `source`, `destination` from `path`. Missing when there is none;
    // Damaged, with the reason in `why`, when what it holds is not a sound state: of another version of
    // Tessel or another pair, cut short or failing its checksum. Unreadable, with the reason, when the
    // file cannot be read (an I/O error, no permission) or is not a regular file of this user (a link,
    // someone else's): what it holds is unknown, so it must be neither trusted nor replaced. Anything
    // but Read leaves the state empty.
    Loaded load(const std::string& path, const std::string& source, const std::string& destination,
                std::string& why);

    // The entry of the file at `path` below the roots ("a/b.txt"), or kNone.
    std::size_t find(std::string_view path) const;
    PairRecord at(std::size_t index) const;
    // The path an entry of the last run has (as it was spelt then).
    std::string_view pathAt(std::size_t index) const { return pathOf(m_entries[index]); }

    // What a run concluded about one file (`index` from find, kNone for a file the state lacks):
    // both sides are in step and are remembered as they are now,
    void record(std::size_t index, std::string_view path, const PairRecord& now);
    // the file was not finished and the last sync stays what the next run compares with,
    void keep(std::size_t index);
    // or the file is gone from both sides.
    void forget(std::size_t index);
    // Nothing below `folder` ("a/b/") was finished.
    void keepBelow(std::string_view folder);

    // The entry of the last run whose file on `side` (0 the source, 1 the destination) was the file of
    // that device and inode, or kNone: a file renamed since is found under its old path.
    std::size_t findByIdentity(int side, std::uint64_t device, std::uint64_t inode) const;
    // The file `from` ("a/b.txt"), or every file below the folder `from` ("a/b/"), is now at `to` on both
    // sides, as renames left them, and remembered there. Only before a run decides anything: the numbers
    // find gave before are no longer valid.
    void renamePaths(std::string_view from, std::string_view to);

    // Writes the state to `path` (its folder made when missing) through a temporary renamed into place;
    // a link at `path` is replaced as a name, never written through.
    // Files the run recorded are written as they are now, those it kept as they were; the rest are gone
    // from both sides or no longer take part when the run was `complete`, and are kept when it stopped
    // part way. Writes nothing when that changes nothing on disk.
    bool save(const std::string& path, const std::string& source, const std::string& destination,
              bool complete, std::error_code& error);

    std::size_t size() const { return m_entries.size() + m_added.size(); }
    // The entries of the last run, numbered from 0 (what find gives).
    std::size_t lastRunSize() const { return m_entries.size(); }
    // The memory the state takes, with its paths.
    std::size_t memoryBytes() const;

  private:
    enum class Mark : std::uint8_t { Untouched, Recorded, Kept, Forgotten };
    struct Entry {
        std::uint32_t path = 0;  // offset of the NUL-terminated path in m_paths
        std::uint8_t sourceDevice = 0;
        std::uint8_t destinationDevice = 0;  // indexes into m_devices
        Mark mark = Mark::Untouched;
        std::uint64_t sourceSize = 0;
        std::int64_t sourceModified = 0;
        std::uint64_t sourceInode = 0;
        std::uint64_t destinationSize = 0;
        std::int64_t destinationModified = 0;
        std::uint64_t destinationInode = 0;
        std::int64_t sourceChanged = 0;
        std::int64_t destinationChanged = 0;
    };

    std::string_view pathOf(const Entry& entry) const { return m_paths.data() + entry.path; }
    // The stored path against `path` (<0, 0, >0), without measuring the stored one first.
    int comparePath(const Entry& entry, std::string_view path) const;
    std::uint8_t deviceIndex(std::uint64_t device);
    bool addPath(std::string_view path, std::uint32_t& offset);
    void fill(Entry& entry, const PairRecord& record);
    PairRecord recordOf(const Entry& entry) const;
    void clear();

    std::vector<char> m_paths;     // every path, each ending in a NUL
    std::vector<Entry> m_entries;  // the last run's, sorted by path
    // Where find() last found a path: a walk asks for the names of a folder one after the other, and
    // they lie one after the other here.
    mutable std::size_t m_hint = 0;
    std::vector<Entry> m_added;  // files this run remembers for the first time
    std::vector<std::uint64_t> m_devices;
    // Each side's inodes, made at the first findByIdentity.
    mutable std::unordered_multimap<std::uint64_t, std::size_t> m_byInode[2];
    mutable bool m_indexed = false;
    bool m_changed = false;
    bool m_onDisk = false;
};

}  // namespace tessel
