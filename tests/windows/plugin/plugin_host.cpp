#include "plugin_host.h"

#include "common/product.h"
#include "common/win32/unique_handle.h"

#include <cstdlib>
#include <string>

std::string ProgramDirectory() {
    char path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

std::wstring ProgramDirectoryW() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

DWORD RunRegsvr32(bool unregister) {
    return RunRegsvr32(ProgramDirectoryW() + L"Twinkla.dll", unregister);
}

DWORD RunRegsvr32(const std::wstring& dll, bool unregister) {
    std::wstring command = L"regsvr32.exe /s ";
    if (unregister) {
        command += L"/u ";
    }
    command += L"\"" + dll + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // A start that fails with ERROR_INTERNAL_ERROR (under Wine: the new
    // process ended before it ran; seen once in a long test run) is tried
    // once more.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        started = ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &process);
        if (!started && ::GetLastError() != ERROR_INTERNAL_ERROR) {
            break;
        }
    }
    if (!started) {
        return ::GetLastError() | 0x80000000u;
    }
    UniqueHandleNull processHandle(process.hProcess);
    UniqueHandleNull threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0xFFFFFFFF;
    ::GetExitCodeProcess(process.hProcess, &code);
    return code;
}

std::string ReadString(HKEY root, const char* key, const char* value) {
    char data[512];
    DWORD size = sizeof data;
    DWORD type = 0;
    UniqueHkey hkey;
    if (::RegOpenKeyExA(root, key, 0, KEY_READ, hkey.put()) != ERROR_SUCCESS ||
        ::RegQueryValueExA(hkey.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ || size == 0) {
        return "<missing>";
    }
    return std::string(data, size - 1);
}

bool KeyExists(HKEY root, const char* key) {
    UniqueHkey hkey;
    return ::RegOpenKeyExA(root, key, 0, KEY_READ, hkey.put()) == ERROR_SUCCESS;
}

bool ReadPlayerClassId(CLSID& clsid) {
    const std::string text =
        ReadString(HKEY_LOCAL_MACHINE, kEffectPropertiesPath, kEffectClassIdValue);
    wchar_t wide[64];
    if (::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 64) == 0) {
        return false;
    }
    return SUCCEEDED(::CLSIDFromString(wide, &clsid));
}

HRESULT CreateLikeThePlayer(IWMPEffects2** effects) {
    CLSID clsid;
    if (!ReadPlayerClassId(clsid)) {
        return REGDB_E_CLASSNOTREG;
    }
    return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPEffects2,
                              reinterpret_cast<void**>(effects));
}

HRESULT CallDllCanUnloadNow(HMODULE module) {
    if (module == nullptr) {
        module = ::GetModuleHandleA("Twinkla.dll");
    }
    if (module == nullptr) {
        return E_UNEXPECTED;
    }
    using DllCanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
    auto fn = reinterpret_cast<DllCanUnloadNowFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")));
    return fn ? fn() : E_UNEXPECTED;
}

void RegisteredDllEnvironment::SetUp() {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    if (firstRun_) {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
    }
    ASSERT_EQ(RunRegsvr32(false), 0u);
}

void RegisteredDllEnvironment::TearDown() {
    CallDllCanUnloadNow();
    ::CoUninitialize();
}

bool RunUnixCommand(const std::string& command) {
    std::string line = "Z:\\bin\\sh -c \"" + command + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return false;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

bool SignalVctl(const char* signal) {
    const char* pid = std::getenv("TWINKLA_VCTL_PID");
    if (pid == nullptr || *pid == '\0') {
        return false;
    }
    return RunUnixCommand(std::string("kill -") + signal + " " + pid);
}
