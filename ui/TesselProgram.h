#pragma once
// What the program entry does: its command line, and everything once the application object exists.

#include <QLocale>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

class Dialogs;

// The name of the mark of a running Tessel, and the caption of the refusal of a second one.
inline constexpr char kInstanceName[] = "Tessel v";

inline constexpr char kTesselUsage[] =
    "Usage: tessel [--folder DIR | --user-folder]\n"
    "       tessel --version | --help\n"
    "\n"
    "Tessel keeps pairs of folders in step. It keeps its files (Tessel.ini, Data/, WatchLog.Log) in\n"
    "the current folder, unless an option names another:\n"
    "\n"
    "  --folder DIR     keep them in DIR, made when missing\n"
    "  --user-folder    keep them in $XDG_DATA_HOME/tessel (~/.local/share/tessel), as the desktop\n"
    "                   menu's Tessel does\n"
    "  --version        print the version\n"
    "  --help           print this text\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n";

struct StartOptions {
    std::string folder;  // empty: the current folder
    bool version = false;
    bool help = false;
};

// Reads Tessel's own options, which begin with "--"; everything else is left to Qt, whose options
// begin with a single "-". False with `problem` said for an unknown "--" option or a folder option
// without its folder.
bool parseStartOptions(const std::vector<std::string_view>& arguments, StartOptions& options,
                       std::string& problem);

// The refusal of a second start, in the user's language.
QString secondInstanceText();

// Loads the translation of the window for the user's language, when Tessel has one, and Qt's own for the
// standard dialogs.
void loadTranslation(const QLocale& locale = QLocale());

// A second instance asks the first to come to the front through `channel` (the socket beside the
// instance mark), shows the refusal and touches no file. Otherwise Tessel moves into `folder` (unless
// it is empty), listens on `channel`, looks for its help, creates, sets up and shows the main window
// and runs until that window closes. The exit status.
int runTessel(bool secondInstance, Dialogs& dialogs, const QString& channel = {},
              const std::string& folder = {});
