#include "live_window.h"

#include <algorithm>

LiveWindow::LiveWindow(const SampleLayout& layout) : converter_(layout) {
    clip_.sampleRate = layout.sampleRate;
    clip_.channels = layout.channels >= 2 ? 2 : 1;
    clip_.left.reserve(2 * kFrames);
    clip_.right.reserve(2 * kFrames);
    clip_.left.assign(kFrames, 0.0f);
    clip_.right.assign(kFrames, 0.0f);
}

void LiveWindow::Make(size_t frames) {
    // Sliding the kept frames down only when the room is used up copies one
    // window's worth per window of audio at most. frames <= kFrames.
    if (clip_.left.size() + frames > 2 * kFrames) {
        const size_t keep = kFrames - frames;
        std::copy(clip_.left.end() - keep, clip_.left.end(), clip_.left.begin());
        std::copy(clip_.right.end() - keep, clip_.right.end(), clip_.right.begin());
        clip_.left.resize(keep);
        clip_.right.resize(keep);
    }
    clip_.left.resize(clip_.left.size() + frames);
    clip_.right.resize(clip_.right.size() + frames);
}

void LiveWindow::Append(const uint8_t* data, size_t frames, int64_t newestTime, bool measured) {
    appended_ += frames;
    if (frames > kFrames) { // only the newest can still be seen
        data += (frames - kFrames) * converter_.Layout().BytesPerFrame();
        frames = kFrames;
    }
    Make(frames);
    const size_t at = clip_.left.size() - frames;
    converter_.Convert(data, frames, clip_.left.data() + at, clip_.right.data() + at);
    newestTime_ = newestTime;
    newestMeasured_ = measured;
}

void LiveWindow::AppendSilence(size_t frames, int64_t newestTime, bool measured) {
    appended_ += frames;
    frames = std::min(frames, kFrames);
    Make(frames);
    std::fill(clip_.left.end() - frames, clip_.left.end(), 0.0f);
    std::fill(clip_.right.end() - frames, clip_.right.end(), 0.0f);
    newestTime_ = newestTime;
    newestMeasured_ = measured;
}

void LiveWindow::FillGap(int64_t now) {
    if (newestTime_ == 0) {
        newestTime_ = now;
        return;
    }
    const int64_t gap = std::min<int64_t>(now - newestTime_, 10 * 10000000LL);
    if (gap > kGapSilence) {
        const auto frames = static_cast<size_t>(gap * clip_.sampleRate / 10000000);
        AppendSilence(frames, now);
    }
}

void LiveWindow::Build(FrameBuilder& builder, TimedLevel& frame) const {
    builder.Build(clip_, clip_.Frames() - kFrames, frame);
    const uint64_t first = appended_ > kFrames ? appended_ - kFrames : 0;
    frame.timeStamp = static_cast<long long>(first * 10000000.0 / clip_.sampleRate);
}

bool LiveWindow::NewestSampleAge(int64_t now, int64_t& age) const {
    if (!newestMeasured_) {
        return false;
    }
    age = now - newestTime_;
    return true;
}
