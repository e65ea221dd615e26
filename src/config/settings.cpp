#include "config/settings.h"

#include "analysis/presets.h"
#include "config/settings_backup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Reads a value of at most N bytes into `out`, zero-extended when it is
// shorter. False, with `out` untouched, when it is missing or bigger.
template <size_t N> bool ReadBytes(const SettingsKey& key, const char* name, uint8_t (&out)[N]) {
    uint8_t buffer[N] = {};
    uint32_t size = N;
    if (key.Read(name, buffer, size) != ReadResult::Ok) {
        return false;
    }
    std::memcpy(out, buffer, N);
    return true;
}

void ReadByte(const SettingsKey& key, const char* name, uint8_t& field) {
    uint8_t bytes[1];
    if (ReadBytes(key, name, bytes)) {
        field = bytes[0];
    }
}

void ReadInt(const SettingsKey& key, const char* name, int32_t& field) {
    uint8_t b[4];
    if (ReadBytes(key, name, b)) {
        field = static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t{b[3]} << 24);
    }
}

void WriteByte(const SettingsKey& key, const char* name, uint8_t value) {
    key.Write(name, ValueBinary, &value, 1);
}

void WriteInt(const SettingsKey& key, const char* name, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    key.Write(name, ValueDword, bytes, sizeof bytes);
}

// A channel record's stored values, in the order they are written: a byte
// (REG_BINARY) or a number (REG_DWORD) each.
struct ChannelValue {
    const char* name;
    uint8_t ChannelConfig::*byte;
    int32_t ChannelConfig::*number;
};
const ChannelValue kChannelValues[] = {
    {"Address", &ChannelConfig::Address, nullptr},
    {"Enabled", &ChannelConfig::Enabled, nullptr},
    {"Mode", nullptr, &ChannelConfig::Mode},
    {"AudioChannel", nullptr, &ChannelConfig::AudioChannel},
    {"FreqMode", nullptr, &ChannelConfig::FreqMode},
    {"FreqStart", nullptr, &ChannelConfig::FreqStart},
    {"FreqEnd", nullptr, &ChannelConfig::FreqEnd},
    {"FreqWidth", nullptr, &ChannelConfig::FreqWidth},
    {"PowerMode", nullptr, &ChannelConfig::PowerMode},
};

void ChannelKeyName(int index, char (&name)[20]) {
    std::snprintf(name, sizeof name, "Channel%d", index);
}

// A stored DWORD, when there is one that fits.
std::optional<uint32_t> ReadOptionalDword(const SettingsKey& key, const char* name) {
    uint8_t b[4];
    if (!ReadBytes(key, name, b)) {
        return std::nullopt;
    }
    return b[0] | b[1] << 8 | b[2] << 16 | uint32_t{b[3]} << 24;
}

// A stored string that ends within `size` bytes, into `text`; false, with
// `text` untouched, when it is missing or too long.
bool ReadText(const SettingsKey& key, const char* name, char* text, uint32_t size) {
    std::vector<char> buffer(size, '\0');
    uint32_t read = size;
    if (key.Read(name, buffer.data(), read) != ReadResult::Ok ||
        std::memchr(buffer.data(), '\0', size) == nullptr) {
        return false;
    }
    std::memcpy(text, buffer.data(), size);
    return true;
}

void WriteText(const SettingsKey& key, const char* name, const char* text, size_t size) {
    const size_t length = ::strnlen(text, size - 1);
    std::vector<char> terminated(text, text + length);
    terminated.push_back('\0');
    key.Write(name, ValueString, terminated.data(), static_cast<uint32_t>(terminated.size()));
}

bool IsSourceId(const SacnCid& id) {
    return std::any_of(id.begin(), id.end(), [](uint8_t b) { return b != 0; });
}

// "SourceId" when it holds a usable id: exactly 16 bytes, not all zero.
bool ReadSourceId(const SettingsKey& key, SacnCid& id) {
    SacnCid stored{};
    uint32_t size = static_cast<uint32_t>(stored.size());
    if (key.Read("SourceId", stored.data(), size) != ReadResult::Ok || size != stored.size() ||
        !IsSourceId(stored)) {
        return false;
    }
    id = stored;
    return true;
}

