#pragma once
// Channel records as the tests build, store and compare them: the nine
// values a record is stored as (the tests' own list, written once), one
// comparator that names what differs, and small builders.

#include "analysis/channel_config.h"
#include "config/settings_store.h"
#include "link/link_settings.h"
#include "wmp/timed_level.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// One stored value of a channel record: its name, its type (a byte as
// REG_BINARY or a number as REG_DWORD) and the field it holds.
struct StoredChannelValue {
    const char* name;
    ValueType type;
    uint8_t ChannelConfig::*byte;   // for ValueBinary
    int32_t ChannelConfig::*number; // for ValueDword

    // The field's value, and as it is stored: one byte, or four little-endian.
    int64_t Of(const ChannelConfig& c) const { return byte != nullptr ? c.*byte : c.*number; }
    std::vector<uint8_t> Bytes(const ChannelConfig& c) const;
    // Calls `f` with the field of `c` (a uint8_t& or an int32_t&).
    template <typename F> void Visit(ChannelConfig& c, F f) const {
        if (byte != nullptr) {
            f(c.*byte);
        } else {
            f(c.*number);
        }
    }
};

// In the order they are written.
extern const StoredChannelValue kStoredChannelValues[9];

// The fields in which `actual` differs from `expected`, each with both values
// ("FreqEnd 777, expected 5; History[2] 0, expected 9"); empty when they
// agree. `storedOnly` compares the nine stored values alone, leaving out the
// owed zero and the history.
std::string RecordDifferences(const ChannelConfig& actual, const ChannelConfig& expected,
                              bool storedOnly = false);

// The id a start makes for a user who has none (the plug-in makes it with
// CoCreateGuid).
inline const SacnCid kNewSourceId = {0x5E, 0x77, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F,
                                     0x70, 0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7};

// A frame of silence: an empty spectrum and a flat waveform.
inline TimedLevel SilentFrame() {
    TimedLevel f{};
    std::memset(f.waveform, 128, sizeof f.waveform);
    return f;
}

// An enabled record of one band of the spectrum, or of the waveform.
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
