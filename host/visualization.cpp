#include "visualization.h"

#include "registered_effect.h"
#include "stored_setting.h"

#include <cstdio>
#include <optional>

bool LoadVisualization(const Options& o, Visualization& v, std::string& error) {
    auto create = [&](IWMPEffects2** out) {
        const HRESULT hr = CreateRegisteredEffect(o.name, out);
        if (hr == REGDB_E_CLASSNOTREG) {
            error = "no visualization named \"" + o.name +
                    "\" is registered (run regsvr32 Twinkla.dll)";
        } else if (FAILED(hr)) {
            char text[80];
            std::snprintf(text, sizeof text, "CoCreateInstance failed: 0x%08lX",
                          static_cast<unsigned long>(hr));
            error = text;
        }
        return SUCCEEDED(hr);
    };
    const bool outputGiven =
        !o.output.empty() || o.addressGiven || o.universe >= 0 || o.startChannel >= 0;
    if (!o.port.empty() || o.device > 0 || o.lightDelayMs >= 0 || outputGiven) {
        if (!SettingsAreStored()) {
            // First run: let the plug-in store its defaults, then unload it.
            {
                ComPtr<IWMPEffects2> first;
                if (!create(first.put()))
                    return false;
            }
            ::CoFreeUnusedLibrariesEx(0, 0);
        }
        const BYTE device = static_cast<BYTE>(o.device);
        const std::wstring portName(o.port.begin(), o.port.end()); // COMn: ASCII
        const DWORD delay = static_cast<DWORD>(o.lightDelayMs);
        std::optional<ScopedSetting> port;
        std::optional<ScopedSetting> id;
        std::optional<ScopedSetting> lightDelay;
        if (!o.port.empty()) {
            port.emplace(L"Port");
            if (!port->Apply(REG_SZ, portName.c_str(),
                             static_cast<DWORD>((portName.size() + 1) * sizeof(wchar_t)), error))
                return false;
        }
        if (o.device > 0) {
            id.emplace(L"Device");
            if (!id->Apply(REG_BINARY, &device, 1, error))
                return false;
        }
        if (o.lightDelayMs >= 0) {
            lightDelay.emplace(L"LightDelay");
            if (!lightDelay->Apply(REG_DWORD, &delay, sizeof delay, error))
                return false;
        }
        // The output's values, as the plug-in stores them (ASCII text).
        const std::wstring output(o.output.begin(), o.output.end());
        const std::wstring address(o.address.begin(), o.address.end());
        const DWORD universe = static_cast<DWORD>(o.universe);
        const DWORD startChannel = static_cast<DWORD>(o.startChannel);
        std::optional<ScopedSetting> outputKind, outputAddress, outputUniverse, outputStart;
        const auto text = [](const std::wstring& s) {
            return static_cast<DWORD>((s.size() + 1) * sizeof(wchar_t));
        };
        if (!o.output.empty() &&
            !outputKind.emplace(L"Output").Apply(REG_SZ, output.c_str(), text(output), error))
            return false;
        if (o.addressGiven && !outputAddress.emplace(L"OutputAddress")
                                   .Apply(REG_SZ, address.c_str(), text(address), error))
            return false;
        if (o.universe >= 0 &&
            !outputUniverse.emplace(L"Universe").Apply(REG_DWORD, &universe, 4, error))
            return false;
        if (o.startChannel >= 0 &&
            !outputStart.emplace(L"StartChannel").Apply(REG_DWORD, &startChannel, 4, error))
            return false;
        if (!create(v.effects.put()))
            return false;
    } else if (!create(v.effects.put())) {
        return false;
    }
    v.effects->SetCore(&v.core);
    if (o.preset >= 0 && FAILED(v.effects->SetCurrentPreset(o.preset))) {
        error = "the visualization refused the preset";
        return false;
    }
    return true;
}
