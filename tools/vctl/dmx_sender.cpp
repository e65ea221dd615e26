// dmx_sender: sends frames built by the plug-in's own packet builders over
// UDP, for the network receiver's end-to-end test (network_e2e.py).
//
//   dmx_sender --sacn|--artnet [--to ADDRESS] [--port N] [--universe U]
//              [--start-channel S] [--frames N] [--skip K] [--terminate]
//
// Frame k gives circuit c the level (7k + 13c) mod 101. --skip K builds frame
// K's packet but doesn't send it (a sequence gap); --terminate ends an sACN
// stream with three stream-terminated packets. Without --to it sends
// to sACN's multicast group of the universe or Art-Net's limited broadcast,
// and only where loopback is the only interface up (tools/with-netns).

#include "link/dmx_frame.h"
#include "link/dmx_packets.h"
#include "link/output_settings.h"
#include "loopback_only.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Options {
    bool sacn = true;
    const char* to = nullptr;
    int port = -1;
    int universe = 1;
    int startChannel = 1;
    int frames = 30;
    int skip = -1;
    bool terminate = false;
};

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--sacn" || arg == "--artnet") {
            o.sacn = arg == "--sacn";
        } else if (arg == "--terminate") {
            o.terminate = true;
        } else if (value == nullptr) {
            return false;
        } else if (arg == "--to") {
            o.to = value, ++i;
        } else if (arg == "--port") {
            o.port = std::atoi(value), ++i;
        } else if (arg == "--universe") {
            o.universe = std::atoi(value), ++i;
        } else if (arg == "--start-channel") {
            o.startChannel = std::atoi(value), ++i;
        } else if (arg == "--frames") {
            o.frames = std::atoi(value), ++i;
        } else if (arg == "--skip") {
            o.skip = std::atoi(value), ++i;
        } else {
            return false;
        }
    }
    return true;
}

class Sender {
public:
    Sender(int fd, const sockaddr_in& to) : fd_(fd), to_(to) {}

    bool Send(const uint8_t* data, size_t size) {
        const ssize_t n =
            sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&to_), sizeof to_);
        if (n != static_cast<ssize_t>(size)) {
            std::perror("dmx_sender: sendto");
            return false;
        }
        ++sent_;
        usleep(2000); // the receiver's socket buffer never overflows
        return true;
    }
    int Sent() const { return sent_; }

private:
    int fd_;
    sockaddr_in to_;
    int sent_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, o)) {
        std::fprintf(stderr, "dmx_sender: bad arguments (see the comment at the top of "
                             "tools/vctl/dmx_sender.cpp)\n");
        return 2;
    }
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(o.port >= 0 ? o.port
                                              : o.sacn    ? kSacnPort
                                                          : kArtNetPort));
    if (o.to != nullptr) {
        if (inet_pton(AF_INET, o.to, &to.sin_addr) != 1) {
            std::fprintf(stderr, "dmx_sender: not an IPv4 address: %s\n", o.to);
            return 2;
        }
    } else {
        std::string other;
        if (!OnlyLoopbackIsUp(other)) {
            std::fprintf(stderr, "dmx_sender: no multicast or broadcast while %s is up\n",
                         other.c_str());
            return 2;
        }
        const auto group = SacnMulticastGroup(static_cast<uint16_t>(o.universe));
        if (o.sacn) {
            std::memcpy(&to.sin_addr, group.data(), 4);
        } else {
            to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        }
    }

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        std::perror("dmx_sender: socket");
        return 1;
    }
    Sender sender(fd, to);

    const SacnCid cid = {0x54, 0x77, 0x69, 0x6E, 0x6B, 0x6C, 0x61, 0x2D,
                         0x74, 0x65, 0x73, 0x74, 0x00, 0x01, 0x02, 0x03};
    SacnPacketBuilder sacn(cid, static_cast<uint16_t>(o.universe));
    ArtDmxPacketBuilder artNet(static_cast<uint16_t>(o.universe));
    DmxFrame frame(o.startChannel);
    const uint8_t* data = o.sacn ? sacn.Data() : artNet.Data();
    size_t size = 0;
    for (int k = 0; k < o.frames; ++k) {
        frame.Clear();
        for (int c = 0; c < kDmxCircuits; ++c) {
            frame.Set(c, (7 * k + 13 * c) % 101);
        }
        size = o.sacn ? sacn.Build(frame) : artNet.Build(frame);
        if (k != o.skip && !sender.Send(data, size)) {
            return 1;
        }
    }
    if (o.terminate && o.sacn) {
        for (int i = 0; i < 3; ++i) {
            if (!sender.Send(data, sacn.Build(frame, true))) {
                return 1;
            }
        }
    }
    std::printf("dmx_sender: %d packets sent to %s:%d\n", sender.Sent(), inet_ntoa(to.sin_addr),
                ntohs(to.sin_port));
    close(fd);
    return 0;
}
