// The settings cases over the registry of the Wine prefix, each test under a
// scratch key of its own below HKCU\Software\TwinklaTests, and the first run
// against the real HKCU\Software\Twinkla.

#include "backup_cases.h"
#include "settings_cases.h"

#include "common/win32/unique_handle.h"
#include "config/win32/registry_store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using settings_cases::ChannelPath;
using settings_cases::kKey;
using settings_cases::Plugin;

constexpr char kScratchParent[] = "Software\\TwinklaTests";

// Registry keys open in this process, found by asking every plausible handle
// value whether it is a key. Wine hands out the lowest free handle values, so
// the range covers a test program's handles many times over.
int OpenRegistryKeys() {
    int keys = 0;
    for (UINT_PTR value = 4; value < 0x4000; value += 4) {
        const LSTATUS status =
            ::RegQueryInfoKeyA(reinterpret_cast<HKEY>(value), nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        keys += status == ERROR_SUCCESS || status == ERROR_ACCESS_DENIED;
    }
    return keys;
}

// A scratch root for one test, deleted with everything below it afterwards.
class RegistryFixture {
public:
    static constexpr bool kCountsKeys = true;
    static constexpr int kFuzzRounds = 200;

    RegistryFixture() {
        static int serial = 0;
        path_ = std::string(kScratchParent) + "\\" + (sizeof(void*) == 8 ? "x86_64" : "i686") +
                "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++serial);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        const LSTATUS status =
            ::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, root_.put(), nullptr);
        EXPECT_EQ(status, ERROR_SUCCESS) << path_;
        store_ = std::make_unique<RegistryStore>(root_.get());
        keysBefore_ = OpenRegistryKeys();
    }
    ~RegistryFixture() {
        store_.reset();
        root_.reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kScratchParent); // only once it is empty
    }
    RegistryFixture(const RegistryFixture&) = delete;
    RegistryFixture& operator=(const RegistryFixture&) = delete;

    SettingsStore& Store() { return *store_; }
    // Keys opened since the fixture was made and not closed.
    int OpenKeyCount() const { return OpenRegistryKeys() - keysBefore_; }

    // RegSetValueExA counts a terminator left out of a string's size when the
    // byte after the data is 0; a non-zero byte there keeps the size given.
    void Put(const std::string& path, const std::string& name, ValueType type,
             std::vector<uint8_t> bytes) {
        UniqueHkey key;
        ASSERT_EQ(::RegCreateKeyExA(root_.get(), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_WRITE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS)
            << path;
        const DWORD size = static_cast<DWORD>(bytes.size());
        bytes.push_back(0xFF);
        ASSERT_EQ(::RegSetValueExA(key.get(), name.c_str(), 0, type, bytes.data(), size),
                  ERROR_SUCCESS)
            << path << "\\" << name;
    }

    std::optional<StoredValue> Get(const std::string& path, const std::string& name) const {
        UniqueHkey key;
        if (::RegOpenKeyExA(root_.get(), path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        std::vector<uint8_t> bytes(size + 1);
        DWORD got = size;
        if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, bytes.data(), &got) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        bytes.resize(got);
        return StoredValue{static_cast<ValueType>(type), bytes};
    }

    bool KeyExists(const std::string& path) const {
        UniqueHkey key;
        return ::RegOpenKeyExA(root_.get(), path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    }

    void DeleteKey(const std::string& path) { ::RegDeleteTreeA(root_.get(), path.c_str()); }

    void DeleteValue(const std::string& path, const std::string& name) {
        UniqueHkey key;
        if (::RegOpenKeyExA(root_.get(), path.c_str(), 0, KEY_SET_VALUE, key.put()) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueA(key.get(), name.c_str());
        }
    }

    std::vector<std::string> ValueNames(const std::string& path) const {
        return Enumerate(path, [](HKEY key, DWORD i, char* name, DWORD* size) {
            return ::RegEnumValueA(key, i, name, size, nullptr, nullptr, nullptr, nullptr);
        });
    }

    std::vector<std::string> SubkeyNames(const std::string& path) const {
        return Enumerate(path, [](HKEY key, DWORD i, char* name, DWORD* size) {
            return ::RegEnumKeyExA(key, i, name, size, nullptr, nullptr, nullptr, nullptr);
        });
    }

private:
    template <class EnumFn>
    std::vector<std::string> Enumerate(const std::string& path, EnumFn enumerate) const {
        std::vector<std::string> names;
        UniqueHkey key;
        if (::RegOpenKeyExA(root_.get(), path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
            return names;
        }
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD size = sizeof name;
            if (enumerate(key.get(), i, name, &size) != ERROR_SUCCESS) {
                break;
            }
            names.emplace_back(name, size);
        }
        return names;
    }

    std::string path_;
    int keysBefore_ = 0;
    UniqueHkey root_;
    std::unique_ptr<RegistryStore> store_;
};

} // namespace

namespace settings_cases {
INSTANTIATE_TYPED_TEST_SUITE_P(Registry, Settings, RegistryFixture);
INSTANTIATE_TYPED_TEST_SUITE_P(Registry, SettingsStoreRules, RegistryFixture);
INSTANTIATE_TYPED_TEST_SUITE_P(Registry, SettingsBackup, RegistryFixture);
} // namespace settings_cases

namespace {

std::optional<StoredValue> ReadHkcu(const char* path, const char* name, REGSAM view) {
    UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    BYTE bytes[64];
    DWORD type = 0;
    DWORD size = sizeof bytes;
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, bytes, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return StoredValue{static_cast<ValueType>(type), std::vector<uint8_t>(bytes, bytes + size)};
}

// The store the plug-in object uses: HKEY_CURRENT_USER\Software\Twinkla.
TEST(RegistrySettings, FirstRunWritesHkcuSoftwareTwinklaForBothRegistryViews) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
    {
        RegistryStore store;
        Plugin plugin;
        InitializeSettings(plugin.state, plugin.link, plugin.output, store, kNewSourceId);
        EXPECT_EQ(plugin.state.CurrentPreset, 2);
        ASSERT_EQ(plugin.output.opens.size(), 1u);
        EXPECT_EQ(plugin.output.opens[0].port, "COM1");
    }
    // HKCU\Software is shared by 32- and 64-bit programs: both see one key.
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        SCOPED_TRACE(view);
        const auto port = ReadHkcu(kSettingsKeyPath, "Port", view);
        ASSERT_TRUE(port);
        EXPECT_EQ(port->type, REG_SZ);
        EXPECT_EQ(port->bytes, settings_cases::Text("COM1"));
        const auto device = ReadHkcu(kSettingsKeyPath, "Device", view);
        ASSERT_TRUE(device);
        EXPECT_EQ(device->type, REG_BINARY);
        EXPECT_EQ(device->bytes, (std::vector<uint8_t>{1}));
        const auto address = ReadHkcu("Software\\Twinkla\\Channel3", "Address", view);
        ASSERT_TRUE(address);
        EXPECT_EQ(address->type, REG_BINARY);
        EXPECT_EQ(address->bytes, (std::vector<uint8_t>{3}));
        const auto end = ReadHkcu("Software\\Twinkla\\Channel14", "FreqEnd", view);
        ASSERT_TRUE(end);
        EXPECT_EQ(end->type, REG_DWORD);
        EXPECT_EQ(end->bytes, settings_cases::Dword(1095));
    }
    {
        RegistryStore store;
        Plugin plugin;
        InitializeSettings(plugin.state, plugin.link, plugin.output, store, kNewSourceId);
        EXPECT_EQ(plugin.state.CurrentPreset, 0) << "the second start loads";
    }
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
}

// The count behind every settings case's check that no key was left open.
TEST(RegistrySettings, OpenKeyCountSeesAKeyHeldOpen) {
    RegistryFixture fixture;
    EXPECT_EQ(fixture.OpenKeyCount(), 0);
    {
        const SettingsKey key = fixture.Store().CreateKey("Held");
        const SettingsKey sub = key.OpenSubkey("");
        EXPECT_EQ(fixture.OpenKeyCount(), 2);
    }
    EXPECT_EQ(fixture.OpenKeyCount(), 0);
}

} // namespace
