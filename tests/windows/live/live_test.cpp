// Twinkla Live as its user runs it, under Wine's X11 driver on a private
// Xvfb display (tools/with-x11), with a private PulseAudio server as the
// computer's audio (tools/with-pulse) and the virtual controller on the
// plug-in's port (tools/with-vctl). The program is started as a process of
// its own and driven by the messages its menus send; its status bar is read
// from its memory. The music plays into the server's null sink, whose monitor
// is a recording device.
//
// usage: live_tests.exe LIVE_EXE PICTURE_DIR [gtest options]
#include "plugin_host.h"
#include "png_writer.h"
#include "resource.h"
#include "twinkla_version.h"
#include "win32/live_capture.h"
#include "windows/common/vctl_log.h"

#include "audio_clip.h"
#include "common/product.h"
#include "common/win32/dib_surface.h"
#include "common/win32/unique_handle.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string g_liveExe;    // Windows path of twinkla-live.exe
std::string g_pictureDir; // where the screenshot and the music go
std::string g_workUnix;   // the same folder as a Linux path
constexpr char kExtraSource[] = "TwinklaExtra";
constexpr char kMonitor[] = "Monitor of TwinklaTest";

std::string WindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

// A Linux program, which Wine starts like a Windows one; false if it fails.
// Waits for it unless `wait` is false.
bool RunUnix(std::string command, bool wait = true) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return false;
    }
    if (wait) {
        ::WaitForSingleObject(process.hProcess, 20000);
        ::Sleep(500); // the server announces the change to its clients
    }
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    return true;
}

