// twinkla-host: a stand-in for the media player. It loads a visualization the
// way the player does (the class id under the player's Effects key,
// CoCreateInstance, IWMPEffects2, SetCore with a core that offers the events
// connection point) and feeds it frames of a WAV file, of a built-in clip or
// of live audio.
#include "audio_clip.h"
#include "frame_builder.h"
#include "live_show.h"
#include "player_core.h"
#include "png_writer.h"
#include "wmp/win32/wmp_effects.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: twinkla-host [options] [file.wav]\n"
    "       twinkla-host --live | --capture [NAME] [options]\n"
    "  Plays a WAV file (PCM 8/16/24/32-bit or float) or, with no file, a\n"
    "  built-in clip through the registered visualization; or runs a live show\n"
    "  from what the computer plays (--live) or records (--capture).\n"
    "options:\n"
    "  --live           live show from the default playback device (loopback)\n"
    "  --capture [NAME] live show from the default recording device, or the\n"
    "                   first whose name contains NAME\n"
    "  --list-devices   list the recording and playback devices\n"
    "  --name NAME      visualization under the player's Effects key (Twinkla)\n"
    "  --preset N       choose preset N (0..6) after loading\n"
    "  --port COMn      serial port for this run (the stored one is restored after)\n"
    "  --device N       controller device id for this run (1..255)\n"
    "  --fps N          frames per second (30)\n"
    "  --fast           don't pace frames in real time\n"
    "  --seconds S      length of the built-in clip (8) or of a live show (until Ctrl+C)\n"
    "  --frames N       stop after N frames\n"
    "  --windowed       render into a real window (Create/RenderWindowed)\n"
    "  --png-dir DIR    write frames as PNG images into DIR\n"
    "  --png-every K    with --png-dir, every K-th frame (1)\n"
    "  --bench N        render N frames as fast as possible and report Render times\n"
    "  --linger MS      keep the visualization loaded MS milliseconds after the last frame\n"
    "  --quiet          no progress line\n";

struct Options {
    std::string name = "Twinkla";
    std::string wav;
    int preset = -1;
    std::string port;
    int device = -1;
    double fps = 30.0;
    bool fast = false;
    double seconds = 0; // 0: 8 s of the built-in clip, a live show until Ctrl+C
    long frames = -1;
    bool windowed = false;
    std::string pngDir;
    int pngEvery = 1;
    long bench = 0;
    long lingerMs = 0;
    bool quiet = false;
    LiveSource live = LiveSource::None;
    std::string captureName;
    bool listDevices = false;
};

bool ParseNumber(const char* text, double low, double high, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= low && v <= high)) {
        return false;
    }
    out = v;
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        double v = 0;
        auto number = [&](double low, double high) {
            if (!hasValue || !ParseNumber(argv[i + 1], low, high, v)) {
                std::fprintf(stderr, "twinkla-host: %s needs a number from %g to %g\n", a.c_str(),
                             low, high);
                return false;
            }
            ++i;
            return true;
        };
        if (a == "--name" && hasValue) {
            o.name = argv[++i];
        } else if (a == "--preset") {
            if (!number(0, 6))
                return false;
            o.preset = static_cast<int>(v);
        } else if (a == "--port" && hasValue) {
            // Only a COM port name: anything the plug-in can't store would
            // make it fall back to its first-run defaults and overwrite the
            // user's channel setup.
            o.port = argv[++i];
            const bool digits = o.port.size() > 3 && o.port.size() <= 19 &&
                                o.port.find_first_not_of("0123456789", 3) == std::string::npos;
            if (!digits || _strnicmp(o.port.c_str(), "COM", 3) != 0) {
                std::fprintf(stderr, "twinkla-host: --port needs a name like COM1\n");
                return false;
            }
        } else if (a == "--device") {
            if (!number(1, 255))
                return false;
            o.device = static_cast<int>(v);
        } else if (a == "--fps") {
            if (!number(1, 1000))
                return false;
            o.fps = v;
        } else if (a == "--fast") {
            o.fast = true;
        } else if (a == "--seconds") {
            if (!number(0.1, 3600))
                return false;
            o.seconds = v;
        } else if (a == "--frames") {
            if (!number(1, 1e9))
                return false;
            o.frames = static_cast<long>(v);
        } else if (a == "--windowed") {
            o.windowed = true;
        } else if (a == "--png-dir" && hasValue) {
            o.pngDir = argv[++i];
        } else if (a == "--png-every") {
            if (!number(1, 1e6))
                return false;
            o.pngEvery = static_cast<int>(v);
        } else if (a == "--bench") {
            if (!number(1, 1e7))
                return false;
            o.bench = static_cast<long>(v);
        } else if (a == "--linger") {
            if (!number(0, 600000))
                return false;
            o.lingerMs = static_cast<long>(v);
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--live") {
            o.live = LiveSource::Loopback;
        } else if (a == "--capture") {
            o.live = LiveSource::Recording;
            if (hasValue && argv[i + 1][0] != '-') {
                o.captureName = argv[++i];
            }
        } else if (a == "--list-devices") {
            o.listDevices = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (!a.empty() && a[0] != '-' && o.wav.empty()) {
            o.wav = a;
        } else {
            std::fprintf(stderr, "twinkla-host: unknown option %s\n%s", a.c_str(), kUsage);
            return false;
        }
    }
    if (o.live != LiveSource::None &&
        (!o.wav.empty() || o.fast || o.bench > 0 || !o.pngDir.empty())) {
        std::fprintf(stderr, "twinkla-host: a live show takes no file, --fast, --bench or "
                             "--png-dir\n");
        return false;
    }
    return true;
}

