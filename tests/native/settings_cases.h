#pragma once
// The settings cases, written once and run over two stores: the memory store
// in the core's tests and the registry of the Wine prefix in the Windows
// tests. A store fixture F gives the test its SettingsStore and a direct view
// of what is stored, by path from the store's root:
//   static constexpr bool kCountsKeys;  // OpenKeyCount is meaningful
//   static constexpr int kFuzzRounds;
//   SettingsStore& Store();
//   int OpenKeyCount() const;
//   void Put(path, name, ValueType, std::vector<uint8_t>);
//   std::optional<StoredValue> Get(path, name) const;
//   bool KeyExists(path) const;
//   void DeleteKey(path);  void DeleteValue(path, name);
//   std::vector<std::string> ValueNames(path) const, SubkeyNames(path) const;

#include "analysis/presets.h"
#include "config/settings.h"
#include "expect.h"
#include "memory_store.h"
#include "recording_link.h"
#include "records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace settings_cases {

inline const std::string kKey = kSettingsKeyPath;

inline std::string ChannelPath(int n) {
    return kKey + "\\Channel" + std::to_string(n);
}

inline std::vector<uint8_t> Text(const std::string& s, bool terminator = true) {
    std::vector<uint8_t> bytes(s.begin(), s.end());
    if (terminator) {
        bytes.push_back(0);
    }
    return bytes;
}

inline std::vector<uint8_t> Dword(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

inline std::vector<uint8_t> Byte(uint8_t v) {
    return {v};
}

// One row of the first-run table, written out from the table.
inline ChannelConfig FirstRunRecord(int i) {
    ChannelConfig c{};
    c.Enabled = 1;
    c.ZeroPending = 1;
    c.Address = static_cast<uint8_t>(i);
    c.Mode = i < 14 ? ModeFrequency : ModePower;
    c.FreqMode = FreqPeak;
    c.AudioChannel = i == 15 ? 1 : 0;
    c.FreqStart = 73 * i;
    c.FreqEnd = 73 * (i + 1);
    c.FreqWidth = 50;
    c.PowerMode = PowerPeakLevel;
    return c;
}

using ::ExpectSameRecord;

// A plug-in object's settings side: its state, its output's settings and
// the output.
struct Plugin {
    PluginState state;
    LinkSettings link;
    RecordingLink output;
    Plugin() = default;
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
};

template <class F> class Settings : public ::testing::Test {
protected:
    F store;

    void TearDown() override {
        if (F::kCountsKeys) {
            EXPECT_EQ(store.OpenKeyCount(), 0) << "a key was left open";
        }
    }

    // A new plug-in object starting over the store.
    std::unique_ptr<Plugin> Start(const SacnCid& newSourceId = kNewSourceId) {
        auto plugin = std::make_unique<Plugin>();
        InitializeSettings(plugin->state, plugin->link, plugin->output, store.Store(), newSourceId);
        return plugin;
    }

    void ExpectStored(const std::string& path, const std::string& name, ValueType type,
                      const std::vector<uint8_t>& bytes) {
        const std::optional<StoredValue> value = store.Get(path, name);
        ASSERT_TRUE(value.has_value()) << path << "\\" << name << " is missing";
        EXPECT_EQ(value->type, type) << path << "\\" << name;
        EXPECT_EQ(value->bytes, bytes) << path << "\\" << name;
    }

    // The nine values of one stored channel, with their types and sizes.
    void ExpectStoredChannel(int n, const ChannelConfig& c) {
        const std::string path = ChannelPath(n);
        for (const StoredChannelValue& value : kStoredChannelValues) {
            ExpectStored(path, value.name, value.type, value.Bytes(c));
        }
    }

    void ExpectStoredFirstRun(const std::string& port = "COM1", uint8_t device = 1) {
        ExpectStored(kKey, "Port", ValueString, Text(port));
        ExpectStored(kKey, "Device", ValueBinary, Byte(device));
        for (int n = 0; n < kChannelCount; ++n) {
            ExpectStoredChannel(n, FirstRunRecord(n));
        }
    }
};

TYPED_TEST_SUITE_P(Settings);

TYPED_TEST_P(Settings, FirstRunStoresTheDefaultTableWithExactTypesAndSizes) {
    const auto plugin = this->Start();

    using Call = OpenCall;
    EXPECT_EQ(plugin->output.opens, (std::vector<Call>{{"COM1", 1}}));
    EXPECT_STREQ(plugin->link.PortName, "COM1");
    EXPECT_EQ(plugin->link.DeviceId, 1);
    EXPECT_EQ(plugin->state.CurrentPreset, 2);
    EXPECT_EQ(plugin->state.SelectedChannel, -1);
    EXPECT_EQ(plugin->state.Dragging, 0);
    EXPECT_EQ(plugin->state.DragStartEdge, 0);
    EXPECT_EQ(plugin->state.DraggableChannels, 8);
    EXPECT_EQ(plugin->state.BarCounter, 0);
    for (int i = 0; i < kChannelCount; ++i) {
        ExpectSameRecord(plugin->state.Channels[i], FirstRunRecord(i),
                         "record " + std::to_string(i));
    }

    this->ExpectStored(kKey, "Port", ValueString, {'C', 'O', 'M', '1', 0});
    this->ExpectStored(kKey, "Device", ValueBinary, {1});
    for (const char* flag : {"DrawFrequency", "DrawPower", "DrawChannels", "DrawChannelNumbers"}) {
        this->ExpectStored(kKey, flag, ValueBinary, {1});
    }
    for (int n = 0; n < kChannelCount; ++n) {
        this->ExpectStoredChannel(n, FirstRunRecord(n));
    }
    // Two rows of the table spelled out.
    this->ExpectStored(ChannelPath(3), "Address", ValueBinary, {3});
    this->ExpectStored(ChannelPath(14), "Mode", ValueDword, {1, 0, 0, 0});
    this->ExpectStored(ChannelPath(14), "FreqStart", ValueDword, {0xFE, 0x03, 0, 0});
    this->ExpectStored(ChannelPath(14), "FreqEnd", ValueDword, {0x47, 0x04, 0, 0});

    // The output: the serial controller, and the network outputs' defaults.
    this->ExpectStored(kKey, "Output", ValueString, Text("Serial"));
    this->ExpectStored(kKey, "OutputAddress", ValueString, Text(""));
    this->ExpectStored(kKey, "Universe", ValueDword, Dword(1));
    this->ExpectStored(kKey, "StartChannel", ValueDword, Dword(1));
    this->ExpectStored(kKey, "SourceId", ValueBinary,
                       std::vector<uint8_t>(kNewSourceId.begin(), kNewSourceId.end()));

    // Nothing beside the layout.
    const std::set<std::string> keyValues = {"Port",         "Device",        "LightDelay",
                                             "Output",       "OutputAddress", "Universe",
                                             "StartChannel", "SourceId",      "DrawFrequency",
                                             "DrawPower",    "DrawChannels",  "DrawChannelNumbers"};
    const auto names = this->store.ValueNames(kKey);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), keyValues);
    const auto subkeys = this->store.SubkeyNames(kKey);
    EXPECT_EQ(subkeys.size(), 16u);
    std::set<std::string> channelValues;
    for (const StoredChannelValue& value : kStoredChannelValues) {
        channelValues.insert(value.name);
    }
    for (int n = 0; n < kChannelCount; ++n) {
        const auto values = this->store.ValueNames(ChannelPath(n));
        EXPECT_EQ(std::set<std::string>(values.begin(), values.end()), channelValues) << n;
    }
}