void WriteSourceId(const SettingsKey& key, const SacnCid& id) {
    if (IsSourceId(id)) {
        key.Write("SourceId", ValueBinary, id.data(), static_cast<uint32_t>(id.size()));
    }
}

// The output's values: optional, each falling back on its own when it is
// absent or invalid (the universe by the rules of the output it is for).
void ReadOutputValues(const SettingsKey& key, LinkSettings& link) {
    char kind[16] = {};
    link.Output =
        ReadText(key, "Output", kind, sizeof kind) ? ParseOutputKind(kind) : OutputKind::Serial;
    char address[kOutputAddressSize] = {};
    if (!ReadText(key, "OutputAddress", address, sizeof address) ||
        !IsValidOutputAddress(address)) {
        address[0] = '\0';
    }
    std::memcpy(link.OutputAddress, address, sizeof address);
    link.Universe = UniverseOrDefault(link.Output, ReadOptionalDword(key, "Universe"));
    link.StartChannel =
        static_cast<uint16_t>(StartChannelOrDefault(ReadOptionalDword(key, "StartChannel")));
    ReadSourceId(key, link.SourceId);
}

void WriteOutputValues(const SettingsKey& key, const LinkSettings& link) {
    const char* kind = OutputKindName(link.Output);
    key.Write("Output", ValueString, kind, static_cast<uint32_t>(std::strlen(kind) + 1));
    WriteText(key, "OutputAddress", link.OutputAddress, sizeof link.OutputAddress);
    WriteInt(key, "Universe", link.Universe);
    WriteInt(key, "StartChannel", link.StartChannel);
    WriteSourceId(key, link.SourceId);
}

} // namespace

void SaveChannel(const SettingsKey& key, const ChannelConfig& channel) {
    for (const ChannelValue& value : kChannelValues) {
        if (value.byte != nullptr) {
            WriteByte(key, value.name, channel.*value.byte);
        } else {
            WriteInt(key, value.name, channel.*value.number);
        }
    }
}

void LoadChannel(const SettingsKey& key, ChannelConfig& channel) {
    for (const ChannelValue& value : kChannelValues) {
        if (value.byte != nullptr) {
            ReadByte(key, value.name, channel.*value.byte);
        } else {
            ReadInt(key, value.name, channel.*value.number);
        }
    }
}

void SaveSettings(const PluginState& state, const LinkSettings& link, SettingsStore& store) {
    const SettingsKey key = store.CreateKey(kSettingsKeyPath);
    if (!key) {
        return;
    }
    char port[kPortNameSize];
    std::memcpy(port, link.PortName, sizeof port);
    port[kPortNameSize - 1] = '\0';
    key.Write("Port", ValueString, port, static_cast<uint32_t>(std::strlen(port) + 1));
    WriteByte(key, "Device", link.DeviceId);
    WriteInt(key, "LightDelay", static_cast<int32_t>(link.LightDelayMs));
    WriteOutputValues(key, link);
    WriteByte(key, "DrawFrequency", state.DrawFrequency);
    WriteByte(key, "DrawPower", state.DrawPower);
    WriteByte(key, "DrawChannels", state.DrawChannels);
    WriteByte(key, "DrawChannelNumbers", state.DrawChannelNumbers);

    for (int n = 0; n < kChannelCount; ++n) {
        char name[20];
        ChannelKeyName(n, name);
        if (const SettingsKey channelKey = key.CreateSubkey(name)) {
            SaveChannel(channelKey, state.Channels[n]);
        }
    }
}

