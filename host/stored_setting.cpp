#include "stored_setting.h"

#include "common/product.h"
#include "common/win32/unique_handle.h"

#include <cstdio>

namespace {

// When the plug-in's copy of the settings was made, or "" if there is none.
std::wstring BackupMade() {
    wchar_t made[64] = {};
    DWORD size = sizeof made - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CURRENT_USER, kBackupKeyPathW, kBackupMadeValueW, RRF_RT_REG_SZ,
                       nullptr, made, &size) != ERROR_SUCCESS) {
        return {};
    }
    return made;
}

} // namespace

ScopedSetting::~ScopedSetting() {
    if (!active_) {
        return;
    }
    UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPathW, 0, KEY_WRITE, key.put()) ==
        ERROR_SUCCESS) {
        PutBack(key.get());
    }
    const std::wstring made = BackupMade();
    if (!made.empty() && made != backupMade_ &&
        ::RegOpenKeyExW(HKEY_CURRENT_USER, kBackupKeyPathW, 0, KEY_WRITE, key.put()) ==
            ERROR_SUCCESS) {
        PutBack(key.get());
    }
}

void ScopedSetting::PutBack(HKEY key) const {
    if (!had_) {
        ::RegDeleteValueW(key, name_);
        return;
    }
    // Bytes after the data that aren't zero: the platform would take zeros
    // there for the terminator of a string stored without one, and add it.
    std::vector<BYTE> data(old_);
    data.insert(data.end(), 2, 0xFF);
    ::RegSetValueExW(key, name_, 0, oldType_, data.data(), static_cast<DWORD>(old_.size()));
}

bool ScopedSetting::Apply(DWORD type, const void* data, DWORD size, std::string& error) {
    UniqueHkey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPathW, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        error = "cannot open the stored settings";
        return false;
    }
    backupMade_ = BackupMade();
    LSTATUS status = ReadOld(key.get());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        had_ = status == ERROR_SUCCESS;
        status = ::RegSetValueExW(key.get(), name_, 0, type, static_cast<const BYTE*>(data), size);
        active_ = status == ERROR_SUCCESS;
    }
    if (!active_) {
        char text[120];
        std::snprintf(text, sizeof text,
                      "cannot save and override the stored setting %ls (error %ld); "
                      "nothing was changed",
                      name_, static_cast<long>(status));
        error = text;
    }
    return active_;
}

// The whole value, however big; it may change between the calls.
LSTATUS ScopedSetting::ReadOld(HKEY key) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        DWORD size = 0;
        LSTATUS status = ::RegQueryValueExW(key, name_, nullptr, &oldType_, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        old_.resize(size);
        status = ::RegQueryValueExW(key, name_, nullptr, &oldType_, old_.data(), &size);
        if (status != ERROR_MORE_DATA) {
            old_.resize(size);
            return status;
        }
    }
    return ERROR_MORE_DATA;
}

bool SettingsAreStored() {
    UniqueHkey key;
    return ::RegOpenKeyExA(HKEY_CURRENT_USER, TWINKLA_SETTINGS_KEY_PATH "\\Channel15", 0, KEY_READ,
                           key.put()) == ERROR_SUCCESS;
}
