// twinkla-host: a stand-in for the media player. It loads a visualization the
// way the player does (the class id under the player's Effects key,
// CoCreateInstance, IWMPEffects2, SetCore with a core that offers the events
// connection point) and feeds it frames of a WAV file, of a built-in clip or
// of live audio.
#include "audio_clip.h"
#include "file_show.h"
#include "live_show.h"
#include "options.h"
#include "render_target.h"
#include "restore_backup.h"
#include "visualization.h"

#include "common/scope_exit.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Plays the options' source through the visualization; the program's exit
// status.
int Play(const Options& o) {
    AudioClip clip;
    LiveCapture live;
    if (o.live != LiveSource::None) {
        std::string error;
        if (!live.Open(LiveSourceChoice{o.live, o.captureName, {}}, error)) {
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
    const auto freeTitle = ScopeExit([&] { ::SysFreeString(title); });
    if (SUCCEEDED(v.effects->GetTitle(&title))) {
        std::fprintf(stderr, "twinkla-host: playing through \"%ls\"\n", title);
    }

    RenderTarget target;
    if (!target.Open(v.effects.get(), o.windowed, error)) {
        std::fprintf(stderr, "twinkla-host: %s\n", error.c_str());
        return 4;
    }

    if (live.IsOpen()) {
        std::fprintf(stderr, "twinkla-host: live from %s\"%s\" (%s)\n",
                     o.live == LiveSource::Loopback ? "what plays on " : "",
                     live.DeviceName().c_str(), DescribeLayout(live.Layout()).c_str());
        const auto render = [&](TimedLevel& frame) {
            target.Pump();
            if (target.WindowGone())
                return false; // the user closed it
            target.Render(frame);
            return true;
        };
        const int status = RunLiveShow(
            live, {o.fps, o.frames, o.seconds, o.quiet, o.frameLog}, render, [&] { target.Pump(); },
            target.Windowed());
        EndShow(o, target);
        return status;
    }
    return RunFileShow(o, clip, target);
}

// Prints the active recording and playback devices, the defaults marked.
bool PrintAudioDevices(std::string& error) {
    const struct {
        EDataFlow flow;
        const char* heading;
    } sections[] = {
        {eCapture, "recording devices (--capture NAME picks one, * marks the default):"},
        {eRender, "playback devices (--live captures the default, marked *):"},
    };
    for (const auto& section : sections) {
        std::vector<AudioDevice> devices;
        if (!ListAudioDevices(section.flow, devices, error)) {
            return false;
        }
        std::printf("%s\n", section.heading);
        for (const AudioDevice& device : devices) {
            std::printf("  %s %s\n", device.isDefault ? "*" : " ", device.name.c_str());
        }
        if (devices.empty()) {
            std::printf("  (none)\n");
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        return 1;
    }
    if (options.restoreBackup) {
        return RestoreSettingsBackup();
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "twinkla-host: COM could not be initialised\n");
        return 1;
    }
    std::string error;
    int result = 0;
    if (!options.listDevices) {
        result = Play(options);
    } else if (!PrintAudioDevices(error)) {
        std::fprintf(stderr, "twinkla-host: %s\n", error.c_str());
        result = 6;
    }
    // Let the plug-in go as a player does when it closes: its port is closed
    // and its thread stopped before COM is torn down.
    ::CoFreeUnusedLibrariesEx(0, 0);
    ::CoUninitialize();
    return result;
}
