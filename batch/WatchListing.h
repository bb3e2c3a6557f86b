#pragma once
// How tessel-batch --list shows a watch: one stable, tab-separated line.

#include <cstddef>
#include <string>

#include "watch/WatchRec.h"

namespace tessel {

// Index, run mode, period, file action, tune mode, flags, last run (local time, ISO), source,
// destination, masks and name: the name last, so that the columns scripts cut keep their numbers.
// Damaged values show as "unknown(n)" or "invalid", control characters as \xHH. The flags end in
// "versions" where the run keeps versions of what it replaces or deletes.
std::string watchListLine(std::size_t index, const TWatchRec& watch, bool keepsVersions,
                          const std::string& name);

}  // namespace tessel
