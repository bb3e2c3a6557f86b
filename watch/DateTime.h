#pragma once
// Tessel's stored date-time: days since 1899-12-30 00:00 local time, the time of day as the fraction
// (0.5 is noon). The watch file keeps these as 8-byte doubles.

#include <ctime>

#include "platform/Clock.h"

namespace tessel {

using TDateTime = double;

TDateTime encodeDateTime(const platform::LocalTime& local);
// Any double decodes to some date-time: non-finite or far-off values are clamped, never undefined.
platform::LocalTime decodeDateTime(TDateTime value);

// The current local date-time, read from the platform clock (which tests can fix).
TDateTime Now();
TDateTime dateTimeFromTime(std::time_t seconds);
TDateTime dateTimeFromClock(platform::WallClock moment);

int hourOf(TDateTime value);
int minuteOf(TDateTime value);

}  // namespace tessel
