#include "registration.h"

#include "common/product.h"
#include "common/win32/hresult.h"
#include "common/win32/unique_handle.h"
#include "module.h"
#include "twinkla_h.h"

#include <cwchar>
#include <memory>
#include <new>

namespace {

constexpr wchar_t kModulePath[] = L"%MODULE%"; // replaced by the module's full path

// Longest module path we store: the system's own limit for a path.
constexpr DWORD kMaxPath = 32768;

struct RegistryRow {
    HKEY root;
    const wchar_t* owner;  // the key the row belongs to, written and removed whole
    const wchar_t* subkey; // below the owner, or null for the owner itself
    const wchar_t* name;   // null for the key's default value
    const wchar_t* data;   // "{CLSID}", "{LIBID}" and kModulePath are replaced
};

// One table: registration replaces each owner key whole with its rows, and
// unregistration removes the same owner keys, so the two can't disagree.
// Everything is stored in Unicode: the module's folder may have a name no
// ANSI code page holds.
const RegistryRow kRows[] = {
    {HKEY_CLASSES_ROOT, L"CLSID\\{CLSID}", nullptr, nullptr, L"Twinkla Class"},
    {HKEY_CLASSES_ROOT, L"CLSID\\{CLSID}", L"InprocServer32", nullptr, kModulePath},
    {HKEY_CLASSES_ROOT, L"CLSID\\{CLSID}", L"InprocServer32", L"ThreadingModel", L"Apartment"},
    {HKEY_CLASSES_ROOT, L"CLSID\\{CLSID}", L"TypeLib", nullptr, L"{LIBID}"},
    {HKEY_LOCAL_MACHINE, kEffectKeyPathW, L"Properties", L"classid", L"{CLSID}"},
    {HKEY_LOCAL_MACHINE, kEffectKeyPathW, L"Properties", L"name",
     L"res://Twinkla.dll/RT_STRING/#101"},
    {HKEY_LOCAL_MACHINE, kEffectKeyPathW, L"Properties", L"description",
     L"res://Twinkla.dll/RT_STRING/#105"},
};

struct GuidText {
    wchar_t text[39]; // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
};

GuidText FormatGuid(const GUID& g) {
    GuidText t;
    std::swprintf(t.text, 39, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return t;
}

// A text buffer on the heap, for strings that may be as long as a path.
struct Text {
    std::unique_ptr<wchar_t[]> chars{new (std::nothrow) wchar_t[kMaxPath]};
    explicit operator bool() const { return chars != nullptr; }
    wchar_t* get() const { return chars.get(); }
};

// Expands the placeholders of one table string into `out` (kMaxPath wide
// characters).
bool Expand(const wchar_t* in, wchar_t* out) {
    if (std::wcscmp(in, kModulePath) == 0) {
        const DWORD n = ::GetModuleFileNameW(g_moduleInstance, out, kMaxPath);
        return n != 0 && n < kMaxPath;
    }
    const GuidText clsid = FormatGuid(CLSID_Twinkla);
    const GuidText libid = FormatGuid(LIBID_TWINKLALib);
    size_t used = 0;
    for (const wchar_t* p = in; *p;) {
        const wchar_t* piece = nullptr;
        size_t skip = 1;
        if (std::wcsncmp(p, L"{CLSID}", 7) == 0) {
            piece = clsid.text, skip = 7;
        } else if (std::wcsncmp(p, L"{LIBID}", 7) == 0) {
            piece = libid.text, skip = 7;
        }
        const size_t len = piece ? std::wcslen(piece) : 1;
        if (used + len >= kMaxPath) {
            return false;
        }
        std::wmemcpy(out + used, piece ? piece : p, len);
        used += len;
        p += skip;
    }
    out[used] = L'\0';
    return true;
}

// Deletes a key with everything below it; a key that isn't there is fine.
HRESULT DeleteKeyTree(HKEY root, const wchar_t* key) {
    const LSTATUS status = ::RegDeleteTreeW(root, key);
    return status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

HRESULT WriteRow(const RegistryRow& row) {
    const Text key;
    const Text data;
    RETURN_HR_IF(E_OUTOFMEMORY, !key || !data);
    RETURN_HR_IF(E_UNEXPECTED, !Expand(row.owner, key.get()) || !Expand(row.data, data.get()));
    if (row.subkey != nullptr) {
        const size_t used = std::wcslen(key.get());
        RETURN_HR_IF(E_UNEXPECTED, used + 1 + std::wcslen(row.subkey) >= kMaxPath);
        key.get()[used] = L'\\';
        std::wcscpy(key.get() + used + 1, row.subkey);
    }
    UniqueHkey hkey;
    RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(row.root, key.get(), 0, nullptr,
                                            REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, hkey.put(),
                                            nullptr));
    const DWORD bytes = static_cast<DWORD>((std::wcslen(data.get()) + 1) * sizeof(wchar_t));
    RETURN_IF_WIN32_ERROR(::RegSetValueExW(hkey.get(), row.name, 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(data.get()), bytes));
    return S_OK;
}

// The first row of each owner key stands for it.
bool FirstOfItsOwner(const RegistryRow& row) {
    for (const RegistryRow& earlier : kRows) {
        if (&earlier == &row) {
            return true;
        }
        if (earlier.root == row.root && std::wcscmp(earlier.owner, row.owner) == 0) {
            return false;
        }
    }
    return true;
}

// Removes every owner key with everything below it, in the table's order.
// The first failure is the result; after it the rest are still tried when
// `bestEffort`, and left alone otherwise.
HRESULT DeleteOwnerKeys(bool bestEffort) {
    HRESULT result = S_OK;
    for (const RegistryRow& row : kRows) {
        if (!FirstOfItsOwner(row)) {
            continue;
        }
        const Text key;
        HRESULT hr = !key ? E_OUTOFMEMORY : E_UNEXPECTED;
        if (key && Expand(row.owner, key.get())) {
            hr = DeleteKeyTree(row.root, key.get());
        }
        if (SUCCEEDED(result)) {
            result = hr;
        }
        if (FAILED(result) && !bestEffort) {
            break;
        }
    }
    return result;
}

} // namespace

HRESULT RegisterTwinkla() noexcept {
    // Replace the owner keys whole, so that registering twice leaves one set.
    HRESULT hr = DeleteOwnerKeys(false);
    for (const RegistryRow& row : kRows) {
        if (FAILED(hr)) {
            break;
        }
        hr = WriteRow(row);
    }
    return hr;
}

HRESULT UnregisterTwinkla() noexcept {
    // Each entry goes even if another could not.
    return DeleteOwnerKeys(true);
}

void BroadcastPluginAddRemove() noexcept {
    const UINT message = ::RegisterWindowMessageA("WMPlayer_PluginAddRemove");
    if (message != 0) {
        ::PostMessageA(HWND_BROADCAST, message, 0, 0);
    }
}
