// Time per frame of Render into a 1024 x 256 DIB section, through the GDI
// canvas, with the first-run channel layout. Prints the median and the 99th
// percentile of Render, and of AnalyzeChannels alone on the same frames.
//
//   render_bench [frames]                 link closed (the error text is drawn)
//   render_bench [frames] --open          link open, levels kept in memory
//   render_bench [frames] --port COMn     the real ControllerLink on COMn, and
//                                         the hand-over of a frame's levels alone
//
// Under Wine: tools/wine-run build/<dir>/bench/render_bench.exe, and for the
// serial port tools/with-vctl COM7 -- tools/wine-run .../render_bench.exe 2000 --port COM7.
#include "analysis/analysis.h"
#include "analysis/presets.h"
#include "frame/win32/render_frame.h"
#include "link/win32/controller_link.h"

#include "recording_link.h"
#include "common/win32/dib_surface.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kFrameVariety = 64;
constexpr int kWarmUp = 200;

double NowUs() {
    static const double perUs = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1e6;
    }();
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / perUs;
}

// The first-run layout: the record defaults and preset 2.
void FirstRunLayout(ChannelTable& channels) {
    ApplyRecordDefaults(channels);
    ApplyPreset(channels, 16, PresetFamily::FrequencyAndPower);
}

// Music-like frames: a spectrum falling off towards the top bins, with noise,
// and a waveform of two tones around the middle.
std::vector<TimedLevel> MakeFrames() {
    std::vector<TimedLevel> frames(kFrameVariety);
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 24; };
    for (int n = 0; n < kFrameVariety; ++n) {
        TimedLevel& f = frames[n];
        std::memset(&f, 0, sizeof f);
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < kBinCount; ++i) {
                const int base = 230 - i / 5;
                f.frequency[c][i] = static_cast<unsigned char>(
                    std::clamp<int>(base - static_cast<int>(next() % 80), 0, 255));
                const int wave =
                    128 + ((i * (n + 3)) % 90) - 45 + static_cast<int>(next() % 20) - 10;
                f.waveform[c][i] = static_cast<unsigned char>(std::clamp(wave, 0, 255));
            }
        }
    }
    return frames;
}

struct Stats {
    double median, p99, mean;
};

Stats Summarise(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us) {
        sum += v;
    }
    const size_t n = us.size();
    return {us[n / 2], us[std::min(n - 1, n * 99 / 100)], sum / static_cast<double>(n)};
}

} // namespace

int main(int argc, char** argv) {
    int frameCount = 5000;
    bool open = false;
    const char* port = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--open") == 0) {
            open = true;
        } else if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            port = argv[++i];
        } else {
            frameCount = std::max(1, std::atoi(argv[i]));
        }
    }

    DibSurface surface(1024, 256);
    if (!surface.ok()) {
        std::fprintf(stderr, "render_bench: no DIB section\n");
        return 1;
    }
    const std::vector<TimedLevel> frames = MakeFrames();
    const RECT rect = surface.rect();

    RecordingLink fake(open);
    std::unique_ptr<ControllerLink> serial;
    LevelSink* link = &fake;
    const char* variant = open ? "link open (in memory)" : "link closed";
    if (port != nullptr) {
        serial = std::make_unique<ControllerLink>();
        if (!serial->Open(port, 1)) {
            std::fprintf(stderr, "render_bench: can't open %s\n", port);
            return 1;
        }
        link = serial.get();
        variant = "link open on the serial port";
    }

    PluginState state;
    FirstRunLayout(state.Channels);

    std::vector<double> render;
    render.reserve(frameCount);
    for (int n = -kWarmUp; n < frameCount; ++n) {
        fake.ClearLevels(); // keeps the in-memory link from growing
        const TimedLevel& frame = frames[(n + kWarmUp) % kFrameVariety];
        const double start = NowUs();
        RenderFrame(state, link, &frame, surface.dc(), &rect);
        ::GdiFlush();
        const double end = NowUs();
        if (n >= 0) {
            render.push_back(end - start);
        }
    }

    std::vector<double> analysis;
    analysis.reserve(frameCount);
    for (int n = -kWarmUp; n < frameCount; ++n) {
        const TimedLevel& frame = frames[(n + kWarmUp) % kFrameVariety];
        LevelTable levels = {};
        const double start = NowUs();
        AnalyzeChannels(frame, state.Channels, levels);
        const double end = NowUs();
        if (n >= 0) {
            analysis.push_back(end - start);
        }
    }
    // What the player's thread spends on the line: the hand-over alone, with
    // the engine idle each time (a frame every 2 ms), as at a player's pace.
    std::vector<double> handOver;
    if (serial) {
        ChannelLevel levels[kChannelCount];
        for (int i = 0; i < kChannelCount; ++i) {
            levels[i] = {i, i * 6, i};
        }
        for (int n = -kWarmUp; n < std::min(frameCount, 2000); ++n) {
            ::Sleep(2);
            const double start = NowUs();
            serial->SendFrame(levels, kChannelCount);
            const double end = NowUs();
            if (n >= 0) {
                handOver.push_back(end - start);
            }
        }
        serial->Close();
    }

    const Stats r = Summarise(render);
    const Stats a = Summarise(analysis);
    std::printf("render_bench: %s, %d frames, 1024x256 DIB, first-run layout\n", variant,
                frameCount);
    std::printf("  Render           median %8.1f us   p99 %8.1f us   mean %8.1f us\n", r.median,
                r.p99, r.mean);
    std::printf("  AnalyzeChannels  median %8.1f us   p99 %8.1f us   mean %8.1f us\n", a.median,
                a.p99, a.mean);
    std::printf("  analysis share of Render (medians) %.1f %%\n", 100.0 * a.median / r.median);
    if (!handOver.empty()) {
        const Stats h = Summarise(handOver);
        std::printf("  hand-over        median %8.1f us   p99 %8.1f us   mean %8.1f us\n", h.median,
                    h.p99, h.mean);
    }
    return 0;
}
