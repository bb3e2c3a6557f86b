#include "sync/SyncState.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/Paths.h"

namespace tessel {

namespace {

// The file: a header ("TESSELST", the format's version, both folder paths, the devices the entries
// name), the entries sorted by path, each path as the length it shares with the one before and the
// rest, and an FNV-1a checksum of everything before it. Numbers are little-endian. Version 2 adds each
// side's change time to an entry; a state of version 1 is read with those unknown.
constexpr char kMagic[8] = {'T', 'E', 'S', 'S', 'E', 'L', 'S', 'T'};
constexpr std::uint32_t kFormatVersion = 2;
constexpr std::uint32_t kOldestReadableVersion = 1;
constexpr std::uint8_t kNoDevice = 255;
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::uint64_t kFnvStart = 14695981039346656037ull;
// What an entry takes at least: two lengths, two device indexes, and its numbers.
constexpr std::uint64_t smallestEntry(int numbers) {
    return 4 + 4 + 1 + 1 + static_cast<std::uint64_t>(numbers) * 8;
}

std::uint64_t fnv(std::uint64_t hash, const char* data, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        hash = (hash ^ static_cast<unsigned char>(data[i])) * 1099511628211ull;
    return hash;
}

// Writes the file in chunks as they fill, hashing what it writes.
class Writer {
  public:
    explicit Writer(platform::File& file) : m_file(file) { m_buffer.reserve(kChunk); }

    void bytes(std::string_view data) {
        m_buffer.append(data);
        if (m_buffer.size() >= kChunk) flush();
    }
    void number(std::uint64_t value, int width) {
        char little[8];
        for (int i = 0; i < width; ++i) little[i] = static_cast<char>(value >> (8 * i));
        bytes({little, static_cast<std::size_t>(width)});
    }
    void text(std::string_view value) {
        number(value.size(), 4);
        bytes(value);
    }
    // Adds the checksum and writes what is left.
    bool finish(std::error_code& error) {
        flush();
        const std::uint64_t checksum = m_hash;
        number(checksum, 8);
        flush();
        error = m_error;
        return !m_error;
    }

  private:
    void flush() {
        if (m_buffer.empty() || m_error) return;
        m_hash = fnv(m_hash, m_buffer.data(), m_buffer.size());
        if (m_file.writeAt(m_offset, m_buffer.data(), m_buffer.size(), m_error)) m_offset += m_buffer.size();
        m_buffer.clear();
    }

    platform::File& m_file;
    std::string m_buffer;
    std::uint64_t m_offset = 0;
    std::uint64_t m_hash = kFnvStart;
    std::error_code m_error;
};

// Reads the file in chunks, hashing everything before the checksum at its end.
class Reader {
  public:
    Reader(const platform::File& file, std::uint64_t size) : m_file(file), m_size(size), m_buffer(kChunk) {}

    bool bytes(char* out, std::size_t length) {
        while (length > 0) {
            if (m_at == m_filled && !fill()) return false;
            const std::size_t take = std::min(length, m_filled - m_at);
            std::memcpy(out, m_buffer.data() + m_at, take);
            m_at += take;
            out += take;
            length -= take;
        }
        return true;
    }
    bool number(std::uint64_t& value, int width) {
        if (m_filled - m_at >= static_cast<std::size_t>(width)) {
            // Most numbers lie whole in the buffer: read them where they are.
            const char* bytes = m_buffer.data() + m_at;
            m_at += static_cast<std::size_t>(width);
            if constexpr (std::endian::native == std::endian::little) {
                value = 0;
                std::memcpy(&value, bytes, static_cast<std::size_t>(width));
                return true;
            }
            value = 0;
            for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
            return true;
        }
        unsigned char little[8];
        if (!bytes(reinterpret_cast<char*>(little), static_cast<std::size_t>(width))) return false;
        value = 0;
        for (int i = width - 1; i >= 0; --i) value = (value << 8) | little[i];
        return true;
    }
    bool text(std::string& value, std::size_t longest) {
        std::uint64_t length = 0;
        if (!number(length, 4) || length > longest || length > left()) return false;
        value.resize(length);
        return bytes(value.data(), value.size());
    }
    // Bytes not read yet.
    std::uint64_t left() const { return m_size - (m_position - (m_filled - m_at)); }
    std::uint64_t hash() const { return m_hash; }
    const std::error_code& error() const { return m_error; }

