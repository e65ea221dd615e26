// twinkla-harvest: prints the registry rows that a COM server's
// DllRegisterServer writes, without leaving them on the machine. For the call,
// HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are redirected
// into a scratch key, which is read back and deleted. The installer packages
// carry exactly these rows, so they can't drift from what the DLL registers.
//
//   twinkla-harvest DLL
//
// One row a line, UTF-8, fields separated by tabs:
//   HKCR|HKLM <key> <value name, empty for the default value> text|module <data>
// "module" marks data that is the DLL's own full path (the package writes the
// installed path there) and carries no data; "text" rows carry their data.
// Exits 1, saying why, when registration fails or writes anything a package
// can't carry as such rows.
#include "common/win32/unique_handle.h"

#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Row {
    const char* root;
    std::wstring key;
    std::wstring name;
    bool module; // data is the DLL's own path
    std::wstring data;
};

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                          nullptr, nullptr);
    return out;
}

bool Fail(const std::wstring& why) {
    std::fprintf(stderr, "twinkla-harvest: %s\n", Utf8(why).c_str());
    return false;
}

bool HasLineBreakOrTab(const std::wstring& text) {
    return text.find_first_of(L"\t\r\n") != std::wstring::npos;
}

// Collects the values under `key` and its subkeys; `path` is the key's name
// below its root.
bool Walk(HKEY key, const char* root, const std::wstring& path, const std::wstring& modulePath,
          std::vector<Row>& rows) {
    DWORD subkeys = 0, values = 0, maxValueName = 0, maxData = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                           &maxValueName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
        return Fail(L"cannot read the scratch key " + path);
    }
    if (subkeys == 0 && values == 0 && !path.empty()) {
        return Fail(L"registration writes an empty key, which the package can't carry: " + path);
    }
    for (DWORD i = 0; i < values; ++i) {
        std::vector<wchar_t> name(maxValueName + 1);
        std::vector<BYTE> data(maxData + sizeof(wchar_t));
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = maxData;
        DWORD type = 0;
        if (::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(),
                            &dataSize) != ERROR_SUCCESS) {
            return Fail(L"cannot read a value of " + path);
        }
        const std::wstring valueName(name.data(), nameLength);
        if (type != REG_SZ) {
            return Fail(L"only text values are supported, not the one named \"" + valueName +
                        L"\" under " + path);
        }
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()),
                          dataSize / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        if (path.empty() || HasLineBreakOrTab(valueName) || HasLineBreakOrTab(text)) {
            return Fail(L"a value the rows can't carry under \"" + path + L"\"");
        }
        const bool module =
            ::CompareStringOrdinal(text.c_str(), -1, modulePath.c_str(), -1, TRUE) == CSTR_EQUAL;
        rows.push_back({root, path, valueName, module, module ? std::wstring() : text});
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        UniqueHkey child;
        if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS ||
            ::RegOpenKeyExW(key, name, 0, KEY_READ, child.put()) != ERROR_SUCCESS) {
            return Fail(L"cannot read a subkey of " + path);
        }
        const std::wstring childPath = path.empty() ? name : path + L"\\" + name;
        if (!Walk(child.get(), root, childPath, modulePath, rows)) {
            return false;
        }
    }
    return true;
}

// Redirects a predefined key into another key while in scope.
class ScopedOverride {
public:
    ScopedOverride(HKEY predefined, HKEY into)
        : predefined_(predefined),
          active_(::RegOverridePredefKey(predefined, into) == ERROR_SUCCESS) {}
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;
    ~ScopedOverride() {
        if (active_) {
            ::RegOverridePredefKey(predefined_, nullptr);
        }
    }
    bool active() const { return active_; }

private:
    HKEY predefined_;
    bool active_;
};

// Loads the DLL and runs its DllRegisterServer with HKEY_CLASSES_ROOT,
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER redirected into the given keys.
bool Register(const wchar_t* dllPath, HKEY classes, HKEY machine, HKEY user,
              std::wstring& modulePath) {
    HRESULT hr = E_FAIL;
    {
        const ScopedOverride classesRoot(HKEY_CLASSES_ROOT, classes);
        const ScopedOverride localMachine(HKEY_LOCAL_MACHINE, machine);
        const ScopedOverride currentUser(HKEY_CURRENT_USER, user);
        if (!classesRoot.active() || !localMachine.active() || !currentUser.active()) {
            return Fail(L"cannot redirect the registry into a scratch key");
        }
        const HMODULE module = ::LoadLibraryW(dllPath);
        if (module == nullptr) {
            return Fail(L"cannot load " + std::wstring(dllPath));
        }
        wchar_t path[MAX_PATH] = L"";
        ::GetModuleFileNameW(module, path, MAX_PATH);
        modulePath = path;
        using RegisterFn = HRESULT(STDAPICALLTYPE*)();
        const auto registerServer = reinterpret_cast<RegisterFn>(
            reinterpret_cast<void*>(::GetProcAddress(module, "DllRegisterServer")));
        hr = registerServer ? registerServer() : E_NOINTERFACE;
        ::FreeLibrary(module);
    }
    if (FAILED(hr)) {
        wchar_t text[64];
        std::swprintf(text, 64, L"DllRegisterServer failed: 0x%08lX",
                      static_cast<unsigned long>(hr));
        return Fail(text);
    }
    return true;
}

bool IsEmpty(HKEY key) {
    DWORD subkeys = 1, values = 1;
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                       nullptr, nullptr, nullptr);
    return subkeys == 0 && values == 0;
}

bool CreateKey(HKEY parent, const wchar_t* name, UniqueHkey& key) {
    return ::RegCreateKeyExW(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                             nullptr) == ERROR_SUCCESS;
}

bool Harvest(const wchar_t* dllPath, std::vector<Row>& rows) {
    wchar_t scratchPath[64];
    std::swprintf(scratchPath, 64, L"Software\\Twinkla harvest %lu",
                  static_cast<unsigned long>(::GetCurrentProcessId()));
    UniqueHkey scratch, classes, machine, user;
    bool ok = CreateKey(HKEY_CURRENT_USER, scratchPath, scratch) &&
              CreateKey(scratch.get(), L"HKCR", classes) &&
              CreateKey(scratch.get(), L"HKLM", machine) && CreateKey(scratch.get(), L"HKCU", user);
    if (!ok) {
        Fail(L"cannot create a scratch key under HKEY_CURRENT_USER");
    }
    std::wstring modulePath;
    ok = ok && Register(dllPath, classes.get(), machine.get(), user.get(), modulePath) &&
         Walk(classes.get(), "HKCR", L"", modulePath, rows) &&
         Walk(machine.get(), "HKLM", L"", modulePath, rows);
    if (ok && !IsEmpty(user.get())) {
        ok = Fail(L"registration writes to HKEY_CURRENT_USER, which a package for the whole "
                  L"machine can't carry");
    }
    user.reset();
    machine.reset();
    classes.reset();
    scratch.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scratchPath);
    return ok;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 2) {
        std::fprintf(stderr, "usage: twinkla-harvest DLL\n");
        return 2;
    }
    std::vector<Row> rows;
    const bool ok = Harvest(argv[1], rows);
    ::LocalFree(argv);
    if (!ok) {
        return 1;
    }
    _setmode(_fileno(stdout), _O_BINARY); // one "\n" a row, as on the reading side
    for (const Row& row : rows) {
        std::printf("%s\t%s\t%s\t%s\t%s\n", row.root, Utf8(row.key).c_str(), Utf8(row.name).c_str(),
                    row.module ? "module" : "text", Utf8(row.data).c_str());
    }
    return 0;
}