// The index of the recording device `name` in the Source menu's list.
int SourceIndex(const char* name) {
    std::vector<AudioDevice> devices;
    std::string error;
    ListAudioDevices(eCapture, devices, error);
    for (size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Plays 16-bit stereo audio into the server's null sink with Linux's player
// (steadier on a busy machine than Wine's), and returns at once.
void Play(const AudioClip& clip, const char* name) {
    const uint32_t frames = static_cast<uint32_t>(clip.Frames());
    const uint32_t bytes = frames * 4;
    std::vector<char> wav(44 + bytes, 0);
    char* p = wav.data();
    const auto put32 = [&](size_t at, uint32_t v) { std::memcpy(p + at, &v, 4); };
    const auto put16 = [&](size_t at, uint16_t v) { std::memcpy(p + at, &v, 2); };
    std::memcpy(p, "RIFF", 4);
    put32(4, 36 + bytes);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 2);
    put32(24, static_cast<uint32_t>(clip.sampleRate));
    put32(28, static_cast<uint32_t>(clip.sampleRate) * 4);
    put16(32, 4);
    put16(34, 16);
    std::memcpy(p + 36, "data", 4);
    put32(40, bytes);
    for (uint32_t i = 0; i < frames; ++i) {
        put16(44 + i * 4, static_cast<uint16_t>(static_cast<int16_t>(clip.left[i] * 32767)));
        put16(46 + i * 4, static_cast<uint16_t>(static_cast<int16_t>(clip.right[i] * 32767)));
    }
    const std::string file = g_pictureDir + "\\" + name;
    FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_TRUE(out);
    std::fwrite(wav.data(), 1, wav.size(), out);
    std::fclose(out);
    const char* sink = std::getenv("TWINKLA_PULSE_SINK");
    ASSERT_TRUE(sink) << "run under tools/with-pulse";
    ASSERT_TRUE(RunUnix(std::string("/usr/bin/paplay --latency-msec=10 -d ") + sink + " " +
                            g_workUnix + "/" + name,
                        false));
}

// A 60 Hz drum every 0.5 s: 0.15 s sounding, then silence.
AudioClip BassDrum(int beats) {
    AudioClip clip;
    clip.sampleRate = 44100;
    clip.channels = 2;
    for (int i = 0; i < beats * 22050; ++i) {
        const double t = (i % 22050) / 44100.0;
        const float v = t < 0.15
                            ? static_cast<float>(0.8 * std::sin(2 * 3.14159265358979 * 60 * t) *
                                                 std::exp(-t / 0.06))
                            : 0.0f;
        clip.left.push_back(v);
        clip.right.push_back(v);
    }
    return clip;
}

// The level commands with the device id the test stores (9). The pseudo-
// terminal's number is the machine's to give out again: a program elsewhere
// whose port still names an old one may write into it, with its own id.
VctlMessages OurLevels(const VctlMessages& messages) {
    VctlMessages ours;
    for (const VctlMessage& m : OfKind(messages, VctlMessage::Kind::Level)) {
        if (m.device == 9) {
            ours.push_back(m);
        }
    }
    return ours;
}

// Channel 0's level per frame after `mark`, with each frame's time; false if
// the channels between two of channel 0's commands don't rise. A frame
// handed over before the line took the one before merges with it, newer
// levels in the older ones' places, so each frame still sends channel 0 once
// and the channels still rise from one channel 0 to the next.
bool BassPerFrame(const VctlMessages& messages, std::vector<int>& bass, std::vector<double>& t) {
    const VctlMessages levels = OurLevels(messages);
    int previous = 16;
    for (const VctlMessage& m : levels) {
        if (m.channel == 0) {
            bass.push_back(m.level);
            t.push_back(m.timeMs / 1000.0);
        } else if (m.channel <= previous && previous != 16) {
            ADD_FAILURE() << "channel " << m.channel << " after " << previous << ": " << m.line;
            return false;
        }
        previous = m.channel;
    }
    return true;
}

// Twinkla Live running as a process of its own.
class LiveProgram {
public:
    LiveProgram() {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string command = "\"" + g_liveExe + "\"";
        if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_)) {
            return;
        }
        // The window is there from its first message on, the status bar
        // once the window has handled WM_CREATE.
        WaitFor(
            [&] {
                window_ = FindWindow();
                status_ = ::FindWindowExA(window_, nullptr, STATUSCLASSNAMEA, nullptr);
                return status_ != nullptr;
            },
            30000);
    }
    ~LiveProgram() {
        if (process_.hProcess) {
            if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(process_.hProcess, 99);
            }
            ::CloseHandle(process_.hProcess);
            ::CloseHandle(process_.hThread);
        }
    }
    LiveProgram(const LiveProgram&) = delete;
    LiveProgram& operator=(const LiveProgram&) = delete;

    HWND Window() const { return window_; }
    bool Running() const { return ::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
    void Command(int id) const { ::PostMessageA(window_, WM_COMMAND, id, 0); }

    // The text of a part of the status bar, read from the program's memory.
    std::wstring Status(int part) const {
        void* remote =
            ::VirtualAllocEx(process_.hProcess, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
        wchar_t text[2048] = {};
        DWORD_PTR result = 0;
        if (remote &&
            ::SendMessageTimeoutW(status_, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(remote),
                                  SMTO_ABORTIFHUNG, 5000, &result)) {
            ::ReadProcessMemory(process_.hProcess, remote, text, sizeof text - 2, nullptr);
        }
        ::VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
        return text;
    }
    bool StatusHas(int part, const std::wstring& text, int timeoutMs) const {
        return WaitFor([&] { return Status(part).find(text) != std::wstring::npos; }, timeoutMs);
    }
    long Frames() const { return std::wcstol(Status(1).c_str(), nullptr, 10); }

    // Closes the window as its close box does; the exit code, or
    // STILL_ACTIVE if the program is still running after `timeoutMs`.
    DWORD Close(int timeoutMs = 10000) const {
        ::PostMessageA(window_, WM_CLOSE, 0, 0);
        return WaitForExit(timeoutMs);
    }
    DWORD WaitForExit(int timeoutMs) const {
        ::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeoutMs));
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    // A dialog of the program owned by its window.
    HWND OwnedDialog() const {
        Search search = {process_.dwProcessId, window_, nullptr};
        ::EnumWindows(FindOwned, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    static bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
        for (int waited = 0;; waited += 50) {
            if (done()) {
                return true;
            }
            if (waited >= timeoutMs) {
                return false;
            }
            ::Sleep(50);
        }
    }

private:
    struct Search {
        DWORD pid;
        HWND owner;
        HWND found;
    };
    static BOOL CALLBACK FindOwned(HWND hwnd, LPARAM param) {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        char name[16] = {};
        ::GetWindowThreadProcessId(hwnd, &pid);
        ::GetClassNameA(hwnd, name, sizeof name);
        if (pid == s->pid && std::string(name) == "#32770" &&
            ::GetWindow(hwnd, GW_OWNER) == s->owner) {
            s->found = hwnd;
            return FALSE;
        }
        return TRUE;
    }
    HWND FindWindow() const {
        for (HWND w = nullptr; (w = ::FindWindowExA(nullptr, w, "TwinklaLiveWindow", nullptr));) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            if (pid == process_.dwProcessId) {
                return w;
            }
        }
        return nullptr;
    }

    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
    HWND status_ = nullptr;
};

