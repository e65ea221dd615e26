#include "audio_clip.h"
#include "frame_builder.h"
#include "wav_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(WavReader, ReadsEachSampleFormatToTheSameValues) {
    // Frames: (0.5, -0.5) and (-1, 0) in every format.
    const std::vector<uint8_t> pcm8 = {192, 64, 0, 128};
    const std::vector<uint8_t> pcm16 = {0x00, 0x40, 0x00, 0xC0, 0x00, 0x80, 0x00, 0x00};
    const std::vector<uint8_t> pcm24 = {0, 0, 0x40, 0, 0, 0xC0, 0, 0, 0x80, 0, 0, 0};
    std::vector<uint8_t> f32(16);
    const float values[] = {0.5f, -0.5f, -1.0f, 0.0f};
    std::memcpy(f32.data(), values, 16);
    struct Case {
        const char* name;
        uint16_t format, bits;
        std::vector<uint8_t> data;
        bool extensible;
    };
    const Case cases[] = {{"pcm8", 1, 8, pcm8, false},
                          {"pcm16", 1, 16, pcm16, false},
                          {"pcm24", 1, 24, pcm24, false},
                          {"float32", 3, 32, f32, false},
                          {"pcm16 extensible", 1, 16, pcm16, true}};
    for (const Case& c : cases) {
        const WavBytes w = MakeWav(c.format, 2, 44100, c.bits, c.data, c.extensible);
        const WavReadResult r = ReadWav(w.bytes.data(), w.bytes.size());
        ASSERT_TRUE(r.ok) << c.name << ": " << r.error;
        EXPECT_EQ(r.clip.sampleRate, 44100) << c.name;
        ASSERT_EQ(r.clip.Frames(), 2u) << c.name;
        EXPECT_FLOAT_EQ(r.clip.left[0], 0.5f) << c.name;
        EXPECT_FLOAT_EQ(r.clip.right[0], -0.5f) << c.name;
        EXPECT_FLOAT_EQ(r.clip.left[1], -1.0f) << c.name;
        EXPECT_FLOAT_EQ(r.clip.right[1], 0.0f) << c.name;
    }
}

TEST(WavReader, MonoPlaysOnBothSides) {
    const WavBytes w = MakeWav(1, 1, 22050, 16, {0x00, 0x40, 0x00, 0xC0});
    const WavReadResult r = ReadWav(w.bytes.data(), w.bytes.size());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.clip.channels, 1);
    EXPECT_EQ(r.clip.left, r.clip.right);
    EXPECT_EQ(r.clip.sampleRate, 22050);
}

TEST(WavReader, MalformedFilesGiveAClearErrorNotACrash) {
    const WavBytes good = MakeWav(1, 2, 44100, 16, std::vector<uint8_t>(400, 7));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* error;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, "not a RIFF/WAVE file"});
    std::vector<uint8_t> notRiff = good.bytes;
    std::memcpy(notRiff.data(), "RIFX", 4);
    cases.push_back({"not RIFF", notRiff, "not a RIFF/WAVE file"});
    cases.push_back({"RIFF header only",
                     std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + 12),
                     "no format chunk"});
    cases.push_back({"format chunk cut short",
                     std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + 28),
                     "format chunk runs past the end of the file"});
    std::vector<uint8_t> hugeFmt = good.bytes;
    hugeFmt[16] = 0xFF, hugeFmt[17] = 0xFF, hugeFmt[18] = 0xFF, hugeFmt[19] = 0x7F;
    cases.push_back({"oversized header", hugeFmt, "format chunk runs past the end of the file"});
    cases.push_back(
        {"zero channels", MakeWav(1, 0, 44100, 16, {1, 2, 3, 4}).bytes, "zero channels"});
    cases.push_back({"12-bit", MakeWav(1, 1, 44100, 12, {1, 2, 3, 4}).bytes,
                     "unsupported sample format (PCM 8/16/24/32-bit or float only)"});
    cases.push_back({"no data", std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + 36),
                     "no audio data"});
    // A chunk whose size is near 4 GiB must not wrap around to a small step.
    std::vector<uint8_t> hugeChunk(good.bytes.begin(), good.bytes.begin() + 12);
    const uint8_t junk[] = {'J', 'U', 'N', 'K', 0xF8, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    hugeChunk.insert(hugeChunk.end(), junk, junk + sizeof junk);
    cases.push_back({"chunk size near 4 GiB", hugeChunk, "truncated chunk before the audio data"});
    for (const Case& c : cases) {
        const WavReadResult r = ReadWav(c.bytes.data(), c.bytes.size());
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_EQ(r.error, c.error) << c.name;
    }
}

