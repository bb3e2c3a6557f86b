#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <initializer_list>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/SysCall.h"
#include "platform/UniqueFd.h"

namespace tessel::platform {

namespace {

// A settings file is a few hundred bytes; anything this big is not one and is not read into memory.
constexpr std::size_t kMaxProfileSize = 1 << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

std::string joined(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (std::string_view piece : pieces) text += piece;
    return text;
}

// The name of a section line, nullopt for any other line.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trimmed(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    line.remove_prefix(1);
    return trimmed(line.substr(0, line.find(']')));
}

}  // namespace

Profile::Profile(std::string_view text) {
    // An editor may have saved the file with a byte order mark.
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
        m_byteOrderMark = true;
    }
    // A rewrite keeps the file's own line ends.
    const std::size_t firstEnd = text.find('\n');
    if (firstEnd != std::string_view::npos)
        m_lineEnd = firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n" : "\n";
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        m_lines.emplace_back(line);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
}

std::optional<std::size_t> Profile::findSection(std::string_view section) const {
    section = trimmed(section);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = sectionName(m_lines[i]);
        if (name && sameName(*name, section)) return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> Profile::findKey(std::size_t sectionLine, std::string_view key) const {
    key = trimmed(key);
    for (std::size_t i = sectionLine + 1; i < m_lines.size() && !sectionName(m_lines[i]); ++i) {
        const std::string_view line = trimmed(m_lines[i]);
        if (line.starts_with(';')) continue;
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && sameName(trimmed(line.substr(0, equals)), key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> Profile::value(std::string_view section, std::string_view key) const {
    const auto sectionLine = findSection(section);
    if (!sectionLine) return std::nullopt;
    const auto keyLine = findKey(*sectionLine, key);
    if (!keyLine) return std::nullopt;
    const std::string_view line = m_lines[*keyLine];
    std::string_view text = trimmed(line.substr(line.find('=') + 1));
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    return std::string(text);
}

bool Profile::setValue(std::string_view section, std::string_view key, std::string_view value) {
    const auto holdsLineBreak = [](std::string_view text) { return text.find_first_of("\r\n") != text.npos; };
    section = trimmed(section);
    key = trimmed(key);
    if (key.empty() || holdsLineBreak(section) || holdsLineBreak(key) || holdsLineBreak(value) ||
        key.find('=') != key.npos || key.front() == ';' || key.front() == '[' ||
        section.find(']') != section.npos)
        return false;

    const auto sectionLine = findSection(section);
    if (!sectionLine) {
        // A blank line keeps the new section apart from what the file held before.
        if (!m_lines.empty() && !trimmed(m_lines.back()).empty()) m_lines.emplace_back();
        m_lines.push_back(joined({"[", section, "]"}));
        m_lines.push_back(joined({key, "=", value}));
        return true;
    }
    if (const auto keyLine = findKey(*sectionLine, key)) {
        // The key keeps the spelling the file gave it.
        std::string& line = m_lines[*keyLine];
        line = joined({trimmed(std::string_view(line).substr(0, line.find('='))), "=", value});
        return true;
    }
    // After the section's last line that is not blank, so blank lines before the next section stay there.
    std::size_t last = *sectionLine;
    for (std::size_t i = *sectionLine + 1; i < m_lines.size() && !sectionName(m_lines[i]); ++i)
        if (!trimmed(m_lines[i]).empty()) last = i;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(last + 1), joined({key, "=", value}));
    return true;
}

std::string Profile::text() const {
    std::string text = m_byteOrderMark ? "\xEF\xBB\xBF" : "";
    for (const std::string& line : m_lines) {
        text += line;
        text += m_lineEnd;
    }
    return text;
}

bool loadProfile(const std::string& path, Profile& profile, std::error_code& error) {
    // Read-only access: a settings file the user may not change must still be readable. A pipe or a
    // device in its place must not hang the start.
    const UniqueFd fd(sys::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) return fail(error);
    if (S_ISDIR(info.st_mode)) return fail(error, std::make_error_code(std::errc::is_a_directory));
    if (!S_ISREG(info.st_mode)) return fail(error, WalkError::NotRegularFile);
    if (static_cast<std::uint64_t>(info.st_size) > kMaxProfileSize)
        return fail(error, std::make_error_code(std::errc::file_too_large));
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return fail(error);
        if (got == 0) break;
        if (text.size() + static_cast<std::size_t>(got) > kMaxProfileSize)
            return fail(error, std::make_error_code(std::errc::file_too_large));
        text.append(buffer, static_cast<std::size_t>(got));
    }
    profile = Profile(text);
    return true;
}

std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue) {
    Profile profile;
    std::error_code error;
    if (loadProfile(path, profile, error)) {
        if (auto value = profile.value(section, key)) return *value;
    }
    while (!defaultValue.empty() && isBlank(defaultValue.back())) defaultValue.remove_suffix(1);
    return std::string(defaultValue);
}

}  // namespace tessel::platform

namespace tessel::platform {

bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, std::error_code& error) {
    Profile profile;
    const bool exists = loadProfile(path, profile, error);
    if (!exists) {
        if (error != std::errc::no_such_file_or_directory) return false;
        error.clear();
    } else {
        // The rename would replace a file that its owner made read-only; the profile functions refuse.
        File probe;
        if (!probe.open(path, File::Mode::ReadWrite, error)) return false;
        if (!probe.close(error)) return false;
    }
    if (!profile.setValue(section, key, value))
        return fail(error, std::make_error_code(std::errc::invalid_argument));
    const std::string text = profile.text();
    return replaceFile(
        path,
        [&](File& file, std::error_code& writeError) {
            return file.writeAt(0, text.data(), text.size(), writeError);
        },
        error);
}

}  // namespace tessel::platform
