// File times count 100-nanosecond ticks since 1 January 1601, UTC, as the
// platform layer hands them out. Header-only and pure, below every layer, so
// that the platform backends and the local-time conversions share one epoch.
#pragma once

#include <cstdint>

namespace zar {

inline constexpr int64_t kTicksPerSecond = 10000000;

// 1 January 1970, where Unix times start, counted from 1 January 1601: 369
// years, 89 of them leap years.
inline constexpr int64_t kUnixEpochSeconds = 11644473600;
inline constexpr int64_t kUnixEpochTicks = kUnixEpochSeconds * kTicksPerSecond;

static_assert(kUnixEpochSeconds == (369 * 365 + 89) * 86400LL);

}  // namespace zar
