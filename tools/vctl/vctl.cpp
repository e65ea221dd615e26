// vctl: a virtual lighting controller. It opens a pseudo-terminal, publishes
// the path of the terminal's far end (the "serial port" a Wine prefix maps a
// COM name to), and reads what is written there as the real controller would.
// Every message goes to a machine-readable log, one line each, flushed at once:
//   <ms> LEVEL dev=<id> ch=<0..127> intensity=<byte> level=<0..100> bytes=<hex>
//   <ms> KEEPALIVE bytes=00ff815600
//   <ms> FRAMING bytes=<hex>                 (stray bytes, at most 64 a line)
//   <ms> SUMMARY commands=<n> keepalives=<n> framing=<n>   (last line, on exit)
// <ms> is CLOCK_MONOTONIC in milliseconds with three decimals, taken when the
// bytes were read. Optionally shows the 16 channels of one device as bars.

#include "stream_parser.h"

#include <cerrno>
#include <cstdarg>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kChannels = 16;
constexpr int kIdleFlushMs = 100;     // quiet time after which stray bytes are reported
constexpr double kDisplayPeriod = 50; // ms between redraws of the bar display

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

double NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

struct Options {
    const char* link = nullptr;
    const char* log = nullptr;
    bool display = false;
    int device = -1; // the device the display shows; -1: the last one addressed
};

void Usage() {
    std::fprintf(
        stderr, "usage: vctl --link PATH [--log FILE] [--display] [--device ID]\n"
                "  --link PATH   make PATH a symlink to the pseudo-terminal the plug-in writes to\n"
                "  --log FILE    write one line per message received\n"
                "  --display     show the 16 channels as live bars on the terminal\n"
                "  --device ID   the device the display shows (default: the last addressed)\n");
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--link" && hasValue) {
            o.link = argv[++i];
        } else if (arg == "--log" && hasValue) {
            o.log = argv[++i];
        } else if (arg == "--display") {
            o.display = true;
        } else if (arg == "--device" && hasValue) {
            o.device = std::atoi(argv[++i]);
        } else {
            return false;
        }
    }
    return o.link != nullptr;
}

