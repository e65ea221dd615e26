// The output engine through the registered DLL, against the virtual
// controller: the player's thread never waits on a stalled line, a line that
// goes away is reported and comes back by itself, and the light delay holds
// each frame back. Run under tools/with-vctl, whose port the tests store.
#include "plugin_host.h"

#include "common/product.h"
#include "common/win32/dib_surface.h"
#include "common/win32/unique_handle.h"
#include "wmp/win32/wmp_effects.h"

#include "windows/common/vctl_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using Kind = VctlMessage::Kind;

double NowMs() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void SetDword(const char* name, DWORD value) {
    UniqueHkey key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_WRITE,
                                nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                               sizeof value),
              ERROR_SUCCESS);
}

void DeleteValue(const char* name) {
    UniqueHkey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_WRITE, key.put()) ==
        ERROR_SUCCESS) {
        ::RegDeleteValueA(key.get(), name);
    }
}

// Bytes in use on every heap of the process.
size_t HeapBytesInUse() {
    HANDLE heaps[64];
    const DWORD count = std::min<DWORD>(::GetProcessHeaps(64, heaps), 64);
    size_t total = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!::HeapLock(heaps[i])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry = {};
        while (::HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                total += entry.cbData;
            }
        }
        ::HeapUnlock(heaps[i]);
    }
    return total;
}

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new RegisteredDllEnvironment);

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(VctlLog::PathFromEnvironment().empty()) << "run under tools/with-vctl";
        ASSERT_TRUE(surface_.ok());
        // A first run stores the defaults; the tests then point them at the
        // controller.
        Create();
        Release();
        const std::string port = VctlLog::TestPort();
        UniqueHkey key;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_WRITE, key.put()),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key.get(), "Port", 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(port.c_str()),
                                   static_cast<DWORD>(port.size() + 1)),
                  ERROR_SUCCESS);
        DeleteValue("LightDelay");
    }
    void TearDown() override {
        Release();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
    }

    void Create() {
        ASSERT_EQ(CreateLikeThePlayer(effects_.put()), S_OK);
        ASSERT_EQ(effects_->SetCurrentPreset(2), S_OK); // 14 bands, then the two power channels
    }
    // The object goes with its port, as when the player lets go of it.
    void Release() {
        effects_.reset();
        if (::GetModuleHandleA("Twinkla.dll") != nullptr) {
            ASSERT_EQ(CallDllCanUnloadNow(), S_OK);
        }
    }

    // Renders one frame; returns how long Render took, in milliseconds.
    double Render(const TimedLevel& frame) {
        RECT rect = surface_.rect();
        const double start = NowMs();
        EXPECT_EQ(effects_->Render(const_cast<TimedLevel*>(&frame), surface_.dc(), &rect), S_OK);
        return NowMs() - start;
    }

    // The port error's red text in the top rows, where a frame of silence
    // draws nothing else.
    bool ShowsPortError() const { return surface_.Count(RECT{0, 0, 320, 14}, RGB(255, 0, 0)) > 20; }

    DibSurface surface_{1024, 256};
    ComPtr<IWMPEffects2> effects_;
};

// Frame k: each band's level moves from frame to frame.
TimedLevel Frame(int k) {
    TimedLevel frame = {};
    std::memset(frame.waveform, 128, sizeof frame.waveform);
    for (int band = 0; band < 14; ++band) {
        frame.frequency[0][73 * band + 5] = static_cast<unsigned char>((k * 7 + band * 13) % 256);
    }
    frame.waveform[0][0] = static_cast<unsigned char>(128 + k % 100);
    return frame;
}

TEST_F(Engine, AStalledLineCostsTheRenderingThreadNothingAndResumesWithTheNewestLevels) {
    Create();
    VctlLog log;
    size_t mark = log.Mark();
    Render(Frame(0));
    ASSERT_TRUE(log.WaitForCount(mark, Kind::Level, 16, 3000)) << "the line works";

    // The controller stops reading: the line fills up with the first few
    // hundred frames and then takes no more.
    ASSERT_TRUE(SignalVctl("STOP"));
    ::Sleep(300); // the signal is delivered by a program of its own
    mark = log.Mark();
    constexpr int kFrames = 3000;
    std::vector<double> took;
    size_t heapAfterFilling = 0;
    for (int k = 1; k <= kFrames; ++k) {
        took.push_back(Render(Frame(k)));
        if (k == 500) {
            heapAfterFilling = HeapBytesInUse();
        }
    }
    const size_t heapAtEnd = HeapBytesInUse();
    std::sort(took.begin(), took.end());
    std::printf("[ measured ] %d frames on a stalled line: Render median %.3f p99 %.3f max %.3f ms;"
                " heap %+ld bytes over the last %d frames\n",
                kFrames, took[kFrames / 2], took[kFrames * 99 / 100], took.back(),
                static_cast<long>(heapAtEnd) - static_cast<long>(heapAfterFilling), kFrames - 500);
    EXPECT_LT(took.back(), 1000) << "a Render waited for the line";
    EXPECT_LT(took[kFrames * 99 / 100], 50);
    EXPECT_LT(static_cast<long>(heapAtEnd) - static_cast<long>(heapAfterFilling), 256 * 1024)
        << "what waits for the line grows with the frames";

    // Once what waited has gone out, a keep-alive follows 500 ms later.
    ASSERT_TRUE(SignalVctl("CONT"));
    ASSERT_TRUE(log.WaitForCount(mark, Kind::KeepAlive, 1, 20000));
    const VctlMessages got = log.Since(mark);
    EXPECT_EQ(CountOf(got, Kind::Framing), 0u) << "a message was torn";
    const VctlMessages levels = OfKind(got, Kind::Level);
    EXPECT_LT(levels.size(), static_cast<size_t>(kFrames * 16)) << "the line never stalled";
    std::map<int, std::string> last;
    for (const VctlMessage& m : levels) {
        last[m.channel] = m.bytes;
    }

    // The newest frame once more, on a line that keeps up: its commands are
    // what each circuit must have ended with.
    mark = log.Mark();
    Render(Frame(kFrames));
    ASSERT_TRUE(log.WaitForCount(mark, Kind::Level, 16, 3000));
    const VctlMessages newest = OfKind(log.Since(mark), Kind::Level);
    ASSERT_EQ(last.size(), 16u);
    for (const VctlMessage& m : newest) {
        EXPECT_EQ(last[m.channel], m.bytes) << "circuit " << m.channel;
    }
}

