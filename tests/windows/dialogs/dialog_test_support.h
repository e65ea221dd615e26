#pragma once
// What the dialog tests drive the dialogs with: a plug-in stand-in that holds
// the real settings object over the recording output and an in-memory store,
// and helpers that act on controls the way a user's clicks and keys do.

#include "analysis/presets.h"
#include "config/plugin_settings.h"
#include "config/settings.h"
#include "config/win32/dialog_base.h"
#include "config/win32/property_dialog.h"
#include "memory_store.h"
#include "recording_link.h"
#include "win32/message_pump.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

// Settings read back from the store.
struct StoredSettings {
    LinkSettings link;
    PluginState state;
    bool complete = false;
};

// What the plug-in object gives its dialogs: their resources and the
// bookkeeping of those open, beside its settings.
class TestHost final : public IDialogHost {
public:
    TestHost() {
        Open("COM1", 1);
        link.opens.clear();
    }
    ~TestHost() { CloseAll(); }
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // What a plug-in object does before it goes: destroys every dialog left.
    void CloseAll() {
        while (!open.empty()) {
            const HWND dialog = open.back();
            if (!::DestroyWindow(dialog)) {
                open.pop_back();
            }
        }
    }

    // Opens the output as the plug-in object does when it starts.
    bool Open(const char* port, uint8_t deviceId) {
        LinkSettings wanted = settings;
        std::strcpy(wanted.PortName, port);
        wanted.DeviceId = deviceId;
        return plugin.OpenOutput(wanted);
    }

    HINSTANCE ResourceModule() noexcept override { return resources; }
    bool DialogOpened(HWND dialog) noexcept override {
        if (refuseDialogs) {
            return false;
        }
        open.push_back(dialog);
        return true;
    }
    void DialogClosed(HWND dialog) noexcept override {
        open.erase(std::remove(open.begin(), open.end(), dialog), open.end());
    }

    // Reads the settings back as the next start would. Its own reads are
    // not counted among the reloads.
    void LoadStored(StoredSettings& out) {
        Tally();
        out.complete = ::LoadSettings(out.state, out.link, store);
        store.ClearJournal();
    }
    // How often every setting was saved (the settings key created), and
    // reloaded by preset 0 (the key opened), by the store's journal.
    int Saves() const { return saves_ + Count("create " + std::string(kSettingsKeyPath)); }
    int Reloads() const { return reloads_ + Count("open " + std::string(kSettingsKeyPath)); }

    RecordingLink link;
    MemoryStore store;
    PluginSettings plugin{link, store}; // what the dialogs show, change, open and store
    PluginState& state = plugin.State();
    LinkSettings& settings = plugin.Link();
    HINSTANCE resources = ::GetModuleHandleA(nullptr); // the templates are linked in
    std::vector<HWND> open;                            // dialog windows alive, in opening order
    bool refuseDialogs = false;                        // as a host out of memory does

private:
    int Count(const std::string& entry) const {
        return static_cast<int>(std::count(store.Journal().begin(), store.Journal().end(), entry));
    }
    void Tally() {
        saves_ = Saves();
        reloads_ = Reloads();
    }

    int saves_ = 0;
    int reloads_ = 0;
};

inline HWND Item(HWND dialog, int id) {
    return ::GetDlgItem(dialog, id);
}

// A mouse click on a button or check box, through the control itself.
inline void Click(HWND dialog, int id) {
    ASSERT_NE(Item(dialog, id), nullptr) << id;
    ::SendMessageA(Item(dialog, id), BM_CLICK, 0, 0);
}

inline std::string Text(HWND window) {
    char text[256] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}
inline std::string ItemText(HWND dialog, int id) {
    return Text(Item(dialog, id));
}

inline bool IsChecked(HWND dialog, int id) {
    return ::SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

inline int Selection(HWND dialog, int listId) {
    return static_cast<int>(::SendDlgItemMessageA(dialog, listId, CB_GETCURSEL, 0, 0));
}

inline std::vector<std::string> ListEntries(HWND dialog, int listId) {
    std::vector<std::string> entries;
    const int count = static_cast<int>(::SendDlgItemMessageA(dialog, listId, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[64] = {};
        ::SendDlgItemMessageA(dialog, listId, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

// Picks a list entry as the user's click would: the selection moves, then the
// list tells its dialog.
inline void Pick(HWND dialog, int listId, int position) {
    ::SendDlgItemMessageA(dialog, listId, CB_SETCURSEL, position, 0);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(Item(dialog, listId)));
}

// Types into a window key by key, as the keyboard would.
inline void Type(HWND window, const char* text) {
    for (const char* c = text; *c; ++c) {
        ::SendMessageA(window, WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
}

// A click on the up or down arrow of an up-down control.
inline void ClickArrow(HWND dialog, int spinId, bool up) {
    const HWND spin = Item(dialog, spinId);
    RECT client{};
    ::GetClientRect(spin, &client);
    const LPARAM at = MAKELPARAM(client.right / 2, up ? client.bottom / 4 : client.bottom * 3 / 4);
    ::SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageA(spin, WM_LBUTTONUP, 0, at);
}

inline BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

// Top-level windows of this thread, dialogs and helpers alike.
inline int ThreadWindowCount() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Every test starts with a fresh host and ends with every dialog destroyed and
// every dialog object freed.
class DialogTest : public ::testing::Test {
protected:
    void TearDown() override {
        host_.CloseAll();
        PumpMessages();
        EXPECT_EQ(CDialogBase::LiveCount(), 0) << "dialog objects leaked";
    }

    // Opens a property dialog the way DisplayPropertyPage does (for the
    // host's settings unless given others); returns it.
    HWND OpenProperties(HWND owner = nullptr, PluginSettings* settings = nullptr);
    // Presses a channel button of a property dialog; returns the new dialog.
    HWND OpenChannel(HWND propertyDialog, int buttonId);

    TestHost host_;
};

inline HWND DialogTest::OpenProperties(HWND owner, PluginSettings* settings) {
    const size_t before = host_.open.size();
    OpenPropertyDialog(host_, settings != nullptr ? *settings : host_.plugin, owner);
    if (host_.open.size() != before + 1) {
        ADD_FAILURE() << "no property dialog opened";
        return nullptr;
    }
    return host_.open.back();
}

inline HWND DialogTest::OpenChannel(HWND propertyDialog, int buttonId) {
    const size_t before = host_.open.size();
    Click(propertyDialog, buttonId);
    if (host_.open.size() != before + 1) {
        ADD_FAILURE() << "no channel dialog opened by " << buttonId;
        return nullptr;
    }
    return host_.open.back();
}
