#include "audio_clip.h"
#include "frame_builder.h"
#include "frame_schedule.h"
#include "live_stats.h"
#include "live_window.h"
#include "sample_format.h"
#include "wav_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kSurround51 = 0x3F; // FL FR FC LFE BL BR

struct Format {
    const char* name;
    uint16_t tag;
    SampleType type;
    int bits;
};
const Format kFormats[] = {
    {"PCM 8", 1, SampleType::Pcm, 8},       {"PCM 16", 1, SampleType::Pcm, 16},
    {"PCM 24", 1, SampleType::Pcm, 24},     {"PCM 32", 1, SampleType::Pcm, 32},
    {"float 32", 3, SampleType::Float, 32}, {"float 64", 3, SampleType::Float, 64},
};

void Put(std::vector<uint8_t>& out, int64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

// One sample in a format, as a device or a file stores it.
void Encode(std::vector<uint8_t>& out, double v, const Format& f) {
    if (f.type == SampleType::Float) {
        uint8_t raw[8];
        if (f.bits == 32) {
            const float s = static_cast<float>(v);
            std::memcpy(raw, &s, 4);
        } else {
            std::memcpy(raw, &v, 8);
        }
        out.insert(out.end(), raw, raw + f.bits / 8);
        return;
    }
    const double scale = std::ldexp(1.0, f.bits - 1);
    const int64_t top = static_cast<int64_t>(scale) - 1;
    int64_t q = std::llround(v * scale);
    q = q < -top - 1 ? -top - 1 : q > top ? top : q;
    Put(out, f.bits == 8 ? q + 128 : q, f.bits / 8);
}

// Interleaved frames: a tone of its own per channel over a little noise.
std::vector<uint8_t> Signal(size_t frames, int channels, const Format& f) {
    std::vector<uint8_t> out;
    uint32_t noise = 12345;
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double hz = 170.0 * (c + 1);
            Encode(out,
                   0.3 * std::sin(2 * kPi * hz * i / 44100) + ((noise >> 9) / 8388608.0 - 1) * 0.05,
                   f);
        }
    }
    return out;
}

void ExpectSameFrame(const TimedLevel& live, const TimedLevel& file, const std::string& where) {
    EXPECT_EQ(std::memcmp(live.frequency, file.frequency, sizeof live.frequency), 0) << where;
    EXPECT_EQ(std::memcmp(live.waveform, file.waveform, sizeof live.waveform), 0) << where;
    EXPECT_EQ(live.state, file.state) << where;
    EXPECT_EQ(live.timeStamp, file.timeStamp) << where;
}

TEST(LiveWindow, EveryFormatAndChannelCountGivesTheFramesOfTheWavPath) {
    // Packets of uneven sizes: one longer than the window, and runs that
    // make the window slide with part of it kept and with none kept.
    const size_t packets[] = {441, 7, 1000, 3000, 13, 1000, 1000, 1000, 2048, 441};
    const size_t total = 9950;
    FrameBuilder builder;
    auto live = std::make_unique<TimedLevel>();
    auto fromFile = std::make_unique<TimedLevel>();
    for (int channels : {1, 2, 6}) {
        for (const Format& f : kFormats) {
            const std::string name = std::string(f.name) + ", " + std::to_string(channels) + " ch";
            const std::vector<uint8_t> bytes = Signal(total, channels, f);
            // Six channels carry their speaker positions, as a device does.
            const WavBytes file =
                MakeWav(f.tag, channels, 44100, f.bits, bytes, channels > 2, kSurround51);
            const WavReadResult wav = ReadWav(file.bytes.data(), file.bytes.size());
            ASSERT_TRUE(wav.ok) << name << ": " << wav.error;

            SampleLayout layout{f.type, f.bits, channels, 44100, channels > 2 ? kSurround51 : 0};
            ASSERT_EQ(LayoutProblem(layout), nullptr) << name;
            LiveWindow window(layout);
            size_t fed = 0;
            for (size_t packet : packets) {
                window.Append(bytes.data() + fed * layout.BytesPerFrame(), packet, 1);
                fed += packet;
                if (fed >= LiveWindow::kFrames) {
                    window.Build(builder, *live);
                    builder.Build(wav.clip, fed - LiveWindow::kFrames, *fromFile);
                    ExpectSameFrame(*live, *fromFile, name + " after " + std::to_string(fed));
                }
            }
            ASSERT_EQ(fed, total);
            EXPECT_EQ(window.FramesAppended(), total) << name;
        }
    }
}

