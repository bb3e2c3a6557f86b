#pragma once
// Copying the data of one open file into another: by sharing blocks, in the kernel or through a buffer,
// whichever the two file systems allow, in pieces small enough for a display to follow a large file.
// Internal to platform/ (FileCopy).

#include <cstdint>
#include <system_error>
#include <utility>

#include "platform/FileCopy.h"
#include "platform/Folders.h"

namespace tessel::platform {

using DevicePair = std::pair<std::uint64_t, std::uint64_t>;  // the source's device, the destination's

// Copies the first `source.size` bytes of `in` to `out`, telling `progress` (when given) as it goes. A
// file with holes (fewer blocks than its size needs) keeps them: only its data is copied and the size
// set at the end, so a sparse disk image does not balloon. A source whose data ends early fails with
// ChangedWhileCopied.
bool copyData(int in, int out, const FileInfo& source, DevicePair devices, CopyProgress* progress,
              std::error_code& error);

}  // namespace tessel::platform
