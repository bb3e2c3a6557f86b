#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "platform/Faults.h"
#include "platform/Profile.h"
#include "support/PermissionOverride.h"
#include "support/TestSupport.h"
#include "watch/Settings.h"

namespace tessel {
namespace {

using platform::Profile;

TEST(Profile, FindsValuesWhateverTheCaseAndBlanks) {
    const Profile profile(
        "\xEF\xBB\xBF"
        "Key=before any section\r\n"
        "  [ Main ]  \r\n"
        "; Key=commented out\r\n"
        "\tDataFullPath \t=  /home/u/Data  \r\n"
        "Quoted = \"  spaced  \"\r\n"
        "Empty=\r\n"
        "Twice=first\r\n"
        "Twice=second\r\n"
        "no equals sign\r\n"
        "[Other]\n"
        "Only=other\n"
        "[main]\n"
        "Late=second section of the same name\n");
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    };
    for (const Case& c : std::vector<Case>{
             {"Main", "DataFullPath", "/home/u/Data"},
             {"MAIN", "datafullpath", "/home/u/Data"},
             {" main ", " DataFullPath ", "/home/u/Data"},
             {"Main", "Quoted", "  spaced  "},
             {"Main", "Empty", ""},
             {"Main", "Twice", "first"},
             {"other", "ONLY", "other"},
             {"Main", "Key", std::nullopt},
             {"Main", "Only", std::nullopt},
             {"Main", "no equals sign", std::nullopt},
             {"Main", "Late", std::nullopt},
             {"Missing", "DataFullPath", std::nullopt},
         }) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(profile.value(c.section, c.key), c.value);
    }
}

TEST(Profile, MissingOrUnreadableFilesGiveTheDefault) {
    test::TempDir dir;
    test::writeFile(dir / "a.ini", "[Main]\nKey=value\n");
    EXPECT_EQ(platform::readProfileString(dir / "a.ini", "main", "key", "default"), "value");
    EXPECT_EQ(platform::readProfileString(dir / "a.ini", "Main", "Other", "default  "), "default");
    EXPECT_EQ(platform::readProfileString(dir / "a.ini", "Side", "Key", "default"), "default");
    EXPECT_EQ(platform::readProfileString(dir / "none.ini", "Main", "Key", "default"), "default");

    Profile profile;
    std::error_code error;
    EXPECT_FALSE(platform::loadProfile(dir.path(), profile, error)) << "a folder";
    EXPECT_TRUE(error);
    // A pipe in its place with no writer: refused at once, not waited on.
    ASSERT_EQ(mkfifo((dir / "pipe.ini").c_str(), 0600), 0);
    EXPECT_FALSE(platform::loadProfile(dir / "pipe.ini", profile, error));
    EXPECT_EQ(error.message(), "not a regular file");
    test::NoPermissionOverride asUser;
    chmod((dir / "a.ini").c_str(), 0);
    EXPECT_EQ(platform::readProfileString(dir / "a.ini", "Main", "Key", "default"), "default");
}

