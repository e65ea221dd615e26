#pragma once
// The seven presets the player lists, and the record layouts behind them.
// Preset 0 reloads the stored settings (see config/settings.h); presets 1 to
// 6 lay the 16 channel records out in one of three families with 8 or 16
// channels enabled.

#include "analysis/channel_config.h"

#include <cstdint>

constexpr int32_t kPresetCount = 7;

enum class PresetFamily { FrequencyAndPower, FrequencyOnly, PowerOnly };

// The preset's title, or null when the index, taken as unsigned, is above 6.
const char* PresetTitle(uint32_t index);

// Lays out all 16 records with the first n (8 or 16) enabled. Fields the
// family doesn't name stay as they are; Address, FreqWidth and History are
// never touched.
void ApplyPreset(ChannelTable& channels, int32_t n, PresetFamily family);

// The layout of preset 1 to 6; false, changing nothing, for any other index.
bool ApplyPresetLayout(ChannelTable& channels, uint32_t preset);

// The fields that only the first run sets, in every record: Address is the
// record's index, FreqWidth 50, a zero owed, no history.
void ApplyRecordDefaults(ChannelTable& channels);
