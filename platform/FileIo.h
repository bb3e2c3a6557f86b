#pragma once
// Whole-file and positional file access: what the log, the watch file and the settings file need.
// Every failure comes back with the system's reason.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/UniqueFd.h"

namespace tessel::platform {

// Appends `data` to the file at `path` in one write, creating the file when it is missing, and closes
// it again before returning. It never waits: a pipe that cannot take the data fails at once.
bool appendToFile(const std::string& path, std::string_view data, std::error_code& error);

// True for any existing entry that is not a folder (links are followed).
bool fileExists(const std::string& path);

// The device and inode of the file at `path` (links followed); false when there is none.
bool fileIdentity(const std::string& path, std::uint64_t& device, std::uint64_t& inode);

// Reads up to `length` bytes at `offset` of the open file `fd`; fewer only at the end of the file.
bool readSomeAt(int fd, std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done,
                std::error_code& error);

// An open file, closed when the object goes.
class File {
  public:
    enum class Mode {
        ReadOnly,           // an existing file, for reading only; a pipe in its place is not waited for
        ReadWrite,          // an existing file, for reading and writing
        ReadWriteOrCreate,  // the same, created empty when missing
        CreateExclusive,    // a new file that must not exist yet, for writing
        // An existing regular file of this process's user, for reading, never through a link: a file
        // of Tessel's own that someone else could have put in its place is not Tessel's to trust.
        ReadOwnFile,
    };

    bool open(const std::string& path, Mode mode, std::error_code& error);
    bool isOpen() const { return m_fd.valid(); }
    bool size(std::uint64_t& bytes, std::error_code& error) const;
    // Reads exactly `length` bytes at `offset`; a short read is an error (EIO... or end of file).
    bool readAt(std::uint64_t offset, void* buffer, std::size_t length, std::error_code& error) const;
    // Reads up to `length` bytes at `offset`; `done` tells how many arrived (0 at the end of the file).
    bool readSomeAt(std::uint64_t offset, void* buffer, std::size_t length, std::size_t& done,
                    std::error_code& error) const;
    bool writeAt(std::uint64_t offset, const void* buffer, std::size_t length, std::error_code& error);
    bool truncate(std::uint64_t length, std::error_code& error);
    // Pushes the file's data to the disk.
    bool sync(std::error_code& error);
    // Closes the file; a failure here can mean data that never reached the disk.
    bool close(std::error_code& error) { return m_fd.close(error); }

  private:
    UniqueFd m_fd;
};

// The whole content of the regular file at `path`, when it holds at most `limit` bytes; a larger file
// fails with file_too_large before anything is read, and a pipe or device with its own reason. A file
// that grows while it is read stops at the limit and fails the same way.
bool readSmallFile(const std::string& path, std::uint64_t limit, std::string& content,
                   std::error_code& error);

// Everything on standard input, up to `limit` bytes (file_too_large past it).
bool readStandardInput(std::uint64_t limit, std::string& content, std::error_code& error);

// Renames `from` over `to` in one step.
bool renameFile(const std::string& from, const std::string& to, std::error_code& error);
bool removeFile(const std::string& path, std::error_code& error);

// The one way Tessel rewrites a file of its own (settings, watch file): `write` fills a new temporary
// beside the file (beside the file a link leads to, when `path` is one), which is synced, renamed over
// the file in one step, and the folder synced after it. The new file keeps the old one's permission
// bits and, where allowed, its owner. On any failure, `write`'s included, the file is as it was and
// no temporary is left.
// With `ReplaceName`, a link at `path` is replaced itself, as a name, and what it leads to is never
// touched: for files of Tessel's own, where a link can only be someone's trap.
enum class LinkAtPath { ReplaceTarget, ReplaceName };
bool replaceFile(const std::string& path, const std::function<bool(File&, std::error_code&)>& write,
                 std::error_code& error, LinkAtPath link = LinkAtPath::ReplaceTarget);

}  // namespace tessel::platform
