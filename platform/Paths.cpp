#include "platform/Paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/FileIo.h"

namespace tessel::platform {

bool currentFolder(std::string& folder, std::error_code& error) {
    // getcwd wants a buffer at least as long as the path; deep folders need more than PATH_MAX.
    for (std::size_t capacity = 256; capacity <= (1u << 20); capacity *= 2) {
        std::string buffer(capacity, '\0');
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(buffer.find('\0'));
            folder = std::move(buffer);
            return true;
        }
        if (errno != ERANGE) break;
    }
    error = lastSystemError();
    return false;
}

bool resolvePath(const std::string& path, std::string& resolved, std::error_code& error) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real) {
        error = lastSystemError();
        return false;
    }
    resolved = real.get();
    return true;
}

}  // namespace tessel::platform
