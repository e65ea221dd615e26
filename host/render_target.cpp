#include "render_target.h"

namespace {

// The visualization that gets the window's mouse messages; one window a run.
IWMPEffects2* g_windowEffects = nullptr;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    if (g_windowEffects && msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) {
        LRESULT result = 0;
        if (g_windowEffects->OnWindowMessage(msg, wParam, lParam, &result) == S_OK) {
            return result;
        }
    }
    if (msg == WM_CLOSE) {
        ::DestroyWindow(hwnd);
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND CreatePlayerWindow() {
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "TwinklaHostWindow";
    ::RegisterClassA(&wc);
    RECT r = {0, 0, RenderTarget::kWidth, RenderTarget::kHeight};
    ::AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND hwnd = ::CreateWindowExA(0, wc.lpszClassName, "Twinkla host", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (hwnd)
        ::ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

} // namespace

RenderTarget::RenderTarget() : offscreen_(kWidth, kHeight) {}

RenderTarget::~RenderTarget() {
    Close();
}

bool RenderTarget::Open(IWMPEffects2* effects, bool windowed, std::string& error) {
    effects_ = effects;
    if (windowed) {
        window_ = CreatePlayerWindow();
        if (!window_) {
            error = "cannot create a window";
            return false;
        }
        g_windowEffects = effects;
        effects->Create(window_);
    } else if (!offscreen_.ok()) {
        error = "cannot create the offscreen bitmap";
        return false;
    }
    return true;
}

bool RenderTarget::WindowGone() const {
    return window_ && !::IsWindow(window_);
}

void RenderTarget::Pump() {
    if (!window_) {
        return;
    }
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void RenderTarget::Render(TimedLevel& frame) {
    if (window_) {
        effects_->RenderWindowed(&frame, TRUE);
    } else {
        RECT rect = {0, 0, kWidth, kHeight};
        effects_->Render(&frame, offscreen_.dc(), &rect);
    }
}

void RenderTarget::Close() {
    if (!window_) {
        return;
    }
    effects_->Destroy();
    g_windowEffects = nullptr;
    if (::IsWindow(window_)) {
        ::DestroyWindow(window_);
    }
    window_ = nullptr;
}
