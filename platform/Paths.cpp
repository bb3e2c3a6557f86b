#include "platform/Paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/FileIo.h"

namespace tessel::platform {

std::string normalisePath(const std::string& path) {
    if (path.empty()) return path;
    const bool absolute = path.front() == '/';
    const bool trailing = path.back() == '/';
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        const std::string part = path.substr(start, slash - start);
        start = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
                continue;
            }
            if (absolute) continue;  // nothing is above the root
        }
        parts.push_back(part);
    }
    std::string result = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) result += (i > 0 ? "/" : "") + parts[i];
    if (result.empty()) return trailing ? "./" : ".";
    if (trailing && result.back() != '/') result += '/';
    return result;
}

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
