#pragma once
// Small builders shared by the core tests.

#include "analysis/channel_config.h"
#include "wmp/timed_level.h"

#include <cstring>

inline TimedLevel SilentFrame() {
    TimedLevel f{};
    std::memset(f.waveform, 128, sizeof f.waveform);
    return f;
}

inline ChannelConfig FrequencyChannel(int32_t freqMode, int32_t start, int32_t end,
                                      int32_t audio = 0) {
    ChannelConfig c{};
    c.Enabled = 1;
    c.Mode = ModeFrequency;
    c.FreqMode = freqMode;
    c.AudioChannel = audio;
    c.FreqStart = start;
    c.FreqEnd = end;
    c.FreqWidth = 50;
    return c;
}

inline ChannelConfig PowerChannel(int32_t powerMode, int32_t audio = 0) {
    ChannelConfig c{};
    c.Enabled = 1;
    c.Mode = ModePower;
    c.PowerMode = powerMode;
    c.AudioChannel = audio;
    c.FreqWidth = 50;
    return c;
}
