#include "analysis/analysis.h"
#include "records.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

namespace {

int32_t LevelOf(const TimedLevel& frame, ChannelConfig c) {
    int32_t level = -12345;
    EXPECT_TRUE(AnalyzeChannel(frame, c, level));
    return level;
}

TEST(FrequencyPeak, ScalesTheBandMaximumWithTheSinglePrecisionFactor) {
    TimedLevel f = SilentFrame();
    const ChannelConfig c = FrequencyChannel(FreqPeak, 10, 20);
    for (auto [byte, expected] : {std::pair{255, 100}, {254, 99}, {200, 78}, {0, 0}}) {
        f.frequency[0][15] = static_cast<unsigned char>(byte);
        EXPECT_EQ(LevelOf(f, c), expected) << "band maximum " << byte;
    }
}

TEST(FrequencyPeak, ReadsOnlyTheHalfOpenBandOfItsOwnAudioChannel) {
    TimedLevel f = SilentFrame();
    f.frequency[0][20] = 255; // FreqEnd is exclusive
    f.frequency[0][9] = 255;  // below FreqStart
    f.frequency[1][15] = 255; // the other audio channel
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqPeak, 10, 20)), 0);
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqPeak, 10, 20, 1)), 100);
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqPeak, 10, 21)), 100);
}

TEST(FrequencyAverage, DividesTheIntegerSumByTheBandWidth) {
    TimedLevel f = SilentFrame();
    f.frequency[0][0] = 255;
    f.frequency[0][1] = 254; // sum 509 over 2 bins -> 254 -> 99
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqAverage, 0, 2)), 99);
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqAverage, 0, 4)), 49); // 509/4 = 127
}

TEST(FrequencyAverage, EmptyOrReversedBandIsZeroWithoutDividing) {
    TimedLevel f = SilentFrame();
    std::memset(f.frequency, 255, sizeof f.frequency);
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqAverage, 5, 5)), 0);
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqAverage, 9, 3)), 0);
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqPeak, 9, 3)), 0);
}

TEST(FrequencyNormalized, FollowsTheTenFrameHistorySequence) {
    TimedLevel f = SilentFrame();
    f.frequency[0][50] = 100;
    ChannelTable channels = {};
    channels[0] = FrequencyChannel(FreqNormalized, 40, 60);
    const int expected[] = {10, 14, 18, 22, 26, 30, 34, 38, 42, 46, 50, 50, 50};
    for (int frame = 0; frame < 13; ++frame) {
        LevelTable levels = {};
        AnalyzeChannels(f, channels, levels);
        EXPECT_EQ(levels[0], expected[frame]) << "frame " << frame;
    }
    for (int32_t h : channels[0].History) {
        EXPECT_EQ(h, 100);
    }
}

TEST(FrequencyNormalized, HistoryShiftsNewestFirstAndDropsTheOldest) {
    TimedLevel f = SilentFrame();
    ChannelConfig c = FrequencyChannel(FreqNormalized, 0, 1);
    for (int i = 0; i < kHistoryLength; ++i) {
        c.History[i] = i + 1; // sum 55 -> average 5
    }
    f.frequency[0][0] = 200;
    int32_t level = 0;
    ASSERT_TRUE(AnalyzeChannel(f, c, level));
    EXPECT_EQ(level, 0 + static_cast<int32_t>((5 - 200 + 128) * 0.3921568691730499267578125));
    EXPECT_EQ(level, -26);
    const int32_t expected[kHistoryLength] = {200, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_TRUE(std::equal(c.History, c.History + kHistoryLength, expected));
}

TEST(FrequencyNormalized, HistoryIsUntouchedWhenDisabledOrInAnotherMode) {
    TimedLevel f = SilentFrame();
    f.frequency[0][0] = 99;
    ChannelTable channels = {};
    channels[0] = FrequencyChannel(FreqNormalized, 0, 1);
    channels[0].Enabled = 0;
    channels[1] = FrequencyChannel(FreqPeak, 0, 1);
    channels[2] = FrequencyChannel(FreqNormalized, 0, 1);
    channels[2].Mode = ModeBeatDetection;
    for (auto* c : {&channels[0], &channels[1], &channels[2]}) {
        c->History[3] = 7;
    }
    LevelTable levels = {};
    AnalyzeChannels(f, channels, levels);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(channels[i].History[0], 0);
        EXPECT_EQ(channels[i].History[3], 7);
    }
}

