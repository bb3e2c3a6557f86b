// What bench/run.sh needs besides the programs it times:
//
//   tessel-bench tree DIR FILES FOLDERS BYTES   FILES files of BYTES random bytes in FOLDERS folders
//   tessel-bench watch WATCH-FILE SRC DST [SRC DST ...]   one watch per pair: "*.*", Sync All, copy
//   tessel-bench wide-watch WATCH-FILE SRC DST [...]     the same with the wide log (a line per file)
//   tessel-bench watch-both WATCH-FILE SRC DST [...]       the same with both directions
//   tessel-bench state STATE-FILE SRC DST   what the state of a two-way pair takes in memory

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "sync/RunContext.h"
#include "sync/SyncState.h"
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

int makeTree(const std::string& root, long files, long folders, long bytes) {
    std::vector<char> content(static_cast<std::size_t>(bytes));
    std::mt19937_64 random(42);
    for (char& c : content) c = static_cast<char>(random());
    if (mkdir(root.c_str(), 0755) != 0) return 1;
    for (long f = 0; f < files; ++f) {
        const std::string folder = root + "/d" + std::to_string(f % folders);
        if (f < folders && mkdir(folder.c_str(), 0755) != 0) return 1;
        // Each file differs in its first bytes, so no file system can share them.
        content[0] = static_cast<char>(f);
        content[content.size() > 1 ? 1 : 0] = static_cast<char>(f >> 8);
        const std::string path = folder + "/f" + std::to_string(f) + ".dat";
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 || write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()) ||
            close(fd) != 0)
            return 1;
    }
    return 0;
}

int makeWatchFile(int argc, char** argv, bool wideLog, bool both) {
    tessel::NullRunDisplay display;
    Loud messages;
    tessel::RunContext context{display, messages, argv[2], "/dev/null"};
    std::remove(argv[2]);
    for (int i = 3; i + 1 < argc; i += 2) {
        tessel::TWatchRec watch;
        tessel::InitWatchRec(watch);
        watch.RunMode = tessel::rmManual;
        watch.TuneMode = tessel::tmSyncAll;
        watch.WideLog = wideLog ? 1 : 0;
        watch.BiDirect = both ? 1 : 0;
        if (!tessel::setText(watch.SourceDir, argv[i]) || !tessel::setText(watch.DestDir, argv[i + 1]) ||
            !tessel::setText(watch.FileMask, "*.*") || !tessel::AppendWatchRec(context, watch, argv[2])) {
            std::fprintf(stderr, "cannot add the watch %s -> %s\n", argv[i], argv[i + 1]);
            return 1;
        }
    }
    return 0;
}

// Loads the state as a run does and says what it takes per file.
int measureState(const std::string& path, const std::string& source, const std::string& destination) {
    tessel::SyncState state;
    std::string why;
    if (state.load(path, source, destination, why) != tessel::SyncState::Loaded::Read) {
        std::fprintf(stderr, "cannot read the state %s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    std::printf("%zu files, %zu bytes, %.1f bytes per file\n", state.size(), state.memoryBytes(),
                static_cast<double>(state.memoryBytes()) /
                    static_cast<double>(std::max<std::size_t>(state.size(), 1)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "tree" && argc == 6)
        return makeTree(argv[2], std::atol(argv[3]), std::atol(argv[4]), std::atol(argv[5]));
    if ((command == "watch" || command == "wide-watch" || command == "watch-both") && argc >= 5 &&
        argc % 2 == 1)
        return makeWatchFile(argc, argv, command == "wide-watch", command == "watch-both");
    if (command == "state" && argc == 5) return measureState(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: %s tree DIR FILES FOLDERS BYTES\n"
                 "       %s watch|wide-watch|watch-both WATCH-FILE SRC DST [SRC DST ...]\n"
                 "       %s state STATE-FILE SRC DST\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
