#pragma once
// The names the user sees for the values of a watch's choices, in the order of their stored numbers:
// the editor's radio buttons and the headless runner's listing read them from here.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tessel {

inline constexpr std::array<std::string_view, 4> kRunModeNames = {"Stop", "On Start", "Manual", "Timer"};
// The run mode the text file beside the watch file adds (the record says Manual).
inline constexpr std::string_view kOnChangeName = "On Change";
inline constexpr std::array<std::string_view, 7> kPeriodNames = {"10 Minutes", "1 Hour",  "1 Day",   "1 Week",
                                                                 "10 Days",    "1 Month", "On Time:"};
inline constexpr std::array<std::string_view, 2> kFileActionNames = {"Copy", "Move"};
inline constexpr std::array<std::string_view, 3> kTuneModeNames = {"Sync All", "Update only old files",
                                                                   "Copy only absent files"};

// The name of stored value `value`, or nothing for a value outside the table (a damaged record).
template <std::size_t N>
std::optional<std::string_view> nameOf(const std::array<std::string_view, N>& names, std::int64_t value) {
    if (value < 0 || value >= static_cast<std::int64_t>(N)) return std::nullopt;
    return names[static_cast<std::size_t>(value)];
}

}  // namespace tessel
