// What the file-system matrix of tests/filesystems.sh needs besides tessel-batch:
//
//   tessel-fs-tool probe DIR      what Tessel's probe finds DIR's file system can do, on one line
//   tessel-fs-tool watch WATCH-FILE SRC DST [FLAG ...]   appends a watch ("*.*", Sync All, wide log)
//       with the flags: both (both directions), delete (delete absent files), move, update-old
//   tessel-fs-tool xattr-copy SRC-FILE DST-FOLDER   copies one file as a run would and says what the
//       destination could not hold ("dropped: attributes acls", or "dropped: none")

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/FileCopy.h"
#include "platform/FileSystemTraits.h"
#include "sync/RunContext.h"
#include "watch/RunDisplay.h"
#include "watch/WatchFile.h"

namespace {

using namespace tessel;

class Loud : public UserMessages {
  public:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void showWarning(const std::string& text, const std::string& caption) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
};

int probe(const std::string& path) {
    std::error_code error;
    const platform::Folder folder = platform::Folder::open(path, error);
    if (!folder.valid()) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), error.message().c_str());
        return 1;
    }
    std::printf("%s\n", platform::describeTraits(platform::probeFileSystem(folder)).c_str());
    return 0;
}

int addWatch(int argc, char** argv) {
    NullRunDisplay display;
    Loud messages;
    RunContext context{display, messages, argv[2], "/dev/null"};
    TWatchRec watch;
    InitWatchRec(watch);
    watch.RunMode = rmManual;
    watch.TuneMode = tmSyncAll;
    watch.WideLog = 1;
    for (int i = 5; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "both")
            watch.BiDirect = 1;
        else if (flag == "delete")
            watch.DeleteAbsent = 1;
        else if (flag == "move")
            watch.FileAction = faMove;
        else if (flag == "update-old")
            watch.TuneMode = tmUpdateOld;
        else
            return std::fprintf(stderr, "unknown flag %s\n", argv[i]), 2;
    }
    if (!setText(watch.SourceDir, argv[3]) || !setText(watch.DestDir, argv[4]) ||
        !setText(watch.FileMask, "*.*") || !AppendWatchRec(context, watch, argv[2])) {
        std::fprintf(stderr, "cannot add the watch %s -> %s\n", argv[3], argv[4]);
        return 1;
    }
    return 0;
}

int copyOne(const std::string& file, const std::string& destination) {
    const std::size_t slash = file.rfind('/');
    const std::string folderPath = slash == std::string::npos ? "." : file.substr(0, slash);
    const std::string name = file.substr(slash + 1);
    std::error_code error;
    const platform::Folder source = platform::Folder::open(folderPath, error);
    const platform::Folder target = platform::Folder::open(destination, error);
    platform::FileInfo info;
    if (!source.valid() || !target.valid() ||
        platform::examine(source, name, platform::ListedType::Unknown, info, error) !=
            platform::EntryKind::File) {
        std::fprintf(stderr, "cannot open %s or %s: %s\n", file.c_str(), destination.c_str(),
                     error.message().c_str());
        return 1;
    }
    platform::FileSystems fileSystems;
    platform::Dropped dropped;
    if (!platform::copyFile(source, name, info, target, name, nullptr, fileSystems.of(target), error, nullptr,
                            &dropped)) {
        std::fprintf(stderr, "cannot copy %s: %s\n", file.c_str(), error.message().c_str());
        return 1;
    }
    std::printf("dropped:%s%s%s\n", dropped.attributes ? " attributes" : "", dropped.acls ? " acls" : "",
                dropped.attributes || dropped.acls ? "" : " none");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "probe" && argc == 3) return probe(argv[2]);
    if (command == "watch" && argc >= 5) return addWatch(argc, argv);
    if (command == "xattr-copy" && argc == 4) return copyOne(argv[2], argv[3]);
    std::fprintf(stderr,
                 "usage: %s probe DIR\n"
                 "       %s watch WATCH-FILE SRC DST [both|delete|move|update-old ...]\n"
                 "       %s xattr-copy SRC-FILE DST-FOLDER\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
