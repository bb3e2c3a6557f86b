#include "watch/WatchWarning.h"

#include "platform/Paths.h"

namespace tessel {

std::optional<WatchWarning> warnAbout(const Watch& watch) {
    if (!watch.source.starts_with("/") || !watch.destination.starts_with("/")) return std::nullopt;
    const std::string source = platform::withTrailingSlash(platform::normalisePath(watch.source));
    std::string destination = platform::withTrailingSlash(platform::normalisePath(watch.destination));
    if (watch.withRootFolder && source != "/") {
        // "/data/reports" into "/backup" goes to "/backup/reports/", as a run works it out.
        const std::size_t slash = source.rfind('/', source.size() - 2);
        destination += source.substr(slash + 1);
    }
    const auto shown = [](const std::string& path) {
        return path.size() > 1 ? path.substr(0, path.size() - 1) : path;
    };
    WatchWarning warning{WatchWarning::Kind::SameFolder, shown(source), shown(destination)};
    if (source == destination) return warning;
    if (destination.starts_with(source)) {
        warning.kind = WatchWarning::Kind::DestinationInsideSource;
        return warning;
    }
    if (source.starts_with(destination)) {
        warning.kind = WatchWarning::Kind::SourceInsideDestination;
        return warning;
    }
    return std::nullopt;
}

std::string describe(const WatchWarning& warning) {
    switch (warning.kind) {
        case WatchWarning::Kind::SameFolder:
            return "the source and the destination are the same folder, " + warning.source;
        case WatchWarning::Kind::DestinationInsideSource:
            return "the destination folder " + warning.destination + " lies inside the source folder " +
                   warning.source + "; runs skip it when they read the source";
        case WatchWarning::Kind::SourceInsideDestination:
            return "the source folder " + warning.source + " lies inside the destination folder " +
                   warning.destination + "; runs skip it when they look at the destination";
    }
    return {};
}

}  // namespace tessel
