#pragma once
// What the pool's threads do for the walk (sync/TreeWalk.h), which waits for each before it uses what it
// found: a subfolder read ahead (TreeWalk::Ahead) and a piece of a large folder looked at
// (TreeWalk::LookPiece). Only TreeWalk's own files include this.
//
// Threads: each is filled on one pool thread and read on the walk thread once its Finished is set.

#include <atomic>
#include <string>
#include <vector>

#include "platform/Folders.h"
#include "sync/TreeWalk.h"

namespace tessel {

// Work a pool thread does for the walk, which waits for it: set once, when everything is in place.
class Finished {
  public:
    void set() {
        m_done.store(true, std::memory_order_release);
        m_done.notify_one();
    }
    void wait() const { m_done.wait(false, std::memory_order_acquire); }

  private:
    std::atomic<bool> m_done{false};
};

// A subfolder opened, listed and looked at on a pool thread while the walk is still in the folders
// before it, so that the walk only decides when it comes to it. Anything amiss (a folder that cannot be
// opened or listed, one root inside the other, another user's folder) and the walk does it all again
// itself, with the usual errors.
struct TreeWalk::Ahead {
    std::string name;
    std::string relative;   // the subfolder's
    std::size_t index = 0;  // in the parent's entries
    bool present[2] = {false, false};
    bool fresh[2] = {false, false};  // lacking, and made when the walk comes
    platform::SharedFolder parent[2];
    platform::Folder child[2];
    platform::FileInfo info[2];
    std::vector<platform::ListedName> names[2];
    std::vector<WalkEntry> entries;
    std::vector<char> taken;
    std::vector<Seen> seen;
    bool complete = false;
    Finished done;
};

// Names of a large folder, looked at on a pool thread while the walk decides the ones before them.
struct TreeWalk::LookPiece {
    std::size_t first = 0, end = 0;  // the entries it covers
    std::vector<Seen> seen;
    Finished done;
};

}  // namespace tessel
