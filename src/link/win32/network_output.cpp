#include "link/win32/network_output.h"

#include "common/win32/srw_lock.h"
#include "link/dmx_packets.h"
#include "link/win32/engine_thread.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

namespace {

// A name that didn't resolve, or networking that couldn't start, is tried
// again this often.
constexpr Micros kRetryUs = 5'000'000;
constexpr DWORD kCloseWaitMs = 2000;
constexpr int kTerminatedPackets = 3;

// What Open asks for.
struct Target {
    OutputKind kind = OutputKind::Serial; // Serial: nothing asked for yet
    char address[kOutputAddressSize] = {};
    uint16_t universe = 0;
    uint16_t startChannel = kDefaultStartChannel;
    SacnCid cid = {};
};

// Packets of one stream share their sequence numbers and end together.
bool SameStream(const Target& a, const Target& b) {
    return a.kind == b.kind && a.universe == b.universe && a.cid == b.cid &&
           std::strcmp(a.address, b.address) == 0;
}

// What the status says until the engine knows better: only a name has to be
// looked up.
OutputHealth HealthBeforeLookup(const Target& target) {
    std::array<uint8_t, 4> address;
    return target.address[0] == '\0' || ParseIpv4(target.address, address)
               ? OutputHealth::Working
               : OutputHealth::LookingUp;
}

} // namespace

// What the engine thread touches besides what every engine's block holds.
struct NetworkOutput::Shared : EngineShared<Shared> {
    // Guarded by `lock`:
    NetworkSchedule schedule;
    Target target;
    uint32_t generation = 0; // raised by each Open
    OutputHealth health = OutputHealth::Closed;
};

namespace {

using Shared = NetworkOutput::Shared;

// The engine thread's side: everything here runs on it.
class Engine {
public:
    explicit Engine(Shared& s) : s_(s), timer_(CreateEngineTimer()) {}
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine() {
        if (socket_ != INVALID_SOCKET) {
            ::closesocket(socket_);
        }
        if (winsock_) {
            ::WSACleanup();
        }
    }

    // Runs until a stop request has been carried out, or the output was
    // abandoned.
    void Run();

private:
    // Where the packets go.
    struct Stream {
        Target target;
        bool resolved = false; // `to` is known
        sockaddr_in to = {};
        std::optional<SacnPacketBuilder> sacn;
        std::optional<ArtDmxPacketBuilder> artNet;
        bool sent = false; // a packet has gone out: there is a stream to end
    };

    void Retarget(const Target& target, Micros now);
    void Resolve(Micros now);
    bool EnsureSocket();
    void Send(bool streamTerminated);
    void EndStream();
    // Tells the owner, unless an Open has asked for another stream since.
    void SetHealth(OutputHealth health, bool force = false);
    void WaitUntil(Micros wakeAt, Micros now);