TEST(WavReader, TruncatedDataKeepsTheWholeFramesThatArePresent) {
    const WavBytes good = MakeWav(1, 2, 44100, 16, std::vector<uint8_t>(400, 7));
    const std::vector<uint8_t> cut(good.bytes.begin(), good.bytes.end() - 99);
    const WavReadResult r = ReadWav(cut.data(), cut.size());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.clip.Frames(), (400u - 99u) / 4u);
}

TEST(WavReader, MissingFileIsAnError) {
    const WavReadResult r = ReadWavFile("/nonexistent/twinkla.wav");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "cannot open the file");
}

AudioClip Sine(double hz, double amplitude, int rate = 44100) {
    AudioClip clip;
    clip.sampleRate = rate;
    clip.channels = 1;
    clip.left.resize(8192);
    for (size_t i = 0; i < clip.left.size(); ++i) {
        clip.left[i] = static_cast<float>(amplitude * std::sin(2.0 * kPi * hz * i / rate));
    }
    clip.right = clip.left;
    return clip;
}

TEST(FrameBuilder, AFullScaleSineAtABinsFrequencyPeaksInThatBin) {
    FrameBuilder builder;
    auto* frame = new TimedLevel;
    for (int bin : {10, 100, 465, 900}) {
        for (int rate : {44100, 48000}) {
            if (FrameBuilder::BinFrequency(bin) >= rate / 2.0) {
                continue;
            }
            builder.Build(Sine(FrameBuilder::BinFrequency(bin), 1.0, rate), 1000, *frame);
            const unsigned char* spectrum = frame->frequency[0];
            const int peak =
                static_cast<int>(std::max_element(spectrum, spectrum + 1024) - spectrum);
            EXPECT_EQ(peak, bin) << "rate " << rate;
            EXPECT_GE(spectrum[bin], 250) << "full scale reaches the top";
            EXPECT_LT(spectrum[bin + 40], 60) << "far bins stay low";
        }
    }
    delete frame;
}

TEST(FrameBuilder, SilenceIsAnEmptySpectrumAndAFlatWaveform) {
    FrameBuilder builder;
    auto* frame = new TimedLevel;
    builder.Build(Sine(1000, 0.0), 0, *frame);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < 1024; ++i) {
            ASSERT_EQ(frame->frequency[c][i], 0);
            ASSERT_EQ(frame->waveform[c][i], 128);
        }
    }
    // Past the end of the clip is silence too.
    builder.Build(Sine(1000, 1.0), 100000, *frame);
    EXPECT_EQ(frame->waveform[0][0], 128);
    EXPECT_EQ(frame->frequency[0][46], 0);
    delete frame;
}

TEST(FrameBuilder, WaveformMapsFullScaleToTheByteRange) {
    AudioClip clip;
    clip.sampleRate = 44100;
    clip.channels = 2;
    clip.left = {1.0f, -1.0f, 0.5f, 2.0f, std::nanf("")};
    clip.right = {0.0f, 0.0f, 0.0f, -3.0f, 0.0f};
    FrameBuilder builder;
    auto* frame = new TimedLevel;
    builder.Build(clip, 0, *frame);
    EXPECT_EQ(frame->waveform[0][0], 255);
    EXPECT_EQ(frame->waveform[0][1], 1);
    EXPECT_EQ(frame->waveform[0][2], 192);
    EXPECT_EQ(frame->waveform[0][3], 255) << "clipped";
    EXPECT_EQ(frame->waveform[0][4], 128) << "not a number is silence";
    EXPECT_EQ(frame->waveform[1][3], 1);
    delete frame;
}

TEST(DemoClip, TheBassDrumLiftsTheLowestBandOnTheBeat) {
    const AudioClip clip = SynthesizeDemoClip(44100, 4.0, 120.0);
    ASSERT_EQ(clip.Frames(), 4u * 44100u);
    FrameBuilder builder;
    auto* frame = new TimedLevel;
    auto lowBand = [&](double seconds) {
        builder.Build(clip, static_cast<size_t>(seconds * 44100), *frame);
        return *std::max_element(frame->frequency[0], frame->frequency[0] + 5);
    };
    // Beats every 0.5 s: just after a beat the low band is far above the
    // middle of the gap before the next one.
    for (double beat : {0.5, 1.0, 1.5, 2.0}) {
        EXPECT_GT(lowBand(beat), lowBand(beat + 0.3) + 20) << "beat at " << beat;
    }
    delete frame;
}

} // namespace