TYPED_TEST_P(Settings, NextStartLoadsTheStoredSetAndOpensItsPort) {
    this->Start();
    this->store.Put(kKey, "Port", ValueString, Text("COM7"));
    this->store.Put(kKey, "Device", ValueBinary, Byte(9));
    this->store.Put(kKey, "DrawPower", ValueBinary, Byte(0));
    this->store.Put(ChannelPath(3), "FreqStart", ValueDword, Dword(500));
    this->store.Put(ChannelPath(3), "Mode", ValueDword, Dword(2));
    this->store.Put(ChannelPath(15), "Enabled", ValueBinary, Byte(0));
    this->store.Put(ChannelPath(15), "Address", ValueBinary, Byte(4));

    const auto plugin = this->Start();
    using Call = OpenCall;
    EXPECT_EQ(plugin->output.opens, (std::vector<Call>{{"COM7", 9}}));
    EXPECT_TRUE(plugin->output.IsOpen());
    EXPECT_EQ(plugin->state.CurrentPreset, 0);
    EXPECT_EQ(plugin->state.DrawFrequency, 1);
    EXPECT_EQ(plugin->state.DrawPower, 0);
    ChannelConfig three = FirstRunRecord(3);
    three.FreqStart = 500;
    three.Mode = 2;
    ChannelConfig fifteen = FirstRunRecord(15);
    fifteen.Enabled = 0;
    fifteen.Address = 4;
    for (int i = 0; i < kChannelCount; ++i) {
        // Not stored, so they start as on a first run: a zero owed, no history.
        const ChannelConfig expected = i == 3 ? three : i == 15 ? fifteen : FirstRunRecord(i);
        ExpectSameRecord(plugin->state.Channels[i], expected, "record " + std::to_string(i));
    }
    EXPECT_EQ(plugin->state.SelectedChannel, -1);
    EXPECT_EQ(plugin->state.DraggableChannels, 8);
}

TYPED_TEST_P(Settings, PortOfNineteenCharactersLoadsAndOfTwentyResetsEverything) {
    this->Start();
    const std::string nineteen = "\\\\.\\COM123456789012";
    ASSERT_EQ(nineteen.size(), 19u);
    this->store.Put(kKey, "Port", ValueString, Text(nineteen));
    {
        const auto plugin = this->Start();
        EXPECT_EQ(plugin->output.opens.at(0).port, nineteen);
        EXPECT_STREQ(plugin->link.PortName, nineteen.c_str());
        EXPECT_EQ(plugin->state.CurrentPreset, 0);
    }

    const std::string twenty = nineteen + "3";
    this->store.Put(kKey, "Port", ValueString, Text(twenty));
    this->store.Put(kKey, "Device", ValueBinary, Byte(7));
    this->store.Put(ChannelPath(0), "Enabled", ValueBinary, Byte(0));
    {
        Plugin plugin;
        std::strcpy(plugin.link.PortName, "OLD");
        plugin.link.DeviceId = 3;
        plugin.state.Channels[0].Enabled = 1;
        EXPECT_FALSE(LoadSettings(plugin.state, plugin.link, this->store.Store()));
        EXPECT_STREQ(plugin.link.PortName, "OLD");
        EXPECT_EQ(plugin.link.DeviceId, 3);
        EXPECT_EQ(plugin.state.Channels[0].Enabled, 1);
    }
    const auto plugin = this->Start();
    using Call = OpenCall;
    EXPECT_EQ(plugin->output.opens, (std::vector<Call>{{"COM1", 1}}));
    EXPECT_EQ(plugin->state.CurrentPreset, 2);
    this->ExpectStoredFirstRun();
}

