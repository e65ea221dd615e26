// The copy of the stored settings kept before a reset, through the registered
// DLL: created the way the player does it, with the trees read back through
// the registry's Unicode calls, byte for byte.
#include "plugin_host.h"

#include "common/product.h"
#include "common/win32/com_ptr.h"
#include "common/win32/unique_handle.h"
#include "resource.h"
#include "wmp/win32/wmp_effects.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// "sub\key|value" -> (type, bytes), and "sub\key|" for every key.
using Tree = std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>>;

// One entry, or type 0xFFFFFFFF and no bytes when there is none.
Tree::mapped_type Entry(const Tree& tree, const std::wstring& entry) {
    const auto it = tree.find(entry);
    return it == tree.end() ? Tree::mapped_type{0xFFFFFFFF, {}} : it->second;
}

void ReadTree(HKEY key, const std::wstring& relative, Tree& tree) {
    tree[relative + L"|"] = {};
    DWORD maxName = 0;
    DWORD maxData = 0;
    ASSERT_EQ(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &maxName, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    std::vector<wchar_t> name(maxName + 1);
    std::vector<BYTE> data(maxData + 1);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LSTATUS status =
            ::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        ASSERT_EQ(status, ERROR_SUCCESS);
        tree[relative + L"|" + std::wstring(name.data(), nameLength)] = {
            type, std::vector<BYTE>(data.begin(), data.begin() + size)};
    }
    for (DWORD i = 0;; ++i) {
        wchar_t subkey[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(key, i, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        UniqueHkey child;
        ASSERT_EQ(::RegOpenKeyExW(key, subkey, 0, KEY_READ, child.put()), ERROR_SUCCESS);
        ReadTree(child.get(), relative + L"\\" + subkey, tree);
    }
}

Tree TreeAt(const wchar_t* path) {
    Tree tree;
    UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
        ReadTree(key.get(), L"", tree);
    }
    return tree;
}

// The entries in which two trees differ; "" when they agree.
std::string Differences(const Tree& expected, const Tree& actual) {
    std::set<std::wstring> entries;
    for (const Tree* tree : {&expected, &actual}) {
        for (const auto& entry : *tree) {
            entries.insert(entry.first);
        }
    }
    std::string out;
    for (const std::wstring& entry : entries) {
        const auto want = expected.find(entry);
        const auto got = actual.find(entry);
        if (want == expected.end() || got == actual.end() || want->second != got->second) {
            out += std::string(entry.begin(), entry.end()) + " differs (" +
                   (want == expected.end() ? "added"
                    : got == actual.end()  ? "missing"
                                           : "bytes") +
                   ")\n";
        }
    }
    return out;
}

// Stores exactly `bytes`: the bytes after them aren't zero, or the platform
// would count them as the terminator of a string stored without one.
void PutW(const std::wstring& path, const std::wstring& name, DWORD type, std::vector<BYTE> bytes) {
    UniqueHkey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS);
    const DWORD size = static_cast<DWORD>(bytes.size());
    bytes.insert(bytes.end(), 2, 0xFF);
    ASSERT_EQ(::RegSetValueExW(key.get(), name.c_str(), 0, type, bytes.data(), size),
              ERROR_SUCCESS);
}

const std::wstring kSettingsW = kSettingsKeyPathW;

// Each test starts and ends with no object and no copy, and leaves no
// settings behind: the next creation is a first run.
class SettingsBackup : public ::testing::Test {
protected:
    void SetUp() override {
        StartOver();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kBackupKeyPathW);
    }
    void TearDown() override {
        // Dialogs a failed check left open hold the module.
        while (const HWND dialog = ::FindWindowA(nullptr, "Twinkla Properties")) {
            ::DestroyWindow(dialog);
        }
        StartOver();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kBackupKeyPathW);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPathW);
    }

    static void StartOver() {
        if (::GetModuleHandleA("Twinkla.dll") != nullptr) {
            ASSERT_EQ(CallDllCanUnloadNow(), S_OK) << "a reference to the plug-in is still held";
        }
    }

    // A creation and release, as one start of the player.
    static void StartOnce() {
        ComPtr<IWMPEffects2> effects;
        ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
        effects.reset();
        StartOver();
    }

    // The copy without its own two values, which must be there.
    static Tree CopyWithoutItsOwnValues() {
        Tree copy = TreeAt(kBackupKeyPathW);
        EXPECT_EQ(copy.erase(std::wstring(L"|") + kBackupMadeValueW), 1u);
        EXPECT_EQ(copy.erase(std::wstring(L"|") + kBackupNoticeValueW), 1u);
        return copy;
    }
};