// ---- The player's side of loading a visualization -------------------------

std::string EffectsKey(const std::string& name) {
    return "SOFTWARE\\Microsoft\\MediaPlayer\\Objects\\Effects\\" + name + "\\Properties";
}

bool FindClassId(const std::string& name, CLSID& clsid) {
    char text[64];
    DWORD size = sizeof text;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, EffectsKey(name).c_str(), "classid", RRF_RT_REG_SZ,
                       nullptr, text, &size) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t wide[64];
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
    return SUCCEEDED(::CLSIDFromString(wide, &clsid));
}

// A stored setting that this run overrides, put back afterwards exactly as it
// was, whatever its size and type (read and written as raw bytes through the
// Unicode calls), or deleted again if there was none. If it can't be read
// whole, the run is refused and the stored settings stay untouched.
class ScopedSetting {
public:
    explicit ScopedSetting(const wchar_t* name) : name_(name) {}
    ScopedSetting(const ScopedSetting&) = delete;
    ScopedSetting& operator=(const ScopedSetting&) = delete;
    ~ScopedSetting() {
        HKEY key = nullptr;
        if (!active_ || ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyW, 0, KEY_WRITE, &key) !=
                            ERROR_SUCCESS) {
            return;
        }
        if (had_) {
            ::RegSetValueExW(key, name_, 0, oldType_, old_.data(), static_cast<DWORD>(old_.size()));
        } else {
            ::RegDeleteValueW(key, name_);
        }
        ::RegCloseKey(key);
    }

    // Saves the stored value, then writes this run's. False, with `error`
    // set and nothing changed, if either step fails.
    bool Apply(DWORD type, const void* data, DWORD size, std::string& error) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyW, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                              nullptr, &key, nullptr) != ERROR_SUCCESS) {
            error = "cannot open the stored settings";
            return false;
        }
        LSTATUS status = ReadOld(key);
        if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
            had_ = status == ERROR_SUCCESS;
            status = ::RegSetValueExW(key, name_, 0, type, static_cast<const BYTE*>(data), size);
            active_ = status == ERROR_SUCCESS;
        }
        ::RegCloseKey(key);
        if (!active_) {
            char text[120];
            std::snprintf(text, sizeof text,
                          "cannot save and override the stored setting %ls (error %ld); "
                          "nothing was changed",
                          name_, static_cast<long>(status));
            error = text;
        }
        return active_;
    }

private:
    // The whole value, however big; it may change between the calls.
    LSTATUS ReadOld(HKEY key) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            DWORD size = 0;
            LSTATUS status = ::RegQueryValueExW(key, name_, nullptr, &oldType_, nullptr, &size);
            if (status != ERROR_SUCCESS) {
                return status;
            }
            old_.resize(size);
            status = ::RegQueryValueExW(key, name_, nullptr, &oldType_, old_.data(), &size);
            if (status != ERROR_MORE_DATA) {
                old_.resize(size);
                return status;
            }
        }
        return ERROR_MORE_DATA;
    }

    static constexpr wchar_t kSettingsKeyW[] = L"Software\\Twinkla";
    const wchar_t* name_;
    bool active_ = false;
    bool had_ = false;
    DWORD oldType_ = 0;
    std::vector<BYTE> old_;
};

struct Visualization {
    IWMPEffects2* effects = nullptr;
    CPlayerCore core;

    ~Visualization() {
        if (effects) {
            effects->SetCore(nullptr);
            effects->Release();
        }
    }
};

