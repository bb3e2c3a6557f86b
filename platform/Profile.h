#pragma once
// Profile (INI) files, read and written the way the Windows profile functions do it: "[section]"
// lines, each followed by its "key=value" lines. Section and key names match without regard to ASCII
// letter case, and blanks around names and values do not count.

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

    // Gives `key` in the first section named `section` the value `value`: an existing key line is
    // replaced where it stands, a missing key goes after the last line of its section, a missing section
    // goes to the end. Every other line stays as it was. False, changing nothing, for names or a value
    // that a profile line cannot hold (an empty key, a line break anywhere, "=" in the key, "]" in the
    // section).
    bool setValue(std::string_view section, std::string_view key, std::string_view value);

    // The whole profile, every line ended the way the file ended its first line (CR LF for a new one).
    std::string text() const;

  private:
    // The file is kept line by line, comments and all, so that changing one value writes every other
    // line back untouched.
    std::optional<std::size_t> findSection(std::string_view section) const;
    std::optional<std::size_t> findKey(std::size_t sectionLine, std::string_view key) const;

    std::vector<std::string> m_lines;
    bool m_byteOrderMark = false;
    std::string m_lineEnd = "\r\n";
};

// Reads the profile at `path`. False, with the system's reason, when the file cannot be read; a
// missing file is such a failure too (std::errc::no_such_file_or_directory).
bool loadProfile(const std::string& path, Profile& profile, std::error_code& error);

// GetPrivateProfileStringA's answer: the value, or `defaultValue` without its trailing blanks when the
// file, the section or the key is missing or the file cannot be read.
std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue);

// WritePrivateProfileStringA: sets `key` of `section` in the profile at `path` (see Profile::setValue),
// creating the file when it is missing. The new content goes to a temporary beside the file, reaches the
// disk and then takes the file's place in one rename, so the file is always either the old or the new
// one. A link is followed to the file it names. A read-only file is not replaced. False, with the
// reason, when anything fails; the file is then as it was.
bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, std::error_code& error);

}  // namespace tessel::platform
