#include "analysis/presets.h"

#include "frame/frame_pipeline.h"
#include "config/settings.h"
#include "memory_store.h"
#include "expect.h"
#include "recording_link.h"
#include "records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

struct Presets : ::testing::Test {
    PluginState state;
    LinkSettings settings;
    RecordingLink link;
    MemoryStore store;

    Presets() {
        // Values no layout writes, so a layout that touches them shows.
        for (int i = 0; i < kChannelCount; ++i) {
            ChannelConfig& c = state.Channels[i];
            c.Address = static_cast<uint8_t>(15 - i);
            c.FreqWidth = 20 + i;
            for (int h = 0; h < kHistoryLength; ++h) {
                c.History[h] = 100 * i + h;
            }
        }
    }

    bool Set(int32_t preset) { return SetCurrentPreset(state, settings, link, store, preset); }

    void ExpectUntouchedFields() {
        for (int i = 0; i < kChannelCount; ++i) {
            const ChannelConfig& c = state.Channels[i];
            EXPECT_EQ(c.Address, 15 - i) << i;
            EXPECT_EQ(c.FreqWidth, 20 + i) << i;
            for (int h = 0; h < kHistoryLength; ++h) {
                EXPECT_EQ(c.History[h], 100 * i + h) << i;
            }
        }
    }
};

TEST_F(Presets, TitlesInIndexOrderAndNoneBeyondSix) {
    EXPECT_EQ(kPresetCount, 7);
    const char* const titles[] = {
        "Manual Configuration",
        "Frequency And Power (8 Channels)",
        "Frequency And Power (16 Channels)",
        "Frequency Only (8 Channels)",
        "Frequency Only (16 Channels)",
        "Power Only (8 Channels)",
        "Power Only (16 Channels)",
    };
    for (uint32_t i = 0; i < 7; ++i) {
        ASSERT_NE(PresetTitle(i), nullptr) << i;
        EXPECT_STREQ(PresetTitle(i), titles[i]);
    }
    EXPECT_EQ(PresetTitle(7), nullptr);
    EXPECT_EQ(PresetTitle(static_cast<uint32_t>(-1)), nullptr);
}

TEST_F(Presets, IndexSevenOrNegativeIsRefusedWithNoChange) {
    ASSERT_TRUE(Set(3));
    const PluginState before = state;
    store.Put(kSettingsKeyPath, "Port", ValueString, {'C', 'O', 'M', '5', 0});
    for (const int32_t bad : {7, -1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(Set(bad));
        EXPECT_EQ(state.CurrentPreset, 3);
        EXPECT_EQ(std::memcmp(state.Channels, before.Channels, sizeof state.Channels), 0);
        EXPECT_EQ(settings.PortName[0], 0);
    }
}

TEST_F(Presets, PresetOneSendsOneZeroToChannelsEightToFifteenAndLevelsToTheFirstEight) {
    ASSERT_TRUE(Set(1));
    EXPECT_EQ(state.CurrentPreset, 1);
    ASSERT_TRUE(link.Open("COM1", 1));
    CheckedCanvas canvas;
    TimedLevel frame = SilentFrame();
    frame.frequency[0][100] = 255; // in channel 0's band 0..170 only

    Render(state, frame, canvas, {0, 0, 1024, 256}, &link);
    EXPECT_EQ(state.ChannelLevels[0], 100);
    std::vector<SentLevel> levels;
    for (int i = 0; i < 8; ++i) {
        levels.push_back({i, state.ChannelLevels[i]});
    }
    std::vector<SentLevel> first = levels;
    for (int i = 8; i < 16; ++i) {
        first.push_back({i, 0});
    }
    EXPECT_EQ(link.levels, first);

    for (int round = 0; round < 2; ++round) {
        link.levels.clear();
        Render(state, frame, canvas, {0, 0, 1024, 256}, &link);
        EXPECT_EQ(link.levels, levels);
    }
}

TEST_F(Presets, FrequencyAndPowerLayouts) {
    ASSERT_TRUE(Set(1));
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& c = state.Channels[i];
        EXPECT_EQ(c.Enabled, i < 8) << i;
        EXPECT_EQ(c.ZeroPending, 1) << i;
        EXPECT_EQ(c.Mode, i >= 6 ? ModePower : ModeFrequency) << i;
        EXPECT_EQ(c.AudioChannel, i == 7 ? 1 : 0) << i;
        EXPECT_EQ(c.FreqMode, FreqPeak);
        EXPECT_EQ(c.PowerMode, PowerPeakLevel);
        EXPECT_EQ(c.FreqStart, 170 * i) << i;
        EXPECT_EQ(c.FreqEnd, 170 * (i + 1)) << i;
    }
    EXPECT_EQ(state.Channels[5].FreqEnd, 1020);
    EXPECT_EQ(state.Channels[15].FreqEnd, 2720);

    ASSERT_TRUE(Set(2));
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& c = state.Channels[i];
        EXPECT_EQ(c.Enabled, 1) << i;
        EXPECT_EQ(c.Mode, i >= 14 ? ModePower : ModeFrequency) << i;
        EXPECT_EQ(c.AudioChannel, i == 15 ? 1 : 0) << i;
        EXPECT_EQ(c.FreqStart, 73 * i) << i;
    }
    EXPECT_EQ(state.Channels[13].FreqEnd, 1022);
    ExpectUntouchedFields();
}

