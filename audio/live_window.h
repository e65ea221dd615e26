#pragma once
// The newest audio of a live source, kept as a short clip that the frame
// builder reads exactly as it reads a file: live frames and file frames come
// from the same code.

#include "audio_clip.h"
#include "frame_builder.h"
#include "sample_format.h"

#include <cstdint>

class LiveWindow {
public:
    // A frame's spectrum spans this many of the newest frames.
    static constexpr size_t kFrames = FrameBuilder::kFftSize;
    // With nothing from the device for this long (100-ns units), the gap is
    // silence: a loopback source sends nothing while nothing plays.
    static constexpr int64_t kGapSilence = 100 * 10000;

    // `layout` must be one that LayoutProblem accepts. Starts silent.
    explicit LiveWindow(const SampleLayout& layout);

    // Appends `frames` interleaved frames. `newestTime` is when the last of
    // them was captured (100-ns units of one clock, never 0); `measured` is
    // false when that time is only an estimate. Only the newest kFrames are
    // kept. No allocation.
    void Append(const uint8_t* data, size_t frames, int64_t newestTime, bool measured = true);
    void AppendSilence(size_t frames, int64_t newestTime, bool measured = false);

    // Treats the time since the newest sample as silence once it exceeds
    // kGapSilence; the first call only starts the clock.
    void FillGap(int64_t now);

    // The frame of the newest kFrames frames, and its stream time.
    void Build(FrameBuilder& builder, TimedLevel& frame) const;

    // Age of the newest sample at `now`, when it came from the device with a
    // capture time; false when it is silence filled in or has no time.
    bool NewestSampleAge(int64_t now, int64_t& age) const;

    // When the newest sample was captured, and whether that time is a
    // capture time rather than silence filled in.
    int64_t NewestTime() const { return newestTime_; }
    bool NewestMeasured() const { return newestMeasured_; }

    uint64_t FramesAppended() const { return appended_; }

private:
    void Make(size_t frames); // room for `frames` at the end, oldest dropped

    StereoConverter converter_;
    AudioClip clip_; // between kFrames and 2 x kFrames frames, newest last
    uint64_t appended_ = 0;
    int64_t newestTime_ = 0;
    bool newestMeasured_ = false;
};
