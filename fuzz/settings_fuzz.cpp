// The settings loader over whatever another program may have stored, then
// one frame with the records it loaded. A loaded field is either the stored
// value or untouched, by whether that value fits, and an optional one its
// stored value or its fallback, by whether that value is valid; the load
// stops at the first missing subkey; every key opened is closed; after the
// first-run fallback (or any load) what is saved loads back the same.

#include "fuzz_input.h"
#include "frame_check.h"
#include "records.h"
#include "stored_settings.h"

#include "analysis/presets.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace {

// The field as the load must leave it: the stored value zero-extended when it
// fits, otherwise untouched.
template <typename Field>
void Expect(const MemoryStore& store, const std::string& path, const char* name, Field& field) {
    const auto value = store.Get(path, name);
    if (value && value->bytes.size() <= sizeof(Field)) {
        uint32_t v = 0;
        for (size_t i = 0; i < value->bytes.size(); ++i) {
            v |= uint32_t{value->bytes[i]} << (8 * i);
        }
        field = static_cast<Field>(v);
    }
}

// A stored text that ends within `size` bytes (a shorter one ends in the
// zeroed buffer), or none.
std::optional<std::string> Text(const MemoryStore& store, const char* name, size_t size) {
    const auto value = store.Get(kSettingsKeyPath, name);
    if (!value || value->bytes.size() > size ||
        (value->bytes.size() == size &&
         std::find(value->bytes.begin(), value->bytes.end(), 0) == value->bytes.end())) {
        return std::nullopt;
    }
    const auto end = std::find(value->bytes.begin(), value->bytes.end(), 0);
    return std::string(value->bytes.begin(), end);
}

std::optional<uint32_t> Dword(const MemoryStore& store, const char* name) {
    uint32_t v = 0;
    const auto value = store.Get(kSettingsKeyPath, name);
    if (!value || value->bytes.size() > 4) {
        return std::nullopt;
    }
    Expect(store, kSettingsKeyPath, name, v);
    return v;
}

// The output's values as the load must leave them, each valid or its fallback.
void ExpectOutputValues(const MemoryStore& store, LinkSettings& link) {
    const auto kind = Text(store, "Output", 16);
    link.Output = kind ? ParseOutputKind(kind->c_str()) : OutputKind::Serial;
    const auto address = Text(store, "OutputAddress", kOutputAddressSize);
    std::memset(link.OutputAddress, 0, sizeof link.OutputAddress);
    if (address && IsValidOutputAddress(address->c_str())) {
        std::memcpy(link.OutputAddress, address->data(), address->size());
    }
    link.Universe = UniverseOrDefault(link.Output, Dword(store, "Universe"));
    link.StartChannel = static_cast<uint16_t>(StartChannelOrDefault(Dword(store, "StartChannel")));
    const auto id = store.Get(kSettingsKeyPath, "SourceId");
    if (id && id->bytes.size() == link.SourceId.size() &&
        std::any_of(id->bytes.begin(), id->bytes.end(), [](uint8_t b) { return b != 0; })) {
        std::copy(id->bytes.begin(), id->bytes.end(), link.SourceId.begin());
    }
}

bool SameOutput(const LinkSettings& a, const LinkSettings& b) {
    return a.Output == b.Output && std::strcmp(a.OutputAddress, b.OutputAddress) == 0 &&
           a.Universe == b.Universe && a.StartChannel == b.StartChannel && a.SourceId == b.SourceId;
}

bool SameState(const PluginState& a, const LinkSettings& la, const PluginState& b,
               const LinkSettings& lb) {
    for (int i = 0; i < kChannelCount; ++i) {
        if (!RecordDifferences(a.Channels[i], b.Channels[i]).empty()) {
            return false;
        }
    }
    return a.DrawFrequency == b.DrawFrequency && a.DrawPower == b.DrawPower &&
           a.DrawChannels == b.DrawChannels && a.DrawChannelNumbers == b.DrawChannelNumbers &&
           la.DeviceId == lb.DeviceId && la.LightDelayMs == lb.LightDelayMs &&
           std::memcmp(la.PortName, lb.PortName, kPortNameSize) == 0 && SameOutput(la, lb);
}

