// The network outputs through the registered DLL, received by a Winsock
// receiver of the test's own. Run inside tools/with-netns with a prefix of
// its own (tools/with-own-prefix), so that unicast, multicast and broadcast
// stay on this machine and the fixed ports meet no other run; and under
// tools/with-vctl, whose controller would see any serial write.

#include "windows/plugin/plugin_host.h"

#include "analysis/analysis.h"
#include "analysis/presets.h"
#include "common/product.h"
#include "common/win32/dib_surface.h"
#include "common/win32/unique_handle.h"
#include "link/dmx_frame.h"
#include "windows/common/vctl_log.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

double NowMs() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

struct Datagram {
    Bytes bytes;
    double atMs = 0;
};

// UDP on a port of every interface, optionally in a multicast group.
class Receiver {
public:
    explicit Receiver(uint16_t port, const char* group = nullptr)
        : socket_(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_port = ::htons(port);
        at.sin_addr.s_addr = ::htonl(INADDR_ANY);
        ok_ = socket_ != INVALID_SOCKET &&
              ::bind(socket_, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
        if (ok_ && group != nullptr) {
            ip_mreq join = {};
            join.imr_multiaddr.s_addr = ::inet_addr(group);
            join.imr_interface.s_addr = ::htonl(INADDR_ANY);
            ok_ = ::setsockopt(socket_, IPPROTO_IP, IP_ADD_MEMBERSHIP,
                               reinterpret_cast<const char*>(&join), sizeof join) == 0;
        }
    }
    ~Receiver() {
        if (socket_ != INVALID_SOCKET) {
            ::closesocket(socket_);
        }
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    bool ok() const { return ok_; }

    // The next datagram within `timeoutMs`; false when none came.
    bool Next(Datagram& out, int timeoutMs) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval wait = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        if (::select(0, &readable, nullptr, nullptr, &wait) != 1) {
            return false;
        }
        char buffer[1500];
        const int n = ::recv(socket_, buffer, sizeof buffer, 0);
        if (n < 0) {
            return false;
        }
        out.bytes.assign(buffer, buffer + n);
        out.atMs = NowMs();
        return true;
    }

    // What arrives within `ms` from now.
    std::vector<Datagram> During(int ms) {
        std::vector<Datagram> got;
        const double end = NowMs() + ms;
        Datagram d;
        for (double left = ms; left > 0; left = end - NowMs()) {
            if (Next(d, static_cast<int>(left) + 1)) {
                got.push_back(d);
            }
        }
        return got;
    }

private:
    SOCKET socket_;
    bool ok_ = false;
};

uint16_t U16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

Bytes Slice(const Bytes& b, size_t at, size_t count) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at),
                 b.begin() + static_cast<std::ptrdiff_t>(at + count));
}

// Frame k: each band's level moves from frame to frame.
TimedLevel Frame(int k) {
    TimedLevel frame = {};
    std::memset(frame.waveform, 128, sizeof frame.waveform);
    for (int band = 0; band < 14; ++band) {
        frame.frequency[0][73 * band + 5] = static_cast<unsigned char>((k * 37 + band * 19) % 256);
    }
    frame.waveform[0][0] = static_cast<unsigned char>(128 + k % 100);
    return frame;
}

// The slots a frame must light: each record's level, by the analysis the
// plug-in runs, in the slot of its Address.
Bytes ExpectedSlots(const TimedLevel& frame, int startChannel, const uint8_t (&addresses)[16]) {
    ChannelTable channels;
    ApplyRecordDefaults(channels);
    ApplyPresetLayout(channels, 2);
    LevelTable levels = {};
    AnalyzeChannels(frame, channels, levels);
    Bytes slots(static_cast<size_t>(startChannel + 15), 0);
    for (int i = 0; i < kChannelCount; ++i) {
        const size_t slot = static_cast<size_t>(startChannel + addresses[i]);
        slots.resize(std::max(slots.size(), slot), 0);
        slots[slot - 1] = DmxSlotValue(levels[i]);
    }
    return slots;
}

void SetValue(const char* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKeyPath, name, type, data, size),
              ERROR_SUCCESS);
}
void SetText(const char* name, const std::string& text) {
    SetValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}
void SetDword(const char* name, DWORD value) {
    SetValue(name, REG_DWORD, &value, sizeof value);
}
Bytes StoredSourceId() {
    BYTE id[32];
    DWORD size = sizeof id;
    if (::RegGetValueA(HKEY_CURRENT_USER, kSettingsKeyPath, "SourceId", RRF_RT_REG_BINARY, nullptr,
                       id, &size) != ERROR_SUCCESS) {
        return {};
    }
    return Bytes(id, id + size);
}