TEST(GraphWidth, FindsTheBinWhereTheShareOfEnergyIsReached) {
    TimedLevel f = SilentFrame();
    std::memset(f.frequency[0], 1, kBinCount);
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqGraphWidth, 0, 0)), 50); // k = 512

    std::memset(f.frequency[0], 0, kBinCount);
    std::memset(f.frequency[0], 100, 10); // T = 1000, k = 5
    EXPECT_EQ(LevelOf(f, FrequencyChannel(FreqGraphWidth, 0, 0)), 0);
}

TEST(GraphWidth, CutFollowsTheDoubleProductNotTheQuotient) {
    // FreqWidth 43: 57 * 0.01 * 100 is 57.00000000000001 (cut 57, r = 43),
    // while 57 / 100.0 * 100 would be 56.99999999999999 (cut 56, r = 44).
    TimedLevel f = SilentFrame();
    std::memset(f.frequency[0], 4, 9); // bins 0..8: 36
    f.frequency[0][9] = 7;
    f.frequency[0][10] = 1;
    f.frequency[0][11] = 56; // T = 100
    ChannelConfig c = FrequencyChannel(FreqGraphWidth, 0, 0);
    c.FreqWidth = 43;
    // r = 43 is used up by bin 9, so k = 10 and the level is 0; with r = 44
    // it would take bin 10 as well (k = 11, level 1).
    EXPECT_EQ(LevelOf(f, c), 0);
    // The whole spectrum with FreqWidth 100: k just past the highest non-zero bin.
    c.FreqWidth = 100;
    f.frequency[0][700] = 1;
    EXPECT_EQ(LevelOf(f, c), 701 * 100 / 1024);
}

TEST(GraphWidth, WidthsOutsideAPercentageSaturate) {
    TimedLevel f = SilentFrame();
    std::memset(f.frequency[0], 3, kBinCount);
    ChannelConfig c = FrequencyChannel(FreqGraphWidth, 0, 0);
    for (int32_t width : {0, -1, -1000, INT32_MIN}) {
        c.FreqWidth = width;
        EXPECT_EQ(LevelOf(f, c), 0) << width;
    }
    for (int32_t width : {101, 1000, INT32_MAX}) {
        c.FreqWidth = width;
        EXPECT_EQ(LevelOf(f, c), 100) << width;
    }
    std::memset(f.frequency[0], 0, kBinCount);
    c.FreqWidth = 50;
    EXPECT_EQ(LevelOf(f, c), 0) << "silence";
}

TEST(PowerPeakLevel, MeasuresTheHighestSampleAboveTheMiddle) {
    TimedLevel f = SilentFrame();
    for (auto [peak, expected] : {std::pair{255, 100}, {254, 99}, {128, 0}, {127, 0}}) {
        std::memset(f.waveform[0], 0, kBinCount);
        f.waveform[0][300] = static_cast<unsigned char>(peak);
        EXPECT_EQ(LevelOf(f, PowerChannel(PowerPeakLevel)), expected) << peak;
    }
    std::memset(f.waveform[0], 0, kBinCount);
    EXPECT_EQ(LevelOf(f, PowerChannel(PowerPeakLevel)), -99);
}

