#pragma once
// The seven presets the player lists, and the first-run configuration.
// Preset 0 reloads the stored settings; presets 1 to 6 lay the 16 channel
// records out in one of three families with 8 or 16 channels enabled.

#include "analysis/plugin_state.h"
#include "config/settings_store.h"

#include <cstdint>

constexpr int32_t kPresetCount = 7;

enum class PresetFamily { FrequencyAndPower, FrequencyOnly, PowerOnly };

// The preset's title, or null when the index, taken as unsigned, is above 6.
const char* PresetTitle(uint32_t index);

// Lays out all 16 records with the first n (8 or 16) enabled. Fields the
// family doesn't name stay as they are; Address, FreqWidth and History are
// never touched.
void ApplyPreset(ChannelTable& channels, int32_t n, PresetFamily family);

// Records the index in CurrentPreset and applies the preset; preset 0 reloads
// the stored settings and ignores whether that worked. False (the host's
// E_INVALIDARG) when the index, taken as unsigned, is above 6: nothing changes.
bool SetCurrentPreset(PluginState& state, SettingsStore& store, int32_t index);

// The fields that only the first run sets, in every record: Address is the
// record's index, FreqWidth 50, a zero owed, no history.
void ApplyRecordDefaults(ChannelTable& channels);

// What a start without complete stored settings does: opens COM1 with device
// id 1 (PortName and DeviceId follow even if it can't be opened), applies the
// record defaults and preset 2, and stores the result.
void ApplyFirstRunDefaults(PluginState& state, SettingsStore& store);
