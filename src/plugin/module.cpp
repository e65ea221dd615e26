// The module's entry point and its four exports.
#include "common/win32/hresult.h"
#include "module.h"

#include "class_factory.h"
#include "registration.h"
#include "twinkla_h.h"

HINSTANCE g_moduleInstance = nullptr;

namespace {
LONG g_lockCount = 0;
}

void ModuleLock() {
    ::InterlockedIncrement(&g_lockCount);
}
void ModuleUnlock() {
    ::InterlockedDecrement(&g_lockCount);
}
LONG ModuleLockCount() {
    return ::InterlockedCompareExchange(&g_lockCount, 0, 0);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) noexcept {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        g_moduleInstance = instance;
        ::DisableThreadLibraryCalls(instance);
        break;
    case DLL_PROCESS_DETACH:
        // At process exit (reserved non-null) the other threads are already
        // gone and the system reclaims everything: touch nothing. On a
        // FreeLibrary the loader lock is held, so the object goes without
        // waiting for any thread; the keep-alive thread pins the module while
        // it runs, so none can be running here.
        if (reserved == nullptr) {
            ReleaseTwinklaObjectUnderLoaderLock();
        }
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                    void** ppv) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, ppv);
    *ppv = nullptr;
    RETURN_HR_IF(CLASS_E_CLASSNOTAVAILABLE, !::IsEqualCLSID(clsid, CLSID_Twinkla));
    return TwinklaClassFactory()->QueryInterface(iid, ppv);
}

// S_OK tells the caller it may unload us. Before saying so, the plug-in
// object held only by the factory is released here, outside the loader lock,
// so its link can close the port and stop its thread properly.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() noexcept {
    if (ModuleLockCount() != 0) {
        return S_FALSE;
    }
    return ReleaseTwinklaObjectIfUnused();
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() noexcept {
    const HRESULT hr = RegisterTwinkla();
    BroadcastPluginAddRemove();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() noexcept {
    const HRESULT hr = UnregisterTwinkla();
    BroadcastPluginAddRemove();
    return hr;
}