TYPED_TEST_P(Settings, PortOfTwentyBytesWithoutTerminatorIsTooLong) {
    const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
    for (const ValueType type : {ValueBinary, ValueString}) {
        SCOPED_TRACE(type);
        this->store.Put(kKey, "Port", type, Text(twenty, false));
        for (int n = 0; n < kChannelCount; ++n) {
            this->store.Put(ChannelPath(n), "Enabled", ValueBinary, Byte(1));
        }
        Plugin plugin;
        std::strcpy(plugin.link.PortName, "COM9");
        EXPECT_FALSE(LoadSettings(plugin.state, plugin.link, this->store.Store()));
        EXPECT_STREQ(plugin.link.PortName, "COM9");
    }

    // Shorter without a terminator: the whole name is replaced and terminated.
    this->store.Put(kKey, "Port", ValueBinary, Text(twenty.substr(0, 19), false));
    Plugin plugin;
    std::memset(plugin.link.PortName, 'x', sizeof plugin.link.PortName - 1);
    EXPECT_TRUE(LoadSettings(plugin.state, plugin.link, this->store.Store()));
    EXPECT_STREQ(plugin.link.PortName, twenty.substr(0, 19).c_str());

    this->store.Put(kKey, "Port", ValueBinary, Text("COM3", false));
    std::strcpy(plugin.link.PortName, "COM10");
    EXPECT_TRUE(LoadSettings(plugin.state, plugin.link, this->store.Store()));
    EXPECT_STREQ(plugin.link.PortName, "COM3");
}

TYPED_TEST_P(Settings, PortOfTwentyBytesWithItsTerminatorInsideLoads) {
    this->Start();
    // "COM4", its terminator, and 15 bytes after it: 20 bytes in all.
    std::vector<uint8_t> port = Text("COM4");
    port.resize(kPortNameSize, 'x');
    for (const ValueType type : {ValueString, ValueBinary}) {
        SCOPED_TRACE(type);
        this->store.Put(kKey, "Port", type, port);
        this->store.Put(ChannelPath(3), "Address", ValueBinary, Byte(9));
        const auto plugin = this->Start();
        using Call = OpenCall;
        EXPECT_EQ(plugin->output.opens, (std::vector<Call>{{"COM4", 1}}));
        EXPECT_EQ(plugin->state.Channels[3].Address, 9);
        EXPECT_EQ(plugin->state.CurrentPreset, 0) << "no first-run defaults";
        this->ExpectStored(kKey, "Port", type, port);
        this->ExpectStored(ChannelPath(3), "Address", ValueBinary, Byte(9));
    }
}

TYPED_TEST_P(Settings, MissingChannelNineResetsChannelsPortAndIdButKeepsStoredFlags) {
    this->Start();
    this->store.Put(kKey, "Port", ValueString, Text("COM7"));
    this->store.Put(kKey, "Device", ValueBinary, Byte(9));
    this->store.Put(kKey, "DrawFrequency", ValueBinary, Byte(0));
    this->store.Put(kKey, "DrawChannelNumbers", ValueBinary, Byte(0));
    this->store.Put(ChannelPath(0), "Enabled", ValueBinary, Byte(0));
    this->store.Put(ChannelPath(12), "FreqStart", ValueDword, Dword(5));
    this->store.DeleteKey(ChannelPath(9));

    const auto plugin = this->Start();
    using Call = OpenCall;
    EXPECT_EQ(plugin->output.opens, (std::vector<Call>{{"COM1", 1}}));
    EXPECT_STREQ(plugin->link.PortName, "COM1");
    EXPECT_EQ(plugin->link.DeviceId, 1);
    EXPECT_EQ(plugin->state.DrawFrequency, 0);
    EXPECT_EQ(plugin->state.DrawPower, 1);
    EXPECT_EQ(plugin->state.DrawChannels, 1);
    EXPECT_EQ(plugin->state.DrawChannelNumbers, 0);
    EXPECT_EQ(plugin->state.CurrentPreset, 2);
    for (int i = 0; i < kChannelCount; ++i) {
        ExpectSameRecord(plugin->state.Channels[i], FirstRunRecord(i),
                         "record " + std::to_string(i));
    }

    this->ExpectStoredFirstRun();
    this->ExpectStored(kKey, "DrawFrequency", ValueBinary, {0});
    this->ExpectStored(kKey, "DrawPower", ValueBinary, {1});
    this->ExpectStored(kKey, "DrawChannelNumbers", ValueBinary, {0});
}

