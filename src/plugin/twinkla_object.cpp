#include "twinkla_object.h"

#include "analysis/presets.h"
#include "common/color_text.h"
#include "common/win32/com_ptr.h"
#include "common/win32/hresult.h"
#include "common/win32/unique_handle.h"
#include "config/settings.h"
#include "config/win32/property_dialog.h"
#include "config/win32/registry_store.h"
#include "display/band_editor.h"
#include "frame/win32/render_frame.h"
#include "link/output_state.h"
#include "link/win32/output_selector.h"
#include "module.h"
#include "resource.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

namespace {

constexpr LONG kDestroyingRefs = LONG_MAX / 2; // no call made while destroying can reach 0 again

// Texts of up to 511 characters (titles, the output's state with a host name).
BSTR AllocAnsiBstr(const char* text) {
    wchar_t wide[512];
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 512);
    return n > 1 ? ::SysAllocString(wide) : nullptr;
}

// A new sACN source id, for a user who has none stored yet. Its 16 bytes are
// the GUID's in the order its text form shows them.
SacnCid NewSourceId() {
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

CTwinkla::CTwinkla() {
    // Construction state; the channel records get theirs from the settings.
    state_.CurrentPreset = 0;
    state_.foregroundColor = 0x000000FF;
    state_.DrawFrequency = state_.DrawPower = state_.DrawChannels = state_.DrawChannelNumbers = 1;
}

CTwinkla::~CTwinkla() = default;

CTwinkla* CTwinkla::CreateInstance() {
    CTwinkla* object = new (std::nothrow) CTwinkla();
    if (object == nullptr) {
        return nullptr;
    }
    if (!object->FinalConstruct()) {
        delete object;
        return nullptr;
    }
    return object;
}

bool CTwinkla::FinalConstruct() {
    // Without an output every later operation would have nothing to talk to,
    // so creation fails as if the object itself couldn't be allocated.
    output_.reset(new (std::nothrow) OutputSelector());
    if (!output_) {
        return false;
    }
    RegistryStore store;
    InitializeSettings(state_, linkSettings_, *output_, store, NewSourceId());
    return true;
}

void CTwinkla::FinalRelease() {
    CloseDialogs();
    // Unsubscribe first: the player may deliver an event until Unadvise has
    // returned, even from inside it, and the handlers need the link.
    ReleaseCore();
    if (output_) {
        if (waitOnRelease_) {
            output_->Close();
        } else {
            output_->Abandon();
        }
        output_.reset();
    }
    typeInfo_.reset();
}

void CTwinkla::ReleaseFromFactory(bool mayWait) {
    waitOnRelease_ = mayWait;
    Release();
}

// IUnknown ----------------------------------------------------------------

STDMETHODIMP CTwinkla::QueryInterface(REFIID iid, void** ppv) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, ppv);
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_ITwinkla) ||
        ::IsEqualIID(iid, IID_IDispatch)) {
        *ppv = static_cast<ITwinkla*>(this);
    } else if (::IsEqualIID(iid, IID_IWMPEvents)) {
        *ppv = static_cast<IWMPEvents*>(this);
    } else if (::IsEqualIID(iid, IID_IWMPEffects) || ::IsEqualIID(iid, IID_IWMPEffects2)) {
        *ppv = static_cast<IWMPEffects2*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// The factory holds one reference for the module's lifetime; any reference
// beyond it keeps the module locked.
STDMETHODIMP_(ULONG) CTwinkla::AddRef() noexcept {
    const LONG refs = ::InterlockedIncrement(&refs_);
    if (refs == 2) {
        ModuleLock();
    }
    return static_cast<ULONG>(refs);
}

STDMETHODIMP_(ULONG) CTwinkla::Release() noexcept {
    const LONG refs = ::InterlockedDecrement(&refs_);
    if (refs == 1) {
        ModuleUnlock();
    } else if (refs == 0) {
        refs_ = kDestroyingRefs;
        FinalRelease();
        delete this;
    }
    return static_cast<ULONG>(refs);
}

// IDispatch ---------------------------------------------------------------

HRESULT CTwinkla::LoadTypeInfo() {
    if (typeInfo_) {
        return S_OK;
    }
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(g_moduleInstance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return E_FAIL;
    }
    ComPtr<ITypeLib> library;
    HRESULT hr = ::LoadTypeLibEx(path, REGKIND_NONE, library.put());
    if (SUCCEEDED(hr)) {
        hr = library->GetTypeInfoOfGuid(IID_ITwinkla, typeInfo_.put());
    }
    return hr;
}

STDMETHODIMP CTwinkla::GetTypeInfoCount(UINT* count) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, count);
    *count = 1;
    return S_OK;
}

