// Writes the watch file the benchmarks run: one watch per source/destination pair given, each copying
// every file ("*.*", Sync All) by hand.
//
//   tessel-bench-watch WATCH-FILE SOURCE DESTINATION [SOURCE DESTINATION ...]

#include <cstdio>
#include <string>

#include "watch/RunDisplay.h"
#include "watch/WatchFile.h"

namespace {

class Loud : public tessel::UserMessages {
public:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void showWarning(const std::string& text, const std::string& caption) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: %s WATCH-FILE SOURCE DESTINATION [SOURCE DESTINATION ...]\n", argv[0]);
        return 2;
    }
    tessel::NullRunDisplay display;
    Loud messages;
    tessel::Core core{display, messages, argv[1], "/dev/null"};
    std::remove(argv[1]);
    for (int i = 2; i + 1 < argc; i += 2) {
        tessel::TWatchRec watch;
        tessel::InitWatchRec(watch);
        watch.RunMode = tessel::rmManual;
        watch.TuneMode = tessel::tmSyncAll;
        if (!tessel::setText(watch.SourceDir, argv[i]) || !tessel::setText(watch.DestDir, argv[i + 1]) ||
            !tessel::setText(watch.FileMask, "*.*") || !tessel::AppendWatchRec(core, watch, argv[1])) {
            std::fprintf(stderr, "cannot add the watch %s -> %s\n", argv[i], argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