TYPED_TEST_P(Settings, MissingFreqWidthOfChannelTwoKeepsTheRestLoaded) {
    this->Start();
    this->store.Put(ChannelPath(2), "FreqStart", ValueDword, Dword(300));
    this->store.Put(ChannelPath(2), "FreqEnd", ValueDword, Dword(400));
    this->store.Put(ChannelPath(2), "Mode", ValueDword, Dword(1));
    this->store.DeleteValue(ChannelPath(2), "FreqWidth");

    Plugin plugin;
    plugin.state.Channels[2].FreqWidth = 77;
    EXPECT_TRUE(LoadSettings(plugin.state, plugin.link, this->store.Store()));
    EXPECT_EQ(plugin.state.Channels[2].FreqWidth, 77);
    EXPECT_EQ(plugin.state.Channels[2].FreqStart, 300);
    EXPECT_EQ(plugin.state.Channels[2].FreqEnd, 400);
    EXPECT_EQ(plugin.state.Channels[2].Mode, 1);
    EXPECT_EQ(plugin.state.Channels[2].Address, 2);

    // At creation the missing value keeps its first-run value, and nothing
    // is rewritten.
    const auto started = this->Start();
    EXPECT_EQ(started->state.CurrentPreset, 0);
    EXPECT_EQ(started->state.Channels[2].FreqWidth, 50);
    EXPECT_EQ(started->state.Channels[2].FreqStart, 300);
    EXPECT_FALSE(this->store.Get(ChannelPath(2), "FreqWidth").has_value());
}

TYPED_TEST_P(Settings, DeviceZeroLoadsAndOpenRefusesItWithoutDefaults) {
    this->Start();
    this->store.Put(kKey, "Port", ValueString, Text("COM4"));
    this->store.Put(kKey, "Device", ValueBinary, Byte(0));

    const auto plugin = this->Start();
    using Call = OpenCall;
    EXPECT_EQ(plugin->output.opens, (std::vector<Call>{{"COM4", 0}}));
    EXPECT_FALSE(plugin->output.IsOpen());
    EXPECT_STREQ(plugin->link.PortName, "COM4");
    EXPECT_EQ(plugin->link.DeviceId, 0);
    EXPECT_EQ(plugin->state.CurrentPreset, 0);
    this->ExpectStored(kKey, "Port", ValueString, Text("COM4"));
    this->ExpectStored(kKey, "Device", ValueBinary, {0});
}

TYPED_TEST_P(Settings, PresetZeroFailingAtChannelFiveKeepsItsNewChannelsAndTheOldRest) {
    const auto plugin = this->Start();
    for (int n = 0; n < kChannelCount; ++n) {
        this->store.Put(ChannelPath(n), "FreqStart", ValueDword, Dword(1000 + n));
        this->store.Put(ChannelPath(n), "Address", ValueBinary, Byte(static_cast<uint8_t>(15 - n)));
    }
    this->store.Put(kKey, "Port", ValueString, Text("COM2"));
    this->store.Put(kKey, "Device", ValueBinary, Byte(3));
    this->store.Put(kKey, "DrawPower", ValueBinary, Byte(0));
    this->store.DeleteKey(ChannelPath(5));
    ChannelTable before;
    std::copy(std::begin(plugin->state.Channels), std::end(plugin->state.Channels), before);
    plugin->output.opens.clear();

    EXPECT_TRUE(
        SetCurrentPreset(plugin->state, plugin->link, plugin->output, this->store.Store(), 0));
    EXPECT_EQ(plugin->state.CurrentPreset, 0);
    for (int n = 0; n < kChannelCount; ++n) {
        ChannelConfig expected = before[n];
        if (n < 5) {
            expected.FreqStart = 1000 + n;
            expected.Address = static_cast<uint8_t>(15 - n);
        }
        ExpectSameRecord(plugin->state.Channels[n], expected, "record " + std::to_string(n));
    }
    // Read before the channels; not reopened, and no defaults stored. The
    // output takes the reloaded id from the next frame on.
    EXPECT_STREQ(plugin->link.PortName, "COM2");
    EXPECT_EQ(plugin->link.DeviceId, 3);
    EXPECT_EQ(plugin->state.DrawPower, 0);
    EXPECT_TRUE(plugin->output.opens.empty());
    ASSERT_EQ(plugin->output.adopted.size(), 1u);
    EXPECT_EQ(plugin->output.adopted[0].DeviceId, 3);
    EXPECT_FALSE(this->store.KeyExists(ChannelPath(5)));
}

TYPED_TEST_P(Settings, FittingValuesOfAnyTypeAreTakenByteForByte) {
    this->Start();
    const std::string c0 = ChannelPath(0);
    this->store.Put(kKey, "Port", ValueBinary, Text("COM5"));
    this->store.Put(kKey, "Device", ValueString, Byte(5));
    this->store.Put(c0, "Mode", ValueBinary, {2, 0, 0, 0});
    this->store.Put(c0, "Address", ValueDword, {7});
    this->store.Put(c0, "PowerMode", ValueString, Text("3"));  // '3', 0 -> 0x33
    this->store.Put(c0, "FreqEnd", ValueBinary, {0x34, 0x12}); // shorter: zero-extended
    this->store.Put(c0, "Enabled", ValueDword, Dword(0));      // too large for a byte
    this->store.Put(c0, "FreqStart", static_cast<ValueType>(11), {9, 0, 0, 0, 0, 0, 0, 0});

    Plugin plugin;
    plugin.state.Channels[0] = FirstRunRecord(0);
    EXPECT_TRUE(LoadSettings(plugin.state, plugin.link, this->store.Store()));
    EXPECT_STREQ(plugin.link.PortName, "COM5");
    EXPECT_EQ(plugin.link.DeviceId, 5);
    const ChannelConfig& c = plugin.state.Channels[0];
    EXPECT_EQ(c.Mode, 2);
    EXPECT_EQ(c.Address, 7);
    EXPECT_EQ(c.PowerMode, 0x33);
    EXPECT_EQ(c.FreqEnd, 0x1234);
    EXPECT_EQ(c.Enabled, 1);
    EXPECT_EQ(c.FreqStart, 0);
}

