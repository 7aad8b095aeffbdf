#include "AntiIdle.h"

#include <algorithm>
#include <cstdint>

unsigned AntiIdlePeriodMs(unsigned seconds) {
  constexpr std::uint64_t kLongest = 0x7FFFFFFF;  // about 24 days
  const std::uint64_t ms = static_cast<std::uint64_t>(std::max(seconds, 1u)) * 1000u;
  return static_cast<unsigned>(std::min(ms, kLongest));
}
