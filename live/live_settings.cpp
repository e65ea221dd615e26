#include "live_settings.h"

#include "common/win32/unique_handle.h"

#include <vector>

namespace {

bool ReadDword(HKEY key, const char* name, DWORD& value) {
    DWORD size = sizeof value;
    return ::RegGetValueA(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size) ==
           ERROR_SUCCESS;
}

void WriteDword(HKEY key, const char* name, DWORD value) {
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

std::wstring ReadText(HKEY key, const wchar_t* name) {
    DWORD size = 0;
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size > 64 * 1024) {
        return {};
    }
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1);
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    return text.data();
}

void WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

} // namespace

LiveSettings LoadLiveSettings() {
    LiveSettings s;
    UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, TWINKLA_LIVE_KEY_PATH, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS) {
        return s;
    }
    s.sourceId = ReadText(key.get(), L"Source");
    const std::wstring name = ReadText(key.get(), L"SourceName");
    char narrow[512] = {};
    ::WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, narrow, sizeof narrow - 1, nullptr, nullptr);
    s.sourceName = narrow;
    DWORD left, top, right, bottom, value;
    if (ReadDword(key.get(), "WindowLeft", left) && ReadDword(key.get(), "WindowTop", top) &&
        ReadDword(key.get(), "WindowRight", right) &&
        ReadDword(key.get(), "WindowBottom", bottom)) {
        s.window = {static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                    static_cast<LONG>(bottom)};
        s.hasPlacement = s.window.right > s.window.left && s.window.bottom > s.window.top;
    }
    if (ReadDword(key.get(), "Maximized", value)) {
        s.maximized = value != 0;
    }
    if (ReadDword(key.get(), "Preset", value) && value < 100) {
        s.preset = static_cast<int>(value);
    }
    if (ReadDword(key.get(), "KeepRunningInTray", value)) {
        s.keepInTray = value != 0;
    }
    return s;
}

void SaveLiveSettings(const LiveSettings& s) {
    UniqueHkey key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, TWINKLA_LIVE_KEY_PATH, 0, nullptr, 0, KEY_WRITE,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    WriteText(key.get(), L"Source", s.sourceId);
    wchar_t name[512] = {};
    ::MultiByteToWideChar(CP_ACP, 0, s.sourceName.c_str(), -1, name, 511);
    WriteText(key.get(), L"SourceName", name);
    if (s.hasPlacement) {
        WriteDword(key.get(), "WindowLeft", static_cast<DWORD>(s.window.left));
        WriteDword(key.get(), "WindowTop", static_cast<DWORD>(s.window.top));
        WriteDword(key.get(), "WindowRight", static_cast<DWORD>(s.window.right));
        WriteDword(key.get(), "WindowBottom", static_cast<DWORD>(s.window.bottom));
        WriteDword(key.get(), "Maximized", s.maximized ? 1 : 0);
    }
    if (s.preset >= 0) {
        WriteDword(key.get(), "Preset", static_cast<DWORD>(s.preset));
    }
    WriteDword(key.get(), "KeepRunningInTray", s.keepInTray ? 1 : 0);
}
