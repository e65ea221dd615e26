#include "restore_backup.h"

#include "common/product.h"
#include "common/win32/unique_handle.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

bool IsBackupOwnValue(const wchar_t* name) {
    return _wcsicmp(name, kBackupMadeValueW) == 0 || _wcsicmp(name, kBackupNoticeValueW) == 0;
}

// Copies every value and subkey of `from` into `to` exactly; at the top the
// copy's own two values stay behind.
LSTATUS CopyTree(HKEY from, HKEY to, bool top) {
    DWORD maxName = 0;
    DWORD maxData = 0;
    LSTATUS status = ::RegQueryInfoKeyW(from, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, &maxName, &maxData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<wchar_t> name(maxName + 1);
    // Two bytes beyond the data that aren't zero: the platform would take
    // zeros there for the terminator of a string stored without one.
    std::vector<BYTE> data(maxData + 2);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = maxData;
        DWORD type = 0;
        status = ::RegEnumValueW(from, index, name.data(), &nameLength, nullptr, &type, data.data(),
                                 &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS) {
            return status; // ERROR_MORE_DATA too: it changed while being copied
        }
        if (top && IsBackupOwnValue(name.data())) {
            continue;
        }
        data[size] = 0xFF;
        data[size + 1] = 0xFF;
        status = ::RegSetValueExW(to, name.data(), 0, type, data.data(), size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    for (DWORD index = 0;; ++index) {
        wchar_t subkey[256];
        DWORD length = 256;
        status = ::RegEnumKeyExW(from, index, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        UniqueHkey source;
        UniqueHkey target;
        if (status == ERROR_SUCCESS) {
            status = ::RegOpenKeyExW(from, subkey, 0, KEY_READ, source.put());
        }
        if (status == ERROR_SUCCESS) {
            status = ::RegCreateKeyExW(to, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                       nullptr, target.put(), nullptr);
        }
        if (status == ERROR_SUCCESS) {
            status = CopyTree(source.get(), target.get(), false);
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
}

} // namespace

int RestoreSettingsBackup() {
    UniqueHkey backup;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kBackupKeyPathW, 0, KEY_READ | KEY_SET_VALUE,
                        backup.put()) != ERROR_SUCCESS) {
        std::fprintf(stderr,
                     "twinkla-host: there is no copy of the settings to restore "
                     "(HKEY_CURRENT_USER\\%s)\n",
                     kBackupKeyPath);
        return 7;
    }
    wchar_t made[64] = {};
    DWORD size = sizeof made - sizeof(wchar_t); // the zero after it stays
    if (::RegQueryValueExW(backup.get(), kBackupMadeValueW, nullptr, nullptr,
                           reinterpret_cast<BYTE*>(made), &size) != ERROR_SUCCESS ||
        made[0] == L'\0') {
        std::wcscpy(made, L"at an unknown time");
    }

    LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPathW);
    UniqueHkey settings;
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        status =
            ::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPathW, 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, settings.put(), nullptr);
    }
    if (status == ERROR_SUCCESS) {
        status = CopyTree(backup.get(), settings.get(), true);
    }
    if (status != ERROR_SUCCESS) {
        // No part of it stays: the next start is then a first run, which
        // leaves the copy as it is.
        settings.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPathW);
        std::fprintf(stderr,
                     "twinkla-host: cannot restore the settings (error %ld); the copy under "
                     "HKEY_CURRENT_USER\\%s is unchanged\n",
                     static_cast<long>(status), kBackupKeyPath);
        return 7;
    }
    // What the notice would say no longer holds.
    const DWORD said = 0;
    ::RegSetValueExW(backup.get(), kBackupNoticeValueW, 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&said), sizeof said);
    std::printf("restored the settings from HKEY_CURRENT_USER\\%s (made %ls)\n", kBackupKeyPath,
                made);
    return 0;
}
