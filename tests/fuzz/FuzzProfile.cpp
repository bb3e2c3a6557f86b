// A settings file of any bytes: the first line names the section and key to look up, the rest is
// the file. Nothing may crash, and a value found never reaches past its own line.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto firstLine = input.find('\n');
    const std::string_view query = input.substr(0, firstLine);
    const std::string_view text =
        firstLine == std::string_view::npos ? std::string_view() : input.substr(firstLine + 1);
    const auto equals = query.find('=');
    const std::string_view section = query.substr(0, equals);
    const std::string_view key =
        equals == std::string_view::npos ? std::string_view() : query.substr(equals + 1);

    const tessel::platform::Profile profile(text);
    for (std::string_view name :
         {key, std::string_view("DefFileNameFullPath"), std::string_view("MinimizeOnStart")}) {
        const auto value = profile.value(section, name);
        if (value && value->find('\n') != std::string::npos) std::abort();
        (void)profile.value("Main", name);
    }
    return 0;
}
