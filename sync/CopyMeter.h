#pragma once
// What one file order's copies tell the display of their bytes: the plan as the order is made, the
// bytes copied as they arrive, and, for a file of more than one piece, its own progress.
//
// Threads: the walk thread tells the plan of an order (plannedFor) before the order goes to the pool, so
// a display hears of a copy before it hears of its bytes. The meter then belongs to the thread that does
// the order (a pool thread, or the walk thread when the run has one job) and calls only the display's
// calls of bytes, which any thread may make (RunDisplay).

#include <cstdint>
#include <string>

#include "platform/FileCopy.h"
#include "sync/Applier.h"
#include "watch/RunDisplay.h"

namespace tessel {

class CopyMeter final : public platform::CopyProgress {
  public:
    // What an order adds to the plan as the walk knows it: a copy of the source file's size (and of the
    // losing file's too for a conflict's copy), a copy of a size not known yet where the walk did not
    // look at the file (a first copy into a new folder), nothing where a rename may do (a move).
    static RunDisplay::PlanChange plannedFor(const FileOrder& order);

    // `planned` is what the walk thread has told the display of the order.
    CopyMeter(RunDisplay& display, const FileOrder& order, const RunDisplay::PlanChange& planned)
        : m_display(display),
          m_order(order),
          m_planned(static_cast<std::uint64_t>(planned.bytes)),
          m_counted(planned.sized > 0),
          m_unsized(planned.unsized > 0) {}
    CopyMeter(const CopyMeter&) = delete;
    CopyMeter& operator=(const CopyMeter&) = delete;

    void starting(std::uint64_t size) override;
    void advanced(std::uint64_t bytes) override;
    // The order is over, done or not, or was never begun: what was planned for it and not copied leaves
    // the plan, and a large file's own progress ends.
    void finish();

  private:
    bool large() const { return m_fileSize > platform::kCopyPiece; }

    RunDisplay& m_display;
    const FileOrder& m_order;
    std::uint64_t m_planned;       // the bytes the display has been told of for this order
    bool m_counted;                // the display counts the order as a copy of known size
    bool m_unsized;                // the display counts the order as a copy of unknown size
    std::uint64_t m_copied = 0;    // told as copied, over every copy of the order
    std::uint64_t m_fileSize = 0;  // the file in hand
    std::uint64_t m_fileDone = 0;
    std::string m_path;  // the source, once a large file needs it
};

}  // namespace tessel
