#include "config/win32/registry_store.h"

#include "common/win32/unique_handle.h"

#include <cstring>

namespace {

// UTF-8 to UTF-16; false for text that isn't valid UTF-8.
bool Widen(const char* text, size_t textLength, std::wstring& wide) {
    const int length = static_cast<int>(textLength);
    wide.clear();
    if (length == 0) {
        return true;
    }
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (n <= 0) {
        return false;
    }
    wide.resize(static_cast<size_t>(n));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, &wide[0], n) == n;
}

bool Widen(const char* text, std::wstring& wide) {
    return Widen(text, std::strlen(text), wide);
}

// UTF-16 to UTF-8. False for a name that has no exact UTF-8 form (a lone
// surrogate) or holds a zero: a copy under another name wouldn't be exact.
bool Narrow(const wchar_t* wide, DWORD length, std::string& text) {
    text.clear();
    if (length == 0) {
        return true;
    }
    if (std::wmemchr(wide, L'\0', length) != nullptr) {
        return false;
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide,
                                        static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return false;
    }
    text.resize(static_cast<size_t>(n));
    return ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, static_cast<int>(length),
                                 &text[0], n, nullptr, nullptr) == n;
}

constexpr DWORD kMaxKeyNameLength = 255; // the registry's own limit, in characters

} // namespace

uintptr_t RegistryStore::CreateKeyAt(uintptr_t parent, const char* path) {
    std::wstring widePath;
    UniqueHkey key;
    if (!Widen(path, widePath) ||
        ::RegCreateKeyExW(Key(parent), widePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    // Ownership passes to the SettingsKey, which gives it back to CloseKey.
    return reinterpret_cast<uintptr_t>(key.release());
}

uintptr_t RegistryStore::OpenKeyAt(uintptr_t parent, const char* path) {
    std::wstring widePath;
    UniqueHkey key;
    if (!Widen(path, widePath) ||
        ::RegOpenKeyExW(Key(parent), widePath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
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

bool RegistryStore::WriteValue(uintptr_t key, const char* name, ValueType type, const void* data,
                               uint32_t size) {
    return ::RegSetValueExA(Key(key), name, 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

bool RegistryStore::ListValues(uintptr_t key, std::vector<NamedValue>& values) {
    const HKEY hkey = Key(key);
    DWORD maxName = 0;
    DWORD maxData = 0;
    if (::RegQueryInfoKeyW(hkey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    std::wstring name(maxName + 1, L'\0');
    std::vector<BYTE> data(maxData + 1);
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LSTATUS status =
            ::RegEnumValueW(hkey, index, &name[0], &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            return true;
        }
        if (status == ERROR_MORE_DATA) {
            // Grown since the sizes were asked for: room for it, and again.
            if (name.size() > 32768 || data.size() > (DWORD{1} << 30)) {
                return false;
            }
            name.resize(name.size() * 2);
            data.resize(data.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return false;
        }
        NamedValue value;
        if (!Narrow(name.c_str(), nameLength, value.name)) {
            return false;
        }
        value.type = type;
        value.bytes.assign(data.begin(), data.begin() + size);
        values.push_back(std::move(value));
        ++index;
    }
}

bool RegistryStore::ListSubkeys(uintptr_t key, std::vector<std::string>& names) {
    wchar_t name[kMaxKeyNameLength + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = kMaxKeyNameLength + 1;
        const LSTATUS status =
            ::RegEnumKeyExW(Key(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return true;
        }
        std::string text;
        if (status != ERROR_SUCCESS || !Narrow(name, length, text)) {
            return false;
        }
        names.push_back(std::move(text));
    }
}

bool RegistryStore::PutValue(uintptr_t key, const NamedValue& value) {
    std::wstring name;
    if (value.name.find('\0') != std::string::npos ||
        !Widen(value.name.data(), value.name.size(), name)) {
        return false;
    }
    // The platform adds a terminator to a string value stored without one
    // when the two bytes after the data happen to be zero; bytes that aren't
    // keep the size exactly as given.
    std::vector<BYTE> data(value.bytes.begin(), value.bytes.end());
    data.insert(data.end(), 2, 0xFF);
    return ::RegSetValueExW(Key(key), name.c_str(), 0, value.type, data.data(),
                            static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
}

bool RegistryStore::DeleteTreeAt(uintptr_t parent, const char* path) {
    std::wstring widePath;
    if (!Widen(path, widePath) || widePath.empty()) {
        return false; // never the root itself
    }
    const LSTATUS status = ::RegDeleteTreeW(Key(parent), widePath.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

void RegistryStore::CloseKey(uintptr_t key) {
    UniqueHkey closing(reinterpret_cast<HKEY>(key));
}
