#include "watch/WatchRec.h"

#include <cstring>

namespace tessel {

void InitWatchRec(TWatchRec& watch) {
    watch = TWatchRec{};  // texts, flags, padding and OnTime all zero
    watch.WatchIndex = -1;
    watch.Interval = 600;
    watch.EditTime = Now();
    watch.LastRunTime = watch.EditTime;
    watch.RunMode = rmStop;
    watch.FileAction = faCopy;
    watch.Period = pd1Day;
    watch.TuneMode = -1;
}

bool setText(TextField& field, std::string_view text) {
    if (text.size() > kMaxTextLength) return false;
    std::memcpy(field, text.data(), text.size());
    std::memset(field + text.size(), 0, kTextFieldSize - text.size());
    return true;
}

std::string getText(const TextField& field) {
    const void* zero = std::memchr(field, 0, kMaxTextLength);
    const std::size_t length =
        zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : kMaxTextLength;
    return std::string(field, length);
}

}  // namespace tessel
