#include "capture/capabilities.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vorlane {

namespace {

// The kernel's own interface: two 32-bit words per set. The library that wraps it is not
// needed for three calls, and a process that is still deciding what it may do links nothing
// more than it must.
struct capability_sets {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct words[_LINUX_CAPABILITY_U32S_3]{};
};

bool read_sets(capability_sets& sets) {
    return ::syscall(SYS_capget, &sets.header, sets.words) == 0;
}

std::uint32_t word_of(std::uint64_t mask, int word) {
    return static_cast<std::uint32_t>(mask >> (32 * word));
}

}  // namespace

bool restrict_capabilities(std::uint64_t keep) {
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    // Reading a capability beyond the kernel's last one fails: that is where the set ends.
    for (int capability = 0; capability < 64 && ::prctl(PR_CAPBSET_READ, capability, 0, 0, 0) >= 0;
         ++capability)
        if ((keep >> capability & 1) == 0) ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0) return false;

    capability_sets sets;
    if (!read_sets(sets)) return false;
    for (int word = 0; word < _LINUX_CAPABILITY_U32S_3; ++word) {
        sets.words[word].permitted &= word_of(keep, word);
        sets.words[word].effective = sets.words[word].permitted;
        sets.words[word].inheritable = 0;
    }
    if (::syscall(SYS_capset, &sets.header, sets.words) != 0) return false;

    capability_sets now;
    if (!read_sets(now)) return false;
    for (int word = 0; word < _LINUX_CAPABILITY_U32S_3; ++word)
        if ((now.words[word].permitted & ~word_of(keep, word)) != 0 || now.words[word].inheritable != 0 ||
            (now.words[word].effective & ~word_of(keep, word)) != 0)
            return false;
    return true;
}

}  // namespace vorlane
