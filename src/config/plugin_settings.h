#pragma once
// The plug-in's settings as one object over the output and the store it is
// given: the plug-in state and the output's settings it holds, and what the
// plug-in object and its dialogs do with them: load them at the start, save
// them, apply a preset, open the output they name and say how it is doing.
// It runs on the player's thread, like everything it calls.

#include "analysis/plugin_state.h"
#include "config/settings_store.h"
#include "link/level_sink.h"

#include <cstddef>
#include <string>

class PluginSettings {
public:
    // `output` and `store` outlive the object.
    PluginSettings(OutputLink& output, SettingsStore& store) : output_(output), store_(store) {}
    PluginSettings(const PluginSettings&) = delete;
    PluginSettings& operator=(const PluginSettings&) = delete;

    // Graphics flags, channel records, levels and the mouse-drag state.
    PluginState& State() { return state_; }
    // The output's settings as last loaded or opened.
    LinkSettings& Link() { return link_; }
    OutputLink& Output() { return output_; }

    // The start: loads what is stored and opens the output with it, or
    // applies and stores the first-run settings (InitializeSettings).
    void Initialize(const SacnCid& newSourceId);
    // Writes every setting to the store (SaveSettings).
    void Save();
    // Makes `index` the current preset and applies it; preset 0 reloads the
    // stored settings. False, changing nothing, for an index above 6.
    bool SetCurrentPreset(int32_t index);
    // Opens the output with `wanted` and records them (OpenOutput). True
    // when the output is open.
    bool OpenOutput(const LinkSettings& wanted);

    // The output's state in plain words, for a host's status line ("port
    // COM3", "sACN to 10.0.0.5 universe 1").
    void DescribeOutput(char* text, size_t size) const;
    // A network output's failure in plain words (a name that doesn't
    // resolve, no network), which its engine finds after Open has returned:
    // true with `text` set while there is one. A serial port that can't be
    // opened is the property dialog's Apply to say.
    bool OutputProblem(char* text, size_t size) const;
    // The words owed to the user after a reset, once (TakeSettingsNotice).
    bool TakeNotice(std::string& text);

private:
    PluginState state_;
    LinkSettings link_;
    OutputLink& output_;
    SettingsStore& store_;
};
