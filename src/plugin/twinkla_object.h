#pragma once
// CTwinkla: the one object the player creates from this module. It is the
// COM identity and its interfaces; what they do lives below it: the settings
// (config's PluginSettings over the registry), the output the settings name
// (the serial controller or a network receiver) with its engine thread, the
// frame (frame's RenderFrame), the player's events (CPlayerEvents) and the
// dialogs' host (CModuleDialogs). It keeps only what the player hands it: the
// window, the player core and the event subscription.

#include "com_object.h"
#include "common/win32/com_ptr.h"
#include "common/win32/type_info_dispatch.h"
#include "config/plugin_settings.h"
#include "config/win32/registry_store.h"
#include "frame/win32/render_frame.h"
#include "link/win32/output_selector.h"
#include "module_dialogs.h"
#include "player_events.h"
#include "twinkla_h.h"
#include "wmp/win32/wmp_effects.h"

#include <windows.h>
#include <wmp.h>

// Every COM method is noexcept: an exception that escaped one would unwind
// through the player's frames, so the program ends instead. Nothing in them
// throws; allocations that may fail are nothrow and become E_OUTOFMEMORY.
// Each method clears its out-parameters first, and reports one failure code
// per kind of failure: E_POINTER for a missing out-parameter, E_INVALIDARG
// for an argument it can't take, E_UNEXPECTED for a call it isn't ready for,
// E_OUTOFMEMORY for memory, and a failed system call's own error.
class CTwinkla final : public TypeInfoDispatch<ITwinkla>,
                       public IWMPEffects2,
                       public CPlayerEvents {
public:
    // A new object with one reference (the class factory's), constructed and
    // loaded; null when it can't be allocated.
    static CTwinkla* CreateInstance() noexcept;

    // Drops the factory's reference. `mayWait` is false under the loader
    // lock: the output is then torn down without waiting for its thread.
    void ReleaseFromFactory(bool mayWait) noexcept;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // ITwinkla (IDispatch from the embedded type library: TypeInfoDispatch)
    STDMETHODIMP get_foregroundColor(BSTR* value) noexcept override;
    STDMETHODIMP put_foregroundColor(BSTR value) noexcept override;
    STDMETHODIMP get_outputState(BSTR* value) noexcept override;

    // IWMPEffects
    STDMETHODIMP Render(TimedLevel* levels, HDC dc, RECT* rect) noexcept override;
    STDMETHODIMP MediaInfo(LONG channelCount, LONG sampleRate, BSTR title) noexcept override;
    STDMETHODIMP GetCapabilities(DWORD* capabilities) noexcept override;
    STDMETHODIMP GetTitle(BSTR* title) noexcept override;
    STDMETHODIMP GetPresetTitle(LONG preset, BSTR* title) noexcept override;
    STDMETHODIMP GetPresetCount(LONG* count) noexcept override;
    STDMETHODIMP SetCurrentPreset(LONG preset) noexcept override;
    STDMETHODIMP GetCurrentPreset(LONG* preset) noexcept override;
    STDMETHODIMP DisplayPropertyPage(HWND owner) noexcept override;
    STDMETHODIMP GoFullscreen(BOOL fullScreen) noexcept override;
    STDMETHODIMP RenderFullScreen(TimedLevel* levels) noexcept override;

    // IWMPEffects2
    STDMETHODIMP SetCore(IWMPCore* core) noexcept override;
    STDMETHODIMP Create(HWND window) noexcept override;
    STDMETHODIMP Destroy() noexcept override;
    STDMETHODIMP NotifyNewMedia(IWMPMedia* media) noexcept override;
    STDMETHODIMP OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                 LRESULT* result) noexcept override;
    STDMETHODIMP RenderWindowed(TimedLevel* levels, BOOL requiredRender) noexcept override;

private:
    CTwinkla() noexcept;
    ~CTwinkla() = default;
    CTwinkla(const CTwinkla&) = delete;
    CTwinkla& operator=(const CTwinkla&) = delete;

    void FinalRelease() noexcept;
    void ReleaseCore() noexcept;
    // IWMPEvents (CPlayerEvents): an event that comes while the object is
    // being torn down, with the output closed, lights nothing.
    void LightChannel(int channelIndex) noexcept override;

    ModuleRefCount refs_;
    bool waitOnRelease_ = true;
    OutputSelector output_;
    RegistryStore store_; // HKEY_CURRENT_USER
    PluginSettings settings_{output_, store_};
    HWND window_ = nullptr;
    OffscreenFrame offscreen_; // RenderWindowed's frame before it goes to the window
    ComPtr<IWMPCore> core_;
    ComPtr<IConnectionPoint> eventPoint_; // while subscribed to the player's events
    DWORD adviseCookie_ = 0;
    CModuleDialogs dialogs_; // open dialog windows, closed before the object goes
};
