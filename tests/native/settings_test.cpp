#include "backup_cases.h"
#include "settings_cases.h"

#include <gtest/gtest.h>

namespace {

using settings_cases::ChannelPath;
using settings_cases::kKey;
using settings_cases::Plugin;
using settings_cases::Text;

struct MemoryFixture {
    static constexpr bool kCountsKeys = true;
    static constexpr int kFuzzRounds = 2000;

    MemoryStore memory;

    SettingsStore& Store() { return memory; }
    int OpenKeyCount() const { return memory.OpenKeyCount(); }
    void Put(const std::string& path, const std::string& name, ValueType type,
             std::vector<uint8_t> bytes) {
        memory.Put(path, name, type, std::move(bytes));
    }
    std::optional<StoredValue> Get(const std::string& path, const std::string& name) const {
        return memory.Get(path, name);
    }
    bool KeyExists(const std::string& path) const { return memory.KeyExists(path); }
    void DeleteKey(const std::string& path) { memory.DeleteKey(path); }
    void DeleteValue(const std::string& path, const std::string& name) {
        memory.DeleteValue(path, name);
    }
    std::vector<std::string> ValueNames(const std::string& path) const {
        return memory.ValueNames(path);
    }
    std::vector<std::string> SubkeyNames(const std::string& path) const {
        return memory.SubkeyNames(path);
    }
};

} // namespace

namespace settings_cases {
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, Settings, MemoryFixture);
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, SettingsStoreRules, MemoryFixture);
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, SettingsBackup, MemoryFixture);
} // namespace settings_cases

