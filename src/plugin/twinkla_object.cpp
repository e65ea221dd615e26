#include "twinkla_object.h"

#include "analysis/presets.h"
#include "common/color_text.h"
#include "common/win32/hresult.h"
#include "common/win32/unique_handle.h"
#include "config/win32/property_dialog.h"
#include "display/band_editor.h"
#include "module.h"
#include "resource.h"

#include <algorithm>
#include <new>

namespace {

// The first row answers IUnknown too.
const InterfaceRow kInterfaces[] = {
    INTERFACE_ROW(CTwinkla, IID_ITwinkla, ITwinkla),
    INTERFACE_ROW(CTwinkla, IID_IDispatch, ITwinkla),
    INTERFACE_ROW(CTwinkla, IID_IWMPEffects, IWMPEffects2),
    INTERFACE_ROW(CTwinkla, IID_IWMPEffects2, IWMPEffects2),
    INTERFACE_ROW(CTwinkla, IID_IWMPEvents, IWMPEvents),
};

// A new BSTR holding `text` (up to 511 characters: titles, the output's state
// with a host name) into `out`, which is null on failure.
HRESULT AllocAnsiBstr(const char* text, BSTR* out) noexcept {
    *out = nullptr;
    wchar_t wide[512];
    RETURN_LAST_ERROR_IF(::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 512) == 0);
    *out = ::SysAllocString(wide);
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, *out);
    return S_OK;
}

// A new sACN source id, for a user who has none stored yet. Its 16 bytes are
// the GUID's in the order its text form shows them.
SacnCid NewSourceId() noexcept {
    GUID guid{};
    SacnCid id{};
    if (FAILED(::CoCreateGuid(&guid))) {
        return id; // all zero: no id, and none is stored
    }
    const uint32_t d1 = guid.Data1;
    const uint8_t head[8] = {
        static_cast<uint8_t>(d1 >> 24),        static_cast<uint8_t>(d1 >> 16),
        static_cast<uint8_t>(d1 >> 8),         static_cast<uint8_t>(d1),
        static_cast<uint8_t>(guid.Data2 >> 8), static_cast<uint8_t>(guid.Data2),
        static_cast<uint8_t>(guid.Data3 >> 8), static_cast<uint8_t>(guid.Data3)};
    std::copy(std::begin(head), std::end(head), id.begin());
    std::copy(std::begin(guid.Data4), std::end(guid.Data4), id.begin() + 8);
    return id;
}

} // namespace

CTwinkla::CTwinkla() noexcept : TypeInfoDispatch<ITwinkla>(g_moduleInstance, IID_ITwinkla) {}

CTwinkla* CTwinkla::CreateInstance() noexcept {
    CTwinkla* object = new (std::nothrow) CTwinkla();
    if (object != nullptr) {
        object->settings_.Initialize(NewSourceId());
    }
    return object;
}

void CTwinkla::FinalRelease() noexcept {
    dialogs_.CloseAll();
    // Unsubscribe first: the player may deliver an event until Unadvise has
    // returned, even from inside it, and the handlers need the output.
    ReleaseCore();
    if (waitOnRelease_) {
        output_.Close();
    } else {
        output_.Abandon();
    }
    ReleaseTypeInfo();
}

void CTwinkla::ReleaseFromFactory(bool mayWait) noexcept {
    waitOnRelease_ = mayWait;
    Release();
}

// IUnknown ----------------------------------------------------------------

STDMETHODIMP CTwinkla::QueryInterface(REFIID iid, void** ppv) noexcept {
    return QueryInterfaceFromTable(this, kInterfaces, iid, ppv);
}

STDMETHODIMP_(ULONG) CTwinkla::AddRef() noexcept {
    return refs_.AddRef();
}

STDMETHODIMP_(ULONG) CTwinkla::Release() noexcept {
    const ULONG refs = refs_.Release();
    if (refs == 0) {
        FinalRelease();
        delete this;
    }
    return refs;
}

// ITwinkla ----------------------------------------------------------------

STDMETHODIMP CTwinkla::get_foregroundColor(BSTR* value) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, value);
    char text[kColorTextSize];
    FormatColorText(settings_.State().foregroundColor, text);
    return AllocAnsiBstr(text, value);
}

STDMETHODIMP CTwinkla::put_foregroundColor(BSTR value) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, value);
    // The BSTR's own length, so an embedded NUL can't pass for a short string.
    RETURN_HR_IF(E_INVALIDARG, ::SysStringLen(value) != 7);
    uint32_t color = settings_.State().foregroundColor;
    RETURN_HR_IF(E_INVALIDARG, !ParseColorText(value, color));
    settings_.State().foregroundColor = color;
    return S_OK;
}

// For a host's status line: "port COM3", "port COM3 can't be opened",
// "sACN to 10.0.0.5 universe 1", "sACN: can't find the receiver "foo"".
STDMETHODIMP CTwinkla::get_outputState(BSTR* value) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, value);
    char text[kOutputAddressSize + 64];
    settings_.DescribeOutput(text, sizeof text);
    return AllocAnsiBstr(text, value);
}

// IWMPEffects -------------------------------------------------------------

STDMETHODIMP CTwinkla::Render(TimedLevel* levels, HDC dc, RECT* rect) noexcept {
    return RenderFrame(settings_.State(), &output_, levels, dc, rect);
}

STDMETHODIMP CTwinkla::MediaInfo(LONG, LONG, BSTR) noexcept {
    return S_OK;
}

