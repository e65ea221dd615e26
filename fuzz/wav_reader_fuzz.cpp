// The stand-in's WAV reader over any file a user may pick, and the frames the
// stand-in then builds from it. A file is read or refused with a reason; what
// is read has a rate and channel count the frames can use and no more samples
// than the file has bytes; cutting bytes off the end keeps a prefix of the
// samples or refuses the file.

#include "fuzz_input.h"

#include "audio_clip.h"
#include "frame_builder.h"

#include <algorithm>
#include <cstring>

namespace {

bool SameSamples(const std::vector<float>& a, const std::vector<float>& b, size_t count) {
    return std::memcmp(a.data(), b.data(), count * sizeof(float)) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const WavReadResult read = ReadWav(data, size);
    const AudioClip& clip = read.clip;
    FUZZ_CHECK(read.ok == read.error.empty());
    if (!read.ok) {
        FUZZ_CHECK(clip.Frames() == 0 && clip.right.empty());
        return 0;
    }
    FUZZ_CHECK(clip.sampleRate >= 1000 && clip.sampleRate <= 384000);
    FUZZ_CHECK(clip.channels == 1 || clip.channels == 2);
    FUZZ_CHECK(clip.Frames() > 0 && clip.right.size() == clip.Frames());
    FUZZ_CHECK(clip.Frames() * clip.channels <= size);
    if (clip.channels == 1) {
        FUZZ_CHECK(SameSamples(clip.left, clip.right, clip.Frames()));
    }

    // The last byte chooses how much to cut, so the fuzzer can steer it.
    const size_t cut = 1 + data[size - 1] % 16;
    if (size > cut) {
        const WavReadResult shorter = ReadWav(data, size - cut);
        if (shorter.ok) {
            const size_t frames = shorter.clip.Frames();
            FUZZ_CHECK(frames <= clip.Frames() && shorter.clip.sampleRate == clip.sampleRate);
            FUZZ_CHECK(SameSamples(shorter.clip.left, clip.left, frames));
            FUZZ_CHECK(SameSamples(shorter.clip.right, clip.right, frames));
        }
    }

    // The first frame and the one holding the last sample, as the stand-in
    // plays them; the sanitizers watch every sample's conversion.
    static FrameBuilder builder;
    TimedLevel frame{};
    for (const size_t position : {size_t{0}, clip.Frames() - 1}) {
        builder.Build(clip, position, frame);
        FUZZ_CHECK(frame.state == 2 && frame.timeStamp >= 0);
    }
    return 0;
}