namespace {

// The journal of one save and one load, with the channel keys cut to the
// first and the last.
std::vector<std::string> Trimmed(const std::vector<std::string>& journal) {
    std::vector<std::string> out;
    for (const std::string& entry : journal) {
        const bool middle = entry.find("\\Channel") != std::string::npos &&
                            entry.find("\\Channel0") == std::string::npos &&
                            entry.find("\\Channel15") == std::string::npos;
        if (!middle) {
            out.push_back(entry);
        }
    }
    return out;
}

TEST(Settings, SaveAndLoadGoInTheStoredOrderClosingEachChannelKeyBeforeTheNext) {
    MemoryStore store;
    Plugin plugin;
    std::strcpy(plugin.link.PortName, "COM1");
    plugin.link.SourceId = kNewSourceId;
    SaveSettings(plugin.state, plugin.link, store);

    std::vector<std::string> channel0;
    for (const StoredChannelValue& value : kStoredChannelValues) {
        channel0.push_back(std::string("write Software\\Twinkla\\Channel0\\") + value.name);
    }
    std::vector<std::string> expected = {
        "create Software\\Twinkla",
        "write Software\\Twinkla\\Port",
        "write Software\\Twinkla\\Device",
        "write Software\\Twinkla\\LightDelay",
        "write Software\\Twinkla\\Output",
        "write Software\\Twinkla\\OutputAddress",
        "write Software\\Twinkla\\Universe",
        "write Software\\Twinkla\\StartChannel",
        "write Software\\Twinkla\\SourceId",
        "write Software\\Twinkla\\DrawFrequency",
        "write Software\\Twinkla\\DrawPower",
        "write Software\\Twinkla\\DrawChannels",
        "write Software\\Twinkla\\DrawChannelNumbers",
        "create Software\\Twinkla\\Channel0",
    };
    expected.insert(expected.end(), channel0.begin(), channel0.end());
    expected.push_back("close Software\\Twinkla\\Channel0");
    const std::vector<std::string> saved = Trimmed(store.Journal());
    ASSERT_GE(saved.size(), expected.size() + 12);
    EXPECT_EQ(std::vector<std::string>(saved.begin(), saved.begin() + expected.size()), expected);
    EXPECT_EQ(saved[expected.size()], "create Software\\Twinkla\\Channel15");
    EXPECT_EQ(saved.back(), "close Software\\Twinkla");
    EXPECT_EQ(store.Journal().size(), 1 + 12 + 16 * 11 + 1);

    store.ClearJournal();
    EXPECT_TRUE(LoadSettings(plugin.state, plugin.link, store));
    const std::vector<std::string> loaded = Trimmed(store.Journal());
    ASSERT_GE(loaded.size(), 24u);
    EXPECT_EQ(loaded[0], "open Software\\Twinkla");
    EXPECT_EQ(loaded[1], "read Software\\Twinkla\\Port");
    EXPECT_EQ(loaded[3], "read Software\\Twinkla\\LightDelay");
    EXPECT_EQ(loaded[4], "read Software\\Twinkla\\Output");
    EXPECT_EQ(loaded[8], "read Software\\Twinkla\\SourceId");
    EXPECT_EQ(loaded[12], "read Software\\Twinkla\\DrawChannelNumbers");
    EXPECT_EQ(loaded[13], "open Software\\Twinkla\\Channel0");
    for (size_t i = 0; i < channel0.size(); ++i) {
        EXPECT_EQ(loaded[14 + i], "read" + channel0[i].substr(5));
    }
    EXPECT_EQ(loaded[23], "close Software\\Twinkla\\Channel0");
    EXPECT_EQ(loaded.back(), "close Software\\Twinkla");
}

TEST(Settings, EveryKeyOpenedIsClosedOnEveryPathOfALoad) {
    struct Path {
        const char* what;
        void (*breakIt)(MemoryStore&);
        bool loads;
        bool opensAKey;
    };
    const Path paths[] = {
        {"complete", [](MemoryStore&) {}, true, true},
        {"no key", [](MemoryStore& s) { s.DeleteKey(kKey); }, false, false},
        {"no port", [](MemoryStore& s) { s.DeleteValue(kKey, "Port"); }, false, true},
        {"port too long",
         [](MemoryStore& s) { s.Put(kKey, "Port", ValueString, Text(std::string(20, 'C'))); },
         false, true},
        {"no Channel0", [](MemoryStore& s) { s.DeleteKey(ChannelPath(0)); }, false, true},
        {"no Channel15", [](MemoryStore& s) { s.DeleteKey(ChannelPath(15)); }, false, true},
        {"no channel values",
         [](MemoryStore& s) {
             for (const std::string& v : s.ValueNames(ChannelPath(4))) {
                 s.DeleteValue(ChannelPath(4), v);
             }
         },
         true, true},
    };
    for (const Path& path : paths) {
        SCOPED_TRACE(path.what);
        MemoryStore store;
        Plugin saved;
        std::strcpy(saved.link.PortName, "COM1");
        SaveSettings(saved.state, saved.link, store);
        path.breakIt(store);
        const int before = store.OpenedKeyTotal();
        Plugin plugin;
        EXPECT_EQ(LoadSettings(plugin.state, plugin.link, store), path.loads);
        EXPECT_EQ(store.OpenedKeyTotal() > before, path.opensAKey);
        EXPECT_EQ(store.OpenKeyCount(), 0);
    }
}

TEST(Settings, SaveSkipsAChannelWhoseKeyCannotBeCreated) {
    MemoryStore store;
    store.DenyCreate(ChannelPath(4));
    Plugin plugin;
    std::strcpy(plugin.link.PortName, "COM2");
    plugin.state.Channels[5].FreqStart = 99;
    SaveSettings(plugin.state, plugin.link, store);

    EXPECT_FALSE(store.KeyExists(ChannelPath(4)));
    EXPECT_TRUE(store.KeyExists(ChannelPath(3)));
    const auto five = store.Get(ChannelPath(5), "FreqStart");
    ASSERT_TRUE(five);
    EXPECT_EQ(five->bytes, settings_cases::Dword(99));
    EXPECT_EQ(store.SubkeyNames(kKey).size(), 15u);
    EXPECT_EQ(store.OpenKeyCount(), 0);
}

TEST(Settings, StartWithoutWriteAccessStillAppliesTheDefaults) {
    MemoryStore store;
    store.DenyCreate("Software");
    Plugin plugin;
    InitializeSettings(plugin.state, plugin.link, plugin.output, store, kNewSourceId);

    EXPECT_FALSE(store.KeyExists(kKey));
    EXPECT_STREQ(plugin.link.PortName, "COM1");
    EXPECT_EQ(plugin.state.CurrentPreset, 2);
    for (int i = 0; i < kChannelCount; ++i) {
        settings_cases::ExpectSameRecord(plugin.state.Channels[i],
                                         settings_cases::FirstRunRecord(i),
                                         "record " + std::to_string(i));
    }
    EXPECT_EQ(store.OpenKeyCount(), 0);
}

TEST(Settings, SavedPortNameIsTheStringUpToItsTerminator) {
    MemoryStore store;
    Plugin plugin;
    std::memcpy(plugin.link.PortName, "COM3\0junk", 9);
    SaveSettings(plugin.state, plugin.link, store);
    const auto port = store.Get(kKey, "Port");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->type, ValueString);
    EXPECT_EQ(port->bytes, Text("COM3"));
}

TEST(MemoryStore, CountsOpenKeysUntilTheyGoOutOfScope) {
    MemoryStore store;
    {
        SettingsKey a = store.CreateKey("A");
        const SettingsKey b = a.CreateSubkey("B");
        EXPECT_EQ(store.OpenKeyCount(), 2);
        SettingsKey moved = std::move(a);
        EXPECT_EQ(store.OpenKeyCount(), 2);
        moved = store.OpenKey("A\\B");
        EXPECT_EQ(store.OpenKeyCount(), 2);
        const SettingsKey missing = store.OpenKey("A\\C");
        EXPECT_EQ(store.OpenKeyCount(), 2);
    }
    EXPECT_EQ(store.OpenKeyCount(), 0);
    EXPECT_EQ(store.OpenedKeyTotal(), 3);
}

} // namespace
