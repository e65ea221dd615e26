#include "registered_effect.h"

#include "common/win32/hresult.h"
#include "wmp/player_registry.h"

HRESULT CreateRegisteredEffect(const std::string& name, IWMPEffects2** effects) {
    *effects = nullptr;
    const std::string properties =
        std::string(kEffectsKeyPath) + "\\" + name + "\\" + kEffectPropertiesKey;
    char text[64];
    DWORD size = sizeof text;
    RETURN_HR_IF(REGDB_E_CLASSNOTREG,
                 ::RegGetValueA(HKEY_LOCAL_MACHINE, properties.c_str(), kEffectClassIdValue,
                                RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS);
    wchar_t wide[64];
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
    CLSID clsid;
    RETURN_HR_IF(REGDB_E_CLASSNOTREG, FAILED(::CLSIDFromString(wide, &clsid)));
    return ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPEffects2,
                              reinterpret_cast<void**>(effects));
}