TEST(PowerAverageLevel, AveragesTheSignedDeviation) {
    TimedLevel f = SilentFrame();
    std::memset(f.waveform[1], 255, kBinCount);
    EXPECT_EQ(LevelOf(f, PowerChannel(PowerAverageLevel, 1)), 100);
    std::memset(f.waveform[1], 0, kBinCount);
    EXPECT_EQ(LevelOf(f, PowerChannel(PowerAverageLevel, 1)), -99);
    std::memset(f.waveform[1], 129, kBinCount); // a = 2
    EXPECT_EQ(LevelOf(f, PowerChannel(PowerAverageLevel, 1)), 1);
    // An even swing about 128 averages to about 1: level 0, not its magnitude.
    for (int i = 0; i < kBinCount; ++i) {
        f.waveform[1][i] = i % 2 ? 228 : 28;
    }
    EXPECT_EQ(LevelOf(f, PowerChannel(PowerAverageLevel, 1)), 0);
    // Truncation toward zero for a negative sum: -1023 / 1024 is 0.
    std::memset(f.waveform[1], 127, kBinCount);
    f.waveform[1][0] = 126;
    EXPECT_EQ(LevelOf(f, PowerChannel(PowerAverageLevel, 1)), 0);
}

TEST(PowerInstantLevel, ScalesTheFirstSample) {
    TimedLevel f = SilentFrame();
    EXPECT_EQ(LevelOf(f, PowerChannel(PowerInstantLevel)), 50);
    f.waveform[0][0] = 255;
    f.waveform[0][1] = 0;
    EXPECT_EQ(LevelOf(f, PowerChannel(PowerInstantLevel)), 100);
}

TEST(CountPeaks, CountsTurnsFromRisingToFalling) {
    unsigned char w[kBinCount];
    for (int i = 0; i < kBinCount; ++i) {
        w[i] = i % 2 ? 255 : 0;
    }
    EXPECT_EQ(CountPeaks(w), 511);
    TimedLevel f = SilentFrame();
    std::memcpy(f.waveform[0], w, kBinCount);
    EXPECT_EQ(LevelOf(f, PowerChannel(PowerPeakCount)), 255);

    std::memset(w, 77, kBinCount);
    EXPECT_EQ(CountPeaks(w), 0);

    std::memset(w, 10, kBinCount); // 10, 20, 20, 10, 10, ...: a flat top is one peak
    w[1] = 20;
    w[2] = 20;
    EXPECT_EQ(CountPeaks(w), 1);

    std::memset(w, 50, kBinCount); // a fall onto a plateau counts nothing
    w[0] = 90;
    EXPECT_EQ(CountPeaks(w), 0);
}

TEST(Dispatch, RecordsWithoutALevelKeepZeroAndAreSkipped) {
    TimedLevel f = SilentFrame();
    std::memset(f.frequency, 255, sizeof f.frequency);
    std::memset(f.waveform, 255, sizeof f.waveform);
    ChannelTable channels = {};
    channels[0] = FrequencyChannel(FreqPeak, 0, 10);
    channels[0].Enabled = 0;
    channels[1] = FrequencyChannel(FreqPeak, 0, 10);
    channels[1].Mode = ModeBeatDetection;
    channels[2] = FrequencyChannel(4, 0, 10);
    channels[3] = PowerChannel(4);
    channels[4] = FrequencyChannel(FreqPeak, 0, 10);
    channels[4].Mode = -1;
    channels[5] = FrequencyChannel(FreqPeak, 0, 10);
    LevelTable levels = {};
    AnalyzeChannels(f, channels, levels);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(levels[i], 0) << "record " << i;
    }
    EXPECT_EQ(levels[5], 100);
}

TEST(Dispatch, AnUnknownAudioChannelGetsNoLevelAndKeepsItsHistory) {
    TimedLevel f = SilentFrame();
    std::memset(f.frequency, 255, sizeof f.frequency);
    for (int32_t audio : {2, -1, INT32_MAX, INT32_MIN}) {
        ChannelConfig c = FrequencyChannel(FreqNormalized, 0, 10, audio);
        c.History[0] = 42;
        int32_t level = 0;
        EXPECT_FALSE(AnalyzeChannel(f, c, level)) << audio;
        EXPECT_EQ(c.History[0], 42);
        EXPECT_FALSE(AnalyzeChannel(f, c = PowerChannel(PowerPeakLevel, audio), level));
    }
}