TYPED_TEST_P(Settings, KeyWithoutPortIsAFirstRunThatDeletesNothing) {
    this->store.Put(kKey, "Extra", ValueDword, Dword(42));
    this->store.Put(kKey + "\\Channel16", "Enabled", ValueBinary, Byte(1));
    this->store.Put(ChannelPath(3), "Note", ValueString, Text("kept"));
    this->store.Put(ChannelPath(3), "Enabled", ValueBinary, Byte(0));

    const auto plugin = this->Start();
    EXPECT_EQ(plugin->state.CurrentPreset, 2);
    this->ExpectStoredFirstRun();
    this->ExpectStored(kKey, "Extra", ValueDword, Dword(42));
    this->ExpectStored(kKey + "\\Channel16", "Enabled", ValueBinary, {1});
    this->ExpectStored(ChannelPath(3), "Note", ValueString, Text("kept"));
}

// Random values, types and sizes in the key and its subkeys. A load never
// fails badly: PortName stays terminated, and every field ends up holding
// either its old value or the stored one, exactly as the stored set says.
TYPED_TEST_P(Settings, FuzzedStoreLeavesEachFieldOldOrStored) {
    std::mt19937 rng(20240611u);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char* const keyValues[] = {"Port",      "Device",       "DrawFrequency",
                                     "DrawPower", "DrawChannels", "DrawChannelNumbers"};
    const ValueType types[] = {static_cast<ValueType>(0),
                               ValueString,
                               static_cast<ValueType>(2),
                               ValueBinary,
                               ValueDword,
                               static_cast<ValueType>(7),
                               static_cast<ValueType>(11)};
    const uint32_t sizes[] = {0, 1, 2, 3, 4, 5, 8, 18, 19, 20, 21, 40};

    auto randomBytes = [&](size_t size) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes) {
            // Mostly printable, sometimes a zero, so ports look like ports.
            const int r = pick(10);
            b = r == 0  ? 0
                : r < 8 ? static_cast<uint8_t>('A' + pick(26))
                        : static_cast<uint8_t>(rng());
        }
        return bytes;
    };
    auto randomValue = [&](const std::string& path, const std::string& name) {
        const uint32_t size = pick(3) == 0 ? static_cast<uint32_t>(pick(41)) : sizes[pick(12)];
        this->store.Put(path, name, types[pick(7)], randomBytes(size));
    };
    auto completeSet = [&]() {
        Plugin random;
        const std::vector<uint8_t> name = randomBytes(static_cast<size_t>(pick(20)));
        std::copy(name.begin(), name.end(), random.link.PortName);
        random.link.PortName[name.size()] = 0;
        random.link.DeviceId = static_cast<uint8_t>(rng());
        for (ChannelConfig& c : random.state.Channels) {
            c.Address = static_cast<uint8_t>(rng());
            c.Mode = static_cast<int32_t>(rng());
            c.FreqStart = static_cast<int32_t>(rng());
        }
        SaveSettings(random.state, random.link, this->store.Store());
    };

    completeSet();
    int loadedRounds = 0;
    for (int round = 0; round < TypeParam::kFuzzRounds; ++round) {
        SCOPED_TRACE(round);
        // Change a few things in the stored set, now and then start afresh.
        const int what = pick(100);
        if (what < 3) {
            this->store.DeleteKey(kKey);
        } else if (what < 8) {
            completeSet();
        }
        for (int changes = 1 + pick(6); changes > 0; --changes) {
            const int n = pick(kChannelCount);
            switch (pick(8)) {
            case 0:
            case 1:
                randomValue(kKey, keyValues[pick(6)]);
                break;
            case 2:
            case 3:
                randomValue(ChannelPath(n), kStoredChannelValues[pick(9)].name);
                break;
            case 4:
                this->store.DeleteValue(pick(2) ? kKey : ChannelPath(n),
                                        pick(2) ? keyValues[pick(6)]
                                                : kStoredChannelValues[pick(9)].name);
                break;
            case 5:
                if (pick(3) == 0) {
                    this->store.DeleteKey(ChannelPath(n));
                }
                break;
            case 6:
                randomValue(pick(2) ? kKey : ChannelPath(n), "Junk" + std::to_string(pick(3)));
                break;
            default:
                this->store.Put(ChannelPath(n), "Enabled", ValueBinary, Byte(1));
                break;
            }
        }

        // Old values: anything at all, the port name terminated.
        Plugin plugin;
        ChannelTable& records = plugin.state.Channels;
        for (size_t b = 0; b < sizeof(ChannelTable); ++b) {
            reinterpret_cast<uint8_t*>(records)[b] = static_cast<uint8_t>(rng());
        }
        const std::vector<uint8_t> oldName = randomBytes(19);
        std::copy(oldName.begin(), oldName.end(), plugin.link.PortName);
        plugin.link.PortName[19] = 0;
        plugin.link.DeviceId = static_cast<uint8_t>(rng());
        uint8_t* flags[] = {&plugin.state.DrawFrequency, &plugin.state.DrawPower,
                            &plugin.state.DrawChannels, &plugin.state.DrawChannelNumbers};
        for (uint8_t* f : flags) {
            *f = static_cast<uint8_t>(rng());
        }

        // What the load should leave, from the stored set.
        ChannelTable expectedChannels;
        std::copy(std::begin(records), std::end(records), expectedChannels);
        char expectedPort[kPortNameSize];
        std::memcpy(expectedPort, plugin.link.PortName, sizeof expectedPort);
        uint8_t expectedDevice = plugin.link.DeviceId;
        uint8_t expectedFlags[4];
        for (int i = 0; i < 4; ++i) {
            expectedFlags[i] = *flags[i];
        }
        // A fitting value zero-extended to its field; a missing or larger one
        // leaves the field.
        auto take = [&](const std::string& path, const char* name, auto& field) {
            const auto value = this->store.Get(path, name);
            if (value && value->bytes.size() <= sizeof field) {
                uint32_t v = 0;
                for (size_t i = 0; i < value->bytes.size(); ++i) {
                    v |= uint32_t{value->bytes[i]} << (8 * i);
                }
                field = static_cast<std::remove_reference_t<decltype(field)>>(v);
            }
        };
        bool expectLoaded = false;
        const auto port = this->store.Get(kKey, "Port");
        if (this->store.KeyExists(kKey) && port && port->bytes.size() <= kPortNameSize &&
            (port->bytes.size() < kPortNameSize ||
             std::find(port->bytes.begin(), port->bytes.end(), 0) != port->bytes.end())) {
            std::memset(expectedPort, 0, sizeof expectedPort);
            std::copy(port->bytes.begin(), port->bytes.end(), expectedPort);
            take(kKey, "Device", expectedDevice);
            for (int i = 0; i < 4; ++i) {
                take(kKey, keyValues[2 + i], expectedFlags[i]);
            }
            expectLoaded = true;
            for (int n = 0; n < kChannelCount && expectLoaded; ++n) {
                if (!this->store.KeyExists(ChannelPath(n))) {
                    expectLoaded = false;
                    break;
                }
                ChannelConfig& c = expectedChannels[n];
                const std::string path = ChannelPath(n);
                for (const StoredChannelValue& value : kStoredChannelValues) {
                    value.Visit(c, [&](auto& field) { take(path, value.name, field); });
                }
            }
        }

        const bool loaded = LoadSettings(plugin.state, plugin.link, this->store.Store());
        loadedRounds += loaded;

        ASSERT_NE(std::memchr(plugin.link.PortName, 0, sizeof plugin.link.PortName), nullptr);
        EXPECT_EQ(loaded, expectLoaded);
        EXPECT_EQ(std::memcmp(plugin.link.PortName, expectedPort, sizeof expectedPort), 0);
        EXPECT_EQ(plugin.link.DeviceId, expectedDevice);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(*flags[i], expectedFlags[i]) << keyValues[2 + i];
        }
        for (int n = 0; n < kChannelCount; ++n) {
            ExpectSameRecord(records[n], expectedChannels[n], "record " + std::to_string(n));
        }
        if (TypeParam::kCountsKeys && round % 50 == 0) {
            ASSERT_EQ(this->store.OpenKeyCount(), 0);
        }
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
    // Both outcomes were exercised, each in a fair share of the rounds.
    std::printf("fuzz: %d of %d loads succeeded\n", loadedRounds, TypeParam::kFuzzRounds);
    EXPECT_GT(loadedRounds, TypeParam::kFuzzRounds / 10);
    EXPECT_LT(loadedRounds, TypeParam::kFuzzRounds * 9 / 10);
}

