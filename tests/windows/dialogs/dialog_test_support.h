#pragma once
// What the dialog tests drive the dialogs with: a plug-in stand-in that owns
// the state, a link whose Open the test controls, the real settings code on a
// scratch registry key, and helpers that act on controls the way a user's
// clicks and keys do.

#include "analysis/presets.h"
#include "common/win32/unique_handle.h"
#include "config/settings.h"
#include "config/win32/dialog_base.h"
#include "config/win32/property_dialog.h"
#include "config/win32/registry_store.h"
#include "link/level_sink.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Behaves as the plug-in's output does towards its callers: settings that
// AcceptsOutput refuses change nothing; otherwise the old port is closed and
// the new name and id are recorded even when the port then fails to open. A
// network output always opens (its failures come later, from its engine).
class FakeControllerLink final : public OutputLink {
public:
    std::set<std::string> missingPorts; // names whose open fails
    std::vector<std::pair<std::string, uint32_t>> opens;
    std::vector<std::pair<int, int32_t>> levels; // every level handed over while open
    char PortName[kPortNameSize] = {};
    uint8_t DeviceId = 0;

    bool IsOpen() const override { return open_; }
    void SendFrame(const ChannelLevel* frame, size_t count) override {
        for (size_t i = 0; i < count; ++i) {
            SetLevel(frame[i].channel, frame[i].level);
        }
    }
    void SetLevel(int channelIndex, int32_t level) override {
        if (open_) {
            levels.emplace_back(channelIndex, level);
        }
    }
    bool Open(const LinkSettings& settings) override {
        opens.emplace_back(settings.PortName, settings.DeviceId);
        if (!AcceptsOutput(settings)) {
            return false;
        }
        opened = settings;
        std::strcpy(PortName, settings.PortName);
        DeviceId = settings.DeviceId;
        open_ = settings.Output != OutputKind::Serial || missingPorts.count(PortName) == 0;
        return open_;
    }
    LinkSettings opened; // what the last accepted Open was given
    void Adopt(const LinkSettings& settings) override { DeviceId = settings.DeviceId; }

private:
    bool open_ = false;
};

// Settings read back from the scratch key.
struct StoredSettings {
    LinkSettings link;
    PluginState state;
    bool complete = false;
};

constexpr char kScratchKey[] = "Software\\TwinklaDialogTests";

class TestHost final : public IDialogHost {
public:
    TestHost() {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratchKey);
        ::RegCreateKeyExA(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          scratch_.put(), nullptr);
        Open("COM1", 1);
        link.opens.clear();
    }
    ~TestHost() {
        CloseAll();
        scratch_.reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratchKey);
    }
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
        return OpenOutput(settings, *output, wanted);
    }

    PluginState& State() override { return state; }
    LinkSettings& Link() override { return settings; }
    OutputLink* Output() override { return output; }
    bool OutputProblem(char* text, size_t size) override {
        if (outputProblem.empty()) {
            return false;
        }
        std::snprintf(text, size, "%s", outputProblem.c_str());
        return true;
    }
    void SaveSettings() override {
        ++saves;
        RegistryStore store(scratch_.get());
        ::SaveSettings(state, settings, store);
    }
    HRESULT SetCurrentPreset(LONG preset) override {
        presets.push_back(preset);
        RegistryStore store(scratch_.get());
        return ::SetCurrentPreset(state, settings, *output, store, preset) ? S_OK : E_INVALIDARG;
    }
    HINSTANCE ResourceModule() override { return resources; }
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

    void LoadStored(StoredSettings& out) {
        RegistryStore store(scratch_.get());
        out.complete = ::LoadSettings(out.state, out.link, store);
    }

    FakeControllerLink link;
    OutputLink* output = &link; // what the dialogs open
    LinkSettings settings;      // what the dialogs show and store
    PluginState state;
    HINSTANCE resources = ::GetModuleHandleA(nullptr); // the templates are linked in
    int saves = 0;
    std::vector<LONG> presets;
    std::vector<HWND> open;     // dialog windows alive, in opening order
    bool refuseDialogs = false; // as a host out of memory does
    std::string outputProblem;  // what a network output's engine would report

private:
    UniqueHkey scratch_;
};

// Runs the posted messages, as the host's message loop would.
inline void PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

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

    // Opens a property dialog the way DisplayPropertyPage does; returns it.
    HWND OpenProperties(HWND owner = nullptr);
    // Presses a channel button of a property dialog; returns the new dialog.
    HWND OpenChannel(HWND propertyDialog, int buttonId);

    TestHost host_;
};

inline HWND DialogTest::OpenProperties(HWND owner) {
    const size_t before = host_.open.size();
    OpenPropertyDialog(host_, owner);
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