    Shared& s_;
    UniqueHandleNull timer_;
    bool winsock_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    uint32_t generation_ = 0;
    Stream stream_;
    DmxFrame frame_; // the packet's slots, filled from the schedule
    Micros retryAt_ = kNever;
    OutputHealth health_ = OutputHealth::Closed; // as last told
};

void Engine::Run() {
    for (;;) {
        Micros now = NowUs();
        if (now >= retryAt_) {
            retryAt_ = kNever;
            Resolve(now);
            now = NowUs();
        }
        Target target;
        bool changed = false;
        bool stop = false;
        NetworkSchedule::Next next;
        {
            ExclusiveLock lock(s_.lock);
            s_.idle = false;
            if (s_.abandoned.load()) {
                return;
            }
            stop = s_.stopRequested;
            if (s_.generation != generation_) {
                changed = true;
                target = s_.target;
                generation_ = s_.generation;
            } else {
                // Closing: what is delayed goes out now, in one packet.
                next = s_.schedule.Take(now, stop);
                if (next.send) {
                    s_.schedule.Fill(frame_);
                }
                // Decided under the lock, so no frame handed over is missed.
                s_.idle = !next.send && !stop;
            }
        }
        if (changed) {
            Retarget(target, now);
            continue;
        }
        if (next.send) {
            Send(false);
        }
        if (stop) {
            EndStream();
            return;
        }
        if (!next.send) {
            WaitUntil(std::min(next.wakeAt, retryAt_), now);
        }
    }
}

void Engine::Retarget(const Target& target, Micros now) {
    if (SameStream(stream_.target, target)) {
        stream_.target.startChannel = target.startChannel;
        frame_ = DmxFrame(target.startChannel);
        SetHealth(health_, true); // Open said what it guessed: the engine knows
        return;
    }
    EndStream();
    stream_ = Stream();
    stream_.target = target;
    frame_ = DmxFrame(target.startChannel);
    if (target.kind == OutputKind::Sacn) {
        stream_.sacn.emplace(target.cid, target.universe);
    } else if (target.kind == OutputKind::ArtNet) {
        stream_.artNet.emplace(target.universe);
    }
    retryAt_ = kNever;
    Resolve(now);
}

// Runs on this thread only: a lookup may take seconds.
void Engine::Resolve(Micros now) {
    const Target& t = stream_.target;
    if (t.kind == OutputKind::Serial) {
        return;
    }
    if (!EnsureSocket()) {
        SetHealth(OutputHealth::NoNetworking);
        retryAt_ = now + kRetryUs;
        return;
    }
    std::array<uint8_t, 4> address{};
    if (t.address[0] == '\0') {
        address = t.kind == OutputKind::Sacn ? SacnMulticastGroup(t.universe)
                                             : std::array<uint8_t, 4>{255, 255, 255, 255};
    } else if (!ParseIpv4(t.address, address)) {
        addrinfo hints = {};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_protocol = IPPROTO_UDP;
        addrinfo* found = nullptr;
        if (::getaddrinfo(t.address, nullptr, &hints, &found) != 0 || found == nullptr) {
            SetHealth(OutputHealth::NameNotFound);
            retryAt_ = NowUs() + kRetryUs;
            return;
        }
        const auto* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
        std::memcpy(address.data(), &first->sin_addr, address.size());
        ::freeaddrinfo(found);
    }
    stream_.to = {};
    stream_.to.sin_family = AF_INET;
    stream_.to.sin_port = ::htons(t.kind == OutputKind::Sacn ? kSacnPort : kArtNetPort);
    std::memcpy(&stream_.to.sin_addr, address.data(), address.size());
    stream_.resolved = true;
    SetHealth(OutputHealth::Working);
}

bool Engine::EnsureSocket() {
    if (socket_ != INVALID_SOCKET) {
        return true;
    }
    if (!winsock_) {
        WSADATA data;
        winsock_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        if (!winsock_) {
            return false;
        }
    }
    socket_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket_ == INVALID_SOCKET) {
        return false;
    }
    // A send never waits: what the socket can't take at once is dropped.
    u_long nonBlocking = 1;
    ::ioctlsocket(socket_, FIONBIO, &nonBlocking);
    // Art-Net's broadcast, and an address the user typed that is one.
    const BOOL on = TRUE;
    ::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
    return true;
}

void Engine::Send(bool streamTerminated) {
    if (!stream_.resolved) {
        return; // nowhere to go yet; the newest levels wait in the schedule
    }
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (stream_.sacn) {
        size = stream_.sacn->Build(frame_, streamTerminated);
        data = stream_.sacn->Data();
    } else if (stream_.artNet) {
        size = stream_.artNet->Build(frame_);
        data = stream_.artNet->Data();
    } else {
        return;
    }
    const int sent = ::sendto(socket_, reinterpret_cast<const char*>(data), static_cast<int>(size),
                              0, reinterpret_cast<const sockaddr*>(&stream_.to), sizeof stream_.to);
    if (sent == static_cast<int>(size)) {
        stream_.sent = true;
        SetHealth(OutputHealth::Working);
        return;
    }
    const int error = ::WSAGetLastError();
    // A full socket drops this packet only; a receiver's port that was closed
    // (reported from an earlier packet) is the receiver's business.
    if (error != WSAEWOULDBLOCK && error != WSAECONNRESET) {
        SetHealth(OutputHealth::SendFailed);
    }
}

void Engine::EndStream() {
    if (stream_.sacn && stream_.sent) {
        for (int i = 0; i < kTerminatedPackets; ++i) {
            Send(true);
        }
    }
}

void Engine::SetHealth(OutputHealth health, bool force) {
    if (health == health_ && !force) {
        return;
    }
    health_ = health;
    ExclusiveLock lock(s_.lock);
    if (s_.generation == generation_) {
        s_.health = health;
    }
}

