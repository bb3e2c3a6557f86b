#pragma once
// The desktop hears of a run of tessel-batch that needs the user: started by the systemd timer or cron,
// nobody reads its output. Through a sender the tests can replace; the program's own speaks to the
// session's notification service (platform/DesktopNotification.h).

#include "sync/Scheduler.h"
#include "watch/RunSummary.h"

namespace tessel::batch {

class NoticeSender {
  public:
    virtual ~NoticeSender() = default;
    // Tells the desktop; a desktop that cannot be told is no failure of the run, and says nothing.
    virtual void send(const RunNotice& notice) = 0;
};

// One notice for each run of `report` that failed or met a conflict (noticeFor), in the order they ran.
void sendNotices(const SchedulerReport& report, NoticeSender& sender);

}  // namespace tessel::batch