void StoreLiveSource(const std::string& name) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, TWINKLA_SETTINGS_KEY_PATH "\\Live");
    if (!name.empty()) {
        LiveProgram live;
        live.Command(IDM_SOURCE_DEVICE_FIRST + SourceIndex(name.c_str()));
        live.StatusHas(0, L"Live from", 10000);
        live.Close();
    }
}

class LiveEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(RunRegsvr32(false), 0u);
        // The plug-in's settings, complete, with the controller's port: a
        // first run would open COM1, which is the machine's own serial port here.
        const std::string port = VctlLog::TestPort();
        ASSERT_FALSE(port.empty()) << "run under tools/with-vctl";
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
        UniqueHkey key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_WRITE,
                                    nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExA(key.get(), "Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                         static_cast<DWORD>(port.size() + 1));
        const BYTE device = 9;
        ::RegSetValueExA(key.get(), "Device", 0, REG_BINARY, &device, 1);
        for (int n = 0; n < 16; ++n) {
            UniqueHkey channel;
            const std::string name = "Channel" + std::to_string(n);
            ::RegCreateKeyExA(key.get(), name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              channel.put(), nullptr);
        }
        // A second recording device, to choose and to take away.
        ASSERT_TRUE(RunUnix("/usr/bin/pactl load-module module-null-source source_name=extra "
                            "description=" +
                            std::string(kExtraSource)));
    }
    void TearDown() override {
        RunUnix("/usr/bin/pactl unload-module module-null-source");
        ::CoUninitialize();
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LiveEnvironment);

TEST(Live, WithoutThePluginItSaysToInstallItAndClosesCleanly) {
    ASSERT_EQ(RunRegsvr32(true), 0u);
    {
        LiveProgram live;
        ASSERT_TRUE(live.Window()) << "the window opens without the plug-in";
        const std::wstring expected = L"install Twinkla first (Twinkla-" TWINKLA_VERSION_TEXT
#ifdef _WIN64
                                      L"-x64.msi)";
#else
                                      L"-x86.msi)";
#endif
        EXPECT_TRUE(live.StatusHas(0, expected, 10000)) << live.Status(0).c_str();
        live.Command(IDM_START); // tries again, and says the same
        ::Sleep(300);
        EXPECT_NE(live.Status(0).find(expected), std::wstring::npos);
        EXPECT_EQ(live.Close(), 0u) << "no crash, no hang";
    }
    ASSERT_EQ(RunRegsvr32(false), 0u);
}

TEST(Live, RunsTheShowFromARecordingDeviceWithTheBeat) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, TWINKLA_SETTINGS_KEY_PATH "\\Live");
    LiveProgram live;
    ASSERT_TRUE(live.Window());
    // What the computer plays is the first choice; Wine has no loopback.
    EXPECT_TRUE(live.StatusHas(0, L"loopback capture isn't available", 10000))
        << live.Status(0).c_str();
    const std::string port = VctlLog::TestPort();
    EXPECT_EQ(live.Status(4), L"port " + std::wstring(port.begin(), port.end()));

    const int monitor = SourceIndex(kMonitor);
    ASSERT_GE(monitor, 0) << "Wine's audio reaches the private PulseAudio server";
    live.Command(IDM_SOURCE_DEVICE_FIRST + monitor);
    live.Command(IDM_PRESET_FIRST + 2); // 16 channels, the lowest band first
    ASSERT_TRUE(live.StatusHas(0, L"Live from \"Monitor of TwinklaTest\"", 10000))
        << live.Status(0).c_str();
    ::Sleep(500);
    VctlLog log;
    const size_t mark = log.Mark();
    Play(BassDrum(8), "drum.wav");
    ::Sleep(4600);

    std::vector<int> bass;
    std::vector<double> t;
    EXPECT_TRUE(BassPerFrame(log.Since(mark), bass, t))
        << "every frame's commands rise in channel order";
    std::vector<size_t> onsets;
    for (size_t i = 1; i < bass.size(); ++i) {
        if (bass[i] >= 50 && bass[i - 1] < 50) {
            onsets.push_back(i);
        }
    }
    std::string levels;
    for (int b : bass) {
        levels += std::to_string(b) + " ";
    }
    EXPECT_GE(onsets.size(), 7u) << "the bass channel follows the beat: " << levels;
    for (size_t k = 1; k < onsets.size(); ++k) {
        const double gap = t[onsets[k]] - t[onsets[k - 1]];
        EXPECT_TRUE(gap > 0.3 && gap < 0.7) << "beats 0.5 s apart, got " << gap;
    }
    if (onsets.size() >= 2) {
        const double mean = (t[onsets.back()] - t[onsets.front()]) / (onsets.size() - 1);
        EXPECT_TRUE(mean > 0.45 && mean < 0.55) << "on average, got " << mean;
    }
    const std::wstring latency = live.Status(2);
    const double ms = std::wcstod(latency.c_str() + std::min<size_t>(8, latency.size()), nullptr);
    EXPECT_TRUE(latency.rfind(L"latency ", 0) == 0 && ms > 0 && ms < 500) << latency.c_str();
    EXPECT_GT(live.Frames(), 100);
    EXPECT_EQ(live.Close(), 0u);
}

