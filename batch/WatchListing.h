#pragma once
// How tessel-batch --list shows a watch: one stable, tab-separated line.

#include <cstddef>
#include <optional>
#include <string>

#include "watch/DateTime.h"
#include "watch/RunSummary.h"
#include "watch/Watch.h"
#include "watch/WatchRec.h"

namespace tessel {

// Index, run mode, period, file action, tune mode, flags, last run (local time, ISO), source,
// destination, masks and name, the columns scripts have always cut; after them, what came later: the
// last result ("ok", "stopped", "conflict", "failed", or "-" before the first run that kept one), when
// that run ended (ISO, or "-"), the next run at `now` ("due" for a timed watch due now, the moment it
// will be, "never" for a timed watch the timer will not run (a period of no meaning), "-" for a watch
// not on the timer), and the last run's first problem ("-" for none). Damaged values show as "unknown(n)" or
// "invalid", control characters (and tabs) as \xHH. The flags end in "versions" where the run keeps versions
// of what it replaces or deletes. With `readable` (the record with its extras), a watch that runs on change
// shows the run mode "On Change", and "paused" ends its flags while its following is paused.
std::string watchListLine(std::size_t index, const TWatchRec& watch, bool keepsVersions,
                          const std::string& name, const std::optional<LastRunResult>& lastResult,
                          TDateTime now, const Watch* readable = nullptr);

}  // namespace tessel
