#include "platform/FileCompare.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "platform/SysCall.h"
#include "platform/UniqueFd.h"

namespace tessel::platform {

namespace {

// Opens a file to read without waiting on a pipe that was swapped in, and only as a regular file.
bool openRegular(const Folder& folder, const std::string& name, UniqueFd& fd, struct stat& status,
                 std::error_code& error) {
    fd.reset(sys::openat(folder.fd(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) return fail(error);
    if (::fstat(fd.get(), &status) != 0) return fail(error);
    if (!S_ISREG(status.st_mode)) return fail(error, WalkError::NotRegularFile);
    return true;
}

// Reads up to `length` bytes at `offset`; fewer only at the end of the file.
bool readChunk(int fd, char* buffer, std::size_t length, std::uint64_t offset, std::size_t& got,
               std::error_code& error) {
    got = 0;
    while (got < length) {
        const ssize_t done = sys::pread(fd, buffer + got, length - got, static_cast<off_t>(offset + got));
        if (done < 0) {
            if (errno == EINTR) continue;
            return fail(error);
        }
        if (done == 0) break;
        got += static_cast<std::size_t>(done);
    }
    return true;
}

}  // namespace

bool sameContent(const Folder& folderA, const std::string& nameA, const Folder& folderB,
                 const std::string& nameB, bool& same, std::error_code& error) {
    same = false;
    UniqueFd a, b;
    struct stat statusA {
    }, statusB{};
    if (!openRegular(folderA, nameA, a, statusA, error) || !openRegular(folderB, nameB, b, statusB, error))
        return false;
    if (statusA.st_size != statusB.st_size) return true;
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<char> bufferA(kChunk), bufferB(kChunk);
    for (std::uint64_t offset = 0;; offset += kChunk) {
        std::size_t gotA = 0, gotB = 0;
        if (!readChunk(a.get(), bufferA.data(), kChunk, offset, gotA, error) ||
            !readChunk(b.get(), bufferB.data(), kChunk, offset, gotB, error))
            return false;
        if (gotA != gotB || std::memcmp(bufferA.data(), bufferB.data(), gotA) != 0) return true;
        if (gotA < kChunk) break;
    }
    same = true;
    return true;
}

}  // namespace tessel::platform
