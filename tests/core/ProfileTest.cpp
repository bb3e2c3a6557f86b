#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

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

    const Settings first = firstStartSettings(dir.path());
    EXPECT_EQ(first.WatchFilePath, base + "Data/WatchDef.wth");
    EXPECT_EQ(first.LogFilePath, base + "WatchLog.Log");

    test::NoPermissionOverride asUser;
    chmod((dir / "Tessel.ini").c_str(), 0);
    EXPECT_FALSE(readSettings(dir.path(), settings, error)) << "unreadable is not missing";
    EXPECT_EQ(settings.WatchFilePath, base + "WatchDef.wth");
}

}  // namespace
}  // namespace tessel