TEST(Settings, MissingKeysTakeTheirDefaults) {
    test::TempDir dir;
    const std::string base = dir.path() + "/";
    Settings settings;
    std::error_code error;
    ASSERT_TRUE(readSettings(dir.path(), settings, error)) << "no settings file";
    EXPECT_EQ(settings.WatchFilePath, base + "WatchDef.wth");

    // An empty section Main puts the watch file beside the settings file, not into Data.
    test::writeFile(dir / "Tessel.ini", "[Main]\n");
    ASSERT_TRUE(readSettings(base, settings, error));
    EXPECT_EQ(settings.DataPath, base + "Data");
    EXPECT_EQ(settings.WatchFilePath, base + "WatchDef.wth");
    EXPECT_EQ(settings.LogFilePath, base + "WatchLog.Log");
    EXPECT_EQ(settings.MinimizeOnStartFlag, "0");

    test::writeFile(dir / "Tessel.ini",
                    "[MAIN]\ndatafullpath=/d\nDefFileNameFullPath = /w.wth\nDEFLOGNAMEFULLPATH=/l.Log\n"
                    "MinimizeOnStart=1\n");
    ASSERT_TRUE(readSettings(dir.path(), settings, error));
    EXPECT_EQ(settings.DataPath, "/d");
    EXPECT_EQ(settings.WatchFilePath, "/w.wth");
    EXPECT_EQ(settings.LogFilePath, "/l.Log");
    EXPECT_EQ(settings.MinimizeOnStartFlag, "1");

    // The run options: whole numbers in their range, anything else their defaults.
    const struct {
        const char* lines;
        int limit, days;
        bool versions;
        int rescanHours, fallbackMinutes;
    } options[] = {
        {"", 50, 30, true, 24, 10},
        {"DeleteLimitPercent=80 %\nKeepVersions=0\nVersionDays=7\nRescanHours=6\nFallbackMinutes=1\n", 80, 7,
         false, 6, 1},
        {"DeleteLimitPercent=101\nKeepVersions=yes\nVersionDays=-1\nRescanHours=0\nFallbackMinutes=1441\n",
         50, 30, true, 24, 10}};
    for (const auto& option : options) {
        SCOPED_TRACE(option.lines);
        test::writeFile(dir / "Tessel.ini", std::string("[Main]\n") + option.lines);
        ASSERT_TRUE(readSettings(dir.path(), settings, error));
        EXPECT_EQ(settings.options.deleteLimitPercent, option.limit);
        EXPECT_EQ(settings.options.versionDays, option.days);
        EXPECT_EQ(settings.options.keepVersions, option.versions);
        EXPECT_EQ(settings.options.rescanHours, option.rescanHours);
        EXPECT_EQ(settings.options.fallbackMinutes, option.fallbackMinutes);
    }

    const Settings first = firstStartSettings(dir.path());
    EXPECT_EQ(first.WatchFilePath, base + "Data/WatchDef.wth");
    EXPECT_EQ(first.LogFilePath, base + "WatchLog.Log");

    test::NoPermissionOverride asUser;
    chmod((dir / "Tessel.ini").c_str(), 0);
    EXPECT_FALSE(readSettings(dir.path(), settings, error)) << "unreadable is not missing";
    EXPECT_EQ(settings.WatchFilePath, base + "WatchDef.wth");
}

TEST(ProfileWriter, ChangesOnlyTheLineItMust) {
    test::TempDir dir;
    const std::string path = dir / "a.ini";
    const std::string original =
        "\xEF\xBB\xBF; Tessel's settings\r\n"
        "[Main]\r\n"
        "; MinimizeOnStart=commented out\r\n"
        "  minimizeonstart = 0\r\n"
        "DataFullPath=/d\r\n"
        "\r\n"
        "[Other]\r\n"
        "MinimizeOnStart=other section\r\n";
    struct Case {
        const char* name;
        const char* section;
        const char* key;
        const char* value;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{
             {"replaced in place, spelling kept", "main", "MinimizeOnStart", "1",
              "\xEF\xBB\xBF; Tessel's settings\r\n[Main]\r\n; MinimizeOnStart=commented out\r\n"
              "minimizeonstart=1\r\nDataFullPath=/d\r\n\r\n[Other]\r\nMinimizeOnStart=other section\r\n"},
             {"missing key after the section's last line", "Main", "DefLogNameFullPath", "/l.Log",
              "\xEF\xBB\xBF; Tessel's settings\r\n[Main]\r\n; MinimizeOnStart=commented out\r\n"
              "  minimizeonstart = 0\r\nDataFullPath=/d\r\nDefLogNameFullPath=/l.Log\r\n\r\n[Other]\r\n"
              "MinimizeOnStart=other section\r\n"},
             {"missing section at the end", "Last", "Key", "v", original + "\r\n[Last]\r\nKey=v\r\n"},
         }) {
        SCOPED_TRACE(c.name);
        test::writeFile(path, original);
        std::error_code error;
        ASSERT_TRUE(platform::writeProfileString(path, c.section, c.key, c.value, error)) << error.message();
        EXPECT_EQ(test::readFile(path), c.expected);
        EXPECT_EQ(platform::readProfileString(path, c.section, c.key, "default"), c.value);
    }

    // A file with plain line feeds keeps them; one without a final line end gets one.
    test::writeFile(path, "[Main]\nA=1\n[B]\nC=2");
    std::error_code error;
    ASSERT_TRUE(platform::writeProfileString(path, "Main", "D", "4", error));
    EXPECT_EQ(test::readFile(path), "[Main]\nA=1\nD=4\n[B]\nC=2\n");
}

