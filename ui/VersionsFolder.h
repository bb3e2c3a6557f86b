#pragma once
// Where a watch's runs keep the versions of the files they replace or delete: a folder at the root of
// each tree they write to.

#include <string>
#include <vector>

#include "watch/WatchRec.h"

// The versions folders `watch` can have, whether they exist yet or not: the destination's (inside the
// source's own folder there with Copy with root folder), then, for a watch that runs both ways, the
// source's. The roots are worked out exactly as a run works them out.
std::vector<std::string> versionsFolders(const tessel::TWatchRec& watch);