void Engine::WaitUntil(Micros wakeAt, Micros now) {
    HANDLE handles[2] = {s_.wake.get()};
    WaitForWorkOrTime(handles, 1, timer_.get(), wakeAt, now);
}

} // namespace

NetworkOutput::NetworkOutput() {
    shared_ = new (std::nothrow) Shared;
    if (shared_ == nullptr) {
        return;
    }
    shared_->wake.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!shared_->wake) {
        return; // a thread that couldn't be woken or stopped isn't started at all
    }
    shared_->AddRef(); // the thread's reference
    thread_ = StartPinnedThread(EngineLoop, shared_, shared_->module);
    if (!thread_) {
        shared_->Release(); // the thread's reference, never handed over
    }
}

NetworkOutput::~NetworkOutput() {
    if (!stopped_) {
        Close();
    }
    if (shared_ != nullptr) {
        shared_->Release();
    }
}

DWORD WINAPI NetworkOutput::EngineLoop(void* parameter) noexcept {
    Shared* const shared = static_cast<Shared*>(parameter);
    const HMODULE module = shared->module;
    {
        Engine engine(*shared);
        engine.Run();
    }
    shared->Release(); // may free the block: nothing of it is used below
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

// The thread ends only when it is told to, so a started one runs until then.
bool NetworkOutput::EngineRunning() const {
    return thread_ && !stopped_;
}

bool NetworkOutput::IsOpen() const {
    return configured_ && EngineRunning();
}

bool NetworkOutput::Open(const LinkSettings& settings) {
    if (settings.Output == OutputKind::Serial || !AcceptsOutput(settings) || !EngineRunning()) {
        return false;
    }
    Target target;
    target.kind = settings.Output;
    std::memcpy(target.address, settings.OutputAddress, sizeof target.address);
    target.universe = settings.Universe;
    target.startChannel = settings.StartChannel;
    target.cid = settings.SourceId;
    {
        ExclusiveLock lock(shared_->lock);
        shared_->target = target;
        ++shared_->generation;
        shared_->health = HealthBeforeLookup(target);
        shared_->schedule.SetDelay(static_cast<Micros>(ClampLightDelay(settings.LightDelayMs)) *
                                   1000);
    }
    configured_ = true;
    ::SetEvent(shared_->wake.get());
    return true;
}

void NetworkOutput::Adopt(const LinkSettings& settings) {
    if (shared_ == nullptr) {
        return;
    }
    ExclusiveLock lock(shared_->lock);
    shared_->schedule.SetDelay(static_cast<Micros>(ClampLightDelay(settings.LightDelayMs)) * 1000);
}

void NetworkOutput::SendFrame(const ChannelLevel* levels, size_t count) {
    // A frame carries at most one level per record; any beyond a batch's
    // room amend it as levels outside a frame would.
    CircuitLevel circuits[CommandBatch::kCapacity] = {};
    bool frame = true;
    do {
        const size_t n = std::min(count, CommandBatch::kCapacity);
        for (size_t i = 0; i < n; ++i) {
            circuits[i] = {levels[i].circuit, levels[i].level};
        }
        Submit(circuits, n, frame);
        frame = false;
        levels += n;
        count -= n;
    } while (count > 0);
}

void NetworkOutput::SetLevel(int channelIndex, int32_t level) {
    const CircuitLevel circuit = {channelIndex, level};
    Submit(&circuit, 1, false);
}

void NetworkOutput::Submit(const CircuitLevel* levels, size_t count, bool frame) {
    if (!IsOpen()) {
        return;
    }
    // Taken before the lock: the delay counts from when the frame was handed over.
    const Micros now = NowUs();
    shared_->HandOver([&] { shared_->schedule.Submit(levels, count, frame, now); });
}

OutputHealth NetworkOutput::Health() const {
    if (!IsOpen()) {
        return OutputHealth::Closed;
    }
    ExclusiveLock lock(shared_->lock);
    return shared_->health;
}

void NetworkOutput::Close() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    if (!thread_) {
        return;
    }
    shared_->RequestStop();
    // A lookup still running is left to finish on its own, holding the
    // shared block and the module.
    ::WaitForSingleObject(thread_.get(), kCloseWaitMs);
}

void NetworkOutput::Abandon() {
    stopped_ = true;
    if (shared_ == nullptr) {
        return;
    }
    // No lock: at process exit the engine may have vanished holding it.
    shared_->abandoned.store(true);
    if (shared_->wake) {
        ::SetEvent(shared_->wake.get());
    }
}
