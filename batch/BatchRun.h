#pragma once
// tessel-batch as a whole: its arguments read, the watches listed, run, previewed or changed, and the
// exit status.

#include <string_view>
#include <vector>

#include "batch/BatchNotices.h"

namespace tessel::batch {

// Does what `arguments` (those after the program's name) ask, prints on standard output and standard
// error, tells `notices` of the runs that need the user (unless --no-notify), and gives the exit
// status. SIGINT and SIGTERM stop a run while it goes.
int runBatch(const std::vector<std::string_view>& arguments, NoticeSender& notices);

}  // namespace tessel::batch