TYPED_TEST_P(Settings, OutputValuesLoadEachWithItsOwnFallbackAndOpenTheirOutput) {
    this->Start();
    this->store.Put(kKey, "Output", ValueString, Text("art-NET"));
    this->store.Put(kKey, "OutputAddress", ValueString, Text("lights.local"));
    this->store.Put(kKey, "Universe", ValueDword, Dword(32767));
    this->store.Put(kKey, "StartChannel", ValueDword, Dword(500));
    this->store.Put(kKey, "Device", ValueBinary, Byte(0)); // Serial's, not Art-Net's
    {
        const auto plugin = this->Start();
        EXPECT_EQ(plugin->state.CurrentPreset, 0) << "loaded";
        ASSERT_EQ(plugin->output.opens.size(), 1u);
        EXPECT_EQ(plugin->output.opens[0].output, OutputKind::ArtNet);
        EXPECT_TRUE(plugin->output.IsOpen());
        EXPECT_STREQ(plugin->output.opened.OutputAddress, "lights.local");
        EXPECT_EQ(plugin->output.opened.Universe, 32767);
        EXPECT_EQ(plugin->output.opened.StartChannel, 500);
    }

    struct Case {
        const char* name;
        ValueType type;
        std::vector<uint8_t> bytes;
        OutputKind output;
        const char* address;
        uint16_t universe, startChannel;
    };
    const Case cases[] = {
        {"Output", ValueString, Text("DMX"), OutputKind::Serial, "lights.local", 32767, 500},
        {"Output", ValueString, Text("sACN", false), OutputKind::Sacn, "lights.local", 32767, 500},
        {"Output", ValueString, Text(std::string(40, 'x')), OutputKind::Serial, "lights.local",
         32767, 500},
        {"OutputAddress", ValueString, Text("my lights"), OutputKind::ArtNet, "", 32767, 500},
        {"OutputAddress", ValueString, Text(std::string(300, 'a')), OutputKind::ArtNet, "", 32767,
         500},
        {"Universe", ValueDword, Dword(32768), OutputKind::ArtNet, "lights.local", 1, 500},
        {"Universe", ValueDword, Dword(0), OutputKind::ArtNet, "lights.local", 0, 500},
        {"StartChannel", ValueDword, Dword(0), OutputKind::ArtNet, "lights.local", 32767, 1},
        {"StartChannel", ValueDword, Dword(513), OutputKind::ArtNet, "lights.local", 32767, 1},
        {"StartChannel", ValueBinary, std::vector<uint8_t>(5, 1), OutputKind::ArtNet,
         "lights.local", 32767, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto stored = this->store.Get(kKey, c.name);
        this->store.Put(kKey, c.name, c.type, c.bytes);
        Plugin plugin;
        ASSERT_TRUE(LoadSettings(plugin.state, plugin.link, this->store.Store()));
        EXPECT_EQ(plugin.link.Output, c.output);
        EXPECT_STREQ(plugin.link.OutputAddress, c.address);
        EXPECT_EQ(plugin.link.Universe, c.universe);
        EXPECT_EQ(plugin.link.StartChannel, c.startChannel);
        this->store.Put(kKey, c.name, stored->type, stored->bytes);
    }
    // sACN's universes start at 1: the same stored 0 falls back there.
    this->store.Put(kKey, "Output", ValueString, Text("sACN"));
    this->store.Put(kKey, "Universe", ValueDword, Dword(0));
    Plugin plugin;
    ASSERT_TRUE(LoadSettings(plugin.state, plugin.link, this->store.Store()));
    EXPECT_EQ(plugin.link.Universe, 1);
    // Absent, each is its default.
    for (const char* name : {"Output", "OutputAddress", "Universe", "StartChannel"}) {
        this->store.DeleteValue(kKey, name);
    }
    ASSERT_TRUE(LoadSettings(plugin.state, plugin.link, this->store.Store()));
    EXPECT_EQ(plugin.link.Output, OutputKind::Serial);
    EXPECT_STREQ(plugin.link.OutputAddress, "");
    EXPECT_EQ(plugin.link.Universe, 1);
    EXPECT_EQ(plugin.link.StartChannel, 1);
}

TYPED_TEST_P(Settings, TheSourceIdIsMadeOnceAndKeptForEver) {
    const std::vector<uint8_t> made(kNewSourceId.begin(), kNewSourceId.end());
    SacnCid other = kNewSourceId;
    other[0] ^= 0xFF;
    this->Start();
    this->ExpectStored(kKey, "SourceId", ValueBinary, made);
    EXPECT_EQ(this->Start(other)->link.SourceId, kNewSourceId) << "a later start keeps it";

    // A stored set from before there were network outputs: loaded, and the
    // id stored beside it at once, changing nothing else.
    this->store.DeleteValue(kKey, "SourceId");
    this->store.Put(kKey, "Port", ValueString, Text("COM9"));
    {
        const auto plugin = this->Start(other);
        EXPECT_EQ(plugin->state.CurrentPreset, 0);
        EXPECT_EQ(plugin->link.SourceId, other);
    }
    this->ExpectStored(kKey, "SourceId", ValueBinary,
                       std::vector<uint8_t>(other.begin(), other.end()));
    this->ExpectStored(kKey, "Port", ValueString, Text("COM9"));

    // One that isn't 16 bytes, or is all zero, is no id.
    for (const std::vector<uint8_t>& bad :
         {std::vector<uint8_t>(15, 7), std::vector<uint8_t>(17, 7), std::vector<uint8_t>(16, 0)}) {
        this->store.Put(kKey, "SourceId", ValueBinary, bad);
        EXPECT_EQ(this->Start()->link.SourceId, kNewSourceId) << bad.size();
        this->ExpectStored(kKey, "SourceId", ValueBinary, made);
    }

    // Settings reset for want of a channel keep the user's id.
    this->store.Put(kKey, "SourceId", ValueBinary,
                    std::vector<uint8_t>(other.begin(), other.end()));
    this->store.DeleteKey(ChannelPath(9));
    {
        const auto plugin = this->Start();
        EXPECT_EQ(plugin->state.CurrentPreset, 2) << "reset";
        EXPECT_EQ(plugin->link.SourceId, other);
    }
    this->ExpectStored(kKey, "SourceId", ValueBinary,
                       std::vector<uint8_t>(other.begin(), other.end()));
}

REGISTER_TYPED_TEST_SUITE_P(
    Settings, FirstRunStoresTheDefaultTableWithExactTypesAndSizes,
    NextStartLoadsTheStoredSetAndOpensItsPort,
    PortOfNineteenCharactersLoadsAndOfTwentyResetsEverything,
    PortOfTwentyBytesWithoutTerminatorIsTooLong, PortOfTwentyBytesWithItsTerminatorInsideLoads,
    MissingChannelNineResetsChannelsPortAndIdButKeepsStoredFlags,
    MissingFreqWidthOfChannelTwoKeepsTheRestLoaded, DeviceZeroLoadsAndOpenRefusesItWithoutDefaults,
    PresetZeroFailingAtChannelFiveKeepsItsNewChannelsAndTheOldRest,
    FittingValuesOfAnyTypeAreTakenByteForByte, KeyWithoutPortIsAFirstRunThatDeletesNothing,
    FuzzedStoreLeavesEachFieldOldOrStored, OutputValuesLoadEachWithItsOwnFallbackAndOpenTheirOutput,
    TheSourceIdIsMadeOnceAndKeptForEver);

// The store's own rules, which the memory store must share with the registry.
template <class F> class SettingsStoreRules : public ::testing::Test {
protected:
    F store;
};

TYPED_TEST_SUITE_P(SettingsStoreRules);

TYPED_TEST_P(SettingsStoreRules, ValueTooLargeReportsItsSizeAndCopiesNothing) {
    this->store.Put("T", "V", ValueBinary, {1, 2, 3, 4, 5});
    const SettingsKey key = this->store.Store().OpenKey("T");
    ASSERT_TRUE(key);
    uint8_t buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    uint32_t size = 4;
    EXPECT_EQ(key.Read("V", buffer, size), ReadResult::TooLarge);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::count(buffer, buffer + 8, 0xEE), 8);

    size = sizeof buffer;
    EXPECT_EQ(key.Read("V", buffer, size), ReadResult::Ok);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 6),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 0xEE}));
}

