#pragma once
// The copy kept before a reset, run over the same two stores as the settings
// cases (settings_cases.h describes the fixture): the memory store natively
// and a scratch key of the Wine prefix's registry.

#include "common/product.h"
#include "config/settings_backup.h"
#include "settings_cases.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace settings_cases {

inline const std::string kBackup = kBackupKeyPath;

// A key tree as the fixture reads it: "sub\key|value" -> (type, bytes), and
// "sub\key|" for every key, so empty subkeys count too.
using Tree = std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>>;

template <class F>
void ReadTree(F& store, const std::string& path, const std::string& relative, Tree& tree) {
    tree[relative + "|"] = {};
    for (const std::string& name : store.ValueNames(path)) {
        const auto value = store.Get(path, name);
        ASSERT_TRUE(value.has_value()) << path << "\\" << name;
        tree[relative + "|" + name] = {value->type, value->bytes};
    }
    for (const std::string& name : store.SubkeyNames(path)) {
        ReadTree(store, path + "\\" + name, relative + "\\" + name, tree);
    }
}

template <class F> Tree TreeAt(F& store, const std::string& path) {
    Tree tree;
    if (store.KeyExists(path)) {
        ReadTree(store, path, "", tree);
    }
    return tree;
}

inline std::string Describe(const Tree& tree, const std::string& entry) {
    const auto it = tree.find(entry);
    if (it == tree.end()) {
        return "nothing";
    }
    std::string text = "type " + std::to_string(it->second.first) + ":";
    for (const uint8_t b : it->second.second) {
        text += " " + std::to_string(b);
    }
    return text;
}

// The entries in which two trees differ, one line each; "" when they agree.
inline std::string Differences(const Tree& expected, const Tree& actual) {
    std::set<std::string> entries;
    for (const Tree* tree : {&expected, &actual}) {
        for (const auto& entry : *tree) {
            entries.insert(entry.first);
        }
    }
    std::string out;
    for (const std::string& entry : entries) {
        const std::string want = Describe(expected, entry);
        const std::string got = Describe(actual, entry);
        if (want != got) {
            out += entry + ": expected " + want + ", got " + got + "\n";
        }
    }
    return out;
}

template <class F> class SettingsBackup : public Settings<F> {
protected:
    // A stored set that can't be loaded, and what else a user's key may
    // hold: a value over 64 bytes, binary values of odd sizes, a string
    // stored without its terminator, the key's default value, an empty
    // value, a subkey two levels down and an empty one.
    void StoreUnloadableSet() {
        this->Start();
        this->store.Put(kKey, "Port", ValueString, Text("COM7"));
        this->store.Put(kKey, "Device", ValueBinary, Byte(9));
        this->store.Put(ChannelPath(3), "FreqStart", ValueDword, Dword(500));
        std::vector<uint8_t> long_(100);
        for (size_t i = 0; i < long_.size(); ++i) {
            long_[i] = static_cast<uint8_t>(i * 37);
        }
        this->store.Put(kKey, "Notes", ValueBinary, long_);
        this->store.Put(kKey, "Odd", ValueBinary, {1, 0, 2, 0, 3, 0, 4});
        this->store.Put(kKey, "Unterminated", ValueString, Text("abc", false));
        this->store.Put(kKey, "", ValueDword, Dword(0xC0FFEE));
        this->store.Put(kKey, "Nothing", static_cast<ValueType>(0), {});
        this->store.Put(kKey, "Quad", static_cast<ValueType>(11), {1, 2, 3, 4, 5, 6, 7, 8});
        this->store.Put(ChannelPath(3) + "\\Extra\\Deeper", "Depth", ValueDword, Dword(2));
        this->store.Put(ChannelPath(12), "Mode", ValueDword, Dword(2));
        this->store.DeleteKey(ChannelPath(9));
        this->store.Put(kKey + "\\Empty", "Gone", ValueBinary, {1});
        this->store.DeleteValue(kKey + "\\Empty", "Gone");
    }

    // The backup's tree without its own two values, which must be there.
    Tree CopyWithoutItsOwnValues() {
        Tree copy = TreeAt(this->store, kBackup);
        EXPECT_EQ(copy.erase(std::string("|") + kBackupMadeValue), 1u);
        EXPECT_EQ(copy.erase(std::string("|") + kBackupNoticeValue), 1u);
        return copy;
    }
};

TYPED_TEST_SUITE_P(SettingsBackup);

