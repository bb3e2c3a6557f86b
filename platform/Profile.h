#pragma once
// Profile (INI) files, read the way the Windows profile functions read them: "[section]" lines, each
// followed by its "key=value" lines. Section and key names match without regard to ASCII letter
// case, and blanks around names and values do not count.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tessel::platform {

class Profile {
public:
    Profile() = default;
    explicit Profile(std::string_view text);

    // The value of `key` in the first section named `section`; nullopt when either is missing.
    // A value enclosed in a pair of matching quotes loses them.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

private:
    // The file is kept line by line, comments and all, so that changing one value can later write
    // every other line back untouched.
    std::optional<std::size_t> findSection(std::string_view section) const;
    std::optional<std::size_t> findKey(std::size_t sectionLine, std::string_view key) const;

    std::vector<std::string> m_lines;
};

// Reads the profile at `path`. False, with the system's reason, when the file cannot be read; a
// missing file is such a failure too (std::errc::no_such_file_or_directory).
bool loadProfile(const std::string& path, Profile& profile, std::error_code& error);

// GetPrivateProfileStringA's answer: the value, or `defaultValue` without its trailing blanks when the
// file, the section or the key is missing or the file cannot be read.
std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue);

}  // namespace tessel::platform