void CheckLoad(const MemoryStore& store, const PluginState& before, const LinkSettings& linkBefore,
               const PluginState& after, const LinkSettings& linkAfter, bool loaded) {
    const auto& journal = store.Journal();
    const bool pastPort =
        std::find(journal.begin(), journal.end(),
                  "read " + std::string(kSettingsKeyPath) + "\\Device") != journal.end();
    const auto port = store.Get(kSettingsKeyPath, "Port");
    // Too long for the 20-byte name whatever else is decided about it.
    const bool unfit = !port || port->bytes.size() > kPortNameSize ||
                       (port->bytes.size() == kPortNameSize &&
                        std::memchr(port->bytes.data(), 0, kPortNameSize) == nullptr);
    // A "Port" that fits is loaded, whatever comes after its terminator.
    FUZZ_CHECK(unfit == !pastPort);
    if (!pastPort) {
        FUZZ_CHECK(!loaded && SameState(after, linkAfter, before, linkBefore));
        return;
    }
    const char* name = linkAfter.PortName;
    FUZZ_CHECK(std::memchr(name, 0, kPortNameSize) != nullptr);
    const size_t length =
        std::find(port->bytes.begin(), port->bytes.end(), 0) - port->bytes.begin();
    FUZZ_CHECK(std::string(name) == std::string(port->bytes.begin(), port->bytes.begin() + length));

    LinkSettings expectedLink = linkBefore;
    std::memcpy(expectedLink.PortName, name, kPortNameSize);
    PluginState expected = before;
    const std::string key = kSettingsKeyPath;
    Expect(store, key, "Device", expectedLink.DeviceId);
    // Optional: missing or too big it means no delay, and it is held to the maximum.
    uint32_t delay = 0;
    Expect(store, key, "LightDelay", delay);
    expectedLink.LightDelayMs = std::min(delay, kMaxLightDelayMs);
    ExpectOutputValues(store, expectedLink);
    Expect(store, key, "DrawFrequency", expected.DrawFrequency);
    Expect(store, key, "DrawPower", expected.DrawPower);
    Expect(store, key, "DrawChannels", expected.DrawChannels);
    Expect(store, key, "DrawChannelNumbers", expected.DrawChannelNumbers);
    bool complete = true;
    for (int n = 0; n < kChannelCount && complete; ++n) {
        complete = store.KeyExists(ChannelPath(n));
        ChannelConfig& c = expected.Channels[n];
        if (complete) {
            const std::string path = ChannelPath(n);
            for (const StoredChannelValue& value : kStoredChannelValues) {
                value.Visit(c, [&](auto& field) { Expect(store, path, value.name, field); });
            }
        }
    }
    FUZZ_CHECK(loaded == complete);
    FUZZ_CHECK(SameState(after, linkAfter, expected, expectedLink));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    MemoryStore store;
    ReadStoredSettings(in, store);

    // What the plug-in object holds before its first load.
    RecordingLink link;
    PluginState state;
    LinkSettings settings;
    ApplyRecordDefaults(state.Channels);
    ApplyPreset(state.Channels, 16, PresetFamily::FrequencyAndPower);

    const LinkSettings settingsBefore = settings;
    const PluginState before = state;
    store.ClearJournal();
    const bool loaded = LoadSettings(state, settings, store);
    FUZZ_CHECK(store.OpenKeyCount() == 0);
    CheckLoad(store, before, settingsBefore, state, settings, loaded);

    const FrameSetup setup = ReadFrameSetup(in);
    link.portsExist = setup.portExists;
    if (loaded) {
        link.Open(settings); // as a start does with what it loaded
    } else {
        ApplyFirstRunDefaults(state, settings, link, store);
    }

    LinkSettings reloadedSettings;
    PluginState reloaded;
    SaveSettings(state, settings, store);
    FUZZ_CHECK(LoadSettings(reloaded, reloadedSettings, store) && store.OpenKeyCount() == 0);
    for (int n = 0; n < kChannelCount; ++n) {
        FUZZ_CHECK(RecordDifferences(reloaded.Channels[n], state.Channels[n], true).empty());
    }
    FUZZ_CHECK(std::strcmp(reloadedSettings.PortName, settings.PortName) == 0);
    FUZZ_CHECK(reloadedSettings.DeviceId == settings.DeviceId);
    FUZZ_CHECK(reloadedSettings.LightDelayMs == settings.LightDelayMs);
    FUZZ_CHECK(SameOutput(reloadedSettings, settings) ||
               (settings.SourceId == SacnCid{} && reloadedSettings.SourceId != SacnCid{}));
    FUZZ_CHECK(reloaded.DrawFrequency == state.DrawFrequency &&
               reloaded.DrawPower == state.DrawPower &&
               reloaded.DrawChannels == state.DrawChannels &&
               reloaded.DrawChannelNumbers == state.DrawChannelNumbers);

    RenderAndCheck(state, link, setup);
    return 0;
}
