// For the installer tests: creates Twinkla the way the player does and says
// what happened. Prints
//   classid <the class id under the player's Effects key, or <missing>>
//   create 0x<CoCreateInstance's result>
//   module <the file the created object's code comes from>   (once created)
// Without an Effects entry it still asks COM for Twinkla's own class id, so a
// removed class reads "class not registered" (0x80040154).
#include "common/product.h"
#include "common/win32/com_ptr.h"
#include "twinkla_h.h"
#include "wmp/win32/wmp_effects.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>

int main() {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("COM could not be initialised\n");
        return 1;
    }
    wchar_t text[64] = L"";
    DWORD size = sizeof text;
    CLSID clsid = CLSID_Twinkla;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kEffectPropertiesPathW, L"classid", RRF_RT_REG_SZ,
                       nullptr, text, &size) == ERROR_SUCCESS &&
        SUCCEEDED(::CLSIDFromString(text, &clsid))) {
        std::printf("classid %ls\n", text);
    } else {
        std::printf("classid <missing>\n");
    }

    ComPtr<IWMPEffects2> effects;
    const HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPEffects2,
                                          effects.put_void());
    std::printf("create 0x%08lX\n", static_cast<unsigned long>(hr));
    if (SUCCEEDED(hr)) {
        // The object's vtable lives in the module that serves it.
        HMODULE module = nullptr;
        wchar_t path[MAX_PATH] = L"";
        if (::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 *reinterpret_cast<LPCWSTR*>(effects.get()), &module)) {
            ::GetModuleFileNameW(module, path, MAX_PATH);
        }
        std::printf("module %ls\n", path);
        effects.reset();
    }
    ::CoFreeUnusedLibrariesEx(0, 0);
    ::CoUninitialize();
    return 0;
}
