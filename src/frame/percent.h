// Percentage done of a job, in signed 32-bit arithmetic.
#pragma once

#include <cstdint>

namespace zar::frame {

int16_t zipPercent(int32_t total, int32_t remaining);

}  // namespace zar::frame
