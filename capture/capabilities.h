#pragma once

#include <cstdint>

namespace vorlane {

// One bit per capability, as the kernel numbers them (bit 13: CAP_NET_RAW).
inline constexpr std::uint64_t no_capabilities = 0;
inline constexpr std::uint64_t capture_capabilities = std::uint64_t{1} << 13;

// Leaves this process (all of it: call it while it has one thread) with at most the capabilities
// in `keep`, for good: the permitted and effective sets hold `keep` where they held it before,
// the inheritable and ambient sets are emptied, every other capability leaves the bounding set
// where the process may change it (only with CAP_SETPCAP, so a service's or root's start), and
// no later program it runs can gain rights through file capabilities or set-id bits. False when
// the sets could not be made so; the process must then not go on.
bool restrict_capabilities(std::uint64_t keep);

}  // namespace vorlane