TEST(ProfileWriter, RefusesWhatWouldBreakTheFileAndLeavesItAsItWas) {
    test::TempDir dir;
    const std::string path = dir / "a.ini";
    const std::string original = "[Main]\r\nKey=old\r\n";
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    for (const Case& c : std::vector<Case>{{"Main", "Key", "two\nlines"},
                                           {"Main", "Key", "carriage\rreturn"},
                                           {"Main", "", "v"},
                                           {"Main", "a=b", "v"},
                                           {"Main", ";comment", "v"},
                                           {"Ma]in", "Key", "v"},
                                           {"Ma\nin", "Key", "v"}}) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        test::writeFile(path, original);
        std::error_code error;
        EXPECT_FALSE(platform::writeProfileString(path, c.section, c.key, c.value, error));
        EXPECT_EQ(error, std::errc::invalid_argument);
        EXPECT_EQ(test::readFile(path), original);
    }
    EXPECT_EQ(test::listFolder(dir.path()), std::vector<std::string>{"a.ini"}) << "no temporary left";
}

TEST(ProfileWriter, FailuresLeaveTheOldFileAndSayWhy) {
    test::TempDir dir;
    const std::string original = "[Main]\r\nKey=old\r\n";
    test::makeFolders(dir / "ro");
    for (const char* name : {"ro/a.ini", "b.ini", "c.ini"}) test::writeFile(dir / name, original);
    chmod((dir / "b.ini").c_str(), 0444);
    chmod((dir / "ro").c_str(), 0555);
    test::NoPermissionOverride asUser;
    // A new file and an existing one in a read-only folder; a read-only file in a writable folder,
    // which the rename could replace but its owner made read-only.
    for (const char* name : {"ro/new.ini", "ro/a.ini", "b.ini"}) {
        SCOPED_TRACE(name);
        std::error_code error;
        EXPECT_FALSE(platform::writeProfileString(dir / name, "Main", "Key", "new", error));
        EXPECT_EQ(error, std::errc::permission_denied);
    }
    EXPECT_FALSE(test::exists(dir / "ro/new.ini"));
    EXPECT_EQ(test::readFile(dir / "ro/a.ini"), original);
    EXPECT_EQ(test::readFile(dir / "b.ini"), original);
#ifdef TESSEL_FAULT_INJECTION
    // The disk fills up while the new content is written.
    platform::faults::inject(platform::faults::Operation::Write, 1, ENOSPC);
    std::error_code error;
    EXPECT_FALSE(platform::writeProfileString(dir / "c.ini", "Main", "Key", "new", error));
    platform::faults::clear();
    EXPECT_EQ(error, std::errc::no_space_on_device);
    EXPECT_EQ(test::readFile(dir / "c.ini"), original);
#endif
    EXPECT_EQ(test::listFolder(dir.path()), (std::vector<std::string>{"b.ini", "c.ini", "ro"}))
        << "no temporary left";
}

TEST(ProfileWriter, WritesThroughALinkToTheFileItNames) {
    test::TempDir dir;
    test::writeFile(dir / "real.ini", "[Main]\nKey=old\n");
    ASSERT_EQ(symlink("real.ini", (dir / "link.ini").c_str()), 0);
    std::error_code error;
    ASSERT_TRUE(platform::writeProfileString(dir / "link.ini", "Main", "Key", "new", error));
    EXPECT_EQ(test::readFile(dir / "real.ini"), "[Main]\nKey=new\n");
    struct stat info {};
    ASSERT_EQ(lstat((dir / "link.ini").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

}  // namespace
}  // namespace tessel