TEST_F(Engine, TheLightDelayHoldsEachFrameBackWhileRenderReturnsAtOnce) {
    // The gap between Render and the controller's arrival stamp, with and
    // without a delay: the two clocks may differ by a constant, which the
    // difference removes.
    const auto gaps = [this](int frames) {
        VctlLog log;
        const size_t mark = log.Mark();
        std::vector<double> rendered;
        std::vector<double> took;
        for (int k = 0; k < frames; ++k) {
            took.push_back(Render(Frame(k)));
            rendered.push_back(NowMs());
            ::Sleep(100);
        }
        EXPECT_TRUE(log.WaitForCount(mark, Kind::Level, 16u * frames, 5000));
        const VctlMessages levels = OfKind(log.Since(mark), Kind::Level);
        std::vector<double> out;
        for (int k = 0; k < frames && 16u * k + 15 < levels.size(); ++k) {
            EXPECT_EQ(levels[16 * k].channel, 0) << "frame " << k << " arrives whole, in order";
            EXPECT_GE(levels[16 * k].rawMs, 0) << "the controller stamps the raw clock";
            out.push_back(levels[16 * k + 15].rawMs - rendered[k]);
        }
        EXPECT_LT(*std::max_element(took.begin(), took.end()), 50) << "Render waited";
        return out;
    };

    Create();
    std::vector<double> undelayed = gaps(10);
    Release();
    SetDword("LightDelay", 300);
    Create();
    const std::vector<double> delayed = gaps(20);
    ASSERT_EQ(undelayed.size(), 10u);
    ASSERT_EQ(delayed.size(), 20u);
    std::sort(undelayed.begin(), undelayed.end());
    const double base = undelayed[undelayed.size() / 2];
    for (size_t k = 0; k < delayed.size(); ++k) {
        EXPECT_NEAR(delayed[k] - base, 300, 60) << "frame " << k;
    }
    std::printf("[ measured ] Render to the frame's last command: %.1f ms without a delay,"
                " %.1f ms more with LightDelay 300\n",
                base, delayed[delayed.size() / 2] - base);
}

// Last: the controller it starts in place of the first serves to the end.
TEST_F(Engine, ALineThatGoesAwayIsReportedAndComesBackByItself) {
    const std::string vctl = Env("TWINKLA_VCTL_BIN");
    const std::string link = Env("TWINKLA_VCTL_LINK");
    ASSERT_FALSE(vctl.empty() || link.empty()) << "run under tools/with-vctl";
    Create();
    const TimedLevel silence = Frame(0);
    VctlLog log;
    size_t mark = log.Mark();
    Render(silence);
    ASSERT_TRUE(log.WaitForCount(mark, Kind::Level, 16, 3000));
    EXPECT_FALSE(ShowsPortError());

    // Unplugged: the controller's end of the line is gone, so writes fail.
    ASSERT_TRUE(SignalVctl("TERM"));
    ::Sleep(500);
    int frames = 0;
    while (frames < 10 && !ShowsPortError()) {
        Render(silence);
        ++frames;
        ::Sleep(30);
    }
    EXPECT_TRUE(ShowsPortError()) << "still no error after " << frames << " frames";
    std::printf("[ measured ] the port error showed after %d frames\n", frames);

    // Plugged back in: a new controller on the same path.
    const std::string logPath = Env("TWINKLA_VCTL_LOG_UNIX") + ".2";
    ASSERT_TRUE(RunUnixCommand("'" + vctl + "' --link '" + link + "' --log '" + logPath +
                               "' >/dev/null 2>&1 &"));
    VctlLog second(VctlLog::PathFromEnvironment() + ".2");
    const double start = NowMs();
    while (NowMs() - start < 6000 && ShowsPortError()) {
        Render(silence);
        ::Sleep(50);
    }
    EXPECT_FALSE(ShowsPortError()) << "the show didn't come back";
    std::printf("[ measured ] back %.0f ms after the controller was started again\n",
                NowMs() - start);
    mark = second.Mark();
    Render(silence);
    EXPECT_TRUE(second.WaitForCount(mark, Kind::Level, 16, 3000));
    EXPECT_EQ(CountOf(second.Since(0), Kind::Framing), 0u);
}

} // namespace