// Winsock too, for the test's own receivers.
class Environment : public RegisteredDllEnvironment {
public:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
        RegisteredDllEnvironment::SetUp();
    }
    void TearDown() override {
        RegisteredDllEnvironment::TearDown();
        ::WSACleanup();
    }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new Environment);

class Network : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(VctlLog::PathFromEnvironment().empty()) << "run under tools/with-vctl";
        ASSERT_TRUE(surface_.ok());
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
        Create(); // a first run stores the defaults (and the source id)
        Release();
        SetText("Port", VctlLog::TestPort()); // where a serial write would show
    }
    void TearDown() override {
        Release();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
    }

    void Configure(const char* output, const char* address, DWORD universe, DWORD start) {
        SetText("Output", output);
        SetText("OutputAddress", address);
        SetDword("Universe", universe);
        SetDword("StartChannel", start);
    }
    void Create() { ASSERT_EQ(CreateLikeThePlayer(effects_.put()), S_OK); }
    // As when the player lets go of the object: it closes its output.
    void Release() {
        effects_.reset();
        if (::GetModuleHandleA("Twinkla.dll") != nullptr) {
            ASSERT_EQ(CallDllCanUnloadNow(), S_OK);
        }
    }
    double Render(const TimedLevel& frame) {
        RECT rect = surface_.rect();
        const double start = NowMs();
        EXPECT_EQ(effects_->Render(const_cast<TimedLevel*>(&frame), surface_.dc(), &rect), S_OK);
        return NowMs() - start;
    }
    std::wstring OutputState() {
        ComPtr<IDispatch> dispatch;
        EXPECT_EQ(effects_->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
        LPOLESTR name = const_cast<LPOLESTR>(L"outputState");
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        VARIANT result;
        ::VariantInit(&result);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                         nullptr, nullptr);
        const std::wstring text = result.vt == VT_BSTR ? result.bstrVal : L"";
        ::VariantClear(&result);
        return text;
    }
    // Renders frames 0..count-1 and returns the packets they sent, taken in
    // batches: a socket holds only a couple of hundred.
    std::vector<Datagram> RenderFrames(Receiver& receiver, int count) {
        std::vector<Datagram> got;
        Datagram d;
        for (int k = 0; k < count; ++k) {
            Render(Frame(k));
            if (k % 50 == 49 || k == count - 1) {
                while (got.size() < static_cast<size_t>(k + 1) && receiver.Next(d, 3000)) {
                    got.push_back(d);
                }
            }
        }
        return got;
    }
    bool ShowsPortError() const { return surface_.Count(RECT{0, 0, 320, 14}, RGB(255, 0, 0)) > 20; }

    DibSurface surface_{1024, 256};
    ComPtr<IWMPEffects2> effects_;
};

constexpr uint8_t kOwnAddresses[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

TEST_F(Network, SacnPacketsCarryEachFrameInTheirLayoutWithRisingSequenceNumbers) {
    Configure("sACN", "127.0.0.1", 7, 3);
    // Record 2 patched to circuit 40: its level goes to slot 43, and the
    // packet grows to reach it.
    const BYTE patched = 40;
    ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Twinkla\\Channel2", "Address",
                                REG_BINARY, &patched, 1),
              ERROR_SUCCESS);
    uint8_t addresses[16];
    std::copy(std::begin(kOwnAddresses), std::end(kOwnAddresses), addresses);
    addresses[2] = 40;
    Receiver receiver(5568);
    ASSERT_TRUE(receiver.ok());
    Create();
    EXPECT_EQ(OutputState(), L"sACN to 127.0.0.1 universe 7");

    constexpr int kFrames = 300;
    const std::vector<Datagram> packets = RenderFrames(receiver, kFrames);
    ASSERT_EQ(packets.size(), static_cast<size_t>(kFrames));
    const Bytes cid = StoredSourceId();
    ASSERT_EQ(cid.size(), 16u);
    for (int k = 0; k < kFrames; ++k) {
        const Bytes& p = packets[k].bytes;
        const Bytes slots = ExpectedSlots(Frame(k), 3, addresses);
        ASSERT_EQ(p.size(), 126 + slots.size()) << k;
        ASSERT_EQ(slots.size(), 43u);
        EXPECT_EQ(p[111], k % 256) << "sequence of packet " << k;
        EXPECT_EQ(Slice(p, 126, slots.size()), slots) << "slots of packet " << k;
        if (k > 0) {
            continue;
        }
        EXPECT_EQ(Slice(p, 0, 16),
                  (Bytes{0, 0x10, 0, 0, 'A', 'S', 'C', '-', 'E', '1', '.', '1', '7', 0, 0, 0}));
        EXPECT_EQ(U16(p, 16), 0x7000 | (p.size() - 16));
        EXPECT_EQ(Slice(p, 18, 4), (Bytes{0, 0, 0, 4}));
        EXPECT_EQ(Slice(p, 22, 16), cid) << "the stored source id";
        EXPECT_EQ(U16(p, 38), 0x7000 | (p.size() - 38));
        EXPECT_EQ(Slice(p, 40, 4), (Bytes{0, 0, 0, 2}));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[44])), "Twinkla");
        EXPECT_EQ(p[107], 0) << "the name's field ends with a zero";
        EXPECT_EQ(p[108], 100) << "priority";
        EXPECT_EQ(U16(p, 109), 0) << "synchronization address";
        EXPECT_EQ(p[112], 0) << "options";
        EXPECT_EQ(U16(p, 113), 7) << "universe";
        EXPECT_EQ(U16(p, 115), 0x7000 | (p.size() - 115));
        EXPECT_EQ(Slice(p, 117, 6), (Bytes{0x02, 0xA1, 0, 0, 0, 1}));
        EXPECT_EQ(U16(p, 123), 1 + slots.size());
        EXPECT_EQ(p[125], 0) << "start code";
    }

    // A click lights circuit 1 at once, on top of the last frame.
    ComPtr<IWMPEvents> events;
    ASSERT_EQ(effects_->QueryInterface(IID_IWMPEvents, events.put_void()), S_OK);
    events->Click(1, 0, 0, 0);
    Datagram d;
    ASSERT_TRUE(receiver.Next(d, 3000));
    Bytes amended = ExpectedSlots(Frame(kFrames - 1), 3, addresses);
    amended[3] = 255;
    EXPECT_EQ(Slice(d.bytes, 126, amended.size()), amended);
    EXPECT_EQ(d.bytes[111], kFrames % 256);
}