TEST(StereoConverter, MoreThanTwoChannelsMixDownBySpeakerPosition) {
    const float half = 0.5f;
    const float side = 0.5f * 0.70710678f;
    const Format& f32 = kFormats[4];
    auto convert = [&](int channels, uint32_t mask, const std::vector<double>& frame) {
        std::vector<uint8_t> bytes;
        for (double v : frame) {
            Encode(bytes, v, f32);
        }
        float out[2] = {};
        StereoConverter({SampleType::Float, 32, channels, 48000, mask})
            .Convert(bytes.data(), 1, &out[0], &out[1]);
        return std::vector<float>{out[0], out[1]};
    };
    auto only = [](int channels, int channel) {
        std::vector<double> frame(channels, 0.0);
        frame[channel] = 0.5;
        return frame;
    };
    // 5.1, with its positions given and without (the usual order).
    const std::vector<float> expected51[] = {{half, 0},    {0, half}, {side, side},
                                             {side, side}, {side, 0}, {0, side}};
    for (uint32_t mask : {kSurround51, 0u}) {
        for (int c = 0; c < 6; ++c) {
            EXPECT_EQ(convert(6, mask, only(6, c)), expected51[c])
                << "mask " << mask << " ch " << c;
        }
    }
    // 7.1 with side speakers: positions skip the front pair of centre.
    EXPECT_EQ(convert(8, 0x63F, only(8, 6)), (std::vector<float>{side, 0})) << "side left";
    EXPECT_EQ(convert(8, 0x63F, only(8, 7)), (std::vector<float>{0, side})) << "side right";
    // Channels the mask gives no position are left out.
    EXPECT_EQ(convert(4, 0x3, only(4, 2)), (std::vector<float>{0, 0}));
    // Two channels are left and right whatever the mask says, one is both.
    EXPECT_EQ(convert(2, 0x104, {0.5, -0.25}), (std::vector<float>{0.5f, -0.25f}));
    EXPECT_EQ(convert(1, 0x4, {0.5}), (std::vector<float>{0.5f, 0.5f}));
    // A WAV file's positions are read as a device's are: in quadraphonic
    // (front and back pairs) the third channel is back left, not centre.
    std::vector<uint8_t> quad;
    for (double v : {0.0, 0.0, 0.5, 0.0}) {
        Encode(quad, v, f32);
    }
    const WavBytes file = MakeWav(3, 4, 48000, 32, quad, true, 0x33);
    const WavReadResult wav = ReadWav(file.bytes.data(), file.bytes.size());
    ASSERT_TRUE(wav.ok) << wav.error;
    EXPECT_EQ(wav.clip.left[0], side);
    EXPECT_EQ(wav.clip.right[0], 0.0f);
    // A non-finite sample reaches only the sides its channel feeds.
    const auto nan = convert(6, kSurround51, {std::nan(""), 0.25, 0, 0, 0, 0});
    EXPECT_TRUE(std::isnan(nan[0]));
    EXPECT_EQ(nan[1], 0.25f);
}

