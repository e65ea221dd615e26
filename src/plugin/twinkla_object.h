#pragma once
// CTwinkla: the one object the player creates from this module. It owns the
// whole run-time state: channel records, levels, graphics flags, the output
// the settings name (the serial controller or a network receiver) with its
// engine thread, and the references to the player.

#include "analysis/plugin_state.h"
#include "common/win32/com_ptr.h"
#include "config/win32/dialog_host.h"
#include "frame/win32/render_frame.h"
#include "dialog_list.h"
#include "twinkla_h.h"
#include "wmp/win32/wmp_effects.h"

#include <windows.h>
#include <wmp.h>

#include <memory>

class OutputSelector;

// Every COM method is noexcept: an exception that escaped one would unwind
// through the player's frames, so the program ends instead. Nothing in them
// throws; allocations that may fail are nothrow and become E_OUTOFMEMORY.
class CTwinkla final : public ITwinkla, public IWMPEvents, public IWMPEffects2 {
public:
    // A new object with one reference (the class factory's), constructed and
    // loaded; null when it can't be allocated.
    static CTwinkla* CreateInstance();

    // Drops the factory's reference. `mayWait` is false under the loader
    // lock: the link is then torn down without waiting for its thread.
    void ReleaseFromFactory(bool mayWait);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // IDispatch, served from the embedded type library
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override;

    // ITwinkla
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

    // IWMPEvents: all 45 player events; five of them light a channel.
    void STDMETHODCALLTYPE OpenStateChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE PlayStateChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE AudioLanguageChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE StatusChange() noexcept override {}
    void STDMETHODCALLTYPE ScriptCommand(BSTR, BSTR) noexcept override {}
    void STDMETHODCALLTYPE NewStream() noexcept override {}
    void STDMETHODCALLTYPE Disconnect(LONG) noexcept override {}
    void STDMETHODCALLTYPE Buffering(VARIANT_BOOL) noexcept override {}
    void STDMETHODCALLTYPE Error() noexcept override {}
    void STDMETHODCALLTYPE Warning(LONG, LONG, BSTR) noexcept override {}
    void STDMETHODCALLTYPE EndOfStream(LONG) noexcept override {}
    void STDMETHODCALLTYPE PositionChange(double, double) noexcept override {}
    void STDMETHODCALLTYPE MarkerHit(LONG) noexcept override {}
    void STDMETHODCALLTYPE DurationUnitChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE CdromMediaChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE PlaylistChange(IDispatch*,
                                          WMPPlaylistChangeEventType) noexcept override {}
    void STDMETHODCALLTYPE CurrentPlaylistChange(WMPPlaylistChangeEventType) noexcept override {}
    void STDMETHODCALLTYPE CurrentPlaylistItemAvailable(BSTR) noexcept override {}
    void STDMETHODCALLTYPE MediaChange(IDispatch*) noexcept override {}
    void STDMETHODCALLTYPE CurrentMediaItemAvailable(BSTR) noexcept override {}
    void STDMETHODCALLTYPE CurrentItemChange(IDispatch*) noexcept override {}
    void STDMETHODCALLTYPE MediaCollectionChange() noexcept override {}
    void STDMETHODCALLTYPE MediaCollectionAttributeStringAdded(BSTR, BSTR) noexcept override {}
    void STDMETHODCALLTYPE MediaCollectionAttributeStringRemoved(BSTR, BSTR) noexcept override {}
    void STDMETHODCALLTYPE MediaCollectionAttributeStringChanged(BSTR, BSTR,
                                                                 BSTR) noexcept override {}
    void STDMETHODCALLTYPE PlaylistCollectionChange() noexcept override {}
    void STDMETHODCALLTYPE PlaylistCollectionPlaylistAdded(BSTR) noexcept override {}
    void STDMETHODCALLTYPE PlaylistCollectionPlaylistRemoved(BSTR) noexcept override {}
    void STDMETHODCALLTYPE PlaylistCollectionPlaylistSetAsDeleted(BSTR,
                                                                  VARIANT_BOOL) noexcept override {}
    void STDMETHODCALLTYPE ModeChange(BSTR, VARIANT_BOOL) noexcept override {}
    void STDMETHODCALLTYPE MediaError(IDispatch*) noexcept override {}
    void STDMETHODCALLTYPE OpenPlaylistSwitch(IDispatch*) noexcept override {}
    void STDMETHODCALLTYPE DomainChange(BSTR) noexcept override {}
    void STDMETHODCALLTYPE SwitchedToPlayerApplication() noexcept override {}
    void STDMETHODCALLTYPE SwitchedToControl() noexcept override {}
    void STDMETHODCALLTYPE PlayerDockedStateChange() noexcept override {}
    void STDMETHODCALLTYPE PlayerReconnect() noexcept override {}
    void STDMETHODCALLTYPE Click(short button, short shiftState, LONG x, LONG y) noexcept override;
    void STDMETHODCALLTYPE DoubleClick(short, short, LONG, LONG) noexcept override {}
    void STDMETHODCALLTYPE KeyDown(short keyCode, short shiftState) noexcept override;
    void STDMETHODCALLTYPE KeyPress(short keyAscii) noexcept override;
    void STDMETHODCALLTYPE KeyUp(short keyCode, short shiftState) noexcept override;
    void STDMETHODCALLTYPE MouseDown(short, short, LONG, LONG) noexcept override {}
    void STDMETHODCALLTYPE MouseMove(short button, short shiftState, LONG x,
                                     LONG y) noexcept override;
    void STDMETHODCALLTYPE MouseUp(short, short, LONG, LONG) noexcept override {}

private:
    CTwinkla();
    ~CTwinkla();
    CTwinkla(const CTwinkla&) = delete;
    CTwinkla& operator=(const CTwinkla&) = delete;

    bool FinalConstruct();
    void FinalRelease();
    void ReleaseCore();
    void LightChannel(int channelIndex);
    HRESULT LoadTypeInfo();
    void CloseDialogs();

    // What the dialogs see of the object. A member rather than a base: its
    // SetCurrentPreset would otherwise meet IWMPEffects' in one override.
    class DialogHost final : public IDialogHost {
    public:
        explicit DialogHost(CTwinkla& owner) : owner_(owner) {}
        PluginState& State() noexcept override { return owner_.state_; }
        LinkSettings& Link() noexcept override { return owner_.linkSettings_; }
        OutputLink* Output() noexcept override;
        bool OutputProblem(char* text, size_t size) noexcept override;
        void SaveSettings() noexcept override;
        HRESULT SetCurrentPreset(LONG preset) noexcept override;
        HINSTANCE ResourceModule() noexcept override;
        bool DialogOpened(HWND dialog) noexcept override;
        void DialogClosed(HWND dialog) noexcept override;

    private:
        CTwinkla& owner_;
    };

    LONG refs_ = 1;
    bool waitOnRelease_ = true;
    PluginState state_;
    LinkSettings linkSettings_; // as loaded, or as the property dialog last applied them
    std::unique_ptr<OutputSelector> output_;
    HWND window_ = nullptr;
    OffscreenFrame offscreen_; // RenderWindowed's frame before it goes to the window
    ComPtr<IWMPCore> core_;
    ComPtr<IConnectionPoint> eventPoint_; // while subscribed to the player's events
    DWORD adviseCookie_ = 0;
    ComPtr<ITypeInfo> typeInfo_; // loaded on first dispatch
    DialogList dialogs_;         // open dialog windows, closed before the object goes
    DialogHost dialogHost_{*this};
};
