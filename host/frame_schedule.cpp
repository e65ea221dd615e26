#include "frame_schedule.h"

#include <algorithm>
#include <cmath>

double FrameSchedule::WaitBefore(double now) const {
    return std::max(0.0, next_ / fps_ - now);
}

void FrameSchedule::Take(double now) {
    const long slot = std::max(next_, static_cast<long>(std::floor(now * fps_)));
    skipped_ += slot - next_;
    next_ = slot + 1;
    ++taken_;
}

Spread SpreadOf(std::vector<double> values) {
    Spread s;
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    s.median = values[values.size() / 2];
    s.p99 = values[std::min(values.size() - 1, values.size() * 99 / 100)];
    s.max = values.back();
    return s;
}
