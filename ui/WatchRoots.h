#pragma once
// The two trees a watch's runs work in, as the window needs them: to show a plan's paths below them, and
// to find the versions folders kept at their roots.

#include <string>
#include <vector>

#include "sync/SyncWatch.h"
#include "watch/WatchRec.h"

using tessel::WatchRoots;

// Worked out exactly as a run works them out (tessel::watchRoots), without a trailing "/".
WatchRoots watchRoots(const tessel::TWatchRec& watch);

// The versions folders `watch` can have, whether they exist yet or not: the destination's, then, for a
// watch that runs both ways, the source's.
std::vector<std::string> versionsFolders(const tessel::TWatchRec& watch);
