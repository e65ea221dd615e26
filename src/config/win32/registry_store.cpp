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
    // The registry leaves the buffer undefined when the value doesn't fit, so
    // the size is asked first and a value that is too large is never read.
    DWORD stored = 0;
    if (::RegQueryValueExA(Key(key), name, nullptr, nullptr, nullptr, &stored) != ERROR_SUCCESS) {
        return ReadResult::Missing;
    }
    if (stored > size) {
        size = stored;
        return ReadResult::TooLarge;
    }
    DWORD got = size;
    const LSTATUS status =
        ::RegQueryValueExA(Key(key), name, nullptr, nullptr, static_cast<BYTE*>(data), &got);
    size = got;
    if (status == ERROR_MORE_DATA) {
        return ReadResult::TooLarge; // grew since the first look
    }
    return status == ERROR_SUCCESS ? ReadResult::Ok : ReadResult::Missing;
}

void RegistryStore::WriteValue(uintptr_t key, const char* name, ValueType type, const void* data,
                               uint32_t size) {
    ::RegSetValueExA(Key(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

void RegistryStore::CloseKey(uintptr_t key) {
    UniqueHkey closing(reinterpret_cast<HKEY>(key));
}