TEST(Live, MenuCommandsStopStartPickAPresetAndOpenSettings) {
    LiveProgram live; // from the monitor, remembered
    ASSERT_TRUE(live.StatusHas(0, L"Live from \"Monitor of TwinklaTest\"", 10000))
        << live.Status(0).c_str();
    live.Command(IDM_PRESET_FIRST + 2);
    ::Sleep(500);
    VctlLog log;
    size_t mark = log.Mark();
    live.Command(IDM_STOP);
    ASSERT_TRUE(live.StatusHas(0, L"Stopped", 5000));
    ::Sleep(300);
    VctlMessages stopped = OurLevels(log.Since(mark));
    ASSERT_GE(stopped.size(), 16u);
    for (size_t i = stopped.size() - 16; i < stopped.size(); ++i) {
        EXPECT_EQ(stopped[i].level, 0) << "the lights go out: " << stopped[i].line;
    }
    mark = log.Mark();
    ::Sleep(1000);
    EXPECT_EQ(OurLevels(log.Since(mark)).size(), 0u) << "no frames while stopped";

    live.Command(IDM_START);
    ASSERT_TRUE(live.StatusHas(0, L"Live from", 5000));
    live.Command(IDM_PRESET_FIRST + 5); // power only, 8 channels
    ::Sleep(500);
    mark = log.Mark();
    ASSERT_TRUE(log.WaitUntil(
        mark, [](const VctlMessages& m) { return OurLevels(m).size() >= 80; }, 5000));
    for (const VctlMessage& m : OurLevels(log.Since(mark))) {
        EXPECT_LT(m.channel, 8) << "only the preset's 8 channels are lit: " << m.line;
    }

    live.Command(IDM_SETTINGS);
    HWND dialog = nullptr;
    EXPECT_TRUE(
        LiveProgram::WaitFor([&] { return (dialog = live.OwnedDialog()) != nullptr; }, 5000))
        << "the property dialog opens, owned by the window";
    if (dialog) {
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        LiveProgram::WaitFor([&] { return !::IsWindow(dialog); }, 3000);
    }

    live.Command(IDM_ABOUT);
    HWND about = nullptr;
    ASSERT_TRUE(
        LiveProgram::WaitFor([&] { return (about = live.OwnedDialog()) != nullptr; }, 5000));
    // The box exists before its text is set: read it once it is there.
    char text[1024] = {};
    LiveProgram::WaitFor(
        [&] {
            text[0] = '\0';
            for (HWND child = nullptr;
                 (child = ::FindWindowExA(about, child, "Static", nullptr));) {
                ::GetWindowTextA(child, text + std::strlen(text),
                                 sizeof text - std::strlen(text) - 1);
            }
            return std::strstr(text, "Twinkla Live") != nullptr;
        },
        5000);
    EXPECT_NE(std::string(text).find("Twinkla Live " TWINKLA_VERSION_TEXT), std::string::npos)
        << text;
    EXPECT_NE(std::string(text).find("HKEY_CURRENT_USER\\Software\\Twinkla\\Live"),
              std::string::npos)
        << "where the settings live: " << text;
    ::PostMessageA(about, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(live.Close(), 0u);
}

TEST(Live, RemembersTheSourceAndPlaceAndGoesOnFromTheDefaultWhenTheDeviceGoes) {
    {
        LiveProgram live;
        const int extra = SourceIndex(kExtraSource);
        ASSERT_GE(extra, 0);
        live.Command(IDM_SOURCE_DEVICE_FIRST + extra);
        ASSERT_TRUE(live.StatusHas(0, L"Live from \"TwinklaExtra\"", 10000))
            << live.Status(0).c_str();
        ::SetWindowPos(live.Window(), nullptr, 60, 50, 900, 380, SWP_NOZORDER | SWP_NOACTIVATE);
        ::Sleep(200);
        EXPECT_EQ(live.Close(), 0u);
    }
    LiveProgram live;
    ASSERT_TRUE(live.StatusHas(0, L"Live from \"TwinklaExtra\"", 10000)) << live.Status(0).c_str();
    RECT place = {};
    ::GetWindowRect(live.Window(), &place);
    EXPECT_EQ(place.left, 60);
    EXPECT_EQ(place.top, 50);
    EXPECT_EQ(place.right - place.left, 900);
    EXPECT_EQ(place.bottom - place.top, 380);

    ASSERT_TRUE(RunUnix("/usr/bin/pactl unload-module module-null-source"));
    // Wine's default recording device is one of its own ("PulseAudio"),
    // which follows the server's default source.
    const std::wstring fallback = L"\"TwinklaExtra\" went away (unplugged or disabled): now live "
                                  L"from \"";
    EXPECT_TRUE(live.StatusHas(0, fallback, 10000)) << live.Status(0).c_str();
    EXPECT_EQ(live.Status(0).find(L"TwinklaExtra", live.Status(0).find(fallback) + fallback.size()),
              std::wstring::npos);
    const long before = live.Frames();
    ::Sleep(1000);
    EXPECT_GT(live.Frames(), before + 20) << "the show goes on";
    EXPECT_TRUE(live.Running());
    EXPECT_EQ(live.Close(), 0u);
    RunUnix("/usr/bin/pactl load-module module-null-source source_name=extra description=" +
            std::string(kExtraSource));
}

TEST(Live, KeepsTheShowInTheTrayAndShowsItsMenu) {
    StoreLiveSource(kMonitor);
    LiveProgram live;
    ASSERT_TRUE(live.StatusHas(0, L"Live from", 10000));
    live.Command(IDM_PRESET_FIRST + 2);
    live.Command(IDM_KEEP_IN_TRAY);
    ::Sleep(300);
    EXPECT_EQ(live.Close(1000), static_cast<DWORD>(STILL_ACTIVE)) << "closing keeps it running";
    EXPECT_FALSE(::IsWindowVisible(live.Window()));
    const long hidden = live.Frames();
    ::Sleep(700);
    EXPECT_GT(live.Frames(), hidden + 10) << "the show goes on in the tray";
    live.Command(IDM_SHOW_WINDOW);
    EXPECT_TRUE(LiveProgram::WaitFor([&] { return ::IsWindowVisible(live.Window()) != 0; }, 3000));
    live.Command(IDM_KEEP_IN_TRAY); // off again, as it comes

    // The picture for the README: music playing, the Show menu open.
    Play(SynthesizeDemoClip(44100, 6.0), "music.wav");
    ::SetWindowPos(live.Window(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::Sleep(1500);
    ::PostMessageA(live.Window(), WM_SYSCOMMAND, SC_KEYMENU, 'h');
    HWND menu = nullptr;
    EXPECT_TRUE(LiveProgram::WaitFor(
        [&] { return (menu = ::FindWindowA("#32768", nullptr)) && ::IsWindowVisible(menu); }, 3000))
        << "the Show menu opens";
    ::Sleep(800);
    RECT shot = {};
    ::GetWindowRect(live.Window(), &shot);
    RECT popup = {};
    if (menu && ::GetWindowRect(menu, &popup)) {
        ::UnionRect(&shot, &shot, &popup);
    }
    DibSurface picture(shot.right - shot.left, shot.bottom - shot.top);
    const HDC screen = ::GetDC(nullptr);
    ::BitBlt(picture.dc(), 0, 0, picture.width(), picture.height(), screen, shot.left, shot.top,
             SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    const std::string path = g_pictureDir + "\\live-window.png";
    EXPECT_TRUE(WritePng(path.c_str(), picture.bits(), picture.width(), picture.height()));
    ::PostMessageA(live.Window(), WM_CANCELMODE, 0, 0);
    live.Command(IDM_EXIT);
    EXPECT_EQ(live.WaitForExit(10000), 0u);
    // Sources, presets and tray: none of it is the plug-in's to store.
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsKeyPath, "Port"), VctlLog::TestPort());
    UniqueHkey channel;
    DWORD values = 99;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, TWINKLA_SETTINGS_KEY_PATH "\\Channel0", 0,
                              KEY_READ, channel.put()),
              ERROR_SUCCESS);
    ::RegQueryInfoKeyA(channel.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(values, 0u) << "the plug-in's stored channels are as the test left them";
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: live_tests LIVE_EXE PICTURE_DIR [gtest options]\n");
        return 2;
    }
    g_liveExe = WindowsPath(argv[1]);
    g_pictureDir = WindowsPath(argv[2]);
    g_workUnix = argv[2];
    return RUN_ALL_TESTS();
}
