// A watch file of any bytes, read the way Tessel reads one: counted, every record read by position
// and in sequence, and listed as tessel-batch --list lists it. Nothing may crash or read out of bounds.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "batch/WatchListing.h"
#include "sync/RunContext.h"
#include "watch/WatchFile.h"

namespace {

class Quiet : public tessel::UserMessages {
  public:
    void showMessage(const std::string&) override {}
    void showWarning(const std::string&, const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        return std::string(folder != nullptr && folder[0] == '/' ? folder : "/tmp") + "/tessel-fuzz-" +
               std::to_string(getpid()) + ".wth";
    }();
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    tessel::NullRunDisplay display;
    Quiet messages;
    tessel::RunContext context{display, messages, path, "/dev/null"};
    const std::int32_t count = tessel::GetCountWatchRec(context, path);
    if (count != static_cast<std::int32_t>(size / tessel::kWatchRecSize)) std::abort();
    for (std::int32_t i = -1; i <= count; ++i) {
        const tessel::TWatchRec watch = tessel::ReadWatchRec(context, i);
        (void)tessel::watchListLine(static_cast<std::size_t>(i + 1), watch, false, "name", std::nullopt,
                                    tessel::Now());
    }
    std::vector<tessel::TWatchRec> watches;
    tessel::readAllWatchRecs(path, watches);
    if (watches.size() != static_cast<std::size_t>(count)) std::abort();
    for (std::size_t i = 0; i < watches.size(); ++i)
        (void)tessel::watchListLine(i, watches[i], true, "", std::nullopt, watches[i].LastRunTime);
    return 0;
}