STDMETHODIMP CTwinkla::GetCapabilities(DWORD* capabilities) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, capabilities);
    *capabilities = EFFECT_HASPROPERTYPAGE | EFFECT_VARIABLEFREQSTEP;
    return S_OK;
}

STDMETHODIMP CTwinkla::GetTitle(BSTR* title) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, title);
    *title = nullptr;
    wchar_t text[64];
    RETURN_LAST_ERROR_IF(::LoadStringW(g_moduleInstance, IDS_TITLE, text, 64) <= 0);
    *title = ::SysAllocString(text);
    RETURN_HR_IF_NULL(E_OUTOFMEMORY, *title);
    return S_OK;
}

STDMETHODIMP CTwinkla::GetPresetTitle(LONG preset, BSTR* title) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, title);
    *title = nullptr;
    const char* text = PresetTitle(static_cast<uint32_t>(preset));
    RETURN_HR_IF_NULL(E_INVALIDARG, text);
    return AllocAnsiBstr(text, title);
}

STDMETHODIMP CTwinkla::GetPresetCount(LONG* count) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, count);
    *count = kPresetCount;
    return S_OK;
}

STDMETHODIMP CTwinkla::SetCurrentPreset(LONG preset) noexcept {
    RETURN_HR_IF(E_INVALIDARG, !settings_.SetCurrentPreset(preset));
    return S_OK;
}

STDMETHODIMP CTwinkla::GetCurrentPreset(LONG* preset) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, preset);
    *preset = settings_.State().CurrentPreset;
    return S_OK;
}

STDMETHODIMP CTwinkla::DisplayPropertyPage(HWND owner) noexcept {
    OpenPropertyDialog(dialogs_, settings_, owner);
    return S_OK;
}

STDMETHODIMP CTwinkla::GoFullscreen(BOOL) noexcept {
    return E_NOTIMPL;
}

STDMETHODIMP CTwinkla::RenderFullScreen(TimedLevel*) noexcept {
    return E_NOTIMPL;
}

// IWMPEffects2 ------------------------------------------------------------

STDMETHODIMP CTwinkla::SetCore(IWMPCore* core) noexcept {
    ReleaseCore();
    if (core == nullptr) {
        return S_OK;
    }
    core->AddRef();
    core_.reset(core);

    ComPtr<IConnectionPointContainer> container;
    RETURN_IF_FAILED(core_->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
    const HRESULT found = container->FindConnectionPoint(IID_IWMPEvents, eventPoint_.put());
    if (FAILED(found)) {
        // A failed call's out-parameter is not a reference to release.
        eventPoint_.release();
        return found;
    }
    if (!eventPoint_) {
        return found; // a core that offers no events: nothing to subscribe to
    }
    const HRESULT advised = eventPoint_->Advise(static_cast<ITwinkla*>(this), &adviseCookie_);
    if (FAILED(advised) || adviseCookie_ == 0) {
        eventPoint_.reset();
        adviseCookie_ = 0;
    }
    return advised;
}

void CTwinkla::ReleaseCore() noexcept {
    if (eventPoint_) {
        if (adviseCookie_ != 0) {
            eventPoint_->Unadvise(adviseCookie_);
        }
        adviseCookie_ = 0;
        eventPoint_.reset();
    }
    core_.reset();
}

STDMETHODIMP CTwinkla::Create(HWND window) noexcept {
    window_ = window;
    return S_OK;
}

STDMETHODIMP CTwinkla::Destroy() noexcept {
    window_ = nullptr;
    offscreen_.Release();
    return S_OK;
}

STDMETHODIMP CTwinkla::NotifyNewMedia(IWMPMedia*) noexcept {
    return S_OK;
}

// Only the double-click counts as handled; the drag messages are seen but
// left to the player as well. The message's result stays the player's: it
// is never written.
STDMETHODIMP CTwinkla::OnWindowMessage(UINT message, WPARAM, LPARAM lParam, LRESULT*) noexcept {
    const int32_t x = static_cast<int16_t>(LOWORD(lParam));
    switch (message) {
    case WM_MOUSEMOVE:
        BandEditMove(settings_.State(), x);
        return S_FALSE;
    case WM_LBUTTONDOWN:
        BandEditPress(settings_.State(), x);
        return S_FALSE;
    case WM_LBUTTONUP:
        BandEditRelease(settings_.State());
        return S_FALSE;
    case WM_LBUTTONDBLCLK:
        DisplayPropertyPage(window_);
        return S_OK;
    default:
        return S_FALSE;
    }
}

// The frame is drawn off-screen and copied in one blit, so the window never
// shows a frame half drawn (OffscreenFrame). The drawing's failure is the
// result.
STDMETHODIMP CTwinkla::RenderWindowed(TimedLevel* levels, BOOL) noexcept {
    RETURN_HR_IF_NULL(E_UNEXPECTED, window_);
    const WindowDc window(window_);
    RETURN_HR_IF(E_FAIL, !window); // GetDC leaves no error to report
    // A window whose size can't be read is drawn as an empty one: the frame
    // still goes to the output.
    RECT client = {0, 0, 0, 0};
    ::GetClientRect(window_, &client);
    return offscreen_.Draw(window.get(), client.right - client.left, client.bottom - client.top,
                           [&](HDC dc) { return Render(levels, dc, &client); });
}

// IWMPEvents --------------------------------------------------------------

void CTwinkla::LightChannel(int channelIndex) noexcept {
    output_.SetLevel(channelIndex, 100);
}
