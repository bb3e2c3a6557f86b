#include "platform/WorkingNames.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "platform/FileSystemTraits.h"
#include "platform/Versions.h"

namespace tessel::platform {

namespace {

pid_t processId() {
    static const pid_t id = ::getpid();
    return id;
}

// Whether `name` is ".tessel-" + 8 digits + "-" + 8 digits + `suffix`, the digits lower-case
// hexadecimal; the first 8 are the process's id.
bool hasWorkingForm(std::string_view name, std::string_view suffix, pid_t& pid) {
    const std::size_t length = kTemporaryPrefix.size() + 8 + 1 + 8 + suffix.size();
    if (name.size() != length || !name.starts_with(kTemporaryPrefix) || !name.ends_with(suffix)) return false;
    const std::string_view pidDigits = name.substr(kTemporaryPrefix.size(), 8);
    const std::string_view counterDigits = name.substr(kTemporaryPrefix.size() + 9, 8);
    if (name[kTemporaryPrefix.size() + 8] != '-') return false;
    const auto isHex = [](std::string_view digits) {
        return std::all_of(digits.begin(), digits.end(),
                           [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
    };
    if (!isHex(pidDigits) || !isHex(counterDigits)) return false;
    pid = static_cast<pid_t>(std::stoul(std::string(pidDigits), nullptr, 16));
    return true;
}

}  // namespace

std::string temporaryName() {
    static std::atomic<unsigned> counter{0};
    char name[64];
    std::snprintf(name, sizeof name, "%.*s%08x-%08x.tmp", static_cast<int>(kTemporaryPrefix.size()),
                  kTemporaryPrefix.data(), static_cast<unsigned>(processId()), ++counter);
    return name;
}

bool isStaleTemporary(std::string_view name) {
    return isLeftByDeadProcess(name, ".tmp");
}

bool isWorkingName(std::string_view name) {
    if (name.size() == kVersionsFolderName.size() &&
        std::equal(name.begin(), name.end(), kVersionsFolderName.begin(), [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
        }))
        return true;
    pid_t pid = 0;
    return hasWorkingForm(name, ".tmp", pid) || hasWorkingForm(name, kProbeFolderSuffix, pid);
}

bool isLeftByDeadProcess(std::string_view name, std::string_view suffix) {
    pid_t pid = 0;
    if (!hasWorkingForm(name, suffix, pid)) return false;
    if (pid <= 0 || pid == processId()) return false;
    // A process that still runs may be writing it right now.
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

void removeStaleTemporaries(const Folder& folder, const std::vector<ListedName>& names) {
    for (const ListedName& entry : names) {
        // A link copied as a link has a temporary name too, until it replaces what it is to replace.
        if ((entry.type == ListedType::File || entry.type == ListedType::Link) &&
            isStaleTemporary(entry.name))
            ::unlinkat(folder.fd(), entry.name.c_str(), 0);
        else if (entry.type != ListedType::File && isStaleProbeFolder(entry.name))
            removeProbeFolder(folder, entry.name);
    }
}

}  // namespace tessel::platform