TEST_F(SettingsBackup, ResetKeepsAByteExactCopyAndThePropertyDialogSaysSoOnce) {
    StartOnce(); // a complete set is stored
    const std::wstring channel3 = kSettingsW + L"\\Channel3";
    PutW(channel3, L"FreqStart", REG_DWORD, {0xF4, 0x01, 0, 0});
    PutW(channel3 + L"\\\u00DCbrig", L"\u0417\u0430\u043C\u0435\u0442\u043A\u0430", REG_DWORD,
         {1, 2, 3, 4});
    std::vector<BYTE> notes(100);
    for (size_t i = 0; i < notes.size(); ++i) {
        notes[i] = static_cast<BYTE>(i * 37 + 1);
    }
    PutW(kSettingsW, L"Notes", REG_BINARY, notes);
    PutW(kSettingsW, L"Odd", REG_BINARY, {9, 8, 7, 6, 5, 4, 3});
    // 70 characters outside the ANSI code page, stored without a terminator.
    std::wstring name;
    for (int i = 0; i < 70; ++i) {
        name += static_cast<wchar_t>(0x0410 + i % 32);
    }
    const auto* raw = reinterpret_cast<const BYTE*>(name.c_str());
    PutW(kSettingsW, L"Name", REG_SZ, std::vector<BYTE>(raw, raw + 2 * name.size()));
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, (kSettingsW + L"\\Channel9").c_str()),
              ERROR_SUCCESS);
    const Tree before = TreeAt(kSettingsKeyPathW);

    ComPtr<IWMPEffects2> effects;
    ASSERT_EQ(CreateLikeThePlayer(effects.put()), S_OK);
    // The reset, as without a copy.
    LONG preset = -1;
    EXPECT_EQ(effects->GetCurrentPreset(&preset), S_OK);
    EXPECT_EQ(preset, 2);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKeyPath, "Port"), "COM1");
    const Tree reset = TreeAt(kSettingsKeyPathW);
    EXPECT_EQ(Entry(reset, L"\\Channel3|FreqStart").second, (std::vector<BYTE>{219, 0, 0, 0}));
    EXPECT_EQ(reset.count(L"\\Channel9|Mode"), 1u);

    EXPECT_EQ(Differences(before, CopyWithoutItsOwnValues()), "");
    const auto made = Entry(TreeAt(kBackupKeyPathW), std::wstring(L"|") + kBackupMadeValueW);
    EXPECT_EQ(made.first, static_cast<DWORD>(REG_SZ));
    const std::wstring madeText(reinterpret_cast<const wchar_t*>(made.second.data()),
                                made.second.size() / 2);
    EXPECT_EQ(madeText.size(), 24u) << "YYYY-MM-DD hh:mm:ss UTC and its terminator";
    EXPECT_EQ(madeText.substr(19), std::wstring(L" UTC") + L'\0');

    // The notice comes with the first property dialog, above it, and only then.
    effects->DisplayPropertyPage(nullptr);
    const HWND dialog = ::FindWindowA(nullptr, "Twinkla Properties");
    const HWND notice = ::FindWindowA(nullptr, "Twinkla Settings");
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(::GetWindow(notice, GW_OWNER), dialog);
    EXPECT_TRUE(::IsWindowVisible(notice));
    char text[1024] = {};
    ::GetDlgItemTextA(notice, IDC_NOTICE_TEXT, text, sizeof text);
    EXPECT_NE(std::string(text).find("HKEY_CURRENT_USER\\Software\\Twinkla Backup"),
              std::string::npos)
        << text;
    EXPECT_EQ(Entry(TreeAt(kBackupKeyPathW), std::wstring(L"|") + kBackupNoticeValueW).second,
              (std::vector<BYTE>{0, 0, 0, 0}));
    ::SendMessageA(notice, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(::IsWindow(notice));
    ::DestroyWindow(dialog);

    effects->DisplayPropertyPage(nullptr);
    EXPECT_EQ(::FindWindowA(nullptr, "Twinkla Settings"), nullptr) << "said once";
    ::DestroyWindow(::FindWindowA(nullptr, "Twinkla Properties"));
}

TEST_F(SettingsBackup, SecondResetReplacesTheCopyAndATrueFirstRunMakesNone) {
    StartOnce();
    PutW(kSettingsW, L"First", REG_BINARY, {1});
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (kSettingsW + L"\\Channel9").c_str());
    StartOnce();

    UniqueHkey settings;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPathW, 0, KEY_WRITE, settings.put()),
              ERROR_SUCCESS);
    ::RegDeleteValueW(settings.get(), L"First");
    settings.reset();
    PutW(kSettingsW + L"\\Channel4", L"Second", REG_BINARY, {2, 2});
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (kSettingsW + L"\\Channel9").c_str());
    const Tree second = TreeAt(kSettingsKeyPathW);
    StartOnce();
    EXPECT_EQ(Differences(second, CopyWithoutItsOwnValues()), "");

    ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPathW);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kBackupKeyPathW);
    StartOnce();
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, TWINKLA_SETTINGS_KEY_PATH "\\Channel15"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kBackupKeyPath)) << "nothing to keep";
}

} // namespace
