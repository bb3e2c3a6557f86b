#pragma once
// A seam for tests: makes the Nth call of a chosen kind of file operation fail with a chosen error, so
// a full disk, a failing read or a rename across file systems can be produced on demand. It exists
// only in builds configured with TESSEL_FAULT_INJECTION; elsewhere every check is a constant false.

#include <functional>

namespace tessel::platform::faults {

enum class Operation { Open, Read, Write, Rename, List, MakeFolder, Unlink, Count };

// Points inside the platform layer where a test may step in, to change the world at the worst moment.
enum class Point { CopyOpening, CopyWritten, Count };

#ifdef TESSEL_FAULT_INJECTION
// Runs `action` each time `point` is reached until clear(); an empty action removes it.
void onPoint(Point point, std::function<void()> action);
void reach(Point point);

// The `nth` call of `operation` from now on (1 is the next one) fails with `error`.
void inject(Operation operation, int nth, int error);
void clear();
// Called by the platform layer before each operation: true (with errno set) when it is to fail.
bool failNow(Operation operation);
#else
inline bool failNow(Operation) {
    return false;
}
inline void reach(Point) {}
#endif

}  // namespace tessel::platform::faults
