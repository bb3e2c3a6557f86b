#pragma once
// What the watch list shows of a watch besides its folders: its name, when its last run ended and how it
// went, and when the timer runs it next; read from the watch file and the text file beside it, and put
// in the window's words.

#include <QCoreApplication>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "watch/DateTime.h"
#include "watch/RunSummary.h"
#include "watch/WatchRec.h"

struct ListedWatch {
    Q_DECLARE_TR_FUNCTIONS(ListedWatch)

  public:
    tessel::TWatchRec record;
    std::string name;
    // Nothing before the first run that kept one.
    std::optional<tessel::LastRunResult> lastResult;

    // Whether the last run failed or met a conflict: the row shows it until the next clean run.
    bool needsAttention() const { return lastResult && tessel::needsAttention(lastResult->outcome()); }
};

// Every complete record of `watchFile` in file order, with its name and last result from the text file.
// Where the text file cannot be read (damaged, unreadable), the records alone, named as a reading
// would name them. Empty for a missing or unreadable watch file. Nothing is reported: the list shows
// what it can, and the editor and tessel-batch say what is wrong.
std::vector<ListedWatch> readListedWatches(const std::string& watchFile);

// A moment as the window's language writes it, date and time, short; the time alone for a moment of the
// same day as `today`, when one is given.
QString shownDateTime(tessel::TDateTime moment, std::optional<tessel::TDateTime> today = std::nullopt);

// A column's text and what it sorts by.
struct ListedValue {
    QString text;
    double sortKey = 0;
};

// When the last run ended, at `now`; empty before the first run, which sorts as long ago.
ListedValue lastRunValue(const ListedWatch& watch, tessel::TDateTime now);
// "OK", "Stopped", "Conflict", "Failed", from the best to the worst; empty before the first run.
ListedValue resultValue(const ListedWatch& watch);
// When the timer runs the watch next, at `now`: "Due now", the moment, "Never"; "At start" for a watch
// that runs when Tessel starts; empty for the rest, which sorts as never.
ListedValue nextRunValue(const tessel::TWatchRec& record, tessel::TDateTime now);
// The last run in a few lines, for a tip: how it went, when, its first problem and its counts.
QString lastResultDetails(const ListedWatch& watch);
