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
