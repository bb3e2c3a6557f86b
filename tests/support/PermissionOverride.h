#pragma once
// Makes permission bits count for a test run by root, as they do for everyone else.

#include <string>

namespace tessel::test {

// While it lives, permission bits bind this process as they bind an ordinary user: root's power to
// ignore them is set aside, so a read-only file really is read-only.
class NoPermissionOverride {
  public:
    NoPermissionOverride();
    ~NoPermissionOverride();
    NoPermissionOverride(const NoPermissionOverride&) = delete;
    NoPermissionOverride& operator=(const NoPermissionOverride&) = delete;

  private:
    bool m_dropped = false;
};

}  // namespace tessel::test
