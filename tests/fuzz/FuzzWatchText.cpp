// Text of any bytes, read as the text file beside a watch file and as watches to import. Nothing may
// crash, and a text file that reads is written back to a text that reads to the same entries.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "watch/WatchText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tessel::FileProblem problem;
    std::vector<tessel::WatchTextEntry> watches;
    (void)tessel::readWatchesText(text, "input", watches, problem);

    tessel::TextFile file;
    if (!tessel::readTextFile(text, "input", file, problem)) return 0;
    tessel::TextFile again;
    if (!tessel::readTextFile(tessel::textFileText(file), "written", again, problem)) std::abort();
    if (again.entries.size() != file.entries.size()) std::abort();
    for (std::size_t i = 0; i < file.entries.size(); ++i) {
        if (!(again.entries[i].key == file.entries[i].key) ||
            !(again.entries[i].extras == file.entries[i].extras) ||
            again.entries[i].unknownLines != file.entries[i].unknownLines)
            std::abort();
    }
    return 0;
}
