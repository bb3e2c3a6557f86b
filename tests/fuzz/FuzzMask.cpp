// The mask matcher against any mask and any name: no crash, no endless backtracking, and a name
// without wildcards always matches itself.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/Wildcard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\n');
    const std::string_view mask = input.substr(0, split);
    const std::string_view name =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    tessel::platform::matchesMask(mask, name);

    const bool plain =
        !name.empty() && name.find_first_of("*?") == std::string_view::npos && name.back() != '.';
    if (plain && !tessel::platform::matchesMask(name, name)) std::abort();
    if (!name.empty() && !tessel::platform::matchesMask("*", name)) std::abort();
    return 0;
}
