#pragma once
// One light channel's configuration, and the sizes that are fixed everywhere.

#include "wmp/timed_level.h"

#include <cstdint>

constexpr int kChannelCount = 16;
constexpr int kBinCount = SA_BUFFER_SIZE; // spectrum bins, and waveform samples, per audio channel
constexpr int kHistoryLength = 10; // frames remembered by the Normalized mode

// Unscoped on purpose, like every enum that names the values of a stored
// integer field: a record's field may hold any value, not only these.
enum ChannelMode : int32_t { ModeFrequency = 0, ModePower = 1, ModeBeatDetection = 2 };
enum FrequencyMode : int32_t {
    FreqPeak = 0,
    FreqAverage = 1,
    FreqNormalized = 2,
    FreqGraphWidth = 3
};
enum PowerModeValue : int32_t {
    PowerPeakLevel = 0,
    PowerAverageLevel = 1,
    PowerInstantLevel = 2,
    PowerPeakCount = 3
};

// Field order matters: it is the record the channel dialog copies whole.
struct ChannelConfig {
    uint8_t Enabled;      // nonzero: analysed, drawn and sent each frame
    uint8_t ZeroPending;  // one level 0 is still owed to the controller (not stored)
    uint8_t Address;      // which level and label the indicator shows, 0..15
    int32_t Mode;         // ChannelMode; anything else gives no level
    int32_t FreqMode;     // FrequencyMode
    int32_t AudioChannel; // 0 left, 1 right
    int32_t FreqStart;    // first bin of the band, inclusive
    int32_t FreqEnd;      // end of the band, exclusive
    int32_t FreqWidth;    // percentage for Graph Width
    int32_t PowerMode;    // PowerModeValue
    int32_t History[kHistoryLength]; // band maxima of earlier frames, newest first (not stored)
};

using ChannelTable = ChannelConfig[kChannelCount];
using LevelTable = int32_t[kChannelCount];
