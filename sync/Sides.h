#pragma once
// The two sides of a run: the watch's source and destination.

namespace tessel {

inline constexpr int kSource = 0;
inline constexpr int kDestination = 1;
inline constexpr int kSides[] = {kSource, kDestination};

}  // namespace tessel
