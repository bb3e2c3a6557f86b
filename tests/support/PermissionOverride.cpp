#include "support/PermissionOverride.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace tessel::test {

namespace {

__user_cap_data_struct g_savedCaps[_LINUX_CAPABILITY_U32S_3];

__user_cap_header_struct capHeader() {
    return {_LINUX_CAPABILITY_VERSION_3, 0};
}

}  // namespace

NoPermissionOverride::NoPermissionOverride() {
    __user_cap_header_struct header = capHeader();
    if (syscall(SYS_capget, &header, g_savedCaps) != 0) throw std::runtime_error("capget failed");
    __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3];
    std::copy(std::begin(g_savedCaps), std::end(g_savedCaps), caps);
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        caps[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
    if (syscall(SYS_capset, &header, caps) != 0) throw std::runtime_error("capset failed");
    m_dropped = true;
}

NoPermissionOverride::~NoPermissionOverride() {
    __user_cap_header_struct header = capHeader();
    if (m_dropped) syscall(SYS_capset, &header, g_savedCaps);
}

}  // namespace tessel::test