TEST(SampleLayout, FormatsThatCantBeConvertedSayWhy) {
    const struct {
        SampleLayout layout;
        const char* problem;
    } cases[] = {
        {{SampleType::Pcm, 16, 0, 44100, 0}, "zero channels"},
        {{SampleType::Pcm, 16, 2, 500, 0}, "unsupported sample rate"},
        {{SampleType::Pcm, 12, 2, 44100, 0},
         "unsupported sample format (PCM 8/16/24/32-bit or float only)"},
        {{SampleType::Float, 16, 2, 44100, 0},
         "unsupported sample format (PCM 8/16/24/32-bit or float only)"},
        {{SampleType::Other, 16, 2, 44100, 0},
         "unsupported sample format (PCM 8/16/24/32-bit or float only)"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(LayoutProblem(c.layout), nullptr) << c.problem;
        EXPECT_STREQ(LayoutProblem(c.layout), c.problem);
    }
    EXPECT_EQ(DescribeLayout({SampleType::Float, 32, 6, 48000, 0}),
              "float 32-bit, 6 channels, 48000 Hz");
    EXPECT_EQ(DescribeLayout({SampleType::Other, 16, 1, 8000, 0}),
              "encoded 16-bit, 1 channel, 8000 Hz");
}

TEST(LiveWindow, AGapWithoutPacketsBecomesSilenceAndIsNotMeasured) {
    const SampleLayout layout{SampleType::Float, 32, 1, 44100, 0};
    std::vector<uint8_t> tone;
    for (size_t i = 0; i < LiveWindow::kFrames; ++i) {
        Encode(tone, std::sin(2 * kPi * 1000 * i / 44100), kFormats[4]);
    }
    FrameBuilder builder;
    auto frame = std::make_unique<TimedLevel>();
    const int64_t t0 = 1000000000; // 100-ns units
    const int64_t ms = 10000;

    LiveWindow window(layout);
    window.FillGap(t0 + 500 * ms); // the first call only starts the clock
    EXPECT_EQ(window.FramesAppended(), 0u);
    window.Append(tone.data(), LiveWindow::kFrames, t0);
    int64_t age = 0;
    ASSERT_TRUE(window.NewestSampleAge(t0 + 30 * ms, age));
    EXPECT_EQ(age, 30 * ms);

    window.FillGap(t0 + 90 * ms); // a late packet is not yet silence
    window.Build(builder, *frame);
    EXPECT_GT(frame->frequency[0][45], 200) << "the 1 kHz tone is still there";
    EXPECT_TRUE(window.NewestSampleAge(t0 + 90 * ms, age));

    window.FillGap(t0 + 150 * ms);
    window.Build(builder, *frame);
    for (int i = 0; i < SA_BUFFER_SIZE; ++i) {
        ASSERT_EQ(frame->frequency[0][i], 0) << i;
        ASSERT_EQ(frame->waveform[1][i], 128) << i;
    }
    EXPECT_FALSE(window.NewestSampleAge(t0 + 150 * ms, age)) << "silence filled in has no age";
    EXPECT_EQ(window.FramesAppended(), LiveWindow::kFrames + 150 * 44100 / 1000);

    // A silent packet from the device is audio with a capture time.
    window.AppendSilence(441, t0 + 160 * ms, true);
    EXPECT_TRUE(window.NewestSampleAge(t0 + 170 * ms, age));
    EXPECT_EQ(age, 10 * ms);
}

// Runs a schedule: each frame starts when due and takes `render(frame)`
// seconds, until `seconds` have passed.
FrameSchedule Simulate(double fps, double seconds, double (*render)(long)) {
    FrameSchedule schedule(fps);
    double now = 0.0005;
    while (true) {
        now += schedule.WaitBefore(now);
        if (now >= seconds) {
            return schedule;
        }
        schedule.Take(now);
        now += render(schedule.Taken() - 1);
    }
}

TEST(FrameSchedule, FramesThatFitTheirSlotAreNeverSkipped) {
    const FrameSchedule s = Simulate(30, 3, [](long) { return 0.020; });
    EXPECT_EQ(s.Taken(), 90);
    EXPECT_EQ(s.Skipped(), 0);
}

TEST(FrameSchedule, SlowFramesSkipSlotsInsteadOfFallingBehind) {
    // 40 ms a frame at 30 a second: five frames are drawn in every six
    // slots and the sixth is skipped.
    const FrameSchedule slow = Simulate(30, 3, [](long) { return 0.040; });
    EXPECT_EQ(slow.Taken(), 75);
    EXPECT_EQ(slow.Skipped(), 14) << "the last of the 89 slots begun ends the run";

    // One frame stalls for a second: the slots it covers are skipped at once
    // and the show goes on at its pace, not in a burst to catch up.
    const FrameSchedule stall =
        Simulate(30, 3, [](long frame) { return frame == 10 ? 1.0 : 0.010; });
    EXPECT_EQ(stall.Skipped(), 29) << "slots 11 to 39";
    EXPECT_EQ(stall.Taken() + stall.Skipped(), 90);
}

} // namespace