// Loads the visualization as the player does. With a port or device id for
// this run, they are put in the stored settings just while the plug-in loads
// them, so that it opens that port; a first run is made first if needed.
bool LoadVisualization(const Options& o, Visualization& v, std::string& error) {
    CLSID clsid;
    if (!FindClassId(o.name, clsid)) {
        error =
            "no visualization named \"" + o.name + "\" is registered (run regsvr32 Twinkla.dll)";
        return false;
    }
    auto create = [&](IWMPEffects2** out) {
        HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IWMPEffects2,
                                        reinterpret_cast<void**>(out));
        if (FAILED(hr)) {
            char text[80];
            std::snprintf(text, sizeof text, "CoCreateInstance failed: 0x%08lX",
                          static_cast<unsigned long>(hr));
            error = text;
        }
        return SUCCEEDED(hr);
    };
    if (!o.port.empty() || o.device > 0) {
        HKEY probe = nullptr;
        const bool stored = ::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Twinkla\\Channel15", 0,
                                            KEY_READ, &probe) == ERROR_SUCCESS;
        if (probe)
            ::RegCloseKey(probe);
        if (!stored) {
            // First run: let the plug-in store its defaults, then unload it.
            IWMPEffects2* first = nullptr;
            if (!create(&first))
                return false;
            first->Release();
            ::CoFreeUnusedLibrariesEx(0, 0);
        }
        const BYTE device = static_cast<BYTE>(o.device);
        const std::wstring portName(o.port.begin(), o.port.end()); // COMn: ASCII
        std::optional<ScopedSetting> port;
        std::optional<ScopedSetting> id;
        if (!o.port.empty()) {
            port.emplace(L"Port");
            if (!port->Apply(REG_SZ, portName.c_str(),
                             static_cast<DWORD>((portName.size() + 1) * sizeof(wchar_t)), error))
                return false;
        }
        if (o.device > 0) {
            id.emplace(L"Device");
            if (!id->Apply(REG_BINARY, &device, 1, error))
                return false;
        }
        if (!create(&v.effects))
            return false;
    } else if (!create(&v.effects)) {
        return false;
    }
    v.effects->SetCore(&v.core);
    if (o.preset >= 0 && FAILED(v.effects->SetCurrentPreset(o.preset))) {
        error = "the visualization refused the preset";
        return false;
    }
    return true;
}

// ---- Rendering targets ---------------------------------------------------

constexpr int kWidth = 1024;
constexpr int kHeight = 256;