TYPED_TEST_P(SettingsBackup, ResetKeepsTheWholeTreeByteForByteBeforeStoringTheFirstRun) {
    this->StoreUnloadableSet();
    const Tree before = TreeAt(this->store, kKey);
    ASSERT_GT(before.size(), 150u);

    const int64_t from = SecondsNow();
    const auto plugin = this->Start();
    const int64_t to = SecondsNow();

    // The reset itself, as without a copy.
    EXPECT_EQ(plugin->state.CurrentPreset, 2);
    EXPECT_FALSE(plugin->state.UnsavedReset);
    this->ExpectStoredFirstRun();

    EXPECT_EQ(Differences(before, this->CopyWithoutItsOwnValues()), "");
    this->ExpectStored(kBackup, kBackupNoticeValue, ValueDword, Dword(1));
    const auto made = this->store.Get(kBackup, kBackupMadeValue);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->type, ValueString);
    bool inRange = false;
    for (int64_t t = from; t <= to; ++t) {
        inRange = inRange || made->bytes == Text(BackupTimeText(t));
    }
    EXPECT_TRUE(inRange) << std::string(made->bytes.begin(), made->bytes.end());
}

TYPED_TEST_P(SettingsBackup, SecondResetReplacesTheOlderCopyWhole) {
    this->StoreUnloadableSet();
    this->Start();

    // The second set lacks some of what the first held and has more. Stale
    // values of the copy's own names come with it, as after a restore by
    // hand; the copy's own go over them.
    this->store.DeleteValue(kKey, "Notes");
    this->store.DeleteKey(ChannelPath(3) + "\\Extra");
    this->store.DeleteKey(ChannelPath(9));
    this->store.Put(kKey, "Second", ValueBinary, {2, 2, 2});
    this->store.Put(kKey, kBackupMadeValue, ValueString, Text("long ago"));
    this->store.Put(kKey, kBackupNoticeValue, ValueDword, Dword(0));
    Tree second = TreeAt(this->store, kKey);
    this->Start();

    second.erase(std::string("|") + kBackupMadeValue);
    second.erase(std::string("|") + kBackupNoticeValue);
    EXPECT_EQ(Differences(second, this->CopyWithoutItsOwnValues()), "");
    EXPECT_FALSE(this->store.Get(kBackup, "Notes")) << "nothing of the first copy stays";
    EXPECT_FALSE(this->store.KeyExists(kBackup + "\\Channel3\\Extra"));
    this->ExpectStored(kBackup, kBackupNoticeValue, ValueDword, Dword(1));
}

TYPED_TEST_P(SettingsBackup, FirstRunWithNoKeyOrAnEmptyOneMakesNoCopyAndKeepsAnOlderOne) {
    this->Start();
    EXPECT_FALSE(this->store.KeyExists(kBackup));

    this->StoreUnloadableSet();
    this->Start();
    const Tree older = TreeAt(this->store, kBackup);
    this->store.DeleteKey(kKey);
    this->Start();
    EXPECT_EQ(Differences(older, TreeAt(this->store, kBackup)), "");

    this->store.DeleteKey(kKey);
    this->store.Put(kKey, "Gone", ValueBinary, {1});
    this->store.DeleteValue(kKey, "Gone");
    ASSERT_TRUE(this->store.KeyExists(kKey));
    EXPECT_EQ(BackUpSettings(this->store.Store(), 0), BackupResult::NothingStored);
    EXPECT_EQ(Differences(older, TreeAt(this->store, kBackup)), "");
}

TYPED_TEST_P(SettingsBackup, NoticeIsOwedOnceAfterAResetAndNeverAfterALoad) {
    const auto first = this->Start();
    std::string text;
    EXPECT_FALSE(TakeSettingsNotice(first->state, this->store.Store(), text)) << "a first run";

    this->StoreUnloadableSet();
    const auto reset = this->Start();
    const auto made = this->store.Get(kBackup, kBackupMadeValue);
    ASSERT_TRUE(made);
    ASSERT_TRUE(TakeSettingsNotice(reset->state, this->store.Store(), text));
    EXPECT_NE(text.find("couldn't read its stored settings"), std::string::npos) << text;
    EXPECT_NE(text.find("HKEY_CURRENT_USER\\Software\\Twinkla Backup"), std::string::npos);
    EXPECT_NE(text.find(reinterpret_cast<const char*>(made->bytes.data())), std::string::npos);
    this->ExpectStored(kBackup, kBackupNoticeValue, ValueDword, Dword(0));
    EXPECT_FALSE(TakeSettingsNotice(reset->state, this->store.Store(), text)) << "said once";

    // A later start that loads has nothing to say; the copy stays.
    const auto loaded = this->Start();
    EXPECT_EQ(loaded->state.CurrentPreset, 0);
    EXPECT_FALSE(TakeSettingsNotice(loaded->state, this->store.Store(), text));
    EXPECT_TRUE(this->store.KeyExists(kBackup + "\\Channel3\\Extra\\Deeper"));
}

REGISTER_TYPED_TEST_SUITE_P(SettingsBackup,
                            ResetKeepsTheWholeTreeByteForByteBeforeStoringTheFirstRun,
                            SecondResetReplacesTheOlderCopyWhole,
                            FirstRunWithNoKeyOrAnEmptyOneMakesNoCopyAndKeepsAnOlderOne,
                            NoticeIsOwedOnceAfterAResetAndNeverAfterALoad);

} // namespace settings_cases