TEST_F(Presets, FrequencyOnlyCoversTheSpectrumAndKeepsPowerMode) {
    for (ChannelConfig& c : state.Channels) {
        c.PowerMode = PowerPeakCount;
        c.AudioChannel = 1;
        c.FreqMode = FreqGraphWidth;
    }
    ASSERT_TRUE(Set(3));
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& c = state.Channels[i];
        EXPECT_EQ(c.Enabled, i < 8) << i;
        EXPECT_EQ(c.ZeroPending, 1);
        EXPECT_EQ(c.Mode, ModeFrequency);
        EXPECT_EQ(c.FreqMode, FreqPeak);
        EXPECT_EQ(c.AudioChannel, 0);
        EXPECT_EQ(c.PowerMode, PowerPeakCount);
        EXPECT_EQ(c.FreqStart, 128 * i) << i;
        EXPECT_EQ(c.FreqEnd, 128 * (i + 1)) << i;
    }
    EXPECT_EQ(state.Channels[7].FreqEnd, 1024);
    ExpectUntouchedFields();
}

TEST_F(Presets, FourThenSixKeepsTheSixtyFourBinBandsInPowerMode) {
    ASSERT_TRUE(Set(4));
    ASSERT_TRUE(Set(6));
    EXPECT_EQ(state.CurrentPreset, 6);
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& c = state.Channels[i];
        EXPECT_EQ(c.Enabled, 1) << i;
        EXPECT_EQ(c.Mode, ModePower) << i;
        EXPECT_EQ(c.PowerMode, PowerPeakLevel) << i;
        EXPECT_EQ(c.AudioChannel, i >= 8 ? 1 : 0) << i;
        EXPECT_EQ(c.FreqMode, FreqPeak) << i;
        EXPECT_EQ(c.FreqStart, 64 * i) << i;
        EXPECT_EQ(c.FreqEnd, 64 * (i + 1)) << i;
    }
    ExpectUntouchedFields();
}

TEST_F(Presets, PowerOnlyLeavesZeroPendingBandsAndFreqModeAlone) {
    for (const int32_t preset : {5, 6}) {
        SCOPED_TRACE(preset);
        for (int i = 0; i < kChannelCount; ++i) {
            ChannelConfig& c = state.Channels[i];
            c.ZeroPending = static_cast<uint8_t>(i % 3 == 0);
            c.FreqStart = -i;
            c.FreqEnd = 3000 + i;
            c.FreqMode = FreqNormalized;
        }
        ASSERT_TRUE(Set(preset));
        const int n = preset == 5 ? 8 : 16;
        for (int i = 0; i < kChannelCount; ++i) {
            const ChannelConfig& c = state.Channels[i];
            EXPECT_EQ(c.ZeroPending, i % 3 == 0) << i;
            EXPECT_EQ(c.FreqStart, -i);
            EXPECT_EQ(c.FreqEnd, 3000 + i);
            EXPECT_EQ(c.FreqMode, FreqNormalized);
            EXPECT_EQ(c.Enabled, i < n) << i;
            EXPECT_EQ(c.Mode, ModePower);
            // Preset 5: 0-3 left, 4-15 right; preset 6: 0-7 left, 8-15 right.
            EXPECT_EQ(c.AudioChannel, i >= n / 2 ? 1 : 0) << i;
        }
    }
    ExpectUntouchedFields();
}

TEST_F(Presets, PresetZeroWithNothingStoredChangesNothingButTheIndex) {
    ASSERT_TRUE(Set(2));
    const PluginState before = state;
    std::strcpy(settings.PortName, "COM8");
    EXPECT_TRUE(Set(0));
    EXPECT_EQ(state.CurrentPreset, 0);
    EXPECT_EQ(std::memcmp(state.Channels, before.Channels, sizeof state.Channels), 0);
    EXPECT_STREQ(settings.PortName, "COM8");
    EXPECT_EQ(store.OpenKeyCount(), 0);
}

TEST_F(Presets, PresetZeroReloadsWhatWasStoredOverALayout) {
    ASSERT_TRUE(Set(4));
    std::strcpy(settings.PortName, "COM6");
    settings.DeviceId = 4;
    SaveSettings(state, settings, store);
    ASSERT_TRUE(Set(5));
    ASSERT_TRUE(Set(0));
    for (int i = 0; i < kChannelCount; ++i) {
        EXPECT_EQ(state.Channels[i].Mode, ModeFrequency) << i;
        EXPECT_EQ(state.Channels[i].FreqStart, 64 * i) << i;
        EXPECT_EQ(state.Channels[i].AudioChannel, 0) << i;
    }
    EXPECT_TRUE(link.opens.empty()) << "a reload doesn't reopen the port";
}

TEST_F(Presets, FirstRunDefaultsOpenComOneEvenWhenItIsMissing) {
    link.missingPorts = {"COM1"};
    std::strcpy(settings.PortName, "COM9");
    settings.DeviceId = 9;
    ApplyFirstRunDefaults(state, settings, link, store);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_STREQ(settings.PortName, "COM1");
    EXPECT_EQ(settings.DeviceId, 1);
    EXPECT_EQ(state.CurrentPreset, 2);
    for (int i = 0; i < kChannelCount; ++i) {
        EXPECT_EQ(state.Channels[i].Address, i);
        EXPECT_EQ(state.Channels[i].FreqWidth, 50);
        EXPECT_EQ(state.Channels[i].History[kHistoryLength - 1], 0);
    }
    const auto port = store.Get(kSettingsKeyPath, "Port");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->bytes, (std::vector<uint8_t>{'C', 'O', 'M', '1', 0}));
}

} // namespace