class Offscreen {
public:
    Offscreen() {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight; // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = ::CreateCompatibleDC(nullptr);
        bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (dc_ && bitmap_) {
            old_ = ::SelectObject(dc_, bitmap_);
        }
    }
    ~Offscreen() {
        if (old_)
            ::SelectObject(dc_, old_);
        if (bitmap_)
            ::DeleteObject(bitmap_);
        if (dc_)
            ::DeleteDC(dc_);
    }
    Offscreen(const Offscreen&) = delete;
    Offscreen& operator=(const Offscreen&) = delete;
    bool ok() const { return old_ != nullptr; }
    HDC dc() const { return dc_; }
    const void* bits() const { return bits_; }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

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
    RECT r = {0, 0, kWidth, kHeight};
    ::AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND hwnd = ::CreateWindowExA(0, wc.lpszClassName, "Twinkla host", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (hwnd)
        ::ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

void PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

// Idles with the plug-in loaded, as a paused player does (the controller
// keeps getting keep-alives), then closes the window.
void EndShow(const Options& o, Visualization& v, HWND window) {
    for (long waited = 0; waited < o.lingerMs; waited += 20) {
        if (window)
            PumpMessages();
        ::Sleep(20);
    }
    if (window) {
        v.effects->Destroy();
        g_windowEffects = nullptr;
        if (::IsWindow(window)) {
            ::DestroyWindow(window);
        }
    }
}

int Play(const Options& o) {
    AudioClip clip;
    LiveCapture live;
    if (o.live != LiveSource::None) {
        std::string error;
        if (!live.Open(o.live, o.captureName, error)) {
            std::fprintf(stderr, "twinkla-host: %s\n", error.c_str());
            return 6;
        }
    } else if (o.wav.empty()) {
        clip = SynthesizeDemoClip(44100, o.seconds > 0 ? o.seconds : 8.0);
    } else {
        WavReadResult r = ReadWavFile(o.wav.c_str());
        if (!r.ok) {
            std::fprintf(stderr, "twinkla-host: %s: %s\n", o.wav.c_str(), r.error.c_str());
            return 2;
        }
        clip = std::move(r.clip);
    }

    Visualization v;
    std::string error;
    if (!LoadVisualization(o, v, error)) {
        std::fprintf(stderr, "twinkla-host: %s\n", error.c_str());
        return 3;
    }
    BSTR title = nullptr;
    if (SUCCEEDED(v.effects->GetTitle(&title))) {
        std::fprintf(stderr, "twinkla-host: playing through \"%ls\"\n", title);
        ::SysFreeString(title);
    }

    Offscreen offscreen;
    HWND window = nullptr;
    if (o.windowed) {
        window = CreatePlayerWindow();
        if (!window) {
            std::fprintf(stderr, "twinkla-host: cannot create a window\n");
            return 4;
        }
        g_windowEffects = v.effects;
        v.effects->Create(window);
    } else if (!offscreen.ok()) {
        std::fprintf(stderr, "twinkla-host: cannot create the offscreen bitmap\n");
        return 4;
    }

    if (live.IsOpen()) {
        std::fprintf(stderr, "twinkla-host: live from %s\"%s\" (%s)\n",
                     o.live == LiveSource::Loopback ? "what plays on " : "",
                     live.DeviceName().c_str(), DescribeLayout(live.Layout()).c_str());
        const auto render = [&](TimedLevel& frame) {
            if (window) {
                PumpMessages();
                if (!::IsWindow(window))
                    return false; // the user closed it
                v.effects->RenderWindowed(&frame, TRUE);
            } else {
                RECT rect = {0, 0, kWidth, kHeight};
                v.effects->Render(&frame, offscreen.dc(), &rect);
            }
            return true;
        };
        const int status = RunLiveShow(live, {o.fps, o.frames, o.seconds, o.quiet}, render, [&] {
            if (window)
                PumpMessages();
        });
        EndShow(o, v, window);
        return status;
    }

    const double samplesPerFrame = clip.sampleRate / o.fps;
    long total = static_cast<long>(clip.Frames() / samplesPerFrame);
    if (o.bench > 0)
        total = o.bench;
    if (o.frames > 0)
        total = std::min(total, o.frames);

    FrameBuilder builder;
    std::vector<TimedLevel> frame(1);
    std::vector<double> renderMs;
    renderMs.reserve(static_cast<size_t>(std::max(total, 0L)));
    LARGE_INTEGER frequency, start, before, after;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    RECT rect = {0, 0, kWidth, kHeight};
    int pngWritten = 0;
    long lastProgress = -1;

    for (long i = 0; i < total; ++i) {
        const size_t position = static_cast<size_t>((i * static_cast<long long>(samplesPerFrame)) %
                                                    std::max<size_t>(clip.Frames(), 1));
        builder.Build(clip, position, frame[0]);
        if (!o.fast && o.bench == 0) {
            // Real time: frame i is due i / fps seconds after the start.
            for (;;) {
                LARGE_INTEGER now;
                ::QueryPerformanceCounter(&now);
                const double due = i * 1000.0 / o.fps - Milliseconds(start, now, frequency);
                if (due <= 0)
                    break;
                if (window)
                    PumpMessages();
                ::Sleep(due > 2 ? static_cast<DWORD>(due - 1) : 0);
            }
        }
        if (window && !::IsWindow(window)) {
            total = i; // the user closed the window
            break;
        }
        ::QueryPerformanceCounter(&before);
        if (window) {
            PumpMessages();
            v.effects->RenderWindowed(&frame[0], TRUE);
        } else {
            v.effects->Render(&frame[0], offscreen.dc(), &rect);
        }
        ::QueryPerformanceCounter(&after);
        renderMs.push_back(Milliseconds(before, after, frequency));

        if (!o.pngDir.empty() && !window && i % o.pngEvery == 0) {
            char path[MAX_PATH];
            std::snprintf(path, sizeof path, "%s\\frame%05ld.png", o.pngDir.c_str(), i);
            if (!WritePng(path, offscreen.bits(), kWidth, kHeight)) {
                std::fprintf(stderr, "twinkla-host: cannot write %s\n", path);
                return 5;
            }
            ++pngWritten;
        }
        const long second = static_cast<long>(Milliseconds(start, after, frequency) / 1000);
        if (!o.quiet && second != lastProgress) {
            lastProgress = second;
            std::fprintf(stderr, "\rframe %ld/%ld", i + 1, total);
        }
    }
    if (!o.quiet)
        std::fprintf(stderr, "\rframe %ld/%ld\n", total, total);

    EndShow(o, v, window);

    std::printf("frames rendered: %ld\n", total);
    if (pngWritten)
        std::printf("png frames written: %d\n", pngWritten);
    if (!renderMs.empty()) {
        std::vector<double> sorted = renderMs;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
        std::printf("render ms: median %.3f p99 %.3f max %.3f\n", median, p99, sorted.back());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        return 1;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "twinkla-host: COM could not be initialised\n");
        return 1;
    }
    std::string error;
    int result = 0;
    if (!options.listDevices) {
        result = Play(options);
    } else if (!ListAudioDevices(error)) {
        std::fprintf(stderr, "twinkla-host: %s\n", error.c_str());
        result = 6;
    }
    // Let the plug-in go as a player does when it closes: its port is closed
    // and its thread stopped before COM is torn down.
    ::CoFreeUnusedLibrariesEx(0, 0);
    ::CoUninitialize();
    return result;
}
