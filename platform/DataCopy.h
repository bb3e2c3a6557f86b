#pragma once
// The bytes of one open file copied into another, the fastest way the pair of file systems allows:
// shared blocks, a copy in the kernel, or a buffer. Internal to platform/ (FileCopy).

#include <cstdint>
#include <system_error>
#include <utility>

#include "platform/Folders.h"

namespace tessel::platform {

using DevicePair = std::pair<std::uint64_t, std::uint64_t>;  // the source's device, the destination's

// Copies the first `source.size` bytes of `in` to `out`: by sharing blocks where the file system can,
// else range by range. A file with holes (fewer blocks than its size needs) keeps them: only its data
// is copied and the size set at the end, so a sparse disk image does not balloon. A source whose data
// ends early fails with ChangedWhileCopied.
bool copyData(int in, int out, const FileInfo& source, DevicePair devices, std::error_code& error);

}  // namespace tessel::platform
