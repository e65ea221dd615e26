#pragma once
// The settings in the store: the output's settings (the kind of output, the
// controller's port and device id, the network receiver's address, universe
// and start channel, the sACN source id, the light delay), the four graphics
// flags and the 16 channel
// records, under the key "Software\Twinkla" with one subkey
// "Channel0".."Channel15" per record. They run on the player's thread.

#include "analysis/plugin_state.h"
#include "common/product.h"
#include "config/settings_store.h"
#include "link/level_sink.h"

// Writes everything, overwriting what is stored and deleting nothing. Write
// failures are ignored; a channel whose subkey can't be created is skipped.
void SaveSettings(const PluginState& state, const LinkSettings& link, SettingsStore& store);

// Reads everything back. True when the key, "Port" and all 16 channel
// subkeys were there. A missing or oversized "Port" (more than 20 bytes, or 20
// bytes without a terminator among them) fails before anything changes. A missing
// subkey fails at that channel: the port, device id, delay, flags and the
// channels before it have been loaded, the rest are as they were. A value that
// is missing or bigger than its field leaves the field alone; one that fits is
// taken byte for byte whatever its type, zero-extended when shorter. The one
// exceptions are the optional values: "LightDelay" (missing or oversized it
// means no delay; above the maximum, the maximum), "Output" (Serial unless it
// names another kind), "OutputAddress" (empty unless it is a valid address),
// "Universe" and "StartChannel" (1 unless valid: the universe for the kind of
// output), and "SourceId" (kept as it was unless exactly 16 bytes, not all
// zero). Nothing is reopened.
bool LoadSettings(PluginState& state, LinkSettings& link, SettingsStore& store);

// The nine stored values of one channel record, in the key given.
void SaveChannel(const SettingsKey& key, const ChannelConfig& channel);
void LoadChannel(const SettingsKey& key, ChannelConfig& channel);

// Records the index in CurrentPreset and applies the preset; preset 0 reloads
// the stored settings, ignoring whether that worked, and has the output adopt
// the reloaded device id and delay (the open port stays). False (the host's
// E_INVALIDARG) when the index, taken as unsigned, is above 6: nothing changes.
bool SetCurrentPreset(PluginState& state, LinkSettings& link, OutputLink& output,
                      SettingsStore& store, int32_t index);

// Opens the output with `wanted` and records it in `link`, unless the
// settings are refused (AcceptsOutput), which changes nothing. They are
// recorded even when the port can't be opened, so the settings show and
// store what was tried. True when the output is open.
bool OpenOutput(LinkSettings& link, OutputLink& output, const LinkSettings& wanted);

// What a start without complete stored settings does: opens COM1 with device
// id 1 (the port name and id are recorded even if it can't be opened), no
// delay and the output's other defaults but the source id in `link`, applies the record defaults
// and preset 2, and stores the result once a copy of what was stored is kept (settings_backup.h);
// without one it stores nothing.
void ApplyFirstRunDefaults(PluginState& state, LinkSettings& link, OutputLink& output,
                           SettingsStore& store);

// What the plug-in object does once it is constructed: gives the channel
// records a defined starting point, loads the settings and opens the output
// with them, or, when nothing complete is stored, applies and stores the
// first-run defaults; then resets the mouse-drag fields and the bar counter.
// A port that can't be opened doesn't stop it. The stored "SourceId" is the
// user's for ever; without one `newSourceId` (which the caller makes unique,
// the core having no source of unique ids) becomes it and is stored at once
// beside a loaded set, or with the first-run settings.
void InitializeSettings(PluginState& state, LinkSettings& link, OutputLink& output,
                        SettingsStore& store, const SacnCid& newSourceId);
