#include "config/win32/registry_store.h"

#include "common/win32/unique_handle.h"

uintptr_t RegistryStore::CreateKeyAt(uintptr_t parent, const char* path) {
    UniqueHkey key;
    if (::RegCreateKeyExA(Key(parent), path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    // Ownership passes to the SettingsKey, which gives it back to CloseKey.
    return reinterpret_cast<uintptr_t>(key.release());
}

uintptr_t RegistryStore::OpenKeyAt(uintptr_t parent, const char* path) {
    UniqueHkey key;
    if (::RegOpenKeyExA(Key(parent), path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return 0;
    }
    return reinterpret_cast<uintptr_t>(key.release());
}

ReadResult RegistryStore::ReadValue(uintptr_t key, const char* name, void* data, uint32_t& size) {
    // One read into the caller's buffer. Asking for the size first would not
    // do: for a string the ANSI call may report the stored (UTF-16) size,
    // twice what the ANSI text needs. When the value doesn't fit, the buffer's
    // contents are undefined; callers read into scratch space.
    DWORD got = size;
    const LSTATUS status =
        ::RegQueryValueExA(Key(key), name, nullptr, nullptr, static_cast<BYTE*>(data), &got);
    if (status == ERROR_MORE_DATA) {
        size = got;
        return ReadResult::TooLarge;
    }
    if (status != ERROR_SUCCESS) {
        return ReadResult::Missing;
    }
    size = got;
    return ReadResult::Ok;
}

void RegistryStore::WriteValue(uintptr_t key, const char* name, ValueType type, const void* data,
                               uint32_t size) {
    ::RegSetValueExA(Key(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

void RegistryStore::CloseKey(uintptr_t key) {
    UniqueHkey closing(reinterpret_cast<HKEY>(key));
}
