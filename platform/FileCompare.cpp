#include "platform/FileCompare.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "platform/FileIo.h"
#include "platform/SysCall.h"
#include "platform/UniqueFd.h"

namespace tessel::platform {

namespace {

// Opens a file to read without waiting on a pipe that was swapped in, and only as a regular file.
bool openRegular(const Folder& folder, const std::string& name, UniqueFd& fd, struct stat& status,
                 std::error_code& error) {
    fd.reset(sys::openat(folder.fd(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) return fail(error);
    if (sys::fstat(fd.get(), &status) != 0) return fail(error);
    if (!S_ISREG(status.st_mode)) return fail(error, WalkError::NotRegularFile);
    return true;
}

}  // namespace

bool sameContent(const Folder& folderA, const std::string& nameA, const Folder& folderB,
                 const std::string& nameB, bool& same, std::error_code& error, LinkLook look) {
    same = false;
    if (look == LinkLook::AsLink) {
        FileInfo linkA, linkB;
        std::error_code ignored;  // what cannot be looked at is not a link: the reading below says why
        examine(folderA, nameA, ListedType::Unknown, linkA, ignored, look);
        examine(folderB, nameB, ListedType::Unknown, linkB, ignored, look);
        if (linkA.isLink || linkB.isLink) {
            same = linkA.isLink && linkB.isLink && linkA.linkTarget == linkB.linkTarget;
            return true;
        }
    }
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
        if (!readSomeAt(a.get(), offset, bufferA.data(), kChunk, gotA, error) ||
            !readSomeAt(b.get(), offset, bufferB.data(), kChunk, gotB, error))
            return false;
        if (gotA != gotB || std::memcmp(bufferA.data(), bufferB.data(), gotA) != 0) return true;
        if (gotA < kChunk) break;
    }
    same = true;
    return true;
}

}  // namespace tessel::platform
