#include "registration.h"

#include "common/win32/unique_handle.h"
#include "module.h"
#include "twinkla_h.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kEffectsKey[] = "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Twinkla";
constexpr char kModulePath[] = "%MODULE%"; // replaced by the module's full path

struct RegistryRow {
    HKEY root;
    const char* key;  // "{CLSID}" and "{LIBID}" are replaced by the GUIDs
    const char* name; // null for the key's default value
    const char* data;
};

// One table, written by registration; the two keys that own it are removed
// whole by unregistration, so the two can't disagree.
const RegistryRow kRows[] = {
    {HKEY_CLASSES_ROOT, "CLSID\\{CLSID}", nullptr, "Twinkla Class"},
    {HKEY_CLASSES_ROOT, "CLSID\\{CLSID}\\InprocServer32", nullptr, kModulePath},
    {HKEY_CLASSES_ROOT, "CLSID\\{CLSID}\\InprocServer32", "ThreadingModel", "Apartment"},
    {HKEY_CLASSES_ROOT, "CLSID\\{CLSID}\\TypeLib", nullptr, "{LIBID}"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Twinkla\\Properties",
     "classid", "{CLSID}"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Twinkla\\Properties",
     "name", "res://Twinkla.dll/RT_STRING/#101"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\Twinkla\\Properties",
     "description", "res://Twinkla.dll/RT_STRING/#105"},
};

struct GuidText {
    char text[39]; // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
};

GuidText FormatGuid(const GUID& g) {
    GuidText t;
    std::snprintf(t.text, sizeof t.text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return t;
}

// Expands the placeholders of one table string into `out`.
bool Expand(const char* in, char* out, size_t size) {
    const GuidText clsid = FormatGuid(CLSID_Twinkla);
    const GuidText libid = FormatGuid(LIBID_TWINKLALib);
    if (std::strcmp(in, kModulePath) == 0) {
        const DWORD n = ::GetModuleFileNameA(g_moduleInstance, out, static_cast<DWORD>(size));
        return n != 0 && n < size;
    }
    size_t used = 0;
    for (const char* p = in; *p;) {
        const char* piece = nullptr;
        size_t skip = 1;
        if (std::strncmp(p, "{CLSID}", 7) == 0) {
            piece = clsid.text, skip = 7;
        } else if (std::strncmp(p, "{LIBID}", 7) == 0) {
            piece = libid.text, skip = 7;
        }
        const size_t len = piece ? std::strlen(piece) : 1;
        if (used + len >= size) {
            return false;
        }
        std::memcpy(out + used, piece ? piece : p, len);
        used += len;
        p += skip;
    }
    out[used] = '\0';
    return true;
}

HRESULT FromWin32(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

// Deletes a key with everything below it; a key that isn't there is fine.
HRESULT DeleteKeyTree(HKEY root, const char* key) {
    const LSTATUS status = ::RegDeleteTreeA(root, key);
    if (status == ERROR_FILE_NOT_FOUND) {
        return S_OK;
    }
    return FromWin32(status);
}

HRESULT ClassKey(char* out, size_t size) {
    return Expand("CLSID\\{CLSID}", out, size) ? S_OK : E_UNEXPECTED;
}

HRESULT WriteRow(const RegistryRow& row) {
    char key[MAX_PATH];
    char data[MAX_PATH];
    if (!Expand(row.key, key, sizeof key) || !Expand(row.data, data, sizeof data)) {
        return E_UNEXPECTED;
    }
    UniqueHkey hkey;
    LSTATUS status = ::RegCreateKeyExA(row.root, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_WRITE, nullptr, hkey.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        return FromWin32(status);
    }
    status = ::RegSetValueExA(hkey.get(), row.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                              static_cast<DWORD>(std::strlen(data) + 1));
    return FromWin32(status);
}

} // namespace

HRESULT RegisterTwinkla() {
    char classKey[64];
    HRESULT hr = ClassKey(classKey, sizeof classKey);
    // Replace the two keys whole, so that registering twice leaves one set.
    if (SUCCEEDED(hr)) {
        hr = DeleteKeyTree(HKEY_CLASSES_ROOT, classKey);
    }
    if (SUCCEEDED(hr)) {
        hr = DeleteKeyTree(HKEY_LOCAL_MACHINE, kEffectsKey);
    }
    for (const RegistryRow& row : kRows) {
        if (FAILED(hr)) {
            break;
        }
        hr = WriteRow(row);
    }
    return hr;
}

HRESULT UnregisterTwinkla() {
    char classKey[64];
    HRESULT hr = ClassKey(classKey, sizeof classKey);
    if (SUCCEEDED(hr)) {
        hr = DeleteKeyTree(HKEY_CLASSES_ROOT, classKey);
    }
    // The Effects entry goes even if the class key could not.
    const HRESULT effects = DeleteKeyTree(HKEY_LOCAL_MACHINE, kEffectsKey);
    return FAILED(hr) ? hr : effects;
}

void BroadcastPluginAddRemove() {
    const UINT message = ::RegisterWindowMessageA("WMPlayer_PluginAddRemove");
    if (message != 0) {
        ::PostMessageA(HWND_BROADCAST, message, 0, 0);
    }
}
