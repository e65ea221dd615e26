// RenderWindowed as the screen shows it, read back from a real window under
// Wine's X11 driver (tools/with-x11): the same pixels as a windowless frame
// of the same input, and never a frame half drawn.
#include "common/product.h"
#include "common/win32/com_ptr.h"
#include "common/win32/dib_surface.h"
#include "common/win32/unique_handle.h"
#include "twinkla_h.h"
#include "win32/message_pump.h"
#include "wmp/win32/wmp_effects.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 256;

// The frame as the shared DIB surface holds it, compared colour only.
class Picture : public DibSurface {
public:
    Picture() : DibSurface(kWidth, kHeight) {}

    // The window's client area as the screen has it.
    void CopyFrom(HWND window) {
        const WindowDc source(window);
        ::BitBlt(dc(), 0, 0, kWidth, kHeight, source.get(), 0, 0, SRCCOPY);
    }

    // Pixels that differ, colour only.
    int DifferencesFrom(const Picture& other) const {
        const auto* a = static_cast<const uint32_t*>(bits());
        const auto* b = static_cast<const uint32_t*>(other.bits());
        int differ = 0;
        for (int i = 0; i < kWidth * kHeight; ++i) {
            differ += ((a[i] ^ b[i]) & 0x00FFFFFF) != 0;
        }
        return differ;
    }
};

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

// Settings for this prefix only: a port that doesn't exist, so nothing is
// written to any serial device of the machine (each frame then shows the
// port error, which is drawn like the rest).
void StoreSettings() {
    UniqueHkey key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_WRITE,
                                nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(key.get(), "Port", 0, REG_SZ, reinterpret_cast<const BYTE*>("COM250"), 7);
    for (int n = 0; n < 16; ++n) {
        UniqueHkey channel;
        const std::string name = "Channel" + std::to_string(n);
        ASSERT_EQ(::RegCreateKeyExA(key.get(), name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                    channel.put(), nullptr),
                  ERROR_SUCCESS);
    }
}

// A frame with something in every part of the picture: a spectrum that
// rises and falls across the bins, and a waveform of two tones.
TimedLevel MakeFrame(int variant) {
    TimedLevel frame = {};
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < 1024; ++i) {
            const double f = 0.5 + 0.5 * std::sin(i * (0.013 + 0.004 * variant) + c);
            frame.frequency[c][i] = static_cast<unsigned char>(255 * f * (1024 - i) / 1024);
            const double w = 0.6 * std::sin(i * 0.05 * (1 + variant)) + 0.3 * std::sin(i * 0.31);
            frame.waveform[c][i] = static_cast<unsigned char>(128 + 120 * w);
        }
    }
    return frame;
}

LRESULT CALLBACK PlayerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

class Windowed : public ::testing::Test {
protected:
    void SetUp() override {
        StoreSettings();
        module_ = ::LoadLibraryW((ProgramDirectory() + L"Twinkla.dll").c_str());
        ASSERT_NE(module_, nullptr);
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto get = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(::GetProcAddress(module_, "DllGetClassObject")));
        ASSERT_NE(get, nullptr);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(get(CLSID_Twinkla, IID_IClassFactory, factory.put_void()), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IWMPEffects2, effects_.put_void()), S_OK);

        WNDCLASSA wc = {};
        wc.lpfnWndProc = PlayerWindowProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "TwinklaWindowedTest";
        ::RegisterClassA(&wc);
        // No frame: the client area is the whole window, on screen at 0, 0.
        window_ = ::CreateWindowExA(0, wc.lpszClassName, "player", WS_POPUP | WS_VISIBLE, 0, 0,
                                    kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
        PumpMessagesUntil(300);
        ASSERT_EQ(effects_->Create(window_), S_OK);
    }

    void TearDown() override {
        if (effects_) {
            effects_->Destroy();
            effects_.reset();
        }
        if (window_) {
            ::DestroyWindow(window_);
        }
        if (module_) {
            using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
            const auto canUnload = reinterpret_cast<CanUnloadNow>(
                reinterpret_cast<void*>(::GetProcAddress(module_, "DllCanUnloadNow")));
            EXPECT_EQ(canUnload(), S_OK); // the object goes with its thread
            ::FreeLibrary(module_);
        }
    }

    void RenderWindowless(const TimedLevel& frame, Picture& picture) {
        RECT rect = {0, 0, kWidth, kHeight};
        ASSERT_EQ(effects_->Render(const_cast<TimedLevel*>(&frame), picture.dc(), &rect), S_OK);
        ::GdiFlush();
    }

    HMODULE module_ = nullptr;
    ComPtr<IWMPEffects2> effects_;
    HWND window_ = nullptr;
};

TEST_F(Windowed, AWindowedFrameHasThePixelsOfAWindowlessFrameOfTheSameInput) {
    const TimedLevel frame = MakeFrame(0);
    Picture windowless;
    Picture again;
    Picture screen;
    ASSERT_TRUE(windowless.ok() && again.ok() && screen.ok());
    RenderWindowless(frame, windowless);
    ASSERT_EQ(effects_->RenderWindowed(const_cast<TimedLevel*>(&frame), TRUE), S_OK);
    screen.CopyFrom(window_);
    RenderWindowless(frame, again);
    ASSERT_EQ(windowless.DifferencesFrom(again), 0) << "the same input draws the same frame";
    EXPECT_EQ(screen.DifferencesFrom(windowless), 0);
}

// What another thread sees of the window while frames are drawn, read again
// and again: each look must find a whole frame, the one before or the new one.
struct Watcher {
    HWND window = nullptr;
    const Picture* frames[2] = {};
    std::atomic<bool> stop{false};
    int looks = 0;
    int halfDrawn = 0;
};

DWORD WINAPI Watch(void* parameter) {
    Watcher& w = *static_cast<Watcher*>(parameter);
    Picture seen;
    while (!w.stop.load()) {
        seen.CopyFrom(w.window);
        ++w.looks;
        if (seen.DifferencesFrom(*w.frames[0]) != 0 && seen.DifferencesFrom(*w.frames[1]) != 0) {
            ++w.halfDrawn;
        }
    }
    return 0;
}

TEST_F(Windowed, TheWindowNeverShowsAFrameHalfDrawn) {
    const TimedLevel frames[2] = {MakeFrame(0), MakeFrame(1)};
    Picture pictures[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(pictures[i].ok());
        RenderWindowless(frames[i], pictures[i]);
    }
    ASSERT_NE(pictures[0].DifferencesFrom(pictures[1]), 0);
    ASSERT_EQ(effects_->RenderWindowed(const_cast<TimedLevel*>(&frames[0]), TRUE), S_OK);

    Watcher watcher;
    watcher.window = window_;
    watcher.frames[0] = &pictures[0];
    watcher.frames[1] = &pictures[1];
    UniqueHandleNull thread(::CreateThread(nullptr, 0, Watch, &watcher, 0, nullptr));
    ASSERT_TRUE(thread);
    for (int i = 1; i <= 120; ++i) {
        effects_->RenderWindowed(const_cast<TimedLevel*>(&frames[i % 2]), TRUE);
        ::Sleep(1);
    }
    watcher.stop = true;
    ::WaitForSingleObject(thread.get(), INFINITE);
    std::printf("%d looks at the window, %d of them at a frame half drawn\n", watcher.looks,
                watcher.halfDrawn);
    EXPECT_GT(watcher.looks, 20);
    EXPECT_EQ(watcher.halfDrawn, 0);
}

} // namespace
