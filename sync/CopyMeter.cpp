#include "sync/CopyMeter.h"

#include <algorithm>

namespace tessel {

RunDisplay::PlanChange CopyMeter::plannedFor(const FileOrder& order) {
    const auto sizeOf = [](const platform::FileInfo& info) {
        return info.kind == platform::EntryKind::File ? static_cast<std::int64_t>(info.size) : 0;
    };
    switch (order.kind) {
        case FileOrder::Kind::Copy:
            return {.bytes = sizeOf(order.info[order.from]), .sized = 1};
        case FileOrder::Kind::ConflictCopy:
            return {.bytes = sizeOf(order.info[order.from]) + sizeOf(order.info[1 - order.from]), .sized = 1};
        case FileOrder::Kind::CopyUnlooked:
            return {.unsized = 1};
        case FileOrder::Kind::Move:
        case FileOrder::Kind::FinishMove:
        case FileOrder::Kind::Rename:
            return {};
    }
    return {};
}

void CopyMeter::starting(std::uint64_t size) {
    RunDisplay::PlanChange change;
    // A file larger than the walk saw, or one copied again after it changed, adds to the plan.
    const std::uint64_t expected = m_copied + size;
    if (expected > m_planned) {
        change.bytes = static_cast<std::int64_t>(expected - m_planned);
        m_planned = expected;
    }
    // A first copy learns its size now; a move that must copy becomes a copy now.
    if (!m_counted) {
        change.sized = 1;
        m_counted = true;
    }
    if (m_unsized) {
        change.unsized = -1;
        m_unsized = false;
    }
    if (!change.empty()) m_display.changePlan(change);
    m_fileSize = size;
    m_fileDone = 0;
    if (!large()) return;
    if (m_path.empty()) m_path = m_order.root[m_order.from] + m_order.relative + m_order.name;
    m_display.showFileProgress(m_path, 0, m_fileSize);
}

void CopyMeter::advanced(std::uint64_t bytes) {
    m_copied += bytes;
    m_fileDone = std::min(m_fileDone + bytes, m_fileSize);
    m_display.addCopiedBytes(bytes);
    if (large()) m_display.showFileProgress(m_path, m_fileDone, m_fileSize);
}

void CopyMeter::finish() {
    RunDisplay::PlanChange change;
    if (m_planned > m_copied) change.bytes = -static_cast<std::int64_t>(m_planned - m_copied);
    m_planned = m_copied;
    if (m_unsized) change.unsized = -1;
    m_unsized = false;
    if (!change.empty()) m_display.changePlan(change);
    if (large() && m_fileDone < m_fileSize) m_display.showFileProgress(m_path, m_fileSize, m_fileSize);
    m_fileSize = m_fileDone = 0;
}

}  // namespace tessel
