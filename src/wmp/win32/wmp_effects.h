#pragma once
// The player's visualization interfaces. mingw-w64's wmp.h has the core and
// the events but not these, so they are declared here from the player's
// public documentation, in vtable order.

#include "wmp/timed_level.h"

#include <windows.h>
#include <wmp.h>

// Capability flags reported by GetCapabilities.
constexpr DWORD EFFECT_CANGOFULLSCREEN = 0x00000001;
constexpr DWORD EFFECT_HASPROPERTYPAGE = 0x00000002;
constexpr DWORD EFFECT_VARIABLEFREQSTEP = 0x00000004;
constexpr DWORD EFFECT_WINDOWEDONLY = 0x00000008;
constexpr DWORD EFFECT2_FULLSCREENEXCLUSIVE = 0x00000010;

// {D3984C13-C3CB-48E2-8BE5-5168340B4F35}
extern const IID IID_IWMPEffects;
// {695386EC-AA3C-4618-A5E1-DD9A8B987632}
extern const IID IID_IWMPEffects2;

struct IWMPEffects : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Render(TimedLevel* pLevels, HDC hdc, RECT* prc) = 0;
    virtual HRESULT STDMETHODCALLTYPE MediaInfo(LONG lChannelCount, LONG lSampleRate,
                                                BSTR bstrTitle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* pdwCapabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTitle(BSTR* bstrTitle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPresetTitle(LONG nPreset, BSTR* bstrPresetTitle) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPresetCount(LONG* pnPresetCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCurrentPreset(LONG nPreset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPreset(LONG* pnPreset) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisplayPropertyPage(HWND hwndOwner) = 0;
    virtual HRESULT STDMETHODCALLTYPE GoFullscreen(BOOL fFullScreen) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderFullScreen(TimedLevel* pLevels) = 0;
};

struct IWMPEffects2 : public IWMPEffects {
    virtual HRESULT STDMETHODCALLTYPE SetCore(IWMPCore* pPlayer) = 0;
    virtual HRESULT STDMETHODCALLTYPE Create(HWND hwndParent) = 0;
    virtual HRESULT STDMETHODCALLTYPE Destroy() = 0;
    virtual HRESULT STDMETHODCALLTYPE NotifyNewMedia(IWMPMedia* pMedia) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT msg, WPARAM WParam, LPARAM LParam,
                                                      LRESULT* plResultParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderWindowed(TimedLevel* pData, BOOL fRequiredRender) = 0;
};
