#pragma once

#include <string_view>

namespace tessel::platform {

// Matches a file name against a mask the way users of folder tools expect: `*` any run of characters,
// `?` exactly one, letter case ignored (ASCII). A mask ending in ".*" also matches names without a
// dot ("*.*" matches everything, "readme.*" matches "README"); a mask ending in a single "." matches
// only names without a dot ("*." matches "Makefile"). An empty mask matches nothing.
bool matchesMask(std::string_view mask, std::string_view name);

}  // namespace tessel::platform
