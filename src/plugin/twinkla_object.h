#pragma once
// CTwinkla: the one object the player creates from this module. It owns the
// whole run-time state: channel records, levels, graphics flags, the
// controller link with its keep-alive thread, and the references to the player.

#include "analysis/plugin_state.h"
#include "config/win32/dialog_host.h"
#include "twinkla_h.h"
#include "wmp_effects.h"

#include <windows.h>
#include <wmp.h>

#include <memory>
#include <vector>

class ControllerLink;

class CTwinkla final : public ITwinkla, public IWMPEvents, public IWMPEffects2 {
public:
    // A new object with one reference (the class factory's), constructed and
    // loaded; null when it can't be allocated.
    static CTwinkla* CreateInstance();

    // Drops the factory's reference. `mayWait` is false under the loader
    // lock: the link is then torn down without waiting for its thread.
    void ReleaseFromFactory(bool mayWait);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, served from the embedded type library
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    // ITwinkla
    STDMETHODIMP get_foregroundColor(BSTR* value) override;
    STDMETHODIMP put_foregroundColor(BSTR value) override;

    // IWMPEffects
    STDMETHODIMP Render(TimedLevel* levels, HDC dc, RECT* rect) override;
    STDMETHODIMP MediaInfo(LONG channelCount, LONG sampleRate, BSTR title) override;
    STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
    STDMETHODIMP GetTitle(BSTR* title) override;
    STDMETHODIMP GetPresetTitle(LONG preset, BSTR* title) override;
    STDMETHODIMP GetPresetCount(LONG* count) override;
    STDMETHODIMP SetCurrentPreset(LONG preset) override;
    STDMETHODIMP GetCurrentPreset(LONG* preset) override;
    STDMETHODIMP DisplayPropertyPage(HWND owner) override;
    STDMETHODIMP GoFullscreen(BOOL fullScreen) override;
    STDMETHODIMP RenderFullScreen(TimedLevel* levels) override;

    // IWMPEffects2
    STDMETHODIMP SetCore(IWMPCore* core) override;
    STDMETHODIMP Create(HWND window) override;
    STDMETHODIMP Destroy() override;
    STDMETHODIMP NotifyNewMedia(IWMPMedia* media) override;
    STDMETHODIMP OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                 LRESULT* result) override;
    STDMETHODIMP RenderWindowed(TimedLevel* levels, BOOL requiredRender) override;

    // IWMPEvents: all 45 player events; five of them light a channel.
    void STDMETHODCALLTYPE OpenStateChange(LONG) override {}
    void STDMETHODCALLTYPE PlayStateChange(LONG) override {}
    void STDMETHODCALLTYPE AudioLanguageChange(LONG) override {}
    void STDMETHODCALLTYPE StatusChange() override {}
    void STDMETHODCALLTYPE ScriptCommand(BSTR, BSTR) override {}
    void STDMETHODCALLTYPE NewStream() override {}
    void STDMETHODCALLTYPE Disconnect(LONG) override {}
    void STDMETHODCALLTYPE Buffering(VARIANT_BOOL) override {}
    void STDMETHODCALLTYPE Error() override {}
    void STDMETHODCALLTYPE Warning(LONG, LONG, BSTR) override {}
    void STDMETHODCALLTYPE EndOfStream(LONG) override {}
    void STDMETHODCALLTYPE PositionChange(double, double) override {}
    void STDMETHODCALLTYPE MarkerHit(LONG) override {}
    void STDMETHODCALLTYPE DurationUnitChange(LONG) override {}
    void STDMETHODCALLTYPE CdromMediaChange(LONG) override {}
    void STDMETHODCALLTYPE PlaylistChange(IDispatch*, WMPPlaylistChangeEventType) override {}
    void STDMETHODCALLTYPE CurrentPlaylistChange(WMPPlaylistChangeEventType) override {}
    void STDMETHODCALLTYPE CurrentPlaylistItemAvailable(BSTR) override {}
    void STDMETHODCALLTYPE MediaChange(IDispatch*) override {}
    void STDMETHODCALLTYPE CurrentMediaItemAvailable(BSTR) override {}
    void STDMETHODCALLTYPE CurrentItemChange(IDispatch*) override {}
    void STDMETHODCALLTYPE MediaCollectionChange() override {}
    void STDMETHODCALLTYPE MediaCollectionAttributeStringAdded(BSTR, BSTR) override {}
    void STDMETHODCALLTYPE MediaCollectionAttributeStringRemoved(BSTR, BSTR) override {}
    void STDMETHODCALLTYPE MediaCollectionAttributeStringChanged(BSTR, BSTR, BSTR) override {}
    void STDMETHODCALLTYPE PlaylistCollectionChange() override {}
    void STDMETHODCALLTYPE PlaylistCollectionPlaylistAdded(BSTR) override {}
    void STDMETHODCALLTYPE PlaylistCollectionPlaylistRemoved(BSTR) override {}
    void STDMETHODCALLTYPE PlaylistCollectionPlaylistSetAsDeleted(BSTR, VARIANT_BOOL) override {}
    void STDMETHODCALLTYPE ModeChange(BSTR, VARIANT_BOOL) override {}
    void STDMETHODCALLTYPE MediaError(IDispatch*) override {}
    void STDMETHODCALLTYPE OpenPlaylistSwitch(IDispatch*) override {}
    void STDMETHODCALLTYPE DomainChange(BSTR) override {}
    void STDMETHODCALLTYPE SwitchedToPlayerApplication() override {}
    void STDMETHODCALLTYPE SwitchedToControl() override {}
    void STDMETHODCALLTYPE PlayerDockedStateChange() override {}
    void STDMETHODCALLTYPE PlayerReconnect() override {}
    void STDMETHODCALLTYPE Click(short button, short shiftState, LONG x, LONG y) override;
    void STDMETHODCALLTYPE DoubleClick(short, short, LONG, LONG) override {}
    void STDMETHODCALLTYPE KeyDown(short keyCode, short shiftState) override;
    void STDMETHODCALLTYPE KeyPress(short keyAscii) override;
    void STDMETHODCALLTYPE KeyUp(short keyCode, short shiftState) override;
    void STDMETHODCALLTYPE MouseDown(short, short, LONG, LONG) override {}
    void STDMETHODCALLTYPE MouseMove(short button, short shiftState, LONG x, LONG y) override;
    void STDMETHODCALLTYPE MouseUp(short, short, LONG, LONG) override {}

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
        PluginState& State() override { return owner_.state_; }
        void SaveSettings() override;
        HRESULT SetCurrentPreset(LONG preset) override;
        HINSTANCE ResourceModule() override;
        void DialogOpened(HWND dialog) override;
        void DialogClosed(HWND dialog) override;

    private:
        CTwinkla& owner_;
    };

    LONG refs_ = 1;
    bool waitOnRelease_ = true;
    PluginState state_;
    std::unique_ptr<ControllerLink> link_;
    HWND window_ = nullptr;
    IWMPCore* core_ = nullptr;
    IConnectionPoint* eventPoint_ = nullptr; // while subscribed to the player's events
    DWORD adviseCookie_ = 0;
    ITypeInfo* typeInfo_ = nullptr; // loaded on first dispatch
    std::vector<HWND> dialogs_;     // open dialog windows, closed before the object goes
    DialogHost dialogHost_{*this};
};
