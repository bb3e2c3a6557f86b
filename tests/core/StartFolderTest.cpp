// Where Tessel keeps its files when a folder option says so: the user's data folder by the desktop's
// rules, and the folder made and entered at the start.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/UserFolders.h"
#include "support/TestSupport.h"
#include "watch/StartFolder.h"

namespace tessel {
namespace {

TEST(StartFolder, TheUserFolderFollowsTheBaseDirectoryRules) {
    struct Case {
        std::optional<std::string> dataHome;
        std::optional<std::string> configHome;
        std::optional<std::string> home;
        std::string tesselFolder;
        std::string configFolder;
    };
    for (const Case& c : std::vector<Case>{
             {"/data", "/config", "/home/me", "/data/tessel", "/config"},
             {std::nullopt, std::nullopt, "/home/me", "/home/me/.local/share/tessel", "/home/me/.config"},
             // Empty or relative values do not count.
             {"", "", "/home/me", "/home/me/.local/share/tessel", "/home/me/.config"},
             {"share", "config", "/home/me", "/home/me/.local/share/tessel", "/home/me/.config"},
             {"/data", "/config", "relative", "/data/tessel", "/config"},
         }) {
        SCOPED_TRACE(c.tesselFolder);
        test::ScopedEnvironment data("XDG_DATA_HOME", c.dataHome);
        test::ScopedEnvironment config("XDG_CONFIG_HOME", c.configHome);
        test::ScopedEnvironment home("HOME", c.home);
        EXPECT_EQ(userTesselFolder(), c.tesselFolder);
        EXPECT_EQ(platform::userConfigHome(), c.configFolder);
    }
}

TEST(StartFolder, IsMadeWhenMissingAndEntered) {
    test::TempDir dir;
    char* start = getcwd(nullptr, 0);
    ASSERT_NE(start, nullptr);
    const std::string back = start;
    std::free(start);

    std::string problem;
    ASSERT_TRUE(enterStartFolder(dir / "new/deeper/tessel", problem)) << problem;
    EXPECT_EQ(test::permissions(dir / "new/deeper/tessel") & 0777, 0700u) << "the user's alone";
    char* now = getcwd(nullptr, 0);
    EXPECT_EQ(std::string(now != nullptr ? now : ""), dir / "new/deeper/tessel");
    std::free(now);
    EXPECT_TRUE(enterStartFolder(dir / "new", problem)) << "an existing folder is entered as it is";

    test::writeFile(dir / "file", "x");
    for (const std::string& folder : {dir / "file", dir / "file/below"}) {
        problem.clear();
        EXPECT_FALSE(enterStartFolder(folder, problem));
        EXPECT_NE(problem.find(folder), std::string::npos) << problem;
        EXPECT_NE(problem.find("Not a directory"), std::string::npos) << problem;
    }
    EXPECT_EQ(test::readFile(dir / "file"), "x");
    ASSERT_EQ(chdir(back.c_str()), 0);
}

}  // namespace
}  // namespace tessel
