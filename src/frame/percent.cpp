#include "frame/percent.h"

namespace zar::frame {

// 21474836 is the largest value whose product with 100 still fits in 31 bits:
// both values are halved until the remaining count is no larger.
int16_t zipPercent(int32_t total, int32_t remaining) {
    if (total < 1 || remaining >= total) return 0;
    if (remaining < 0) return 100;
    int32_t a = remaining, b = total;
    while (a > 21474836) {
        a >>= 1;
        b >>= 1;
    }
    int32_t share = b == 0 ? 100 : a * 100 / b;
    if (share > 100) share = 100;
    return static_cast<int16_t>(100 - share);
}

}  // namespace zar::frame
