#include "sync/SyncFolder.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "platform/Wildcard.h"
#include "sync/DiskApplier.h"
#include "sync/OneWayPass.h"
#include "sync/RunState.h"
#include "sync/TreeWalk.h"

namespace tessel {

namespace {

using platform::EntryKind;
using platform::ListedType;

// Counts the files of one tree that match the masks, as the walks see them: a name listed as a regular
// file without a look, any other name (a link, a type the listing does not tell) by what it is.
class CountPass : public TreeWalk::Pass {
  public:
    explicit CountPass(const std::vector<std::string>& masks) : m_masks(masks) {}
    std::int64_t count = 0;

    TreeWalk::Sides sides() const override {
        TreeWalk::Sides sides;
        sides.reads[kSource] = false;
        return sides;
    }
    unsigned looksAt(const bool (&)[2], const WalkEntry& entry) const override {
        if (!entry.on[kSource] || !counts(*entry.name) || entry.type[kSource] == ListedType::File) return 0;
        return 1u << kSource;
    }
    void file(WalkFolder&, const WalkEntry& entry, Seen& seen) override {
        if (!entry.on[kSource] || !counts(*entry.name)) return;
        if (entry.type[kSource] == ListedType::File || seen.info[kSource].kind == EntryKind::File) ++count;
    }
    void entered(WalkFolder&, WalkFolder&) override {}
    void left(const std::shared_ptr<WalkFolder>&) override {}

  private:
    bool counts(const std::string& name) const {
        if (m_masks.empty()) return true;
        for (const std::string& mask : m_masks)
            if (platform::matchesMask(mask, name)) return true;
        return false;
    }
    const std::vector<std::string>& m_masks;
};

}  // namespace

RunResult SyncFolder(RunContext& context, const std::string& SourceFolder,
                     const std::string& DestinationFolder, const std::string& Mask, std::uint8_t FileAction,
                     const TWatchRec& Watch) {
    RunState run(context);
    DiskApplier applier(run);
    OneWaySettings settings;
    settings.mask = Mask;
    settings.tuneMode = Watch.TuneMode;
    settings.move = FileAction != faCopy;
    settings.wideLog = isOn(Watch.WideLog);
    OneWayPass(run, applier, settings, SourceFolder, DestinationFolder).run();
    return run.result;
}

namespace {

// A context that shows and asks nothing, for the counts.
struct QuietContext {
    NullRunDisplay display;
    class NoMessages : public UserMessages {
      public:
        void showMessage(const std::string&) override {}
        void showWarning(const std::string&, const std::string&) override {}
    } messages;
    RunContext context{display, messages};
};

std::int64_t countIn(RunContext& context, const std::string& folder, const std::vector<std::string>& masks,
                     const WalkRules& rules, platform::FileSystems* fileSystems = nullptr) {
    RunState run(context, RunState::Output::ObserverOnly, fileSystems);
    DiskApplier applier(run);
    std::error_code error;
    platform::Folder roots[2];
    roots[kSource] = platform::Folder::open(withTrailingSlash(folder), error);
    if (!roots[kSource].valid()) return 0;
    CountPass pass(masks);
    const auto top = std::make_shared<WalkFolder>();
    top->on[kSource] = true;
    const std::string names[2] = {withTrailingSlash(folder), {}};
    TreeWalk walk(run, applier, pass, names, rules);
    walk.walk(roots, top);
    return pass.count;
}

}  // namespace

struct FileCountAhead::Quiet : QuietContext {};

std::int64_t countMatchingFiles(const std::string& folder, const std::vector<std::string>& masks,
                                const WalkRules& rules) {
    QuietContext quiet;
    return countIn(quiet.context, folder, masks, rules);
}

FileCountAhead::FileCountAhead(std::string folder, WalkRules rules, RunDisplay& display,
                               platform::FileSystems& fileSystems)
    : m_quiet(std::make_unique<Quiet>()) {
    m_thread =
        std::thread([this, &display, &fileSystems, folder = std::move(folder), rules = std::move(rules)] {
            {
                // A run over within the delay (a re-sync with nothing to do) pays nothing for a count.
                std::unique_lock lock(m_mutex);
                if (m_ended.wait_for(lock, kCountDelay, [this] { return m_ending; })) return;
            }
            const std::int64_t count = countIn(m_quiet->context, folder, {}, rules, &fileSystems);
            if (!m_quiet->context.stopRequested())
                display.extendProgressRange(static_cast<int>(
                    std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max())));
        });
}

FileCountAhead::~FileCountAhead() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_ended.notify_all();
    m_quiet->context.requestStop();
    m_thread.join();
}

std::int32_t CountFiles(const std::string& Folder, const WalkRules& rules) {
    const std::int64_t count = countMatchingFiles(Folder, {}, rules);
    return count > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                            : static_cast<std::int32_t>(count);
}

}  // namespace tessel