TYPED_TEST_P(SettingsStoreRules, UnterminatedStringGetsATerminatorOnlyWhenThereIsRoom) {
    this->store.Put("T", "S", ValueString, {'a', 'b', 'c'});
    const SettingsKey key = this->store.Store().OpenKey("T");
    char buffer[5];
    std::memset(buffer, 'x', sizeof buffer);
    uint32_t size = 3;
    EXPECT_EQ(key.Read("S", buffer, size), ReadResult::Ok);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(buffer, 5), "abcxx");
    size = sizeof buffer;
    EXPECT_EQ(key.Read("S", buffer, size), ReadResult::Ok);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(buffer, 5), std::string("abc\0x", 5));
}

TYPED_TEST_P(SettingsStoreRules, MissingValuesAndKeysReadNothing) {
    this->store.Put("T", "V", ValueDword, Dword(1));
    const SettingsKey key = this->store.Store().OpenKey("T");
    uint32_t value = 0;
    uint32_t size = sizeof value;
    EXPECT_EQ(key.Read("W", &value, size), ReadResult::Missing);

    SettingsKey none = this->store.Store().OpenKey("T\\Nothing");
    EXPECT_FALSE(none);
    EXPECT_FALSE(key.OpenSubkey("Nothing"));
    size = sizeof value;
    EXPECT_EQ(none.Read("V", &value, size), ReadResult::Missing);
    none.Write("V", ValueDword, &value, sizeof value);
    EXPECT_FALSE(this->store.KeyExists("T\\Nothing"));
}