STDMETHODIMP CTwinkla::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, info);
    *info = nullptr;
    if (index != 0) {
        return DISP_E_BADINDEX;
    }
    RETURN_IF_FAILED(LoadTypeInfo());
    typeInfo_->AddRef();
    *info = typeInfo_.get();
    return S_OK;
}

STDMETHODIMP CTwinkla::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                     DISPID* ids) noexcept {
    if (!::IsEqualIID(iid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    const HRESULT hr = LoadTypeInfo();
    return FAILED(hr) ? hr : ::DispGetIDsOfNames(typeInfo_.get(), names, count, ids);
}

STDMETHODIMP CTwinkla::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept {
    if (!::IsEqualIID(iid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    RETURN_IF_FAILED(LoadTypeInfo());
    return ::DispInvoke(static_cast<ITwinkla*>(this), typeInfo_.get(), id, flags, params, result,
                        exception, argError);
}

// ITwinkla ----------------------------------------------------------------

STDMETHODIMP CTwinkla::get_foregroundColor(BSTR* value) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, value);
    char text[kColorTextSize];
    FormatColorText(state_.foregroundColor, text);
    *value = AllocAnsiBstr(text);
    return *value ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CTwinkla::put_foregroundColor(BSTR value) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, value);
    // The BSTR's own length, so an embedded NUL can't pass for a short string.
    if (::SysStringLen(value) != 7) {
        return E_INVALIDARG;
    }
    uint32_t color = state_.foregroundColor;
    if (!ParseColorText(value, color)) {
        return E_INVALIDARG;
    }
    state_.foregroundColor = color;
    return S_OK;
}

// For a host's status line: "port COM3", "port COM3 can't be opened",
// "sACN to 10.0.0.5 universe 1", "sACN: can't find the receiver "foo"".
STDMETHODIMP CTwinkla::get_outputState(BSTR* value) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, value);
    *value = nullptr;
    RETURN_HR_IF_NULL(E_UNEXPECTED, output_);
    char text[kOutputAddressSize + 64];
    FormatOutputState(linkSettings_, output_->Health(), text, sizeof text);
    *value = AllocAnsiBstr(text);
    return *value ? S_OK : E_OUTOFMEMORY;
}

// IWMPEffects -------------------------------------------------------------

STDMETHODIMP CTwinkla::Render(TimedLevel* levels, HDC dc, RECT* rect) noexcept {
    return RenderFrame(state_, output_.get(), levels, dc, rect);
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
    wchar_t text[64];
    if (::LoadStringW(g_moduleInstance, IDS_TITLE, text, 64) <= 0) {
        return E_FAIL;
    }
    BSTR copy = ::SysAllocString(text);
    if (copy == nullptr) {
        return E_FAIL;
    }
    *title = copy;
    return S_OK;
}

STDMETHODIMP CTwinkla::GetPresetTitle(LONG preset, BSTR* title) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, title);
    const char* text = PresetTitle(static_cast<uint32_t>(preset));
    if (text == nullptr) {
        return E_INVALIDARG;
    }
    BSTR copy = AllocAnsiBstr(text);
    if (copy == nullptr) {
        return E_FAIL;
    }
    *title = copy;
    return S_OK;
}

STDMETHODIMP CTwinkla::GetPresetCount(LONG* count) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, count);
    *count = kPresetCount;
    return S_OK;
}

STDMETHODIMP CTwinkla::SetCurrentPreset(LONG preset) noexcept {
    RETURN_HR_IF_NULL(E_UNEXPECTED, output_);
    RegistryStore store;
    return ::SetCurrentPreset(state_, linkSettings_, *output_, store, preset) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CTwinkla::GetCurrentPreset(LONG* preset) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, preset);
    *preset = state_.CurrentPreset;
    return S_OK;
}

STDMETHODIMP CTwinkla::DisplayPropertyPage(HWND owner) noexcept {
    OpenPropertyDialog(dialogHost_, owner);
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
    HRESULT hr = core_->QueryInterface(IID_IConnectionPointContainer, container.put_void());
    if (SUCCEEDED(hr)) {
        hr = container->FindConnectionPoint(IID_IWMPEvents, eventPoint_.put());
    }
    if (SUCCEEDED(hr) && eventPoint_) {
        hr = eventPoint_->Advise(static_cast<ITwinkla*>(this), &adviseCookie_);
        if (FAILED(hr) || adviseCookie_ == 0) {
            eventPoint_.reset();
            adviseCookie_ = 0;
        }
    } else {
        // A failed call's out-parameter is not a reference to release.
        eventPoint_.release();
    }
    return hr;
}