TEST_F(Network, ArtDmxPacketsCarryEachFrameWithSequenceNumbersThatSkipZero) {
    Configure("art-net", "127.0.0.1", 0x1A5, 1); // any case
    Receiver receiver(6454);
    ASSERT_TRUE(receiver.ok());
    Create();
    EXPECT_EQ(OutputState(), L"Art-Net to 127.0.0.1 port-address 421");
    constexpr int kFrames = 300;
    const std::vector<Datagram> packets = RenderFrames(receiver, kFrames);
    ASSERT_EQ(packets.size(), static_cast<size_t>(kFrames));
    for (int k = 0; k < kFrames; ++k) {
        const Bytes& p = packets[k].bytes;
        const Bytes slots = ExpectedSlots(Frame(k), 1, kOwnAddresses);
        ASSERT_EQ(p.size(), 18 + slots.size()) << k;
        EXPECT_EQ(Slice(p, 0, 12),
                  (Bytes{'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50, 0, 14}));
        EXPECT_EQ(p[12], 1 + k % 255) << "sequence of packet " << k;
        EXPECT_EQ(Slice(p, 13, 3), (Bytes{0, 0xA5, 0x01})) << "physical, SubUni, Net";
        EXPECT_EQ(U16(p, 16), slots.size());
        EXPECT_EQ(Slice(p, 18, slots.size()), slots) << "slots of packet " << k;
    }
}

// Kept through resets and the like: the settings cases (on the registry too).
TEST_F(Network, TheSourceIdIsStoredOnceAndSurvivesARestart) {
    Configure("sACN", "127.0.0.1", 1, 1);
    const Bytes made = StoredSourceId();
    ASSERT_EQ(made.size(), 16u) << "the first run stored one";
    Receiver receiver(5568);
    Datagram d;
    for (int start = 0; start < 2; ++start) {
        Create();
        Render(Frame(start));
        ASSERT_TRUE(receiver.Next(d, 3000));
        EXPECT_EQ(Slice(d.bytes, 22, 16), made) << "start " << start;
        Release();
        receiver.During(300); // the stream's end
    }
}

TEST_F(Network, WhilePausedTheLastFrameGoesAgainOnceASecondAndClosingEndsTheStream) {
    Configure("sACN", "127.0.0.1", 2, 1);
    Receiver receiver(5568);
    Create();
    Render(Frame(5));
    Datagram first;
    ASSERT_TRUE(receiver.Next(first, 3000));
    const std::vector<Datagram> paused = receiver.During(3500);
    ASSERT_GE(paused.size(), 3u);
    ASSERT_LE(paused.size(), 4u);
    double previous = first.atMs;
    for (size_t i = 0; i < paused.size(); ++i) {
        EXPECT_NEAR(paused[i].atMs - previous, 1000, 250) << "resend " << i;
        EXPECT_EQ(Slice(paused[i].bytes, 126, 16), Slice(first.bytes, 126, 16));
        EXPECT_EQ(paused[i].bytes[111], i + 1) << "a resend is a packet of its own";
        previous = paused[i].atMs;
    }

    Release();
    const std::vector<Datagram> closing = receiver.During(1500);
    ASSERT_EQ(closing.size(), 3u) << "three stream-terminated packets, then silence";
    for (size_t i = 0; i < closing.size(); ++i) {
        EXPECT_EQ(closing[i].bytes[112], 0x40) << "options: stream terminated";
        EXPECT_EQ(closing[i].bytes[111], (paused.size() + 1 + i) % 256);
        EXPECT_EQ(U16(closing[i].bytes, 113), 2);
    }
}

TEST_F(Network, ANetworkOutputLeavesTheSerialPortClosed) {
    Configure("Art-Net", "127.0.0.1", 0, 1);
    Receiver receiver(6454);
    VctlLog log;
    size_t mark = log.Mark();
    Create();
    for (int k = 0; k < 30; ++k) {
        Render(Frame(k));
        ::Sleep(20);
    }
    EXPECT_EQ(receiver.During(1400).size(), 30u + 1) << "the frames, then one resend";
    EXPECT_TRUE(log.Since(mark).empty()) << "nothing reached the serial controller";
    EXPECT_FALSE(ShowsPortError());
    Release();

    // The same settings but Serial: the controller hears at once.
    SetText("Output", "Serial");
    mark = log.Mark();
    Create();
    Render(Frame(0));
    EXPECT_TRUE(log.WaitForCount(mark, VctlMessage::Kind::Level, 16, 3000));
    EXPECT_TRUE(receiver.During(1200).empty());
}

TEST_F(Network, AReceiverNameThatDoesNotResolveIsReportedAndNeverHoldsThePlayerUp) {
    Configure("sACN", "nowhere.invalid", 1, 1);
    Receiver receiver(5568);
    const double start = NowMs();
    Create();
    EXPECT_LT(NowMs() - start, 1000) << "creation waited for the lookup";
    double slowest = 0;
    std::wstring state;
    for (int k = 0; k < 200 && state.find(L"can't find") == std::wstring::npos; ++k) {
        slowest = std::max(slowest, Render(Frame(k)));
        state = OutputState();
        ::Sleep(25);
    }
    EXPECT_EQ(state, L"sACN: can't find the receiver \"nowhere.invalid\"");
    EXPECT_LT(slowest, 200) << "a Render waited";
    EXPECT_FALSE(ShowsPortError()) << "the serial port's words are not the network's";
    EXPECT_TRUE(receiver.During(500).empty());
    // A name that does resolve (the machine's own) goes through.
    Release();
    Configure("sACN", "localhost", 1, 1);
    Create();
    Render(Frame(1));
    Datagram d;
    EXPECT_TRUE(receiver.Next(d, 5000));
    EXPECT_EQ(OutputState(), L"sACN to localhost universe 1");
}

TEST_F(Network, AnInvalidStoredUniverseIsOne) {
    Receiver sacn(5568);
    Receiver artNet(6454);
    Datagram d;
    Configure("sACN", "127.0.0.1", 0, 1);
    Create();
    Render(Frame(0));
    ASSERT_TRUE(sacn.Next(d, 3000));
    EXPECT_EQ(U16(d.bytes, 113), 1);
    EXPECT_EQ(OutputState(), L"sACN to 127.0.0.1 universe 1");
    Release();

    Configure("Art-Net", "127.0.0.1", 40000, 600); // start channel past 512 too
    Create();
    Render(Frame(0));
    ASSERT_TRUE(artNet.Next(d, 3000));
    EXPECT_EQ(Slice(d.bytes, 14, 2), (Bytes{1, 0}));
    EXPECT_EQ(Slice(d.bytes, 18, 16), ExpectedSlots(Frame(0), 1, kOwnAddresses));
}

TEST_F(Network, WithoutAnAddressSacnGoesToItsGroupAndArtNetToTheBroadcast) {
    Receiver group(5568, "239.255.1.4"); // universe 260
    Receiver broadcast(6454);
    ASSERT_TRUE(group.ok());
    Datagram d;
    Configure("sACN", "", 260, 1);
    Create();
    EXPECT_EQ(OutputState(), L"sACN multicast universe 260");
    Render(Frame(0));
    ASSERT_TRUE(group.Next(d, 3000));
    EXPECT_EQ(U16(d.bytes, 113), 260);
    Release();

    Configure("Art-Net", "", 3, 1);
    Create();
    EXPECT_EQ(OutputState(), L"Art-Net broadcast port-address 3");
    Render(Frame(0));
    ASSERT_TRUE(broadcast.Next(d, 3000));
    EXPECT_EQ(d.bytes[14], 3);
}

} // namespace
