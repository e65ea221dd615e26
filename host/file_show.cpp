#include "file_show.h"

#include "frame_builder.h"
#include "png_writer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

} // namespace

void EndShow(const Options& o, RenderTarget& target) {
    for (long waited = 0; waited < o.lingerMs; waited += 20) {
        target.Pump();
        ::Sleep(20);
    }
    target.Close();
}

int RunFileShow(const Options& o, const AudioClip& clip, RenderTarget& target) {
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
                target.Pump();
                ::Sleep(due > 2 ? static_cast<DWORD>(due - 1) : 0);
            }
        }
        if (target.WindowGone()) {
            total = i; // the user closed the window
            break;
        }
        ::QueryPerformanceCounter(&before);
        target.Pump();
        target.Render(frame[0]);
        ::QueryPerformanceCounter(&after);
        renderMs.push_back(Milliseconds(before, after, frequency));

        if (!o.pngDir.empty() && !target.Windowed() && i % o.pngEvery == 0) {
            char path[MAX_PATH];
            std::snprintf(path, sizeof path, "%s\\frame%05ld.png", o.pngDir.c_str(), i);
            if (!WritePng(path, target.Pixels(), RenderTarget::kWidth, RenderTarget::kHeight)) {
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

    EndShow(o, target);

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
