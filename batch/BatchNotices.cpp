#include "batch/BatchNotices.h"

namespace tessel::batch {

void sendNotices(const SchedulerReport& report, NoticeSender& sender) {
    for (const WatchRunSummary& run : report.runs)
        if (const std::optional<RunNotice> notice = noticeFor(run)) sender.send(*notice);
}

}  // namespace tessel::batch
