#include "platform/DataCopy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <vector>

#include "platform/SysCall.h"
#include "platform/UniqueFd.h"

namespace tessel::platform {

namespace {

// What pairs of file systems (by device) are known to refuse: block sharing, in-kernel copies. Each
// refusal then costs one failed call per pair and thread instead of one per file; either way the data
// arrives, so a refusal here needs no probe.
struct Refusals {
    bool has(const std::set<DevicePair>& set, DevicePair devices) const { return set.contains(devices); }
    void add(std::set<DevicePair>& set, DevicePair devices) { set.insert(devices); }
    std::set<DevicePair> clone, copyRange;
};

Refusals& refusals() {
    thread_local Refusals known;
    return known;
}

bool isRefusal(int code) {
    return code == EOPNOTSUPP || code == ENOTTY || code == EXDEV || code == EINVAL || code == ENOSYS ||
           code == EBADF || code == EPERM;
}

// How far into the file the copy has come, told to the progress as it moves forward. The data is
// copied front to back, so the offset reached says everything; a way tried again from the start after
// a refusal tells nothing until it passes where the first one got to.
class Reach {
  public:
    explicit Reach(CopyProgress* progress) : m_progress(progress) {}
    void to(std::uint64_t offset) {
        if (m_progress == nullptr || offset <= m_at) return;
        m_progress->advanced(offset - m_at);
        m_at = offset;
    }

  private:
    CopyProgress* m_progress;
    std::uint64_t m_at = 0;
};

// Copies [offset, offset + length) of `in` to the same place in `out` through a buffer.
bool copyByReadWrite(int in, int out, std::uint64_t offset, std::uint64_t length, Reach& reach,
                     std::error_code& error) {
    static thread_local std::vector<char> buffer(256 * 1024);
    const std::uint64_t end = offset + length;
    std::uint64_t told = offset;
    while (offset < end) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - offset));
        const ssize_t got = sys::pread(in, buffer.data(), want, static_cast<off_t>(offset));
        if (got < 0) return fail(error);
        // The data ended before the size the file had: it changed, or its file system tells its size
        // wrong. Either way the copy is not whole.
        if (got == 0) return fail(error, WalkError::ChangedWhileCopied);
        for (ssize_t written = 0; written < got;) {
            const ssize_t put =
                sys::pwrite(out, buffer.data() + written, static_cast<std::size_t>(got - written),
                            static_cast<off_t>(offset + static_cast<std::uint64_t>(written)));
            if (put < 0) return fail(error);
            written += put;
        }
        offset += static_cast<std::uint64_t>(got);
        if (offset - told >= kCopyPiece || offset == end) {
            reach.to(offset);
            told = offset;
        }
    }
    return true;
}

// Copies [offset, offset + length) of `in` to the same place in `out`: in the kernel where the file
// systems allow it, else through a buffer.
bool copyRange(int in, int out, std::uint64_t offset, std::uint64_t length, DevicePair devices, Reach& reach,
               std::error_code& error) {
    Refusals& refused = refusals();
    if (refused.has(refused.copyRange, devices))
        return copyByReadWrite(in, out, offset, length, reach, error);
    std::uint64_t copied = 0;
    while (copied < length) {
        const auto piece = static_cast<std::size_t>(std::min(length - copied, kCopyPiece));
        loff_t inOffset = static_cast<loff_t>(offset + copied), outOffset = inOffset;
        const ssize_t done = sys::copy_file_range(in, &inOffset, out, &outOffset, piece);
        if (done < 0) {
            if (copied == 0 && isRefusal(errno)) {
                refused.add(refused.copyRange, devices);
                return copyByReadWrite(in, out, offset, length, reach, error);
            }
            return fail(error);
        }
        if (done == 0 && copied == 0) {
            // Some file systems answer an in-kernel copy with nothing at all: copy through a buffer.
            refused.add(refused.copyRange, devices);
            return copyByReadWrite(in, out, offset, length, reach, error);
        }
        if (done == 0) return fail(error, WalkError::ChangedWhileCopied);  // not whole, as above
        copied += static_cast<std::uint64_t>(done);
        reach.to(offset + copied);
    }
    return true;
}

}  // namespace

bool copyData(int in, int out, const FileInfo& source, DevicePair devices, CopyProgress* progress,
              std::error_code& error) {
    Refusals& refused = refusals();
    Reach reach(progress);
    const std::uint64_t length = source.size;
    if (length == 0) return true;
    if (!refused.has(refused.clone, devices)) {
        if (::ioctl(out, FICLONE, in) == 0) {
            reach.to(length);
            return true;
        }
        if (!isRefusal(errno)) return fail(error);
        refused.add(refused.clone, devices);
    }
    if (source.allocated >= length) return copyRange(in, out, 0, length, devices, reach, error);

    for (off_t data = 0;;) {
        data = ::lseek(in, data, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;  // no data after this point: the rest is a hole
            return copyRange(in, out, 0, length, devices, reach, error);  // no hole support here
        }
        if (static_cast<std::uint64_t>(data) >= length) break;
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) return fail(error);
        hole = std::min<off_t>(hole, static_cast<off_t>(length));
        reach.to(static_cast<std::uint64_t>(data));  // the hole before it is done
        if (!copyRange(in, out, static_cast<std::uint64_t>(data), static_cast<std::uint64_t>(hole - data),
                       devices, reach, error))
            return false;
        data = hole;
    }
    if (sys::ftruncate(out, static_cast<off_t>(length)) != 0) return fail(error);
    reach.to(length);
    return true;
}

}  // namespace tessel::platform
