#include "analysis/presets.h"

namespace {

constexpr const char* kTitles[kPresetCount] = {
    "Manual Configuration",
    "Frequency And Power (8 Channels)",
    "Frequency And Power (16 Channels)",
    "Frequency Only (8 Channels)",
    "Frequency Only (16 Channels)",
    "Power Only (8 Channels)",
    "Power Only (16 Channels)",
};

struct Layout {
    int32_t n;
    PresetFamily family;
};

// Presets 1 to 6, from index 1.
constexpr Layout kLayouts[kPresetCount] = {
    {0, PresetFamily::FrequencyAndPower}, // preset 0 reloads instead
    {8, PresetFamily::FrequencyAndPower}, {16, PresetFamily::FrequencyAndPower},
    {8, PresetFamily::FrequencyOnly},     {16, PresetFamily::FrequencyOnly},
    {8, PresetFamily::PowerOnly},         {16, PresetFamily::PowerOnly},
};

void FrequencyAndPower(ChannelTable& channels, int32_t n) {
    const int32_t step = kBinCount / (n - 2);
    for (int32_t i = 0; i < kChannelCount; ++i) {
        ChannelConfig& c = channels[i];
        c.Enabled = i < n;
        c.ZeroPending = 1;
        // The two Power records sit above the bands, disabled ones included.
        c.Mode = i >= n - 2 ? ModePower : ModeFrequency;
        c.FreqMode = FreqPeak;
        c.PowerMode = PowerPeakLevel;
        c.AudioChannel = i == n - 1 ? 1 : 0;
        c.FreqStart = i * step;
        c.FreqEnd = (i + 1) * step;
    }
}

void FrequencyOnly(ChannelTable& channels, int32_t n) {
    const int32_t step = kBinCount / n;
    for (int32_t i = 0; i < kChannelCount; ++i) {
        ChannelConfig& c = channels[i];
        c.Enabled = i < n;
        c.ZeroPending = 1;
        c.Mode = ModeFrequency;
        c.FreqMode = FreqPeak;
        c.AudioChannel = 0;
        c.FreqStart = i * step;
        c.FreqEnd = (i + 1) * step;
    }
}

// Keeps the bands, so a record switched back to Frequency finds its band,
// and the owed zeros, which earlier layouts may still be owing.
void PowerOnly(ChannelTable& channels, int32_t n) {
    for (int32_t i = 0; i < kChannelCount; ++i) {
        ChannelConfig& c = channels[i];
        c.Enabled = i < n;
        c.Mode = ModePower;
        c.PowerMode = PowerPeakLevel;
        c.AudioChannel = i >= n / 2 ? 1 : 0;
    }
}

} // namespace

const char* PresetTitle(uint32_t index) {
    return index < static_cast<uint32_t>(kPresetCount) ? kTitles[index] : nullptr;
}

void ApplyPreset(ChannelTable& channels, int32_t n, PresetFamily family) {
    switch (family) {
    case PresetFamily::FrequencyAndPower:
        FrequencyAndPower(channels, n);
        break;
    case PresetFamily::FrequencyOnly:
        FrequencyOnly(channels, n);
        break;
    case PresetFamily::PowerOnly:
        PowerOnly(channels, n);
        break;
    }
}

bool ApplyPresetLayout(ChannelTable& channels, uint32_t preset) {
    if (preset == 0 || preset >= static_cast<uint32_t>(kPresetCount)) {
        return false;
    }
    ApplyPreset(channels, kLayouts[preset].n, kLayouts[preset].family);
    return true;
}

void ApplyRecordDefaults(ChannelTable& channels) {
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig& c = channels[i];
        c.Address = static_cast<uint8_t>(i);
        c.FreqWidth = 50;
        c.ZeroPending = 1;
        for (int32_t& h : c.History) {
            h = 0;
        }
    }
}
