#pragma once
// Whole-file and positional file access: what the log, the watch file and the settings file need.
// Every failure comes back with the system's reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace tessel::platform {

std::error_code lastSystemError();

// Appends `data` to the file at `path` in one write, creating the file when it is missing, and closes
// it again before returning.
bool appendToFile(const std::string& path, std::string_view data, std::error_code& error);

// True for any existing entry that is not a folder (links are followed).
bool fileExists(const std::string& path);

// An open file, closed when the object goes.
class File {
  public:
    enum class Mode {
        ReadWrite,          // an existing file, for reading and writing
        ReadWriteOrCreate,  // the same, created empty when missing
        CreateExclusive,    // a new file that must not exist yet, for writing
    };

    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool open(const std::string& path, Mode mode, std::error_code& error);
    bool isOpen() const { return m_fd >= 0; }
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
    bool close(std::error_code& error);

  private:
    int m_fd = -1;
};

// Renames `from` over `to` in one step.
bool renameFile(const std::string& from, const std::string& to, std::error_code& error);
bool removeFile(const std::string& path, std::error_code& error);

}  // namespace tessel::platform
