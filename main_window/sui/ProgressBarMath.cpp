#include "ProgressBarMath.h"

#include <algorithm>
#include <cstdint>

namespace sui {

int ProgressPercent(int min, int max, int position) {
    if (max <= min || position <= min)
        return 0;
    if (position >= max)
        return 100;
    const std::int64_t done = std::int64_t(position) - min;
    const std::int64_t span = std::int64_t(max) - min;
    return int(done * 100 / span);
}

int ProgressFillEdge(int min, int max, int position, int width) {
    const int noFill = 1;
    if (max <= min || position <= min)
        return noFill;
    if (position > max)
        return std::max(noFill, width - 1);
    const std::int64_t done = std::int64_t(position) - min;
    const std::int64_t span = std::int64_t(max) - min;
    const std::int64_t edge = done * std::max(0, width - 1) / span;
    return std::max<int>(noFill, int(edge));
}

}  // namespace sui