// A show of hours keeps its figures in fixed memory; they must still agree
// with sorting every timing, to within the histogram's resolution.
TEST(TimingHistogram, AgreesWithTheSortedTimingsToWithinItsResolution) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> exponent(-9, 9); // 0.1 us to 8 s
    for (const size_t n : {1u, 2u, 99u, 100u, 101u, 54321u}) {
        TimingHistogram histogram;
        std::vector<double> all;
        for (size_t i = 0; i < n; ++i) {
            const double ms = std::exp(exponent(rng));
            histogram.Add(ms);
            all.push_back(ms);
        }
        std::sort(all.begin(), all.end());
        const Spread s = histogram.Summary();
        const double median = all[n / 2];
        const double p99 = all[std::min(n - 1, n * 99 / 100)];
        EXPECT_EQ(histogram.Count(), static_cast<long>(n));
        EXPECT_NEAR(s.median, median, median * 0.004 + 0.0005) << n << " timings";
        EXPECT_NEAR(s.p99, p99, p99 * 0.004 + 0.0005) << n << " timings";
        EXPECT_EQ(s.max, all.back()) << "the maximum is exact";
        EXPECT_LE(s.p99, s.max);
    }
}

TEST(TimingHistogram, EmptyZeroAndOutOfRangeTimings) {
    TimingHistogram histogram;
    EXPECT_EQ(histogram.Summary().max, 0.0) << "nothing measured";
    histogram.Add(-3.0); // a clock that went back counts as 0
    histogram.Add(0.0);
    histogram.Add(1e15); // beyond the last bucket: counted there
    const Spread s = histogram.Summary();
    EXPECT_EQ(s.median, 0.0);
    EXPECT_EQ(s.max, 1e15);
    EXPECT_LE(s.p99, s.max);
    EXPECT_GT(s.p99, 1e9) << "the largest timing stays the largest";
}

TEST(RecentLatency, IsTheMedianOfTheLastSecondOnly) {
    RecentLatency recent;
    double median = 0;
    EXPECT_FALSE(recent.MedianOfLastSecond(0, median)) << "no frame yet";
    const int64_t second = 10000000;
    for (int i = 0; i < 30; ++i) { // the first second: 100 ms each
        recent.Add(i * second / 30, 100.0);
    }
    for (int i = 30; i < 60; ++i) { // the second: 10, 11, ... 39 ms
        recent.Add(i * second / 30, 10.0 + (i - 30));
    }
    ASSERT_TRUE(recent.MedianOfLastSecond(59 * second / 30, median));
    EXPECT_EQ(median, 25.0) << "the first second's frames no longer count";
    EXPECT_FALSE(recent.MedianOfLastSecond(5 * second, median)) << "a silent pause";

    // More frames in a second than it keeps: the newest win.
    for (size_t i = 0; i < 3 * RecentLatency::kCapacity; ++i) {
        recent.Add(10 * second + static_cast<int64_t>(i), i < 2 * RecentLatency::kCapacity ? 1 : 7);
    }
    ASSERT_TRUE(recent.MedianOfLastSecond(11 * second, median));
    EXPECT_EQ(median, 7.0);
}
