// vctl: a virtual lighting controller, on a serial line or on the network.
//
// Serial (--link): opens a pseudo-terminal, publishes the path of the
// terminal's far end (the "serial port" a Wine prefix maps a COM name to), and
// reads what is written there as the real controller would.
//
// Network (--sacn, --artnet): a receiver of sACN (E1.31) or Art-Net ArtDmx
// packets on UDP, on 127.0.0.1 by default. With --group it listens where a
// sender without a receiver's address sends: sACN's multicast group of the
// universe, or Art-Net's limited broadcast; only inside a private network
// namespace (tools/with-netns), so that nothing goes out of the machine.
//
// Every message goes to a machine-readable log, one line each, flushed at
// once; receiver.h describes the lines. Optionally shows 16 channels as bars.

#include "loopback_only.h"
#include "receiver.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kIdleFlushMs = 100;     // quiet time after which stray bytes are reported
constexpr double kDisplayPeriod = 50; // ms between redraws of the bar display

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

struct Options {
    const char* link = nullptr;
    const char* log = nullptr;
    bool display = false;
    int device = -1; // the device or universe the display shows; -1: the last one
    // Network only.
    bool network = false;
    DmxProtocol protocol = DmxProtocol::Sacn;
    int port = -1; // -1: the protocol's own
    bool group = false;
    int universe = 1;
    int startChannel = 1;
    const char* ready = nullptr;
};

void Usage() {
    std::fprintf(
        stderr,
        "usage: vctl --link PATH [--log FILE] [--display] [--device ID]\n"
        "       vctl --sacn|--artnet [--group] [--port N] [--universe U] [--start-channel S]\n"
        "            [--ready FILE] [--log FILE] [--display]\n"
        "  --link PATH       make PATH a symlink to the pseudo-terminal the plug-in writes to\n"
        "  --sacn, --artnet  receive sACN (UDP 5568) or Art-Net (UDP 6454) on 127.0.0.1\n"
        "  --group           also receive sACN's multicast group of the universe or Art-Net's\n"
        "                    limited broadcast; only where loopback is the only interface up\n"
        "  --port N          another UDP port; 0 takes a free one (see --ready)\n"
        "  --universe U      the universe shown, and the sACN group joined (default 1)\n"
        "  --start-channel S the slot of circuit 0 (default 1)\n"
        "  --ready FILE      once listening, write the UDP port there\n"
        "  --log FILE        write one line per message received\n"
        "  --display         show the 16 channels as live bars on the terminal\n"
        "  --device ID       the device the display shows (default: the last addressed)\n");
}

bool IntArg(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    bool universeGiven = false;
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
        } else if (arg == "--sacn" || arg == "--artnet") {
            o.network = true;
            o.protocol = arg == "--sacn" ? DmxProtocol::Sacn : DmxProtocol::ArtNet;
        } else if (arg == "--group") {
            o.group = true;
        } else if (arg == "--port" && hasValue) {
            if (!IntArg(argv[++i], 0, 65535, o.port)) {
                return false;
            }
        } else if (arg == "--universe" && hasValue) {
            if (!IntArg(argv[++i], 0, 63999, o.universe)) {
                return false;
            }
            universeGiven = true;
        } else if (arg == "--start-channel" && hasValue) {
            if (!IntArg(argv[++i], 1, 512, o.startChannel)) {
                return false;
            }
        } else if (arg == "--ready" && hasValue) {
            o.ready = argv[++i];
        } else {
            return false;
        }
    }
    if (o.network && universeGiven) {
        o.device = o.universe;
    }
    return o.network != (o.link != nullptr);
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

// The same for a file holding `text`.
bool PublishFile(const char* path, const std::string& text) {
    const std::string temp = std::string(path) + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (f == nullptr) {
        return false;
    }
    const bool written = std::fputs(text.c_str(), f) >= 0;
    return std::fclose(f) == 0 && written && rename(temp.c_str(), path) == 0;
}

FILE* OpenLog(const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    FILE* log = std::fopen(path, "w");
    if (log == nullptr) {
        std::perror(path);
        std::exit(1);
    }
    return log;
}

int RunSerial(const Options& options) {
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

    FILE* logFile = OpenLog(options.log);
    if (!PublishLink(options.link, slavePath)) {
        std::perror(options.link);
        return 1;
    }
    std::fprintf(stderr, "vctl: listening on %s (%s)\n", slavePath, options.link);

    EventLog log(logFile);
    SerialController controller(log);
    StreamParser parser;
    Stamp lastData = StampNow();
    double lastDraw = 0;
    while (!g_stop) {
        pollfd p = {master, POLLIN, 0};
        const int ready = poll(&p, 1, options.display ? 20 : kIdleFlushMs);
        const Stamp now = StampNow();
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
        if (now.monoMs - lastData.monoMs >= kIdleFlushMs) {
            parser.FlushGarbage([&](const StreamEvent& e) { controller.OnEvent(e, now); });
        }
        if (options.display && now.monoMs - lastDraw >= kDisplayPeriod) {
            controller.Draw(options.device);
            lastDraw = now.monoMs;
        }
    }

    const Stamp end = StampNow();
    parser.Finish([&](const StreamEvent& e) { controller.OnEvent(e, end); });
    controller.Summary(end);
    unlink(options.link);
    if (logFile != nullptr) {
        std::fclose(logFile);
    }
    close(slave);
    close(master);
    return 0;
}

