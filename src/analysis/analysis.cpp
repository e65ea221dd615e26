#include "analysis/analysis.h"

#include "common/saturate.h"

#include <algorithm>
#include <cstdint>

namespace {

// The level scale factors are the single-precision values nearest to these
// fractions, used exactly in double arithmetic. Written out so that no
// compiler's float rounding can move a level at an edge (254 -> 99, not 100).
constexpr double kHundredOver255 = 0.3921568691730499267578125; // 100/255
constexpr double kHundredOver127 = 0.78740155696868896484375;   // 100/127
constexpr double kOneOver127 = 0.0078740157186985015869140625;  // 1/127
constexpr double kOneOver1024 = 0.0009765625;                   // 1/1024
constexpr double kHundred = 100.0;
constexpr double kCent = 0.01; // the double nearest 0.01, not the float one

int32_t Scale(int64_t v, double f) {
    return SaturateToInt32(static_cast<double>(v) * f);
}
int32_t Scale(int64_t v, double f, double g) {
    return SaturateToInt32(static_cast<double>(v) * f * g);
}

// The band clipped to the audio channel's own bins: a band reaching outside
// 0..1023 is treated as the part of it that lies inside.
struct Band {
    int begin;
    int end; // exclusive; begin >= end is empty
};

Band ClipBand(const ChannelConfig& c) {
    const int begin = std::clamp<int32_t>(c.FreqStart, 0, kBinCount);
    const int end = std::clamp<int32_t>(c.FreqEnd, 0, kBinCount);
    return {begin, end};
}

int32_t BandMaximum(const unsigned char* spectrum, Band band) {
    int32_t m = 0;
    for (int b = band.begin; b < band.end; ++b) {
        m = std::max<int32_t>(m, spectrum[b]);
    }
    return m;
}

int32_t GraphWidth(const unsigned char* spectrum, int32_t freqWidth) {
    int64_t total = 0;
    for (int b = 0; b < kBinCount; ++b) {
        total += spectrum[b];
    }
    // (100 - FreqWidth) is formed in 64 bits so that no FreqWidth overflows it;
    // the product is then taken in the stated order and truncated.
    const double cutD =
        static_cast<double>(int64_t{100} - freqWidth) * kCent * static_cast<double>(total);
    const double bounded = std::clamp(cutD, -9.0e15, 9.0e15);
    int64_t remaining = total - static_cast<int64_t>(bounded);
    int32_t k = 0;
    while (remaining > 0 && k < kBinCount) {
        remaining -= spectrum[k];
        ++k;
    }
    return Scale(k, kOneOver1024, kHundred);
}

bool FrequencyLevel(const unsigned char* spectrum, ChannelConfig& c, int32_t& level) {
    const Band band = ClipBand(c);
    switch (c.FreqMode) {
    case FreqPeak:
        level = Scale(BandMaximum(spectrum, band), kHundredOver255);
        return true;
    case FreqAverage: {
        const int32_t n = band.end - band.begin;
        if (n <= 0) {
            level = 0;
            return true;
        }
        int32_t sum = 0;
        for (int b = band.begin; b < band.end; ++b) {
            sum += spectrum[b];
        }
        level = Scale(sum / n, kHundredOver255);
        return true;
    }
    case FreqNormalized: {
        const int32_t m = BandMaximum(spectrum, band);
        int64_t sum = 0; // 64 bits: History is copied whole by the dialog and may hold anything
        for (int32_t h : c.History) {
            sum += h;
        }
        const int64_t average = sum / kHistoryLength;
        std::copy_backward(c.History, c.History + kHistoryLength - 1, c.History + kHistoryLength);
        c.History[0] = m;
        level = Scale(average - m + 128, kHundredOver255);
        return true;
    }
    case FreqGraphWidth:
        level = GraphWidth(spectrum, c.FreqWidth);
        return true;
    default:
        return false;
    }
}

bool PowerLevel(const unsigned char (&waveform)[kBinCount], const ChannelConfig& c,
                int32_t& level) {
    switch (c.PowerMode) {
    case PowerPeakLevel: {
        const int32_t peak = *std::max_element(waveform, waveform + kBinCount);
        level = Scale(peak - 127, kOneOver127, kHundred);
        return true;
    }
    case PowerAverageLevel: {
        int32_t deviation = 0;
        for (unsigned char s : waveform) {
            deviation += int32_t{s} - 127;
        }
        level = Scale(deviation / kBinCount, kHundredOver127);
        return true;
    }
    case PowerInstantLevel:
        level = Scale(waveform[0], kHundredOver255);
        return true;
    case PowerPeakCount:
        level = CountPeaks(waveform) / 2;
        return true;
    default:
        return false;
    }
}

} // namespace

int32_t CountPeaks(const unsigned char (&waveform)[kBinCount]) {
    bool rising = false;
    int32_t count = 0;
    for (int i = 1; i < kBinCount; ++i) {
        if (rising && waveform[i] < waveform[i - 1]) {
            ++count;
            rising = false;
        } else if (waveform[i] > waveform[i - 1]) {
            rising = true;
        }
    }
    return count;
}

bool AnalyzeChannel(const TimedLevel& frame, ChannelConfig& channel, int32_t& level) {
    if (!channel.Enabled) {
        return false;
    }
    // Any other audio channel would read outside the frame: no level, no history.
    if (channel.AudioChannel != 0 && channel.AudioChannel != 1) {
        return false;
    }
    const int audio = channel.AudioChannel;
    switch (channel.Mode) {
    case ModeFrequency:
        return FrequencyLevel(frame.frequency[audio], channel, level);
    case ModePower:
        return PowerLevel(frame.waveform[audio], channel, level);
    default:
        return false;
    }
}

void AnalyzeChannels(const TimedLevel& frame, ChannelTable& channels, LevelTable& levels) {
    for (int i = 0; i < kChannelCount; ++i) {
        int32_t level = 0;
        if (AnalyzeChannel(frame, channels[i], level)) {
            levels[i] = level;
        }
    }
}
