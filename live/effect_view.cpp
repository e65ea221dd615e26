#include "effect_view.h"

#include "common/product.h"
#include "common/scope_exit.h"
#include "registered_effect.h"
#include "twinkla_version.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kClassName[] = "TwinklaLiveView";

#ifdef _WIN64
#define TWINKLA_PACKAGE_ARCH "x64"
#else
#define TWINKLA_PACKAGE_ARCH "x86"
#endif

std::string Narrow(const wchar_t* text) {
    char out[256] = {};
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out - 1, nullptr, nullptr);
    return out;
}

} // namespace

bool CEffectView::CreateWindowIn(HWND parent) {
    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    ::RegisterClassA(&wc);
    window_ = ::CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0,
                                0, parent, nullptr, instance, this);
    return window_ != nullptr;
}

bool CEffectView::Load(std::string& error) {
    const HRESULT hr = CreateRegisteredEffect(kEffectName, effects_.put());
    if (hr == REGDB_E_CLASSNOTREG) {
        error = "Twinkla isn't installed: install Twinkla first (Twinkla-" TWINKLA_VERSION_TEXT
                "-" TWINKLA_PACKAGE_ARCH ".msi)";
    } else if (FAILED(hr)) {
        char text[96];
        std::snprintf(text, sizeof text, "the Twinkla plug-in can't be loaded (0x%08lX)",
                      static_cast<unsigned long>(hr));
        error = text;
    }
    if (FAILED(hr)) {
        effects_.reset();
        return false;
    }
    effects_->SetCore(&core_);
    DWORD capabilities = 0;
    effects_->GetCapabilities(&capabilities);
    windowed_ = (capabilities & EFFECT_WINDOWEDONLY) != 0;
    if (windowed_) {
        effects_->Create(window_);
    }
    effects_->QueryInterface(IID_IDispatch, dispatch_.put_void());
    notice_.clear();
    ::InvalidateRect(window_, nullptr, TRUE);
    return true;
}

void CEffectView::Unload() {
    if (!effects_) {
        return;
    }
    if (windowed_) {
        effects_->Destroy();
    }
    dispatch_.reset();
    outputStateId_ = DISPID_UNKNOWN;
    effects_->SetCore(nullptr);
    effects_.reset();
}

void CEffectView::Render(TimedLevel& frame) {
    if (!effects_) {
        return;
    }
    if (windowed_) {
        effects_->RenderWindowed(&frame, TRUE);
        return;
    }
    RECT client = {};
    ::GetClientRect(window_, &client);
    if (client.right <= 0 || client.bottom <= 0) {
        // Minimized or hidden in the tray: still analysed and sent.
        client = {0, 0, 1, 1};
    }
    if (!offscreen_ || offscreen_->width() != client.right ||
        offscreen_->height() != client.bottom) {
        offscreen_ = std::make_unique<DibSurface>(client.right, client.bottom);
    }
    if (!offscreen_->ok()) {
        offscreen_.reset();
        return;
    }
    effects_->Render(&frame, offscreen_->dc(), &client);
    const WindowDc dc(window_);
    if (dc) {
        ::BitBlt(dc.get(), 0, 0, client.right, client.bottom, offscreen_->dc(), 0, 0, SRCCOPY);
    }
}

void CEffectView::RenderSilence() {
    TimedLevel silence = {};
    std::memset(silence.waveform, 128, sizeof silence.waveform);
    Render(silence);
}

void CEffectView::SetNotice(const std::string& text) {
    notice_ = text;
    ::InvalidateRect(window_, nullptr, TRUE);
}

int CEffectView::PresetCount() const {
    LONG count = 0;
    return effects_ && SUCCEEDED(effects_->GetPresetCount(&count)) ? static_cast<int>(count) : 0;
}

std::string CEffectView::PresetTitle(int preset) const {
    BSTR title = nullptr;
    const auto freeTitle = ScopeExit([&] { ::SysFreeString(title); });
    if (effects_ && SUCCEEDED(effects_->GetPresetTitle(preset, &title)) && title) {
        return Narrow(title);
    }
    return {};
}

int CEffectView::CurrentPreset() const {
    LONG preset = -1;
    return effects_ && SUCCEEDED(effects_->GetCurrentPreset(&preset)) ? static_cast<int>(preset)
                                                                      : -1;
}

bool CEffectView::SetPreset(int preset) {
    return effects_ && SUCCEEDED(effects_->SetCurrentPreset(preset));
}

void CEffectView::OpenSettings(HWND owner) {
    if (effects_) {
        effects_->DisplayPropertyPage(owner);
    }
}

std::string CEffectView::OutputState() {
    if (!dispatch_) {
        return {};
    }
    if (outputStateId_ == DISPID_UNKNOWN) {
        LPOLESTR name = const_cast<LPOLESTR>(L"outputState");
        if (FAILED(dispatch_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT,
                                            &outputStateId_))) {
            dispatch_.reset(); // an older plug-in: it has nothing to say
            return {};
        }
    }
    VARIANT result;
    ::VariantInit(&result);
    const auto clearResult = ScopeExit([&] { ::VariantClear(&result); });
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (SUCCEEDED(dispatch_->Invoke(outputStateId_, IID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr)) &&
        result.vt == VT_BSTR && result.bstrVal) {
        return Narrow(result.bstrVal);
    }
    return {};
}

LRESULT CALLBACK CEffectView::WindowProc(HWND hwnd, UINT msg, WPARAM wParam,
                                         LPARAM lParam) noexcept {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CEffectView*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr || self->window_ != hwnd) {
        return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    return self->OnMessage(msg, wParam, lParam);
}

LRESULT CEffectView::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // Paint covers it all
    case WM_LBUTTONDOWN:
        ::SetCapture(window_); // a band edge dragged past the window's side
        break;
    case WM_LBUTTONUP:
        ::ReleaseCapture();
        break;
    case WM_LBUTTONDBLCLK:
        if (!windowed_) {
            // Windowless, the plug-in has no window to own its dialog.
            OpenSettings(::GetAncestor(window_, GA_ROOT));
            return 0;
        }
        break;
    case WM_NCDESTROY:
        window_ = nullptr;
        return 0;
    default:
        break;
    }
    if (effects_ && msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) {
        LRESULT result = 0;
        if (effects_->OnWindowMessage(msg, wParam, lParam, &result) == S_OK) {
            return result;
        }
    }
    return ::DefWindowProcA(window_, msg, wParam, lParam);
}

void CEffectView::Paint() {
    PAINTSTRUCT ps;
    const HDC dc = ::BeginPaint(window_, &ps);
    RECT client = {};
    ::GetClientRect(window_, &client);
    // Black where the last frame doesn't reach (a window just made bigger).
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    if (offscreen_ && !windowed_) {
        ::BitBlt(dc, 0, 0, offscreen_->width(), offscreen_->height(), offscreen_->dc(), 0, 0,
                 SRCCOPY);
    }
    if (!notice_.empty()) {
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::DrawTextA(dc, notice_.c_str(), -1, &client,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    ::EndPaint(window_, &ps);
}