  private:
    bool fill() {
        if (m_position >= m_size) return false;
        std::size_t got = 0;
        if (!m_file.readSomeAt(m_position, m_buffer.data(), m_buffer.size(), got, m_error) || got == 0)
            return false;
        // The checksum covers everything but its own eight bytes.
        const std::uint64_t covered = m_size - 8;
        if (m_position < covered)
            m_hash = fnv(m_hash, m_buffer.data(),
                         static_cast<std::size_t>(std::min<std::uint64_t>(got, covered - m_position)));
        m_position += got;
        m_filled = got;
        m_at = 0;
        return true;
    }

    const platform::File& m_file;
    std::uint64_t m_size;
    std::vector<char> m_buffer;
    std::size_t m_filled = 0;
    std::size_t m_at = 0;
    std::uint64_t m_position = 0;
    std::uint64_t m_hash = kFnvStart;
    std::error_code m_error;
};

bool sameSide(const SideRecord& a, const SideRecord& b) {
    return a.size == b.size && a.modified == b.modified && a.device == b.device && a.inode == b.inode &&
           a.changed == b.changed;
}

}  // namespace

std::string SyncState::filePath(const std::string& stateFolder, const std::string& source,
                                const std::string& destination) {
    std::uint64_t hash = fnv(kFnvStart, source.data(), source.size());
    hash = fnv(hash, "", 1);
    hash = fnv(hash, destination.data(), destination.size());
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.state", static_cast<unsigned long long>(hash));
    return platform::withTrailingSlash(stateFolder) + name;
}

void SyncState::clear() {
    m_paths.clear();
    m_entries.clear();
    m_hint = 0;
    m_added.clear();
    m_devices.clear();
    m_changed = false;
    m_onDisk = false;
}

SyncState::Loaded SyncState::load(const std::string& path, const std::string& source,
                                  const std::string& destination, std::string& why) {
    clear();
    platform::File file;
    std::error_code error;
    const auto unreadable = [&](const std::error_code& reason) {
        clear();
        why = reason.message();
        return Loaded::Unreadable;
    };
    if (!file.open(path, platform::File::Mode::ReadOwnFile, error)) {
        if (error == std::errc::no_such_file_or_directory) return Loaded::Missing;
        return unreadable(error);
    }
    std::uint64_t fileSize = 0;
    if (!file.size(fileSize, error)) return unreadable(error);
    Reader in(file, fileSize);
    const auto damaged = [&](const std::string& reason) {
        // A read that failed says nothing about what the file holds.
        if (in.error()) return unreadable(in.error());
        clear();
        why = reason;
        return Loaded::Damaged;
    };
    const auto broken = [] { return std::string("the file is damaged"); };
    if (fileSize < sizeof kMagic + 8) return damaged("not a state file of Tessel");

    char magic[sizeof kMagic];
    std::uint64_t version = 0, flags = 0;
    if (!in.bytes(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0)
        return damaged("not a state file of Tessel");
    if (!in.number(version, 4) || !in.number(flags, 4)) return damaged(broken());
    if (version < kOldestReadableVersion || version > kFormatVersion)
        return damaged("written by another version of Tessel");
    const int numbersPerEntry = version >= 2 ? 8 : 6;
    std::string storedSource, storedDestination;
    if (!in.text(storedSource, 65536) || !in.text(storedDestination, 65536)) return damaged(broken());
    if (storedSource != source || storedDestination != destination)
        return damaged("the state of another pair of folders");

    std::uint64_t devices = 0, count = 0;
    if (!in.number(devices, 4) || devices >= kNoDevice) return damaged(broken());
    m_devices.resize(devices);
    for (std::uint64_t& device : m_devices)
        if (!in.number(device, 8)) return damaged(broken());
    if (!in.number(count, 8) || count > in.left() / smallestEntry(numbersPerEntry)) return damaged(broken());
    m_entries.reserve(count);

    // Paths arrive sorted, each sharing a start with the one before.
    std::string previous, current;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t shared = 0, rest = 0, sourceDevice = 0, destinationDevice = 0;
        if (!in.number(shared, 4) || !in.number(rest, 4) || shared > previous.size() || rest == 0 ||
            rest > in.left())
            return damaged(broken());
        current.assign(previous, 0, shared);
        current.resize(shared + rest);
        if (!in.bytes(current.data() + shared, rest)) return damaged(broken());
        if (current.find('\0') != std::string::npos || (i > 0 && !(previous < current)))
            return damaged("the file is damaged");
        Entry entry;
        std::uint64_t numbers[8] = {};
        if (!in.number(sourceDevice, 1) || !in.number(destinationDevice, 1)) return damaged(broken());
        for (int n = 0; n < numbersPerEntry; ++n)
            if (!in.number(numbers[n], 8)) return damaged(broken());
        const auto known = [&](std::uint64_t index) { return index == kNoDevice || index < devices; };
        if (!known(sourceDevice) || !known(destinationDevice)) return damaged("the file is damaged");
        if (!addPath(current, entry.path)) return damaged("the state is too large");
        entry.sourceDevice = static_cast<std::uint8_t>(sourceDevice);
        entry.destinationDevice = static_cast<std::uint8_t>(destinationDevice);
        entry.sourceSize = numbers[0];
        entry.sourceModified = static_cast<std::int64_t>(numbers[1]);
        entry.sourceInode = numbers[2];
        entry.destinationSize = numbers[3];
        entry.destinationModified = static_cast<std::int64_t>(numbers[4]);
        entry.destinationInode = numbers[5];
        entry.sourceChanged = static_cast<std::int64_t>(numbers[6]);
        entry.destinationChanged = static_cast<std::int64_t>(numbers[7]);
        m_entries.push_back(entry);
        previous.swap(current);
    }
    const std::uint64_t computed = in.hash();
    std::uint64_t checksum = 0;
    if (!in.number(checksum, 8) || in.left() != 0) return damaged(broken());
    if (checksum != computed) return damaged("its checksum does not match");
    m_onDisk = true;
    return Loaded::Read;
}

bool SyncState::addPath(std::string_view path, std::uint32_t& offset) {
    if (m_paths.size() + path.size() + 1 > std::numeric_limits<std::uint32_t>::max()) return false;
    offset = static_cast<std::uint32_t>(m_paths.size());
    m_paths.insert(m_paths.end(), path.begin(), path.end());
    m_paths.push_back('\0');
    return true;
}

int SyncState::comparePath(const Entry& entry, std::string_view path) const {
    const char* stored = m_paths.data() + entry.path;
    for (const char c : path) {
        if (*stored == '\0') return -1;  // the stored path is the shorter
        if (*stored != c) return static_cast<unsigned char>(*stored) < static_cast<unsigned char>(c) ? -1 : 1;
        ++stored;
    }
    return *stored == '\0' ? 0 : 1;
}

std::size_t SyncState::find(std::string_view path) const {
    if (m_hint + 1 < m_entries.size() && comparePath(m_entries[m_hint + 1], path) == 0) return ++m_hint;
    const auto found = std::lower_bound(
        m_entries.begin(), m_entries.end(), path,
        [&](const Entry& entry, std::string_view wanted) { return comparePath(entry, wanted) < 0; });
    if (found == m_entries.end() || comparePath(*found, path) != 0) return kNone;
    m_hint = static_cast<std::size_t>(found - m_entries.begin());
    return m_hint;
}

PairRecord SyncState::recordOf(const Entry& entry) const {
    const auto device = [&](std::uint8_t index) { return index < m_devices.size() ? m_devices[index] : 0; };
    return {{entry.sourceSize, entry.sourceModified, device(entry.sourceDevice), entry.sourceInode,
             entry.sourceChanged},
            {entry.destinationSize, entry.destinationModified, device(entry.destinationDevice),
             entry.destinationInode, entry.destinationChanged}};
}

PairRecord SyncState::at(std::size_t index) const {
    return recordOf(m_entries[index]);
}

std::uint8_t SyncState::deviceIndex(std::uint64_t device) {
    const auto found = std::find(m_devices.begin(), m_devices.end(), device);
    if (found != m_devices.end()) return static_cast<std::uint8_t>(found - m_devices.begin());
    // A tree across more file systems than that remembers the rest without their device.
    if (m_devices.size() >= kNoDevice) return kNoDevice;
    m_devices.push_back(device);
    return static_cast<std::uint8_t>(m_devices.size() - 1);
}

void SyncState::fill(Entry& entry, const PairRecord& record) {
    entry.sourceDevice = deviceIndex(record.source.device);
    entry.destinationDevice = deviceIndex(record.destination.device);
    entry.sourceSize = record.source.size;
    entry.sourceModified = record.source.modified;
    entry.sourceInode = record.source.inode;
    entry.destinationSize = record.destination.size;
    entry.destinationModified = record.destination.modified;
    entry.destinationInode = record.destination.inode;
    entry.sourceChanged = record.source.changed;
    entry.destinationChanged = record.destination.changed;
}

void SyncState::record(std::size_t index, std::string_view path, const PairRecord& now) {
    if (index != kNone) {
        Entry& entry = m_entries[index];
        const PairRecord before = recordOf(entry);
        if (!sameSide(before.source, now.source) || !sameSide(before.destination, now.destination)) {
            fill(entry, now);
            m_changed = true;
        }
        entry.mark = Mark::Recorded;
        return;
    }
    Entry entry;
    if (!addPath(path, entry.path)) return;  // not remembered: the next run compares the two files again
    fill(entry, now);
    entry.mark = Mark::Recorded;
    m_added.push_back(entry);
    m_changed = true;
}

void SyncState::keep(std::size_t index) {
    if (index != kNone) m_entries[index].mark = Mark::Kept;
}

void SyncState::forget(std::size_t index) {
    if (index == kNone) return;
    m_entries[index].mark = Mark::Forgotten;
    m_changed = true;
}

void SyncState::keepBelow(std::string_view folder) {
    auto entry = std::lower_bound(
        m_entries.begin(), m_entries.end(), folder,
        [&](const Entry& candidate, std::string_view wanted) { return pathOf(candidate) < wanted; });
    for (; entry != m_entries.end() && pathOf(*entry).starts_with(folder); ++entry)
        if (entry->mark == Mark::Untouched) entry->mark = Mark::Kept;
}

std::size_t SyncState::findByIdentity(int side, std::uint64_t device, std::uint64_t inode) const {
    if (!m_indexed) {
        for (std::size_t index = 0; index < m_entries.size(); ++index) {
            const Entry& entry = m_entries[index];
            m_byInode[0].emplace(entry.sourceInode, index);
            m_byInode[1].emplace(entry.destinationInode, index);
        }
        m_indexed = true;
    }
    if (inode == 0) return kNone;
    const auto [first, last] = m_byInode[side].equal_range(inode);
    for (auto found = first; found != last; ++found) {
        const Entry& entry = m_entries[found->second];
        const std::uint8_t known = side == 0 ? entry.sourceDevice : entry.destinationDevice;
        if (known < m_devices.size() && m_devices[known] == device) return found->second;
    }
    return kNone;
}

void SyncState::renamePaths(std::string_view from, std::string_view to) {
    const bool folder = from.ends_with('/');
    const auto under = [folder](std::string_view path, std::string_view prefix) {
        return folder ? path.starts_with(prefix) : path == prefix;
    };
    // Whatever was remembered at the new place is gone: the rename found nothing there.
    std::erase_if(m_entries, [&](const Entry& entry) { return under(pathOf(entry), to); });
    for (Entry& entry : m_entries) {
        const std::string_view path = pathOf(entry);
        if (!under(path, from)) continue;
        std::string moved(to);
        moved.append(path.substr(from.size()));
        std::uint32_t offset = 0;
        if (addPath(moved, offset)) entry.path = offset;
    }
    std::sort(m_entries.begin(), m_entries.end(),
              [&](const Entry& a, const Entry& b) { return pathOf(a) < pathOf(b); });
    m_hint = 0;
    m_indexed = false;
    m_byInode[0].clear();
    m_byInode[1].clear();
    m_changed = true;
}

bool SyncState::save(const std::string& path, const std::string& source, const std::string& destination,
                     bool complete, std::error_code& error) {
    const auto written = [&](const Entry& entry) {
        return entry.mark == Mark::Recorded || entry.mark == Mark::Kept ||
               (entry.mark == Mark::Untouched && !complete);
    };
    bool changed = m_changed || !m_onDisk;
    for (std::size_t i = 0; !changed && i < m_entries.size(); ++i) changed = !written(m_entries[i]);
    if (!changed) return true;

    const auto byPath = [&](const Entry& a, const Entry& b) { return pathOf(a) < pathOf(b); };
    std::sort(m_added.begin(), m_added.end(), byPath);
    std::uint64_t count = static_cast<std::uint64_t>(m_added.size());
    for (const Entry& entry : m_entries) count += written(entry) ? 1 : 0;

    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && !platform::ForceFolders(path.substr(0, slash + 1), error)) return false;
    const bool saved = platform::replaceFile(
        path,
        [&](platform::File& file, std::error_code& failure) {
            Writer out(file);
            out.bytes({kMagic, sizeof kMagic});
            out.number(kFormatVersion, 4);
            out.number(0, 4);
            out.text(source);
            out.text(destination);
            // The devices in the order of their numbers, whatever order the run met them in (its threads
            // may record in another order than one thread would): the same state, the same bytes.
            std::vector<std::size_t> order(m_devices.size());
            std::iota(order.begin(), order.end(), std::size_t{0});
            std::sort(order.begin(), order.end(),
                      [&](std::size_t a, std::size_t b) { return m_devices[a] < m_devices[b]; });
            std::vector<std::uint8_t> renumbered(m_devices.size());
            for (std::size_t i = 0; i < order.size(); ++i)
                renumbered[order[i]] = static_cast<std::uint8_t>(i);
            const auto device = [&](std::uint8_t index) {
                return index < renumbered.size() ? renumbered[index] : index;
            };
            out.number(m_devices.size(), 4);
            for (const std::size_t index : order) out.number(m_devices[index], 8);
            out.number(count, 8);
            std::string_view previous;
            const auto put = [&](const Entry& entry) {
                const std::string_view current = pathOf(entry);
                std::size_t shared = 0;
                while (shared < previous.size() && shared < current.size() &&
                       previous[shared] == current[shared])
                    ++shared;
                out.number(shared, 4);
                out.text(current.substr(shared));
                out.number(device(entry.sourceDevice), 1);
                out.number(device(entry.destinationDevice), 1);
                for (const std::uint64_t number :
                     {entry.sourceSize, static_cast<std::uint64_t>(entry.sourceModified), entry.sourceInode,
                      entry.destinationSize, static_cast<std::uint64_t>(entry.destinationModified),
                      entry.destinationInode, static_cast<std::uint64_t>(entry.sourceChanged),
                      static_cast<std::uint64_t>(entry.destinationChanged)})
                    out.number(number, 8);
                previous = current;
            };
            // The last run's entries and the new ones, merged in path order.
            auto added = m_added.begin();
            for (const Entry& entry : m_entries) {
                if (!written(entry)) continue;
                for (; added != m_added.end() && byPath(*added, entry); ++added) put(*added);
                put(entry);
            }
            for (; added != m_added.end(); ++added) put(*added);
            return out.finish(failure);
        },
        error, platform::LinkAtPath::ReplaceName);
    if (saved) m_onDisk = true;
    return saved;
}

std::size_t SyncState::memoryBytes() const {
    return sizeof *this + m_paths.capacity() + (m_entries.capacity() + m_added.capacity()) * sizeof(Entry) +
           m_devices.capacity() * sizeof(std::uint64_t);
}

}  // namespace tessel
