// Tessel as desktop software: its command line, the autostart entry that the Settings menu writes, and
// the places where it finds its help pages.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/PermissionOverride.h"
#include "support/TestSupport.h"
#include "ui/Autostart.h"
#include "ui/Help.h"
#include "ui/MainWindow.h"
#include "ui/RunCoordinator.h"
#include "ui/TesselProgram.h"
#include "ui/UiTestSupport.h"
#include "ui/WatchList.h"
#include "ui/WindowCommands.h"
#include "ui/WindowRunDisplay.h"

namespace tessel {
namespace {

using test::FakeDialogs;
using test::TempDir;

TEST(StartOptions, TesselsOwnOptionsAreReadAndQtsAreLeftAlone) {
    test::ScopedEnvironment dataHome("XDG_DATA_HOME", "/data");
    struct Case {
        std::vector<std::string_view> arguments;
        bool valid;
        std::string folder;
        bool version = false;
        bool help = false;
    };
    for (const Case& c : std::vector<Case>{
             {{}, true, ""},
             {{"--folder", "/x"}, true, "/x"},
             {{"--folder=rel ative"}, true, "rel ative"},
             {{"--user-folder"}, true, "/data/tessel"},
             {{"-platform", "offscreen", "--user-folder", "-style", "fusion"}, true, "/data/tessel"},
             {{"--version"}, true, "", true},
             {{"-h"}, true, "", false, true},
             {{"--folder"}, false, ""},
             {{"--folder="}, false, ""},
             {{"--folder", "/x", "--user-folder"}, false, ""},
             {{"--user-folder", "--user-folder"}, false, ""},
             {{"--foldr", "/x"}, false, ""},
         }) {
        std::string joined;
        for (std::string_view argument : c.arguments) joined += std::string(argument) + " ";
        SCOPED_TRACE(joined);
        StartOptions options;
        std::string problem;
        EXPECT_EQ(parseStartOptions(c.arguments, options, problem), c.valid);
        EXPECT_EQ(problem.empty(), c.valid) << problem;
        if (!c.valid) continue;
        EXPECT_EQ(options.folder, c.folder);
        EXPECT_EQ(options.version, c.version);
        EXPECT_EQ(options.help, c.help);
    }
}

TEST(StartOptions, AFolderThatCannotBeMadeStopsTheStartWithABox) {
    TempDir dir;
    test::writeFile(dir / "file", "x");
    FakeDialogs dialogs;
    EXPECT_EQ(runTessel(false, dialogs, {}, dir / "file/tessel"), 1);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(dialogs.errors[0].text.toStdString(),
              "Tessel cannot keep the files in " + dir / "file/tessel" + ": Not a directory.");
    EXPECT_EQ(test::listFolder(dir.path()), std::vector<std::string>{"file"});
}

TEST(Autostart, ExecArgumentsAreQuotedAsTheDesktopEntryRulesSay) {
    struct Case {
        QString argument;
        QString value;
    };
    for (const Case& c : std::vector<Case>{
             {QStringLiteral("/usr/bin/tessel"), QStringLiteral("/usr/bin/tessel")},
             {QStringLiteral("/home/me/My Files"), QStringLiteral("\"/home/me/My Files\"")},
             {QStringLiteral("100%"), QStringLiteral("100%%")},
             {QStringLiteral("a\"b"), QStringLiteral("\"a\\\\\"b\"")},
             {QStringLiteral("$HOME`x`"), QStringLiteral("\"\\\\$HOME\\\\`x\\\\`\"")},
             {QStringLiteral("back\\slash"), QStringLiteral("\"back\\\\\\\\slash\"")},
             {QStringLiteral("line\nbreak"), QStringLiteral("\"line\\nbreak\"")},
             {QStringLiteral("it's"), QStringLiteral("\"it's\"")},
             {QString(), QStringLiteral("\"\"")},
         }) {
        SCOPED_TRACE(c.argument.toStdString());
        EXPECT_EQ(desktopExecArgument(c.argument), c.value);
    }
}

TEST(Autostart, TheMenuItemWritesAndRemovesTheEntryForThisFolder) {
    TempDir dir;
    test::ScopedEnvironment config("XDG_CONFIG_HOME", dir / "config");
    test::ScopedEnvironment dataHome("XDG_DATA_HOME", dir / "data");
    test::makeFolders(dir / "data/tessel");
    test::makeFolders(dir / "my folder");
    const std::string entryFile = dir / "config/autostart/org.example.Tessel.desktop";
    EXPECT_EQ(autostartFilePath().toStdString(), entryFile);

    const QString program = QCoreApplication::applicationFilePath();
    // The user's data folder is named the way the menu entry names it; any other folder by its path.
    EXPECT_TRUE(autostartEntry(program, QString::fromStdString(dir / "data/tessel"))
                    .contains(QStringLiteral("\nExec=") + program + QStringLiteral(" --user-folder\n")));
    EXPECT_TRUE(autostartEntry(program, QString::fromStdString(dir / "my folder"))
                    .contains(QStringLiteral("\nExec=%1 --folder \"%2\"\n")
                                  .arg(program, QString::fromStdString(dir / "my folder"))));

    char* start = getcwd(nullptr, 0);
    ASSERT_NE(start, nullptr);
    const std::string back = start;
    std::free(start);
    ASSERT_EQ(chdir((dir / "my folder").c_str()), 0);
    FakeDialogs dialogs;
    {
        MainWindow window(dialogs);
        auto* item = window.findChild<QAction*>(QStringLiteral("startWithSessionAction"));
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(item->isCheckable());
        EXPECT_FALSE(item->isChecked());
        item->trigger();
        EXPECT_TRUE(item->isChecked());
        EXPECT_EQ(test::readFile(entryFile),
                  autostartEntry(program, QString::fromStdString(dir / "my folder")).toStdString());
        EXPECT_EQ(test::listFolder(dir / "config/autostart"),
                  std::vector<std::string>{"org.example.Tessel.desktop"})
            << "no temporary left";
    }
    {
        // A new window finds the entry there; unchecking removes it.
        MainWindow window(dialogs);
        auto* item = window.findChild<QAction*>(QStringLiteral("startWithSessionAction"));
        ASSERT_TRUE(item->isChecked());
        item->trigger();
        EXPECT_FALSE(item->isChecked());
        EXPECT_FALSE(test::exists(entryFile));

        // A folder that cannot be written: the box, and the check mark stays as the file is.
        chmod((dir / "config/autostart").c_str(), 0555);
        test::NoPermissionOverride asUser;
        item->trigger();
        EXPECT_FALSE(item->isChecked());
        ASSERT_EQ(dialogs.errors.size(), 1u);
        EXPECT_TRUE(dialogs.errors[0].text.startsWith(QStringLiteral("Unable to write to ") +
                                                      QString::fromStdString(entryFile)));
        EXPECT_EQ(dialogs.errors[0].parent, &window);
    }
    EXPECT_FALSE(test::exists(entryFile));
    ASSERT_EQ(chdir(back.c_str()), 0);
}

TEST(HelpPlaces, BesideTheProgramFirstThenTheInstallation) {
    TempDir dir;
    test::makeFolders(dir / "usr/bin");
    const QString program = QString::fromStdString(dir / "usr/bin");
    const QString installed = QString::fromStdString(dir / "usr/share/tessel/help/index.html");
    // Nothing anywhere: the installation's place, for the warning to name.
    EXPECT_EQ(helpContentsFor(program), installed);
    EXPECT_TRUE(missingHelpText(helpContentsFor(program)).contains(installed));
    test::makeFolders(dir / "usr/share/tessel/help");
    test::writeFile(dir / "usr/share/tessel/help/index.html", "<p>installed</p>");
    EXPECT_EQ(helpContentsFor(program), installed);
    EXPECT_TRUE(missingHelpText(installed).isEmpty());
    test::makeFolders(dir / "usr/bin/help");
    test::writeFile(dir / "usr/bin/help/index.html", "<p>built</p>");
    EXPECT_EQ(helpContentsFor(program), program + QStringLiteral("/help/index.html"));
}

}  // namespace
}  // namespace tessel