bool LoadSettings(PluginState& state, LinkSettings& link, SettingsStore& store) {
    const SettingsKey key = store.OpenKey(kSettingsKeyPath);
    if (!key) {
        return false;
    }

    // Read aside so that a refused name never reaches PortName; the zeroed
    // buffer terminates any shorter value, stored with a terminator or not.
    char port[kPortNameSize] = {};
    uint32_t size = sizeof port;
    if (key.Read("Port", port, size) != ReadResult::Ok) {
        return false;
    }
    // Too long only when no terminator comes within the 20 bytes: a stored
    // name may carry bytes after its terminator.
    if (std::memchr(port, '\0', sizeof port) == nullptr) {
        return false;
    }
    std::memcpy(link.PortName, port, sizeof port);

    // Not range-tested here: Open refuses an id outside 1..255.
    ReadByte(key, "Device", link.DeviceId);
    int32_t delay = 0;
    ReadInt(key, "LightDelay", delay);
    link.LightDelayMs = ClampLightDelay(static_cast<uint32_t>(delay));
    ReadOutputValues(key, link);
    ReadByte(key, "DrawFrequency", state.DrawFrequency);
    ReadByte(key, "DrawPower", state.DrawPower);
    ReadByte(key, "DrawChannels", state.DrawChannels);
    ReadByte(key, "DrawChannelNumbers", state.DrawChannelNumbers);

    for (int n = 0; n < kChannelCount; ++n) {
        char name[20];
        ChannelKeyName(n, name);
        const SettingsKey channelKey = key.OpenSubkey(name);
        if (!channelKey) {
            return false;
        }
        LoadChannel(channelKey, state.Channels[n]);
    }
    return true;
}

bool SetCurrentPreset(PluginState& state, LinkSettings& link, OutputLink& output,
                      SettingsStore& store, int32_t index) {
    const uint32_t preset = static_cast<uint32_t>(index);
    if (preset >= static_cast<uint32_t>(kPresetCount)) {
        return false;
    }
    state.CurrentPreset = index;
    if (preset == 0) {
        // A missing or partial store leaves what it couldn't read as it was.
        LoadSettings(state, link, store);
        output.Adopt(link);
    } else {
        ApplyPresetLayout(state.Channels, preset);
    }
    return true;
}

bool OpenOutput(LinkSettings& link, OutputLink& output, const LinkSettings& wanted) {
    // The output applies the same rule and refuses the settings itself,
    // leaving what it has open as it was.
    const bool opened = output.Open(wanted);
    if (AcceptsOutput(wanted)) {
        link = wanted;
        link.LightDelayMs = ClampLightDelay(link.LightDelayMs);
    }
    return opened;
}

void ApplyFirstRunDefaults(PluginState& state, LinkSettings& link, OutputLink& output,
                           SettingsStore& store) {
    LinkSettings first;
    std::strcpy(first.PortName, "COM1");
    first.DeviceId = 1;
    first.SourceId = link.SourceId; // the user's, whatever else is reset
    OpenOutput(link, output, first);
    ApplyRecordDefaults(state.Channels);
    SetCurrentPreset(state, link, output, store, 2);
    // Whatever is stored is overwritten only once a copy of it is kept.
    if (BackUpBeforeReset(state, store)) {
        SaveSettings(state, link, store);
    }
}

void InitializeSettings(PluginState& state, LinkSettings& link, OutputLink& output,
                        SettingsStore& store, const SacnCid& newSourceId) {
    // A value missing from a stored channel then keeps its first-run value
    // rather than whatever the memory held. CurrentPreset stays 0.
    ApplyRecordDefaults(state.Channels);
    ApplyPreset(state.Channels, 16, PresetFamily::FrequencyAndPower);

    // Read on its own: a stored set that can't be loaded keeps it too.
    bool hadSourceId = false;
    if (const SettingsKey stored = store.OpenKey(kSettingsKeyPath)) {
        hadSourceId = ReadSourceId(stored, link.SourceId);
    }
    if (!hadSourceId) {
        link.SourceId = newSourceId;
    }

    if (LoadSettings(state, link, store)) {
        // Recorded as loaded, even an id the output refuses (0).
        output.Open(link);
        // Stored at once, so every packet from this user carries the same
        // one from now on; the rest waits for the property dialog.
        if (!hadSourceId) {
            WriteSourceId(store.CreateKey(kSettingsKeyPath), link.SourceId);
        }
    } else {
        ApplyFirstRunDefaults(state, link, output, store);
    }

    ResetDragAndBars(state);
}
