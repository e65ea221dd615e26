#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    "  --light-delay MS delay the lights by MS milliseconds for this run (0..2000)\n"
    "  --output KIND    where the lights go this run: serial, sacn or artnet\n"
    "  --address A      the network receiver: an IPv4 address or a host name; \"\"\n"
    "                   for sACN's multicast group or Art-Net's broadcast\n"
    "  --universe U     sACN universe (1..63999) or Art-Net port-address (0..32767)\n"
    "  --start-channel S the DMX slot of the first channel (1..512)\n"
    "  --fps N          frames per second (30)\n"
    "  --fast           don't pace frames in real time\n"
    "  --seconds S      length of the built-in clip (8) or of a live show (until Ctrl+C)\n"
    "  --frames N       stop after N frames\n"
    "  --windowed       render into a real window (Create/RenderWindowed)\n"
    "  --png-dir DIR    write frames as PNG images into DIR\n"
    "  --png-every K    with --png-dir, every K-th frame (1)\n"
    "  --bench N        render N frames as fast as possible and report Render times\n"
    "  --linger MS      keep the visualization loaded MS milliseconds after the last frame\n"
    "  --quiet          no progress line\n"
    "  --restore-backup replace the stored settings with the copy the plug-in kept\n"
    "                   when it had to reset them, and exit\n";

bool ParseNumber(const char* text, double low, double high, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= low && v <= high)) {
        return false;
    }
    out = v;
    return true;
}

// What the plug-in takes as a receiver's address: one it wouldn't take would
// make it fall back to multicast or broadcast, so it is refused here.
bool IsReceiverAddress(const std::string& a) {
    if (a.empty()) {
        return true;
    }
    if (a.size() > 253 || a.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                              "0123456789.-_") != std::string::npos) {
        return false;
    }
    if (a.find_first_not_of("0123456789.") == std::string::npos) {
        unsigned parts[4];
        char end = 0;
        return std::sscanf(a.c_str(), "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2],
                           &parts[3], &end) == 4 &&
               parts[0] < 256 && parts[1] < 256 && parts[2] < 256 && parts[3] < 256;
    }
    for (size_t start = 0; start <= a.size();) {
        size_t end = a.find('.', start);
        if (end == std::string::npos) {
            end = a.size();
        }
        const size_t length = end - start;
        if ((length == 0 && end != a.size()) || length > 63 ||
            (length > 0 && (a[start] == '-' || a[end - 1] == '-'))) {
            return false;
        }
        start = end + 1;
    }
    return a[0] != '.';
}

} // namespace

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
        } else if (a == "--light-delay") {
            if (!number(0, 2000))
                return false;
            o.lightDelayMs = static_cast<long>(v);
        } else if (a == "--output" && hasValue) {
            const std::string kind = argv[++i];
            if (_stricmp(kind.c_str(), "serial") == 0) {
                o.output = "Serial";
            } else if (_stricmp(kind.c_str(), "sacn") == 0) {
                o.output = "sACN";
            } else if (_stricmp(kind.c_str(), "artnet") == 0) {
                o.output = "Art-Net";
            } else {
                std::fprintf(stderr, "twinkla-host: --output needs serial, sacn or artnet\n");
                return false;
            }
        } else if (a == "--address" && hasValue) {
            o.address = argv[++i];
            o.addressGiven = true;
            if (!IsReceiverAddress(o.address)) {
                std::fprintf(stderr, "twinkla-host: --address needs an IPv4 address or a host "
                                     "name\n");
                return false;
            }
        } else if (a == "--universe") {
            if (!number(0, 63999))
                return false;
            o.universe = static_cast<long>(v);
        } else if (a == "--start-channel") {
            if (!number(1, 512))
                return false;
            o.startChannel = static_cast<long>(v);
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
        } else if (a == "--frame-log" && hasValue) {
            o.frameLog = argv[++i];
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--live") {
            o.live = LiveSource::Loopback;
        } else if (a == "--capture") {
            o.live = LiveSource::Recording;
            if (hasValue && argv[i + 1][0] != '-') {
                o.captureName = argv[++i];
            }
        } else if (a == "--restore-backup") {
            o.restoreBackup = true;
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
    if ((o.output == "sACN" && o.universe == 0) || (o.output == "Art-Net" && o.universe > 32767)) {
        std::fprintf(stderr, "twinkla-host: --universe: sACN's are 1..63999, Art-Net's "
                             "port-addresses 0..32767\n");
        return false;
    }
    if (o.live != LiveSource::None &&
        (!o.wav.empty() || o.fast || o.bench > 0 || !o.pngDir.empty())) {
        std::fprintf(stderr, "twinkla-host: a live show takes no file, --fast, --bench or "
                             "--png-dir\n");
        return false;
    }
    return true;
}