TYPED_TEST_P(SettingsStoreRules, NamesMatchWithoutRegardToCase) {
    this->store.Put("Software\\Twinkla\\Channel1", "FreqStart", ValueDword, Dword(73));
    const SettingsKey key = this->store.Store().OpenKey("SOFTWARE\\twinkla");
    ASSERT_TRUE(key);
    const SettingsKey channel = key.OpenSubkey("CHANNEL1");
    ASSERT_TRUE(channel);
    int32_t value = 0;
    uint32_t size = sizeof value;
    EXPECT_EQ(channel.Read("freqstart", &value, size), ReadResult::Ok);
    EXPECT_EQ(value, 73);
}

TYPED_TEST_P(SettingsStoreRules, CreatedKeysKeepTypesAndExactBytes) {
    {
        const SettingsKey key = this->store.Store().CreateKey("A\\B");
        ASSERT_TRUE(key);
        const SettingsKey sub = key.CreateSubkey("C");
        ASSERT_TRUE(sub);
        const uint8_t two[2] = {0x34, 0x12};
        sub.Write("Short", ValueDword, two, 2);
        sub.Write("Empty", ValueBinary, two, 0);
        sub.Write("Text", ValueString, "COM1", 5);
        sub.Write("Text", ValueString, "COM22", 6); // overwritten
    }
    EXPECT_TRUE(this->store.KeyExists("A"));
    const auto shortValue = this->store.Get("A\\B\\C", "Short");
    ASSERT_TRUE(shortValue);
    EXPECT_EQ(shortValue->type, ValueDword);
    EXPECT_EQ(shortValue->bytes, (std::vector<uint8_t>{0x34, 0x12}));
    const auto empty = this->store.Get("A\\B\\C", "Empty");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->bytes.empty());
    const auto text = this->store.Get("A\\B\\C", "Text");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->type, ValueString);
    EXPECT_EQ(text->bytes, Text("COM22"));

    // Reading an empty value succeeds with size 0.
    const SettingsKey key = this->store.Store().OpenKey("A\\B\\C");
    uint8_t byte = 9;
    uint32_t size = 1;
    EXPECT_EQ(key.Read("Empty", &byte, size), ReadResult::Ok);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(byte, 9);
}

TYPED_TEST_P(SettingsStoreRules, KeyDeletedWhileOpenReadsNothing) {
    this->store.Put("T\\U", "V", ValueBinary, {1});
    const SettingsKey key = this->store.Store().OpenKey("T\\U");
    ASSERT_TRUE(key);
    this->store.DeleteKey("T");
    uint8_t value = 0;
    uint32_t size = 1;
    EXPECT_NE(key.Read("V", &value, size), ReadResult::Ok);
    EXPECT_FALSE(this->store.KeyExists("T"));
}

REGISTER_TYPED_TEST_SUITE_P(SettingsStoreRules, ValueTooLargeReportsItsSizeAndCopiesNothing,
                            UnterminatedStringGetsATerminatorOnlyWhenThereIsRoom,
                            MissingValuesAndKeysReadNothing, NamesMatchWithoutRegardToCase,
                            CreatedKeysKeepTypesAndExactBytes, KeyDeletedWhileOpenReadsNothing);

} // namespace settings_cases