std::string AddressText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// A UDP socket bound as the options ask, or -1 after saying why.
int OpenSocket(const Options& options) {
    if (options.group) {
        std::string other;
        if (!OnlyLoopbackIsUp(other)) {
            std::fprintf(stderr,
                         "vctl: --group only runs where loopback is the only interface up "
                         "(%s is up here); use tools/with-netns\n",
                         other.c_str());
            return -1;
        }
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::perror("vctl: socket");
        return -1;
    }
    const int on = 1;
    // The address each datagram was sent to: unicast, the group or the broadcast.
    setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    const int defaultPort = options.protocol == DmxProtocol::Sacn ? 5568 : 6454;
    local.sin_port = htons(static_cast<uint16_t>(options.port >= 0 ? options.port : defaultPort));
    // A limited broadcast reaches only a socket bound to the wildcard address;
    // with --group there is nothing but loopback to hear through it.
    local.sin_addr.s_addr = htonl(options.group ? INADDR_ANY : INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "vctl: can't listen on UDP port %d: %s\n", ntohs(local.sin_port),
                     std::strerror(errno));
        close(fd);
        return -1;
    }
    if (options.group && options.protocol == DmxProtocol::Sacn) {
        ip_mreq join = {};
        join.imr_multiaddr.s_addr = htonl(0xEFFF0000u | static_cast<uint32_t>(options.universe));
        join.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
        if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
            std::fprintf(stderr, "vctl: can't join %s: %s\n",
                         AddressText(join.imr_multiaddr).c_str(), std::strerror(errno));
            close(fd);
            return -1;
        }
    }
    return fd;
}

int RunNetwork(const Options& options) {
    const int fd = OpenSocket(options);
    if (fd < 0) {
        return 1;
    }
    sockaddr_in bound = {};
    socklen_t boundSize = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundSize);
    const int port = ntohs(bound.sin_port);

    FILE* logFile = OpenLog(options.log);
    if (options.ready != nullptr && !PublishFile(options.ready, std::to_string(port) + "\n")) {
        std::perror(options.ready);
        return 1;
    }
    std::fprintf(stderr, "vctl: receiving %s on UDP port %d%s\n",
                 options.protocol == DmxProtocol::Sacn ? "sACN" : "Art-Net", port,
                 options.group ? (options.protocol == DmxProtocol::Sacn
                                      ? " and the universe's multicast group"
                                      : " and the limited broadcast")
                               : " of 127.0.0.1");

    EventLog log(logFile);
    DmxReceiver receiver(options.protocol, options.startChannel, log);
    double lastDraw = 0;
    // One datagram if one is waiting: 1, none: 0, a failure: -1.
    auto receiveOne = [&](const Stamp& now) {
        static uint8_t buffer[65536]; // the largest datagram: nothing is cut
        sockaddr_in from = {};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        iovec io = {buffer, sizeof buffer};
        msghdr message = {};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(fd, &message, MSG_DONTWAIT);
        if (n < 0) {
            return errno == EINTR || errno == EAGAIN ? 0 : -1;
        }
        std::string to = "?";
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                to = AddressText(info.ipi_addr);
            }
        }
        const std::string sender =
            AddressText(from.sin_addr) + ":" + std::to_string(ntohs(from.sin_port));
        receiver.OnDatagram(buffer, static_cast<size_t>(n), sender.c_str(), to.c_str(), now);
        return 1;
    };
    bool failed = false;
    while (!g_stop && !failed) {
        pollfd p = {fd, POLLIN, 0};
        const int ready = poll(&p, 1, options.display ? 20 : kIdleFlushMs);
        const Stamp now = StampNow();
        if (ready > 0 && (p.revents & POLLIN)) {
            failed = receiveOne(now) < 0;
            if (failed) {
                std::perror("vctl: receive");
            }
        } else if (ready < 0 && errno != EINTR) {
            std::perror("vctl: poll");
            failed = true;
        }
        if (options.display && now.monoMs - lastDraw >= kDisplayPeriod) {
            receiver.Draw(options.device);
            lastDraw = now.monoMs;
        }
    }
    // Told to stop: what has arrived by now is still logged.
    while (!failed && receiveOne(StampNow()) > 0) {
    }

    receiver.Summary(StampNow());
    if (logFile != nullptr) {
        std::fclose(logFile);
    }
    close(fd);
    return 0;
}

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

    return options.network ? RunNetwork(options) : RunSerial(options);
}
