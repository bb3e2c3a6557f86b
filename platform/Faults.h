#pragma once
// A seam for tests: makes the Nth call of a chosen kind of file operation fail with a chosen error, so
// a full disk, a failing read or a rename across file systems can be produced on demand, or makes every
// call of a kind fail, as a file system that cannot do it at all would. It exists only in builds
// configured with TESSEL_FAULT_INJECTION; elsewhere every check is a constant false.

#include <functional>

namespace tessel::platform::faults {

// Kinds of calls. The specific kinds (a rename that must not replace, a link, an unnamed file) are also
// of the general kind in brackets: a failure planned for either fails them.
enum class Operation {
    Open,
    Read,
    Write,
    Rename,
    List,
    MakeFolder,
    Unlink,
    RenameNoReplace,  // (Rename) renameat2 with RENAME_NOREPLACE
    Link,             // (Rename) a second name for a file
    UnnamedFile,      // (Open) a file made without a name (O_TMPFILE)
    SetAttribute,     // an extended attribute or ACL written
    Examine,          // a file's or folder's status read (fstat, fstatat)
    Settle,           // a file's or folder's owner, permissions or times set
    Flush,            // written data and names made durable (fsync)
    MakeLink,         // a symbolic link made
    Follow,           // a folder followed for changes (inotify_add_watch)
    ReadChanges,      // changes read: a failure is a full queue, whose changes are lost (an overflow)
    Count
};

// Points inside the platform layer where a test may step in, to change the world at the worst moment:
// as a copy opens its source, once its new file is made (still empty), once its data is written, and as
// a file the run decided to delete (or a moved file's source) is about to be looked at once more and
// deleted.
enum class Point { CopyOpening, CopyCreated, CopyWritten, Deleting, Count };

#ifdef TESSEL_FAULT_INJECTION
// Runs `action` each time `point` is reached until clear(); an empty action removes it.
void onPoint(Point point, std::function<void()> action);
void reach(Point point);

// The `nth` call of `operation` from now on (1 is the next one) fails with `error`. The calls the
// file-system probe makes are not counted: a test plans its failures for the work it watches.
void inject(Operation operation, int nth, int error);
// Whether the failure planned by the last inject() of `operation` has happened: a run that made fewer
// calls of the kind never met it.
bool fired(Operation operation);
// Every call of `operation` fails with `error` until clear(), the probe's too: a file system that
// cannot do it.
void refuse(Operation operation, int error);
void clear();
// Called by the platform layer before each operation: true (with errno set) when it is to fail.
bool failNow(Operation operation);

// While one lives on a thread, the planned Nth calls are neither counted nor failed there.
class ProbeScope {
  public:
    ProbeScope();
    ~ProbeScope();
    ProbeScope(const ProbeScope&) = delete;
    ProbeScope& operator=(const ProbeScope&) = delete;

  private:
    bool m_outer;
};
#else
inline bool failNow(Operation) {
    return false;
}
inline void reach(Point) {}
struct ProbeScope {};
#endif

}  // namespace tessel::platform::faults