// The band clipped to 0..1024 gives the same result as the band itself would
// on a spectrum that had no bins outside it.
TEST(BandBounds, BandsOutsideTheSpectrumEqualTheirClippedBand) {
    TimedLevel f = SilentFrame();
    for (int b = 0; b < kBinCount; ++b) {
        f.frequency[0][b] = static_cast<unsigned char>((b * 37) % 256);
    }
    struct Case {
        int32_t start, end, clippedStart, clippedEnd;
    };
    const Case cases[] = {
        {-10, 20, 0, 20},         {1000, 1095, 1000, 1024}, {INT32_MIN, INT32_MAX, 0, 1024},
        {1100, 2000, 1024, 1024}, {-50, -1, 0, 0},          {1022, 1095, 1022, 1024}};
    for (const Case& k : cases) {
        for (int32_t mode : {FreqPeak, FreqAverage, FreqNormalized}) {
            EXPECT_EQ(LevelOf(f, FrequencyChannel(mode, k.start, k.end)),
                      LevelOf(f, FrequencyChannel(mode, k.clippedStart, k.clippedEnd)))
                << "band " << k.start << ".." << k.end << " mode " << mode;
        }
    }
}

// Randomized: any record contents on any frame. Under AddressSanitizer an
// out-of-frame read fails the run; here we also check each result's range.
TEST(AnalysisProperty, ArbitraryRecordsStayInsideTheFrameAndInRange) {
    std::mt19937 rng(20261208);
    auto any32 = [&] {
        switch (rng() % 4) {
        case 0:
            return static_cast<int32_t>(rng());
        case 1:
            return static_cast<int32_t>(rng() % 2100) - 30;
        case 2:
            return static_cast<int32_t>(rng() % 6) - 1;
        default:
            return static_cast<int32_t>(rng() % 2 ? INT32_MAX : INT32_MIN);
        }
    };
    // The frame sits at the end of a heap block so a read past it is caught.
    auto* frame = new TimedLevel;
    for (int round = 0; round < 3000; ++round) {
        auto* bytes = reinterpret_cast<unsigned char*>(frame);
        for (size_t i = 0; i < 4096; ++i) {
            bytes[i] = static_cast<unsigned char>(rng());
        }
        ChannelTable channels;
        for (ChannelConfig& c : channels) {
            c.Enabled = static_cast<uint8_t>(rng() % 3);
            c.Mode = rng() % 3 ? static_cast<int32_t>(rng() % 3) : any32();
            c.FreqMode = any32();
            c.PowerMode = any32();
            c.AudioChannel = rng() % 4 ? static_cast<int32_t>(rng() % 2) : any32();
            c.FreqStart = any32();
            c.FreqEnd = any32();
            c.FreqWidth = any32();
            for (int32_t& h : c.History) {
                h = rng() % 8 ? static_cast<int32_t>(rng() % 256) : any32();
            }
        }
        bool inModel[kChannelCount];
        for (int i = 0; i < kChannelCount; ++i) {
            const ChannelConfig& c = channels[i];
            inModel[i] = c.Enabled && (c.AudioChannel == 0 || c.AudioChannel == 1) &&
                         std::all_of(c.History, c.History + kHistoryLength,
                                     [](int32_t h) { return h >= 0 && h <= 255; });
        }
        LevelTable levels = {};
        AnalyzeChannels(*frame, channels, levels);
        for (int i = 0; i < kChannelCount; ++i) {
            const ChannelConfig& c = channels[i];
            if (inModel[i] && c.Mode == ModeFrequency && c.FreqMode >= 0 && c.FreqMode <= 3) {
                EXPECT_GE(levels[i], c.FreqMode == FreqNormalized ? -49 : 0);
                EXPECT_LE(levels[i], c.FreqMode == FreqNormalized ? 150 : 100);
            } else if (inModel[i] && c.Mode == ModePower && c.PowerMode >= 0 && c.PowerMode <= 3) {
                EXPECT_GE(levels[i], c.PowerMode == PowerPeakCount ? 0 : -99);
                EXPECT_LE(levels[i], c.PowerMode == PowerPeakCount ? 255 : 100);
            } else if (!c.Enabled || c.Mode < 0 || c.Mode > 1) {
                EXPECT_EQ(levels[i], 0);
            }
        }
    }
    delete frame;
}

} // namespace
