// The splitter of after-sync program parameters: no crash on any text, and words that are quoted
// again and joined split back into the same words.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sync/Parameters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto words = tessel::splitParameters(input);
    if (!words) return 0;
    std::string quoted;
    for (const std::string& word : *words) {
        quoted += '\'';
        for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        quoted += "' ";
    }
    const auto again = tessel::splitParameters(quoted);
    if (!again || *again != *words) std::abort();
    return 0;
}
