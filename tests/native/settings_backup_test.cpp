// The copy kept before a reset where the store fails, which only the memory
// store can arrange; the cases over both stores are in backup_cases.h.
#include "backup_cases.h"

#include <gtest/gtest.h>

namespace {

using settings_cases::ChannelPath;
using settings_cases::Differences;
using settings_cases::Dword;
using settings_cases::kBackup;
using settings_cases::kKey;
using settings_cases::Plugin;
using settings_cases::Text;
using settings_cases::Tree;
using settings_cases::TreeAt;

// The memory store with the fixture's view of it, for TreeAt.
struct View {
    MemoryStore& memory;
    std::vector<std::string> ValueNames(const std::string& path) const {
        return memory.ValueNames(path);
    }
    std::vector<std::string> SubkeyNames(const std::string& path) const {
        return memory.SubkeyNames(path);
    }
    std::optional<StoredValue> Get(const std::string& path, const std::string& name) const {
        return memory.Get(path, name);
    }
    bool KeyExists(const std::string& path) const { return memory.KeyExists(path); }
};

TEST(SettingsBackup, WithoutACopyTheStoredSettingsStayAndTheResetRunsUnsavedAndSaysSoOnce) {
    const struct {
        const char* what;
        void (*fail)(MemoryStore&);
        bool olderCopyStays;
    } failures[] = {
        {"the copy fails part-way", [](MemoryStore& s) { s.DenyCreate(kBackup + "\\Channel3"); },
         false},
        {"the settings key can't be listed", [](MemoryStore& s) { s.DenyList(kKey); }, true},
        {"the older copy can't be deleted", [](MemoryStore& s) { s.DenyCreate(kBackup); }, true},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.what);
        MemoryStore store;
        View view{store};
        {
            Plugin first;
            InitializeSettings(first.state, first.link, first.output, store, kNewSourceId);
        }
        store.Put(kKey, "Port", ValueString, Text("COM7"));
        store.Put(ChannelPath(4), "FreqStart", ValueDword, Dword(600));
        store.DeleteKey(ChannelPath(9));
        store.Put(kBackup, "Older", ValueBinary, {7});
        const Tree settings = TreeAt(view, kKey);
        const Tree older = TreeAt(view, kBackup);
        failure.fail(store);

        Plugin plugin;
        InitializeSettings(plugin.state, plugin.link, plugin.output, store, kNewSourceId);
        // The reset runs in memory...
        using Call = OpenCall;
        EXPECT_EQ(plugin.output.opens, (std::vector<Call>{{"COM1", 1}}));
        EXPECT_EQ(plugin.state.CurrentPreset, 2);
        EXPECT_EQ(plugin.state.Channels[4].FreqStart, 4 * 73);
        EXPECT_TRUE(plugin.state.UnsavedReset);
        // ...and nothing stored is overwritten, nor a partial copy left.
        EXPECT_EQ(Differences(settings, TreeAt(view, kKey)), "");
        EXPECT_EQ(Differences(failure.olderCopyStays ? older : Tree{}, TreeAt(view, kBackup)), "");
        EXPECT_EQ(store.OpenKeyCount(), 0);

        std::string text;
        ASSERT_TRUE(TakeSettingsNotice(plugin.state, store, text));
        EXPECT_NE(text.find("left them as they were"), std::string::npos) << text;
        EXPECT_FALSE(plugin.state.UnsavedReset);
        EXPECT_FALSE(TakeSettingsNotice(plugin.state, store, text)) << "said once";
    }
}

TEST(SettingsBackup, MadeIsTheUtcDateAndTimeAcrossLeapDaysAndBeyond2038) {
    EXPECT_EQ(BackupTimeText(0), "1970-01-01 00:00:00 UTC");
    EXPECT_EQ(BackupTimeText(951782400), "2000-02-29 00:00:00 UTC");
    EXPECT_EQ(BackupTimeText(1718101230), "2024-06-11 10:20:30 UTC");
    EXPECT_EQ(BackupTimeText(2147483648LL), "2038-01-19 03:14:08 UTC");
    EXPECT_EQ(BackupTimeText(4107628799LL), "2100-03-01 23:59:59 UTC");
}

} // namespace
