#pragma once
// What is allowed in a watch but seldom meant: said before the watch is saved, by the editor and by
// tessel-batch alike, and never refused (checkWatch in WatchCheck.h refuses what cannot work).

#include <optional>
#include <string>

#include "watch/Watch.h"

namespace tessel {

struct WatchWarning {
    enum class Kind {
        SameFolder,               // the source and the destination are one folder
        DestinationInsideSource,  // runs do not walk into the inner one from the outer
        SourceInsideDestination,
    };
    Kind kind;
    std::string source;  // the two trees the runs work in, as compared
    std::string destination;
};

// Whether one of the watch's two trees lies inside the other, as its runs work them out ("Copy with
// root folder" adds the source folder's name to the destination), compared by their text with ".",
// ".." and repeated slashes worked out. Folders that are empty or not full paths are checkWatch's to
// refuse and get no warning.
std::optional<WatchWarning> warnAbout(const Watch& watch);

// The warning in English: "the destination folder /data/backup lies inside the source folder /data;
// runs skip it when they read the source".
std::string describe(const WatchWarning& warning);

}  // namespace tessel