void CTwinkla::ReleaseCore() {
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
// left to the player as well.
STDMETHODIMP CTwinkla::OnWindowMessage(UINT message, WPARAM, LPARAM lParam, LRESULT*) noexcept {
    const int32_t x = static_cast<int16_t>(LOWORD(lParam));
    switch (message) {
    case WM_MOUSEMOVE:
        BandEditMove(state_, x);
        return S_FALSE;
    case WM_LBUTTONDOWN:
        BandEditPress(state_, x);
        return S_FALSE;
    case WM_LBUTTONUP:
        BandEditRelease(state_);
        return S_FALSE;
    case WM_LBUTTONDBLCLK:
        static_cast<IWMPEffects2*>(this)->DisplayPropertyPage(window_);
        return S_OK;
    default:
        return S_FALSE;
    }
}

STDMETHODIMP CTwinkla::RenderWindowed(TimedLevel* levels, BOOL) noexcept {
    if (window_ == nullptr) {
        return E_UNEXPECTED;
    }
    const WindowDc window(window_);
    if (!window) {
        return E_FAIL;
    }
    const HDC dc = window.get();
    RECT client = {0, 0, 0, 0};
    ::GetClientRect(window_, &client);
    // Drawn off-screen and copied in one blit: the window never shows a frame
    // half drawn. Without an off-screen bitmap (an empty window, no memory)
    // the frame goes straight to the window, as it must still be analysed
    // and sent.
    const HDC offscreen =
        offscreen_.Begin(dc, client.right - client.left, client.bottom - client.top);
    const HRESULT drawn =
        static_cast<IWMPEffects2*>(this)->Render(levels, offscreen ? offscreen : dc, &client);
    if (offscreen) {
        offscreen_.End(dc, SUCCEEDED(drawn));
    }
    return S_OK;
}

// IWMPEvents: a click with the first button lights channel 1, keys and mouse
// moves light channel 6, whatever the channel table says. An event that
// comes while the object is being torn down, with no link left, does nothing.

void CTwinkla::LightChannel(int channelIndex) {
    if (output_) {
        output_->SetLevel(channelIndex, 100);
    }
}

void CTwinkla::Click(short button, short, LONG, LONG) noexcept {
    if (button == 1) {
        LightChannel(1);
    }
}
void CTwinkla::KeyDown(short, short) noexcept {
    LightChannel(6);
}
void CTwinkla::KeyPress(short) noexcept {
    LightChannel(6);
}
void CTwinkla::KeyUp(short, short) noexcept {
    LightChannel(6);
}
void CTwinkla::MouseMove(short, short, LONG, LONG) noexcept {
    LightChannel(6);
}

// Dialogs -----------------------------------------------------------------

void CTwinkla::CloseDialogs() {
    // Destroying a property dialog destroys its channel dialogs, which
    // unregister themselves; take one window at a time from what is left.
    while (!dialogs_.Empty()) {
        const HWND dialog = dialogs_.Last();
        if (!::DestroyWindow(dialog)) {
            // Not ours to destroy (another thread) or already gone: forget it.
            dialogHost_.DialogClosed(dialog);
        }
    }
}

void CTwinkla::DialogHost::SaveSettings() noexcept {
    RegistryStore store;
    ::SaveSettings(owner_.state_, owner_.linkSettings_, store);
}

OutputLink* CTwinkla::DialogHost::Output() noexcept {
    return owner_.output_.get();
}

bool CTwinkla::DialogHost::OutputProblem(char* text, size_t size) noexcept {
    if (!owner_.output_ || owner_.linkSettings_.Output == OutputKind::Serial) {
        return false; // a port that can't be opened is Apply's to say
    }
    const OutputHealth health = owner_.output_->Health();
    if (!IsOutputProblem(health)) {
        return false;
    }
    FormatOutputState(owner_.linkSettings_, health, text, size);
    return true;
}

HRESULT CTwinkla::DialogHost::SetCurrentPreset(LONG preset) noexcept {
    return static_cast<IWMPEffects2*>(&owner_)->SetCurrentPreset(preset);
}

HINSTANCE CTwinkla::DialogHost::ResourceModule() noexcept {
    return g_moduleInstance;
}

// An open dialog locks the module: while one exists DllCanUnloadNow says
// S_FALSE, so the object its window points into stays, and so does the code
// of its dialog procedure.
bool CTwinkla::DialogHost::DialogOpened(HWND dialog) noexcept {
    if (!owner_.dialogs_.Add(dialog)) {
        return false;
    }
    ModuleLock();
    return true;
}

void CTwinkla::DialogHost::DialogClosed(HWND dialog) noexcept {
    if (owner_.dialogs_.Remove(dialog)) {
        ModuleUnlock();
    }
}
