#include "platform/Wildcard.h"

namespace tessel::platform {

namespace {

char folded(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Glob match in linear time: on a mismatch, retry from the last `*` one character further on.
bool globMatch(std::string_view mask, std::string_view name) {
    std::size_t m = 0, n = 0;
    std::size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || folded(mask[m]) == folded(name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

}  // namespace

bool matchesMask(std::string_view mask, std::string_view name) {
    if (mask.empty() || name.empty()) return false;
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*") {
        return globMatch(mask, name) || globMatch(mask.substr(0, mask.size() - 2), name);
    }
    if (mask.back() == '.') {
        return name.find('.') == std::string_view::npos && globMatch(mask.substr(0, mask.size() - 1), name);
    }
    return globMatch(mask, name);
}

}  // namespace tessel::platform