bool MakeRaw(int fd) {
    termios t;
    if (tcgetattr(fd, &t) != 0) {
        return false;
    }
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// Creates the link under a temporary name and renames it into place, so a
// script waiting for PATH never sees a half-made link.
bool PublishLink(const char* link, const char* target) {
    const std::string temp = std::string(link) + ".tmp";
    unlink(temp.c_str());
    return symlink(target, temp.c_str()) == 0 && rename(temp.c_str(), link) == 0;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

class Controller {
public:
    explicit Controller(FILE* log) : log_(log) {
        for (auto& device : intensity_) {
            for (auto& channel : device) {
                channel = -1;
            }
        }
    }

    void OnEvent(const StreamEvent& e, double t) {
        switch (e.kind) {
        case StreamEvent::Kind::Level:
            ++commands_;
            intensity_[e.device][e.channel] = e.intensity;
            lastDevice_ = e.device;
            Log("%.3f LEVEL dev=%d ch=%d intensity=%d level=%d bytes=%s\n", t, e.device, e.channel,
                e.intensity, LevelFromIntensity(e.intensity), Hex(e.bytes).c_str());
            break;
        case StreamEvent::Kind::KeepAlive:
            ++keepAlives_;
            Log("%.3f KEEPALIVE bytes=%s\n", t, Hex(e.bytes).c_str());
            break;
        case StreamEvent::Kind::Framing:
            ++framing_;
            Log("%.3f FRAMING bytes=%s\n", t, Hex(e.bytes).c_str());
            break;
        }
        changed_ = true;
    }

    void Draw(int device) {
        if (!changed_) {
            return;
        }
        changed_ = false;
        if (device < 0) {
            device = lastDevice_;
        }
        // Clear once, then overwrite in place: the lines keep their width.
        std::printf(cleared_ ? "\x1b[H" : "\x1b[H\x1b[2J");
        cleared_ = true;
        std::printf("vctl  device %d   commands %lu  keep-alives %lu  framing errors %lu\n\n",
                    device, commands_, keepAlives_, framing_);
        for (int ch = 0; ch < kChannels; ++ch) {
            const int intensity = device >= 0 && device < 256 ? intensity_[device][ch] : -1;
            const int level = intensity < 0 ? 0 : LevelFromIntensity(intensity);
            char bar[51];
            const int filled = level / 2;
            std::memset(bar, '#', filled);
            std::memset(bar + filled, '.', 50 - filled);
            bar[50] = '\0';
            std::printf("%3d |%s| %3d\n", ch + 1, bar, level);
        }
        std::fflush(stdout);
    }

    void Summary(double t) {
        Log("%.3f SUMMARY commands=%lu keepalives=%lu framing=%lu\n", t, commands_, keepAlives_,
            framing_);
        std::fprintf(stderr, "vctl: %lu level commands, %lu keep-alives, %lu framing errors\n",
                     commands_, keepAlives_, framing_);
    }

private:
    __attribute__((format(printf, 2, 3))) void Log(const char* format, ...) {
        if (log_ != nullptr) {
            va_list args;
            va_start(args, format);
            std::vfprintf(log_, format, args);
            va_end(args);
            std::fflush(log_); // tests read the log while we run
        }
    }

    FILE* log_;
    int intensity_[256][128]; // -1: never set
    int lastDevice_ = -1;
    unsigned long commands_ = 0, keepAlives_ = 0, framing_ = 0;
    bool changed_ = true;
    bool cleared_ = false;
};

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage();
        return 2;
    }

    struct sigaction action = {};
    action.sa_handler = OnSignal; // no SA_RESTART: poll returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("vctl: pseudo-terminal");
        return 1;
    }
    const char* slavePath = ptsname(master);
    // Holding the far end open ourselves keeps the terminal from hanging up
    // each time the plug-in closes its port. Raw on both sides: no line
    // editing, no echo, no translation of the binary bytes.
    const int slave = slavePath != nullptr ? open(slavePath, O_RDWR | O_NOCTTY) : -1;
    if (slave < 0 || !MakeRaw(master) || !MakeRaw(slave)) {
        std::perror("vctl: pseudo-terminal setup");
        return 1;
    }

    FILE* log = nullptr;
    if (options.log != nullptr) {
        log = std::fopen(options.log, "w");
        if (log == nullptr) {
            std::perror(options.log);
            return 1;
        }
    }
    if (!PublishLink(options.link, slavePath)) {
        std::perror(options.link);
        return 1;
    }
    std::fprintf(stderr, "vctl: listening on %s (%s)\n", slavePath, options.link);

    Controller controller(log);
    StreamParser parser;
    double lastData = NowMs();
    double lastDraw = 0;
    while (!g_stop) {
        pollfd p = {master, POLLIN, 0};
        const int ready = poll(&p, 1, options.display ? 20 : kIdleFlushMs);
        const double now = NowMs();
        if (ready > 0 && (p.revents & POLLIN)) {
            uint8_t buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0) {
                parser.Feed(buffer, static_cast<size_t>(n),
                            [&](const StreamEvent& e) { controller.OnEvent(e, now); });
                lastData = now;
            } else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EIO) {
                std::perror("vctl: read");
                break;
            }
        } else if (ready < 0 && errno != EINTR) {
            std::perror("vctl: poll");
            break;
        }
        if (now - lastData >= kIdleFlushMs) {
            parser.FlushGarbage([&](const StreamEvent& e) { controller.OnEvent(e, now); });
        }
        if (options.display && now - lastDraw >= kDisplayPeriod) {
            controller.Draw(options.device);
            lastDraw = now;
        }
    }

    const double end = NowMs();
    parser.Finish([&](const StreamEvent& e) { controller.OnEvent(e, end); });
    controller.Summary(end);
    unlink(options.link);
    if (log != nullptr) {
        std::fclose(log);
    }
    close(slave);
    close(master);
    return 0;
}
